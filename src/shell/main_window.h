#pragma once

#include "albums/album_store.h"
#include "platform/qt_ui.h"
#include "shell/app_state.h"
#include "shell/session.h"

#include <QMainWindow>

#include <filesystem>

namespace kv::shell {

// The program's main frame. Menus, toolbar and child windows are added around
// it; for now it owns the session and its place on the screen.
class MainWindow : public QMainWindow, public albums::AlbumEvents {
    Q_OBJECT
  public:
    explicit MainWindow(AppState& state, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The creation steps; false when the window cannot be made.
    bool create(const std::filesystem::path& shippedDataDir);

    // A second launch asked for this window: restore, raise and activate it.
    void bringToFront();

    // The desktop session or a termination request ends the run.
    void endSession();

    platform::Ui& ui() { return m_ui; }
    Session& session() { return m_session; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void placeCentred();

    AppState& m_state;
    platform::QtUi m_ui;
    Session m_session;
    bool m_placed = false;
};

} // namespace kv::shell
