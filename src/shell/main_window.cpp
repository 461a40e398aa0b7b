#include "shell/main_window.h"

#include "shell/shell_messages.h"
#include "shell/startup.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace kv::shell {

MainWindow::MainWindow(AppState& state, QWidget* parent)
    : QMainWindow(parent), m_state(state), m_ui(this), m_session(state, m_ui, this) {
    setObjectName(QString::fromUtf8(kWindowClass.data(), kWindowClass.size()));
    setWindowTitle(QString::fromUtf8(kWindowTitle.data(), kWindowTitle.size()));
    placeCentred();
}

MainWindow::~MainWindow() {
    m_session.cleanUp(CleanupReason::WindowDestroyed);
}

bool MainWindow::create(const std::filesystem::path& shippedDataDir) {
    return m_session.create(shippedDataDir);
}

void MainWindow::placeCentred() {
    QRect screen(0, 0, 640, 480);
    if (QScreen* primary = QGuiApplication::primaryScreen())
        screen = primary->geometry();
    const WindowPlacement place = centredMainWindow(screen.width(), screen.height());
    // The 640 x 480 include the frame; its margins are known once the window exists.
    QMargins frame;
    if (const QWindow* handle = windowHandle())
        frame = handle->frameMargins();
    resize(place.width - frame.left() - frame.right(), place.height - frame.top() - frame.bottom());
    move(screen.x() + place.left, screen.y() + place.top);
}

void MainWindow::showEvent(QShowEvent* event) {
    if (!m_placed) {
        m_placed = true;
        placeCentred();
    }
    QMainWindow::showEvent(event);
}

void MainWindow::bringToFront() {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void MainWindow::endSession() {
    m_session.cleanUp(CleanupReason::SessionEnding);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Clean up while the window can still own the message boxes.
    m_session.cleanUp(CleanupReason::WindowDestroyed);
    event->accept();
}

} // namespace kv::shell
