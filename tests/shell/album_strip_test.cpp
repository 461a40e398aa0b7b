// The album strip of the main window at its normal size: short names are shown
// whole, and every album is one choice away in the list at the strip's end.

#include "media/media_rank_table.h"
#include "platform/recording_ui.h"
#include "shell/main_window.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QMenu>
#include <QStyle>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>

namespace kv::shell {
namespace {

// What the user reads: "&&" is a drawn "&", a lone "&" only marks an access key.
QString readable(QString text) {
    text.replace("&&", QChar(0x1));
    text.remove('&');
    return text.replace(QChar(0x1), '&');
}

struct Strip {
    test::ScopedProgramFolders folders;
    test::TempDir shipped;
    platform::RecordingUi ui;
    AppState state;
    std::unique_ptr<MainWindow> window;
    QTabBar* tabs = nullptr;

    explicit Strip(const QStringList& names) {
        QByteArray list = QByteArray::number(names.size()) + "\r\n";
        for (const QString& name : names)
            list += name.toUtf8() + "\r\n";
        std::filesystem::create_directories(folders.home());
        test::writeBytes(folders.home() / "album.dat", list.toStdString());
        test::writeBytes(shipped / "Media.rtb", media::MediaRankTable::defaults().toBytes());
        window = std::make_unique<MainWindow>(state, &ui);
        EXPECT_TRUE(window->create(shipped.path()));
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        tabs = window->findChild<QTabBar*>("AlbumTabs");
    }
    QToolButton* listButton() const { return window->findChild<QToolButton*>("AlbumListButton"); }
    QMenu* list() const { return window->findChild<QMenu*>("AlbumList"); }
};

TEST(AlbumStrip, ShortNamesAreShownWhole) {
    const QStringList three{"My_Album", "Zweit", "Extern"};
    for (const QStringList& names : {three, three + QStringList{"Ä&Ö"}}) {
        Strip s(names);
        ASSERT_EQ(s.tabs->count(), names.size());
        EXPECT_EQ(s.window->findChild<QWidget*>("PhotoAlbum")->height(), 27);
        const int padding =
            s.tabs->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, s.tabs);
        for (int i = 0; i < names.size(); ++i) {
            const QString text = s.tabs->tabText(i);
            EXPECT_EQ(readable(text), names[i]);
            const int needed = s.tabs->fontMetrics().size(Qt::TextShowMnemonic, text).width();
            EXPECT_GE(s.tabs->tabRect(i).width() - padding, needed) << names[i].toStdString();
        }
    }
}

TEST(AlbumStrip, EveryAlbumIsOneChoiceAwayByMouseOrKeyboard) {
    QStringList names{"My_Album"};
    for (int i = 1; i < 64; ++i)
        names << QStringLiteral("Album Nr. %1").arg(i);
    names[40] = "Tom & Jerry";
    Strip s(names);
    for (int album : {57, 40, 63, 0}) {
        QTest::mouseClick(s.listButton(), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.list()->isVisible(); }, 2000));
        const QList<QAction*> actions = s.list()->actions();
        ASSERT_EQ(actions.size(), 64);
        EXPECT_EQ(readable(actions[album]->text()), names[album]);
        EXPECT_TRUE(actions[s.state.albums.currentAlbum]->isChecked());
        actions[album]->trigger();
        s.list()->close();
        // As a click on its tab: the album is loaded, and its tab scrolled into sight.
        EXPECT_EQ(s.state.albums.currentAlbum, album);
        EXPECT_EQ(s.tabs->currentIndex(), album);
        EXPECT_TRUE(s.tabs->rect().contains(s.tabs->tabRect(album).center())) << album;
    }
    // Tab to the button, Space opens the list, arrows and Return choose.
    s.listButton()->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(s.listButton()->focusPolicy() & Qt::TabFocus);
    QTest::keyClick(s.listButton(), Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.list()->isVisible(); }, 2000));
    QTest::keyClick(s.list(), Qt::Key_Down);
    QTest::keyClick(s.list(), Qt::Key_Down);
    QTest::keyClick(s.list(), Qt::Key_Return);
    EXPECT_EQ(s.state.albums.currentAlbum, 1);
}

} // namespace
} // namespace kv::shell
