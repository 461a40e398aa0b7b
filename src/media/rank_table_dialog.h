#pragma once

#include "media/media_rank_table.h"
#include "platform/ui.h"

#include <QDialog>

#include <array>
#include <filesystem>

class QLineEdit;
class QListWidget;

namespace kv::media {

// "Rangordnungs-Tabelle": the service editor of the media rank table. Works on
// the run's table; the file changes only with "Speichern".
class RankTableDialog : public QDialog {
    Q_OBJECT
  public:
    RankTableDialog(MediaRankTable& table, std::filesystem::path programDir, platform::Ui& ui,
                    QWidget* parent = nullptr);

  private:
    void load();
    void save();
    void rebuildSens();
    void rebuildDens();
    void saveTxt();
    void fillLists(bool saved);
    void showSensRow(int row);
    void showDensRow(int row);

    MediaRankTable& m_table;
    std::filesystem::path m_programDir;
    platform::Ui& m_ui;
    QListWidget* m_sensList = nullptr;
    QListWidget* m_densList = nullptr;
    std::array<QLineEdit*, 3> m_sensEdits{};
    std::array<QLineEdit*, 6> m_densEdits{};
};

} // namespace kv::media
