// The window and kvphoto-cli on one program directory at the same time: neither
// loses an album or a picture the other added, and the window shows them.
#include "media/media_rank_table.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "shell/main_window.h"
#include "support/drop_files.h"
#include "support/temp_dir.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDialog>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kv::shell {
namespace {

namespace fs = std::filesystem;
using Answer = platform::Ui::Answer;

class TwoPrograms : public ::testing::Test {
  protected:
    void SetUp() override {
        test::writeBytes(shipped / "Media.rtb", media::MediaRankTable::defaults().toBytes());
        window = std::make_unique<MainWindow>(state, &ui);
        ASSERT_TRUE(window->create(shipped.path()));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // kvphoto-cli on the same program directory (the folders' variables are set).
    std::string cli(const QStringList& args) {
        QProcess process;
        process.start(KV_CLI, args);
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return process.readAllStandardOutput().toStdString();
    }

    // "INDEX ROTATION NAME" per picture of My_Album, as kvphoto-cli reads it.
    std::vector<std::string> listed() {
        std::vector<std::string> rows;
        const QString out = QString::fromStdString(cli({"album", "show", "My_Album"}));
        for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
            const QStringList fields = line.split('\t');
            rows.push_back(
                QStringList{fields[0], fields[1], fields.back()}.join(' ').toStdString());
        }
        return rows;
    }

    QTabBar* tabs() const { return window->findChild<QTabBar*>("AlbumTabs"); }
    QStringList tabTexts() const {
        QStringList texts;
        for (int i = 0; i < tabs()->count(); ++i)
            texts << tabs()->tabText(i);
        return texts;
    }

    // "Neu" in the album bar, the name typed into its dialog.
    void newAlbum(const QString& name) {
        QTimer::singleShot(0, [name] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_TRUE(dialog);
            dialog->findChild<QLineEdit*>("AlbumNameEdit")->setText(name);
            dialog->accept();
        });
        QTest::mouseClick(window->findChild<QToolButton*>("NewAlbumButton"), Qt::LeftButton);
    }

    fs::path picture(const std::string& name, int width) {
        const fs::path file = pictures / name;
        EXPECT_TRUE(platform::imagelib::WriteBmpFile(file, platform::Bitmap24::make(width, 30)));
        return file;
    }
    void drop(const fs::path& file) { test::dropFiles(*window, {file}); }

    test::ScopedProgramFolders folders;
    test::TempDir shipped;
    test::TempDir pictures;
    AppState state;
    platform::RecordingUi ui;
    std::unique_ptr<MainWindow> window;
};

TEST_F(TwoPrograms, AlbumsAddedByTheCommandLineStayAndShow) {
    cli({"album", "add", "Extern"});
    // The window takes up the change on disk by itself.
    EXPECT_TRUE(QTest::qWaitFor([&] { return tabs()->count() == 2; }, 5000));
    newAlbum("Neu");
    EXPECT_EQ(tabTexts(), (QStringList{"My_Album", "Extern", "Neu"}));
    EXPECT_EQ(test::readBytes(folders.home() / "album.dat"), "3\r\nMy_Album\r\nExtern\r\nNeu\r\n");
    EXPECT_EQ(cli({"album", "list"}), "My_Album\nExtern\nNeu\n");
    EXPECT_EQ(tabs()->currentIndex(), 2);
    EXPECT_TRUE(ui.prompts().empty()) << ui.prompts().front().text;
}

TEST_F(TwoPrograms, PicturesAddedByTheCommandLineSurviveTheWindowsChanges) {
    drop(picture("a.bmp", 40));
    ASSERT_EQ(state.albums.pictureCount, 1);
    const fs::path b = picture("b.bmp", 50);
    cli({"picture", "add", "My_Album", QString::fromStdString(b.string())});
    EXPECT_TRUE(QTest::qWaitFor([&] { return state.albums.pictureCount == 2; }, 5000));

    // The window turns its own picture, then adds another: b stays in between.
    state.albums.select(0);
    window->dispatch(CommandId::Rotate);
    drop(picture("c.bmp", 60));
    EXPECT_EQ(listed(), (std::vector<std::string>{"0 1 a.bmp", "1 0 b.bmp", "2 0 c.bmp"}));

    // The command line takes a picture away while the window shows the album.
    cli({"--yes", "picture", "delete", "My_Album", "0"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return state.albums.pictureCount == 2; }, 5000));
    EXPECT_EQ(state.albums.pictures[0].displayName, "b.bmp");
    EXPECT_EQ(state.albums.pictures[1].displayName, "c.bmp");
    EXPECT_TRUE(ui.prompts().empty()) << ui.prompts().front().text;
}

TEST_F(TwoPrograms, TheProgramsOwnWindowWatchesOnceItsStartUpGoesOnAndCatchesUp) {
    // The program's own window: its watch starts with the rest of the start-up.
    AppState ownState;
    MainWindow own(ownState, &ui);
    ASSERT_TRUE(own.create(shipped.path(), Session::FirstReset::WithPortSetUp));
    auto* ownTabs = own.findChild<QTabBar*>("AlbumTabs");
    cli({"album", "add", "Vorher"});
    QTest::qWait(500);
    EXPECT_EQ(ownTabs->count(), 1);

    own.startWatching();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ownTabs->count() == 2; }, 5000));
    cli({"album", "add", "Nachher"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return ownTabs->count() == 3; }, 5000));
}

} // namespace
} // namespace kv::shell
