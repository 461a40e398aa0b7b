// The album strip in the main window at its normal size: short names are drawn
// whole, and every album is one choice away in the list at the strip's end.

#include "media/media_rank_table.h"
#include "platform/recording_ui.h"
#include "shell/main_window.h"
#include "support/temp_dir.h"

#include <QMenu>
#include <QStyle>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace kv::shell {
namespace {

// What the user reads: "&&" draws an "&", a lone "&" only marks an access key.
QString readable(QString text) {
    return text.replace("&&", QChar(1)).remove('&').replace(QChar(1), '&');
}

TEST(AlbumStrip, NamesStayReadableAndEveryAlbumIsOneChoiceAway) {
    const QStringList four{"My_Album", "Zweit", "Extern", "Ä&Ö"};
    QStringList many{"My_Album"};
    for (int i = 1; i < 64; ++i)
        many << QStringLiteral("Album Nr. %1").arg(i);
    for (const QStringList& names : {four.mid(0, 3), four, many}) {
        test::ScopedProgramFolders folders;
        test::TempDir shipped;
        std::filesystem::create_directories(folders.home());
        test::writeBytes(
            folders.home() / "album.dat",
            QString("%1\r\n%2\r\n").arg(names.size()).arg(names.join("\r\n")).toStdString());
        test::writeBytes(shipped / "Media.rtb", media::MediaRankTable::defaults().toBytes());
        platform::RecordingUi ui;
        AppState state;
        MainWindow window(state, &ui);
        ASSERT_TRUE(window.create(shipped.path()));
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        auto* tabs = window.findChild<QTabBar*>("AlbumTabs");
        auto* button = window.findChild<QToolButton*>("AlbumListButton");
        auto* list = window.findChild<QMenu*>("AlbumList");
        ASSERT_EQ(tabs->count(), names.size());
        const int padding = tabs->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, tabs);
        for (int i = 0; names.size() <= 4 && i < names.size(); ++i) {
            const QString text = tabs->tabText(i); // drawn whole: the tab holds all of it
            EXPECT_EQ(readable(text), names[i]);
            EXPECT_GE(tabs->tabRect(i).width() - padding,
                      tabs->fontMetrics().size(Qt::TextShowMnemonic, text).width())
                << names[i].toStdString();
        }
        // Chosen from the list, an album is loaded as by a click on its tab.
        const int last = int(names.size()) - 1;
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_EQ(list->actions().size(), names.size());
        EXPECT_EQ(readable(list->actions()[last]->text()), names[last]);
        list->actions()[last]->trigger();
        list->close();
        EXPECT_EQ(state.albums.currentAlbum, last);
        EXPECT_TRUE(tabs->rect().contains(tabs->tabRect(last).center()));
        // And by keyboard: the button takes the focus, Space opens, arrows and Return choose.
        button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button, Qt::Key_Space);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(state.albums.currentAlbum, 1);
    }
}

} // namespace
} // namespace kv::shell
