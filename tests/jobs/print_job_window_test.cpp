// "Foto drucken" through the main window, on the virtual printer the program loads.
#include "media/media_rank_table.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "printer/scoped_env.h"
#include "shell/main_window.h"
#include "support/drop_files.h"
#include "support/temp_dir.h"

#include <QAction>
#include <QCoreApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kv::shell {
namespace {

namespace fs = std::filesystem;
using Answer = platform::Ui::Answer;

// The main window over a fresh program folder, printing on the virtual printer.
class PrintJobWindow : public ::testing::Test {
  protected:
    bool choosePrinter() {
        env.set("KVPR_PORT", "sim");
        env.set("KVPR_SIM_OUT", out.path().string().c_str());
        env.set("KVPR_SIM_WARMUP_MS", "0");
        return true;
    }
    void SetUp() override {
        test::writeBytes(shipped / "Media.rtb", media::MediaRankTable::defaults().toBytes());
        ASSERT_TRUE(window.create(shipped.path()));
        window.session().setUpPrinterPort();
        window.show();
    }

    test::ScopedProgramFolders folders;
    test::TempDir shipped;
    test::TempDir out;
    printer::ScopedEnv env;
    bool printerChosen = choosePrinter(); // before the window reads the variables
    AppState state;
    platform::RecordingUi ui;
    MainWindow window{state, &ui};
};

TEST_F(PrintJobWindow, FotoDruckenPrintsAPageOnTheVirtualPrinter) {

    // A picture dropped into the album, then chosen as a double-click does.
    const fs::path picture = out / "pics/p.bmp";
    fs::create_directories(picture.parent_path());
    ASSERT_TRUE(platform::imagelib::WriteBmpFile(picture, platform::Bitmap24::make(160, 120)));
    test::dropFiles(window, {picture});
    ASSERT_EQ(state.albums.pictureCount, 1);
    state.albums.select(0);
    state.albums.setLoaded(state.albums.selectedPicture());
    window.dispatch(CommandId::DisplaySelected);
    ui.clear();

    ui.script(Answer::Yes); // no colour-matching table in this program folder: print without
    QAction* print = window.commandAction(CommandId::PrintCurrent);
    ASSERT_TRUE(print && print->isEnabled());
    print->trigger();
    EXPECT_FALSE(print->isEnabled()) << "greyed while the job runs";

    const fs::path page = out / "page-0001.png";
    QElapsedTimer clock;
    clock.start();
    while ((state.printBusy || !fs::exists(page)) && clock.elapsed() < 60000)
        QTest::qWait(20);
    EXPECT_TRUE(fs::exists(page));
    EXPECT_FALSE(state.printBusy);
    EXPECT_TRUE(print->isEnabled());
    EXPECT_EQ(window.printJob()->lastOutcome(), jobs::JobOutcome::Printed);
    // This bare program folder has no base-media values either: the colour stages
    // say so and print on; nothing else may be told.
    EXPECT_EQ(ui.texts(),
              (std::vector<std::string>{"Farbzuordnungstabelle ist nicht zu finden.\n\n Möchten "
                                        "Sie das Drucken ohne Farbzuordnungstabelle fortsetzen?",
                                        "Die Kalibrierung ist ungültig (RBase32 = 0.0). Es wird "
                                        "ohne Farbkorrektur gedruckt."}));

    // Again, with ESC pressed once the transfer has taken the album bar's "Neu".
    ui.clear();
    ui.script({Answer::Yes, Answer::Yes});
    auto* newAlbum = window.findChild<QWidget*>(QStringLiteral("NewAlbumButton"));
    ASSERT_TRUE(newAlbum && newAlbum->isEnabled());
    bool pressed = false;
    QTimer esc;
    QObject::connect(&esc, &QTimer::timeout, [&] {
        if (pressed || newAlbum->isEnabled())
            return;
        pressed = true;
        QCoreApplication::postEvent(
            &window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    esc.start(1);
    print->trigger();
    clock.restart();
    while (state.printBusy && clock.elapsed() < 60000)
        QTest::qWait(20);
    EXPECT_TRUE(pressed);
    EXPECT_EQ(window.printJob()->lastOutcome(), jobs::JobOutcome::Cancelled);
    EXPECT_EQ(ui.texts().back(), "Wollen Sie den Druckvorgang anhalten?");
    EXPECT_TRUE(newAlbum->isEnabled());
    EXPECT_FALSE(fs::exists(out / "page-0002.png"));
}

TEST_F(PrintJobWindow, TheAlbumBarStaysLockedBetweenTheSheetsOfABatch) {

    std::vector<fs::path> pictures;
    for (const char* name : {"a.bmp", "b.bmp"}) {
        pictures.push_back(out / "pics" / name);
        fs::create_directories(pictures.back().parent_path());
        ASSERT_TRUE(
            platform::imagelib::WriteBmpFile(pictures.back(), platform::Bitmap24::make(160, 120)));
    }
    test::dropFiles(window, pictures);
    ASSERT_EQ(state.albums.pictureCount, 2);

    auto* newAlbum = window.findChild<QWidget*>(QStringLiteral("NewAlbumButton"));
    bool locked = false;
    int unlockedMidJob = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        locked = locked || !newAlbum->isEnabled();
        unlockedMidJob += locked && state.printBusy && newAlbum->isEnabled();
    });
    watch.start(1);
    ui.script({Answer::Yes, Answer::Yes}); // print the album; without a colour table
    window.dispatch(CommandId::BatchPrint);
    QElapsedTimer clock;
    clock.start();
    while (state.printBusy && clock.elapsed() < 120000)
        QTest::qWait(5);
    EXPECT_TRUE(fs::exists(out / "page-0002.png"));
    EXPECT_TRUE(locked);
    EXPECT_EQ(unlockedMidJob, 0);
    EXPECT_TRUE(newAlbum->isEnabled());
}

} // namespace
} // namespace kv::shell
