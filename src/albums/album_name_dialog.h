#pragma once

#include <QDialog>
#include <QValidator>

#include <optional>
#include <string>

class QLineEdit;

namespace kv::albums {

// Refuses any edit that makes the text longer than the album table's rows hold,
// counted in UTF-8 bytes as the album files store it.
class ByteLengthValidator : public QValidator {
    Q_OBJECT
  public:
    ByteLengthValidator(int maxBytes, QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;

  private:
    int m_maxBytes;
};

// The two album name dialogs: "Neu" asks for a new album's name, a double-click
// on the selected tab for its new name. Both start empty.
class AlbumNameDialog : public QDialog {
    Q_OBJECT
  public:
    enum class Kind { NewAlbum, RenameAlbum };

    AlbumNameDialog(Kind kind, QWidget* parent = nullptr);

    // The typed name, as UTF-8 bytes.
    std::string name() const;

    // Runs the dialog; the name on "OK", nothing on "Abbrechen".
    static std::optional<std::string> ask(Kind kind, QWidget* parent);

  private:
    QLineEdit* m_edit;
};

} // namespace kv::albums
