#pragma once

#include "media/media_calibration.h"
#include "media/media_state.h"
#include "platform/ui.h"
#include "printer/led_table.h"
#include "printer/printer_link.h"

#include <QDialog>

#include <array>
#include <filesystem>

class QComboBox;
class QLineEdit;
class QListWidget;

namespace kv::media {

// "Drucker-Setup": the technician's editor of the run's media calibration, gamma
// curves and rank selection. There is no cancel: every change stays in memory;
// the files change only with "Gamma speichern" and "Speichern".
class PrinterSetupDialog : public QDialog {
    Q_OBJECT
  public:
    PrinterSetupDialog(MediaState& media, printer::LedTable& ledTable, printer::PrinterLink& link,
                       std::filesystem::path programDir, platform::Ui& ui,
                       QWidget* parent = nullptr);

  private:
    void load();
    void saveGamma();
    void rebuild();
    void save();
    void chooseRank(std::size_t column, int row);
    void takeBaseMedia();
    void fillGammaList(int selectRow);
    void showGammaRow(int k);
    void showSelectedValues();
    void showBaseMedia();

    MediaState& m_media;
    printer::LedTable& m_ledTable;
    printer::PrinterLink& m_link;
    std::filesystem::path m_programDir;
    platform::Ui& m_ui;
    std::array<QComboBox*, kRankColumns> m_rankLists{};
    std::array<QLineEdit*, kRankColumns> m_selectedValues{};
    std::array<QLineEdit*, kBaseMediaCount> m_baseMedia{};
    QListWidget* m_gammaList = nullptr;
    QLineEdit* m_gammaIn = nullptr;
    std::array<QLineEdit*, 3> m_gammaValues{};
};

} // namespace kv::media
