#pragma once

#include "jobs/adjuster.h"

#include <QDialog>

#include <array>
#include <filesystem>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;

namespace kv::jobs {

// "Anpasser": the service dialog that shows the printer's stored settings and
// temperatures and writes new values in three groups. It reads the printer when
// it is built; "OK" and Esc close it without writing anything.
class AdjusterDialog : public QDialog {
    Q_OBJECT
  public:
    AdjusterDialog(printer::PrinterLink& link, printer::LedTable& ledTable,
                   std::filesystem::path programDir, QWidget* parent = nullptr);

  private:
    AdjusterNewTexts newTexts() const;
    void showReading(const AdjusterReading& reading);
    void focusRow(const AdjusterSaveOutcome& outcome);

    Adjuster m_adjuster;
    std::array<QListWidget*, kAdjusterRows> m_stored{};
    std::array<QLineEdit*, kAdjusterEditableRows> m_new{};
    std::array<QCheckBox*, kLedCount> m_leds{}; // in mask bit order
    QGroupBox* m_ledGroup = nullptr;
};

} // namespace kv::jobs
