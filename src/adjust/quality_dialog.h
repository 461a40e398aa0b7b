#pragma once

#include "adjust/quality_dialog_model.h"

#include <QDialog>

#include <array>
#include <filesystem>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kv::adjust {

class ToneCurveFrame;

// "Druckqualität" and its service twin "Bildqualität": edit the run's picture
// adjustment settings live, save them to kvx00.ini on "OK" and put them back on
// "Abbrechen", Esc or closing the window. Make one per opening.
class QualityDialog : public QDialog {
    Q_OBJECT
  public:
    QualityDialog(PictureAdjustSettings& settings, QualityDialogKind kind,
                  std::filesystem::path programDir, std::filesystem::path systemDir,
                  platform::Ui& ui, QWidget* parent = nullptr);
    ~QualityDialog() override;

    // "OK": closes only once every field was taken and kvx00.ini was written.
    void accept() override;
    void reject() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void chooseTone(int mode);
    void chooseEdge(int mode);
    void takeToneEdits();
    void focusField(QualityField field);
    void showTone();
    void showEnabled();

    QualityEditor m_editor;
    std::array<QRadioButton*, 3> m_tone{};
    std::array<QLineEdit*, 4> m_toneEdits{}; // left, bottom, right, top
    ToneCurveFrame* m_curve = nullptr;
    std::array<QRadioButton*, 2> m_saturation{};
    QLineEdit* m_satValue = nullptr;
    std::array<QRadioButton*, 5> m_edge{};
    QLineEdit* m_edgeRatio = nullptr;
    QComboBox* m_matchFile = nullptr;
    QCheckBox* m_camera = nullptr;
    QCheckBox* m_compensation = nullptr;
    QCheckBox* m_correction = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    // A refused tone edit gets the focus back; focus moves meanwhile are not checks.
    bool m_refocusing = false;
    bool m_closed = false;
};

} // namespace kv::adjust
