#pragma once

#include "adjust/colour_adjust.h"
#include "platform/bitmap.h"
#include "platform/ui.h"
#include "shell/app_state.h"

#include <QDialog>
#include <QImage>

#include <array>
#include <filesystem>
#include <functional>
#include <optional>

class QLineEdit;
class QSlider;

namespace kv::adjust {

// "Farbeinstellung": changes the colours of the selected picture itself. The
// preview shows the picture's thumbnail as the values change; "Anwenden" shows
// the adjusted picture, "Speichern" saves it through the main window's save-as.
class ColourAdjustDialog : public QDialog {
    Q_OBJECT
  public:
    // `dataFile`: the current album's thumbnail file; `saveAs`: the main window's
    // save-as command.
    ColourAdjustDialog(shell::AppState& state, platform::Ui& ui, std::filesystem::path dataFile,
                       std::filesystem::path tempDir, std::function<void()> saveAs,
                       QWidget* parent = nullptr);

    const ColourAdjustValues& values() const { return m_values; }
    bool hasPreview() const { return m_thumbnail.has_value(); }
    const QImage& previewImage() const { return m_preview; }

    // "Abbrechen", and Esc.
    void reject() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum Control { kCyanRed, kMagentaGreen, kYellowBlue, kBrightness, kContrast, kControls };

    void editChanged(int control);
    void spin(int control, int step);
    void rebuildPreview();
    void apply();
    void save();
    int& valueOf(int control);

    shell::AppState& m_state;
    platform::Ui& m_ui;
    std::filesystem::path m_tempDir;
    std::function<void()> m_saveAs;
    ColourAdjustValues m_values;
    std::optional<platform::Bitmap24> m_thumbnail;
    double m_mean = 0;
    QImage m_preview;
    QWidget* m_previewFrame = nullptr;
    std::array<QSlider*, kControls> m_sliders{};
    std::array<QLineEdit*, kControls> m_edits{};
};

} // namespace kv::adjust
