#pragma once

#include "intake/open_files.h"
#include "platform/ui.h"
#include "shell/app_state.h"

#include <QDialog>

#include <filesystem>
#include <string>
#include <vector>

class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace kv::intake {

class PreviewWidget;
class InfoWidget;

// "Dateien öffnen": the program's own chooser of pictures for the current album,
// with drives, folders, a type filter, several files at once and a preview that
// can be turned before loading. Accepted by "Laden"; `chosen()` then says whether
// the open command has pictures to add.
class OpenFilesDialog : public QDialog {
    Q_OBJECT
  public:
    // Starts in `startFolder`, else in the user's home folder; `memory` keeps the
    // type filter from one opening to the next.
    OpenFilesDialog(shell::AppState& state, platform::Ui& ui, OpenFilesMemory& memory,
                    const std::filesystem::path& startFolder, OpenFilesEnvironment environment,
                    QWidget* parent = nullptr);
    ~OpenFilesDialog() override;

    // The folder the dialog is in; the staged display names belong to it.
    const std::filesystem::path& folder() const { return m_folder; }
    bool chosen() const { return m_chosen; }
    // The preview as shown, for the picture chosen alone.
    platform::Bitmap24 takePreview() { return m_model.takePreview(); }

    void reject() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void enterFolder(const FolderPick& pick);
    void fillFolderList();
    void fillFileList();
    void openFolderLine(QListWidgetItem* item);
    void typeChanged(int index);
    void driveChanged(int index);
    void fileSelectionChanged();
    void rotate();
    void load();
    void showModel();
    std::vector<std::string> selectedNames() const;

    platform::Ui& m_ui;
    OpenFilesMemory& m_memory;
    OpenFilesEnvironment m_environment;
    OpenFilesModel m_model;
    std::vector<Drive> m_drives;
    std::filesystem::path m_folder;
    bool m_chosen = false;

    QListWidget* m_files = nullptr;
    QListWidget* m_folders = nullptr;
    QComboBox* m_types = nullptr;
    QComboBox* m_driveBox = nullptr;
    PreviewWidget* m_preview = nullptr;
    InfoWidget* m_info = nullptr;
    QPushButton* m_rotate = nullptr;
    QPushButton* m_load = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace kv::intake
