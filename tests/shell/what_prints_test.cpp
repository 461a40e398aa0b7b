// What the window shows is what prints: every path that changes the picture on
// show, through the main window, against the pages the virtual printer writes.
#include "albums/thumbnail_grid.h"
#include "media/media_rank_table.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "printer/scoped_env.h"
#include "shell/main_window.h"
#include "support/drop_files.h"
#include "support/jpeg_writer.h"
#include "support/printed_pages.h"
#include "support/temp_dir.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QProcess>
#include <QTabBar>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace kv::shell {
namespace {

namespace fs = std::filesystem;
using Answer = platform::Ui::Answer;
using platform::Bitmap24;

struct Colour {
    std::uint8_t r, g, b;
    bool operator==(const Colour&) const = default;
};

// 160 x 120, the left half one colour and the right half another, so a half
// turn shows; every picture is the same size, so a freed buffer may be reused.
Bitmap24 halves(Colour left, Colour right) {
    Bitmap24 bitmap = Bitmap24::make(160, 120);
    for (int y = 0; y < bitmap.height; ++y)
        for (int x = 0; x < bitmap.width; ++x) {
            const Colour c = x < bitmap.width / 2 ? left : right;
            std::uint8_t* p = bitmap.at(x, y);
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        }
    return bitmap;
}

constexpr Colour kRed{220, 20, 20}, kGreen{20, 200, 40}, kBlue{30, 30, 210}, kYellow{230, 220, 10},
    kWhite{250, 250, 250}, kBlack{10, 10, 10};

class WhatPrints : public ::testing::Test {
  protected:
    void SetUp() override {
        env.set("KVPR_PORT", "sim");
        env.set("KVPR_SIM_OUT", out.path().string().c_str());
        env.set("KVPR_SIM_WARMUP_MS", "0");
        test::writeBytes(shipped / "Media.rtb", media::MediaRankTable::defaults().toBytes());
        // A second album to move pictures to.
        fs::create_directories(folders.home());
        test::writeBytes(folders.home() / "album.dat", "2\r\nMy_Album\r\nZiel\r\n");
        window = std::make_unique<MainWindow>(state, &ui);
        ASSERT_TRUE(window->create(shipped.path()));
        window->session().setUpPrinterPort();
        window->resize(1000, 900);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    fs::path picture(const std::string& name, const Bitmap24& bitmap) {
        const fs::path file = pictures / name;
        EXPECT_TRUE(platform::imagelib::WriteBmpFile(file, bitmap));
        return file;
    }

    void drop(const std::vector<fs::path>& files) {
        test::dropFiles(*window, files);
        ASSERT_TRUE(ui.prompts().empty()) << ui.prompts().front().text;
    }

    QWidget* thumbnails() const {
        return window->findChild<QAbstractScrollArea*>("ThumbNail")->viewport();
    }
    QPoint cell(int index) const {
        const albums::grid::Box f = albums::grid::frameBox(index, 2);
        return QPoint((f.left + f.right) / 2, (f.top + f.bottom) / 2);
    }
    // As the user chooses a picture: a double-click on its thumbnail.
    void show(int index) {
        QTest::mouseClick(thumbnails(), Qt::LeftButton, {}, cell(index));
        QTest::mouseDClick(thumbnails(), Qt::LeftButton, {}, cell(index));
        QTest::mouseRelease(thumbnails(), Qt::LeftButton, {}, cell(index));
    }
    void dragToAlbum(int index, int album) {
        auto* tabs = window->findChild<QTabBar*>("AlbumTabs");
        const QPoint end =
            thumbnails()->mapFromGlobal(tabs->mapToGlobal(tabs->tabRect(album).center()));
        QTest::mousePress(thumbnails(), Qt::LeftButton, {}, cell(index));
        QTest::mouseMove(thumbnails(), cell(index) + QPoint(4, 4));
        QTest::mouseMove(thumbnails(), end);
        QTest::mouseRelease(thumbnails(), Qt::LeftButton, {}, end);
    }
    void dispatch(CommandId id) { window->dispatch(id); }

    // kvphoto-cli on the same program directory, its pages into `pages`.
    void cli(const QStringList& args, const fs::path& pages = {}) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!pages.empty())
            environment.insert("KVPR_SIM_OUT", QString::fromStdString(pages.string()));
        process.setProcessEnvironment(environment);
        process.start(KV_CLI, QStringList{"--yes"} + args);
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }
    // The window takes up what another program changed in the album.
    bool waitFor(const std::function<bool()>& done) {
        return QTest::qWaitFor([&] { return done(); }, 5000);
    }

    // The print window as the user sees it, at the picture's own size.
    Colour shownAt(int x, int y) const {
        const QImage shot = window->printWindow()->grab().toImage();
        const QRgb c = shot.pixel(x, y);
        return {std::uint8_t(qRed(c)), std::uint8_t(qGreen(c)), std::uint8_t(qBlue(c))};
    }

    // "Aktuelles Photo drucken"; a digest of the page's bytes (short enough for a
    // failure message), or "" when no page came out.
    std::string print() {
        ui.script(Answer::Yes); // no colour-matching table here: print without
        const fs::path page =
            out / QString("page-%1.levels").arg(++pages, 4, 10, QChar('0')).toStdString();
        dispatch(CommandId::PrintCurrent);
        QElapsedTimer clock;
        clock.start();
        while (state.printBusy && clock.elapsed() < 60000)
            QTest::qWait(10);
        EXPECT_FALSE(state.printBusy);
        if (!fs::exists(page)) {
            --pages;
            return {};
        }
        return std::to_string(std::hash<std::string>{}(test::readBytes(page)));
    }

    test::ScopedProgramFolders folders;
    test::TempDir shipped;
    test::TempDir out;
    test::TempDir pictures;
    printer::ScopedEnv env;
    AppState state;
    platform::RecordingUi ui;
    std::unique_ptr<MainWindow> window;
    int pages = 0;
};

TEST_F(WhatPrints, SameSizedPicturesEachShowAndPrintThemselves) {
    drop({picture("red.bmp", halves(kRed, kRed)), picture("green.bmp", halves(kGreen, kGreen)),
          picture("blue.bmp", halves(kBlue, kBlue)), picture("arrows.bmp", halves(kWhite, kBlack)),
          picture("arrows-copy.bmp", halves(kWhite, kBlack))});
    const Colour lefts[] = {kRed, kGreen, kBlue, kWhite};
    for (int i = 0; i < 4; ++i) {
        show(i);
        EXPECT_EQ(state.albums.loadedPicture(), i);
        EXPECT_EQ(shownAt(10, 10), lefts[i]) << "picture " << i;
    }
    EXPECT_EQ(shownAt(150, 10), kBlack);
    const std::string arrows = print();
    ASSERT_FALSE(arrows.empty());

    show(0);
    const std::string red = print();
    EXPECT_NE(red, arrows);
    // The same picture from another file prints the same page.
    show(4);
    EXPECT_EQ(print(), arrows);
    EXPECT_EQ(state.statusText, "arrows-copy.bmp [160X120]");
}

TEST_F(WhatPrints, TheAlbumsRotationIsShownAndPrinted) {
    const Bitmap24 arrows = halves(kWhite, kBlack);
    drop({picture("arrows.bmp", arrows), picture("turned.bmp", platform::turnBitmap(arrows, 2)),
          picture("plain.bmp", halves(kGreen, kGreen))});
    show(0);
    dispatch(CommandId::Rotate);
    dispatch(CommandId::Rotate);
    // The picture on show turns with the album: upside down, still loaded.
    EXPECT_EQ(state.albums.loadedPicture(), 0);
    EXPECT_EQ(shownAt(10, 10), kBlack);
    EXPECT_EQ(shownAt(150, 10), kWhite);
    const std::string rotated = print();
    ASSERT_FALSE(rotated.empty());

    // A rotated picture followed by one of the same size shows the new one.
    show(2);
    EXPECT_EQ(shownAt(10, 10), kGreen);
    show(1);
    EXPECT_EQ(shownAt(10, 10), kBlack);
    EXPECT_EQ(print(), rotated) << "the page is turned as the preview shows it";

    // The 4-in-1 sheet shows and prints the album's turn as well.
    show(0);
    dispatch(CommandId::LayoutFourUp);
    const Bitmap24 fromRotated = state.sheet;
    dispatch(CommandId::LayoutOneUp);
    show(1);
    dispatch(CommandId::LayoutFourUp);
    EXPECT_EQ(state.sheet.pixels, fromRotated.pixels);
}

TEST_F(WhatPrints, AMoveToAnotherAlbumLeavesTheShownPictureLoaded) {
    drop({picture("red.bmp", halves(kRed, kRed)), picture("green.bmp", halves(kGreen, kGreen)),
          picture("blue.bmp", halves(kBlue, kBlue)), picture("arrows.bmp", halves(kWhite, kBlack)),
          picture("yellow.bmp", halves(kYellow, kYellow))});
    show(1);
    const std::string green = print();
    show(3);

    ui.script(Answer::Yes);
    dragToAlbum(0, 1);
    ASSERT_EQ(ui.texts().back(), "Wollen Sie die aktuelle Datei in dieses Album verschieben?");
    ASSERT_EQ(state.albums.pictureCount, 4);
    // Green moved up into row 0, which is now selected and shown.
    EXPECT_EQ(state.albums.selectedPicture(), 0);
    EXPECT_EQ(state.albums.loadedPicture(), 0);
    EXPECT_EQ(shownAt(10, 10), kGreen);
    EXPECT_EQ(print(), green);

    // The loaded picture in the last row: the row before it is shown and prints.
    show(3);
    const std::string yellow = print();
    ui.script(Answer::Yes);
    dragToAlbum(3, 1);
    ASSERT_EQ(state.albums.pictureCount, 3);
    EXPECT_EQ(state.albums.loadedPicture(), state.albums.selectedPicture());
    EXPECT_EQ(state.albums.pictures[std::size_t(state.albums.loadedPicture())].displayName,
              "arrows.bmp");
    EXPECT_EQ(shownAt(150, 10), kBlack);
    const std::string page = print();
    EXPECT_FALSE(page.empty());
    EXPECT_NE(page, yellow);
}

TEST_F(WhatPrints, DeletingTheLoadedPictureLeavesNothingToPrint) {
    drop({picture("red.bmp", halves(kRed, kRed)), picture("green.bmp", halves(kGreen, kGreen))});
    show(1);
    ui.clear();
    ui.script(Answer::Yes);
    dispatch(CommandId::DeletePhoto);
    EXPECT_EQ(state.albums.loadedPicture(), -2);
    EXPECT_FALSE(state.displayedPicture);
    ui.clear();
    EXPECT_EQ(print(), "");
    EXPECT_EQ(ui.texts().front(), "Kein Foto für den Druck ausgewählt!");
}

TEST_F(WhatPrints, WhatAnotherProgramChangesIsShownBeforeItPrints) {
    cli({"album", "list"}); // its own shipped data installed before the first page
    const fs::path arrows = picture("arrows.bmp", halves(kWhite, kBlack));
    drop({picture("blue.bmp", halves(kBlue, kBlue)), arrows, arrows});
    show(0);
    const std::string blue = print();
    // Row 2 is the same file turned upside down.
    show(2);
    dispatch(CommandId::Rotate);
    dispatch(CommandId::Rotate);
    const std::string upsideDown = print();
    show(1);
    const std::string upright = print();
    ASSERT_NE(upright, upsideDown);
    const auto rotation = [&](int row) { return state.albums.pictures[std::size_t(row)].rotation; };

    // The picture on show turned by kvphoto-cli, and turned back.
    for (const auto& [turn, top, page] :
         {std::tuple{2, kBlack, upsideDown}, std::tuple{0, kWhite, upright}}) {
        cli({"picture", "rotate", "My_Album", "1"});
        cli({"picture", "rotate", "My_Album", "1"});
        EXPECT_TRUE(waitFor([&] { return rotation(1) == turn; }));
        EXPECT_EQ(state.albums.loadedPicture(), 1);
        EXPECT_EQ(shownAt(10, 10), top);
        EXPECT_EQ(print(), page);
    }

    // The upside-down copy on show stays loaded when a row before it goes...
    show(2);
    cli({"picture", "delete", "My_Album", "0"});
    EXPECT_TRUE(waitFor([&] { return state.albums.pictureCount == 2; }));
    EXPECT_EQ(state.albums.selectedPicture(), 1);
    EXPECT_EQ(state.albums.loadedPicture(), 1);
    EXPECT_EQ(shownAt(10, 10), kBlack);
    EXPECT_EQ(print(), upsideDown);
    // ...and goes itself when it is deleted, while its upright copy stays.
    cli({"picture", "delete", "My_Album", "1"});
    EXPECT_TRUE(waitFor([&] { return state.albums.pictureCount == 1; }));
    EXPECT_FALSE(state.displayedPicture);
    EXPECT_EQ(print(), "");

    // The file on show replaced: shown anew, then printed.
    show(0);
    ui.clear();
    const fs::path replacement = picture("new.bmp", halves(kBlue, kBlue));
    fs::rename(replacement, arrows);
    EXPECT_EQ(print(), blue);
    EXPECT_EQ(shownAt(10, 10), kBlue);
}

TEST_F(WhatPrints, TheWindowAndTheCommandLinePrintTheSamePage) {
    // Fine detail at a size that is decoded reduced for the sheet.
    const auto photo = [&](const std::string& name, int seed) {
        const fs::path file = pictures / name;
        test::writeBytes(file, test::encodeJpeg(1600, 1200, [seed](int y, JSAMPLE* row) {
                             for (int x = 0; x < 1600 * 3; ++x)
                                 row[x] = JSAMPLE((x * 7 + y * 13 + seed) % 251 > 125 ? 230 : 20);
                         }));
        return file;
    };
    drop({photo("window.jpg", 0)});
    cli({"picture", "add", "My_Album", QString::fromStdString(photo("cli.jpg", 1).string())});
    ASSERT_TRUE(waitFor([&] { return state.albums.pictureCount == 2; }));
    for (int row = 0; row < 2; ++row) {
        show(row);
        ASSERT_FALSE(print().empty());
        const test::TempDir cliPages;
        cli({"print", "--quiet", "--album", "My_Album", "--picture", QString::number(row)},
            cliPages.path());
        EXPECT_EQ(test::readBytes(test::printedPage(cliPages.path(), 1)),
                  test::readBytes(test::printedPage(out.path(), pages)))
            << "row " << row;
    }
}

} // namespace
} // namespace kv::shell
