#include "platform/termination_qt.h"
#include "shell/main_window.h"
#include "shell/single_instance.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QSignalSpy>
#include <QUuid>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

namespace kv::shell {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::ScopedProgramFolders;
using test::TempDir;

QString uniqueServerName() {
    return "kvtest-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

TEST(MainWindow, CentredPhotoPrinterWindowWithTheDefaultAlbum) {
    ScopedProgramFolders folders;
    TempDir shipped;
    AppState state;
    MainWindow window(state);
    ASSERT_TRUE(window.create(shipped.path()));
    window.show();

    EXPECT_EQ(window.objectName(), "PhotoPrinter");
    EXPECT_EQ(window.windowTitle(), "Kelvor Photo Viewer");
    const QRect frame = window.frameGeometry();
    EXPECT_EQ(frame.size(), QSize(640, 480));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(frame.left(), screen.left() + (screen.width() - 640) / 2);
    EXPECT_EQ(frame.top(), screen.top() + (screen.height() - 480) / 2);
    EXPECT_EQ(readBytes(folders.home() / "album.dat"), "1\r\nMy_Album\r\n");
}

TEST(MainWindow, ClosingRemovesTheTemporaryDirectory) {
    ScopedProgramFolders folders;
    TempDir shipped;
    AppState state;
    MainWindow window(state);
    ASSERT_TRUE(window.create(shipped.path()));
    const fs::path kvtemp = folders.driveC() / "kvtemp";
    fs::create_directories(kvtemp);
    std::ofstream(kvtemp / "Prefile.bmp") << "x";
    window.show();

    window.close();
    EXPECT_FALSE(fs::exists(kvtemp));
    EXPECT_TRUE(window.session().cleanedUp());
}

TEST(MainWindow, ASecondLaunchRestoresAMinimisedWindow) {
    ScopedProgramFolders folders;
    AppState state;
    MainWindow window(state);
    window.showMinimized();
    window.bringToFront();
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
}

TEST(SingleInstance, SecondClaimAsksTheFirstToComeForward) {
    const QString name = uniqueServerName();
    SingleInstance first(name);
    ASSERT_TRUE(first.claim());
    QSignalSpy spy(&first, &SingleInstance::activationRequested);

    SingleInstance second(name);
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(spy.count() == 1 || spy.wait(3000));
}

TEST(SingleInstance, ASocketLeftByACrashedCopyDoesNotBlockStart) {
    const QString name = uniqueServerName();
    // What a killed first copy leaves behind: the socket file with nobody listening.
    const QString stale = QDir::temp().filePath(name);
    std::ofstream(stale.toStdString()) << "";

    SingleInstance instance(name);
    EXPECT_TRUE(instance.claim());
    QSignalSpy spy(&instance, &SingleInstance::activationRequested);
    SingleInstance later(name);
    EXPECT_FALSE(later.claim());
    EXPECT_TRUE(spy.count() == 1 || spy.wait(3000));
}

TEST(TerminationWatcher, TurnsSigtermIntoASignal) {
    platform::TerminationWatcher watcher;
    ASSERT_TRUE(watcher.active());
    QSignalSpy spy(&watcher, &platform::TerminationWatcher::terminationRequested);
    std::raise(SIGTERM);
    EXPECT_TRUE(spy.wait(3000));
    EXPECT_EQ(spy.count(), 1);
}

} // namespace
} // namespace kv::shell
