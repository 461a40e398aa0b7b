// Print jobs against the virtual printer on virtual time: what reaches the paper,
// and every prompt on the way.
#include "jobs/print_job.h"

#include "adjust/adjust_messages.h"
#include "albums/album_files.h"
#include "jobs/job_messages.h"
#include "platform/clock.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "printer/port_library.h"
#include "printer/port_protocol.h"
#include "printer/printer_messages.h"
#include "printer/sim_port.h"
#include "printer/virtual_printer.h"
#include "render/layout_messages.h"
#include "support/page_levels.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kv::jobs {
namespace {

namespace fs = std::filesystem;
using Answer = platform::Ui::Answer;
using Icon = platform::Ui::Icon;

// Answers questions through a hook, so a test can change the printer while a
// prompt is open, as a user fixing the paper would.
class HookUi : public platform::RecordingUi {
  public:
    std::function<void(std::string_view)> onAsk;
    Answer ask(std::string_view text, Buttons buttons, Icon icon) override {
        if (onAsk)
            onAsk(text);
        return RecordingUi::ask(text, buttons, icon);
    }
};

class Progress : public platform::ProgressDisplay {
  public:
    std::function<void(int)> onShow;
    int stageStarts = 0;
    void showProgress(int value) override {
        if (flags.colourStagesRunning && value == 100)
            ++stageStarts;
        if (onShow)
            onShow(value);
    }
    void redraw() override {}
};

fs::path patternBmp(const fs::path& file, int width, int height, int seed = 0) {
    platform::Bitmap24 b = platform::Bitmap24::make(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = b.at(x, y);
            p[0] = std::uint8_t(x * 3 + y + seed);
            p[1] = std::uint8_t(y / 2);
            p[2] = std::uint8_t(x ^ y);
        }
    fs::create_directories(file.parent_path());
    EXPECT_TRUE(platform::imagelib::WriteBmpFile(file, b));
    return file;
}

struct Rig : JobHost {
    Rig() {
        printer::setSettleScale(0);
        fs::create_directories(folders.home());
        fs::create_directories(folders.system());
        settings.colorControl = 4; // plain levels: no calibration files needed
        settings.edge = adjust::kEdgeNone;
        settings.matchPath = folders.home() / "normal.cct"; // absent: the job asks
        for (auto& curve : media.gamma.table)
            curve[256] = 1020;
        media.currentMediaId = "";
        job = std::make_unique<PrintJob>(
            JobContext{state, ui, link,
                       media::MediaContext{link, media, leds, folders.home(), folders.system()},
                       settings, folders.driveC() / "kvtemp", folders.driveC() / "default.bmx"},
            *this);
    }

    // The album's current picture, loaded in the 1-in-1 layout.
    void loadPicture(const fs::path& file) {
        state.albums.pictures[0].fullPath = file.string();
        state.albums.pictures[0].displayName = file.filename().string();
        state.albums.pictureCount = 1;
        state.albums.select(0);
        state.albums.setLoaded(state.albums.selectedPicture());
    }

    // Steps while the job keeps re-arming its timer.
    void run() {
        for (int guard = 0; armedMs > 0 && guard < 50; ++guard) {
            armedMs = 0;
            job->step();
        }
    }

    void armTimer(int ms) override { armedMs = ms; }
    bool pumpOneEvent() override { return line++ == escAtLine; }
    void transferring(bool on) override { transfers += on; }
    void batchPictureShown(int index) override { shown.push_back(index); }

    test::ScopedProgramFolders folders;
    platform::FakeClock clock;
    HookUi ui;
    Progress progress;
    printer::VirtualPrinter vp{clock, folders.home() / "vp", {.warmUpMs = 0}};
    printer::SimPort port{vp};
    printer::InProcessPortApi api{port, {.hasPort = {}, .afterReset = [this] {
                                             vp.reset();
                                             return true;
                                         }}};
    printer::PrinterLink link{api, clock, ui, &progress, folders.system()};
    shell::AppState state;
    media::MediaState media;
    printer::LedTable leds;
    adjust::PictureAdjustSettings settings;
    std::unique_ptr<PrintJob> job;

    int armedMs = 0;
    int line = 0;
    int escAtLine = -1;
    int transfers = 0;
    std::vector<int> shown;
};

const std::string kNoTable(adjust::kAskPrintWithoutMatchTable);

TEST(PrintJob, OneUpPagePrintsTheLevelsComputedForTheSheet) {
    Rig rig;
    const fs::path picture = patternBmp(rig.folders.home() / "pics/p.bmp", 300, 200);
    rig.loadPicture(picture);
    rig.ui.script(Answer::Yes);
    rig.job->printCurrent();
    EXPECT_TRUE(rig.state.printBusy);
    EXPECT_EQ(rig.armedMs, PrintJob::kArmMs);
    rig.run();

    EXPECT_EQ(rig.ui.texts(), std::vector<std::string>{kNoTable});
    EXPECT_EQ(rig.job->lastOutcome(), JobOutcome::Printed);
    EXPECT_FALSE(rig.state.printBusy);
    EXPECT_EQ(rig.transfers, 1);
    ASSERT_EQ(rig.vp.pagesWritten(), 1u);
    EXPECT_EQ(rig.progress.stageStarts, 1);

    // The same sheet through the preparation in process.
    platform::RecordingUi ui;
    const render::PrintInputs inputs{rig.settings, false, rig.media.calibration, rig.media.gamma,
                                     rig.folders.home()};
    auto images = std::make_unique<render::JobImages>();
    ASSERT_TRUE(render::preparePrintLevels(picture, inputs, *images, ui));
    const printer::PageLevels& page = rig.vp.lastPageLevels();
    EXPECT_EQ(test::levelsDisagreeing(page, images->exposure), 0);
    EXPECT_NE(page.cyan(240, 320), page.cyan(241, 322)) << "a picture, not a blank sheet";
}

TEST(PrintJob, StartChecksThatStopTheJobBeforeItStarts) {
    Rig rig;
    // 1-in-1 without a loaded picture.
    rig.job->printCurrent();
    EXPECT_EQ(rig.ui.texts(), std::vector<std::string>{std::string(msg::kNoPhotoToPrint)});
    EXPECT_EQ(rig.ui.prompts()[0].icon, Icon::None);

    // The colour table's question answered No.
    rig.ui.clear();
    rig.loadPicture(patternBmp(rig.folders.home() / "p.bmp", 64, 48));
    rig.job->printCurrent();
    EXPECT_EQ(rig.ui.texts(), std::vector<std::string>{kNoTable});
    EXPECT_EQ(rig.armedMs, 0);
    EXPECT_FALSE(rig.state.printBusy);

    // A debug BMX command that never started leaves the next job a print.
    rig.job->printToBmx();
    EXPECT_FALSE(rig.job->bmxOnly());
    EXPECT_FALSE(rig.progress.flags.bmxOnly);
    EXPECT_EQ(rig.vp.pagesWritten(), 0u);
}

TEST(PrintJob, PaperOutAndFaultPromptsRetryWithoutRenderingAgain) {
    struct Case {
        const char* name;
        bool fault; // else paper out
        Answer answer;
        std::string question;
        std::size_t pages;
    };
    const Case cases[] = {
        {"paper, Yes", false, Answer::Yes, std::string(msg::kAskNoPaper), 1},
        {"paper, No", false, Answer::No, std::string(msg::kAskNoPaper), 0},
        {"fault, Retry", true, Answer::Retry, std::string(msg::kPrinterFault), 1},
        {"fault, Cancel", true, Answer::Cancel, std::string(msg::kPrinterFault), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.loadPicture(patternBmp(rig.folders.home() / "p.bmp", 120, 90));
        // The trouble starts while the colour stages run; the user clears it at the prompt.
        rig.progress.onShow = [&rig, &c](int value) {
            if (rig.progress.flags.colourStagesRunning && value == 100)
                (c.fault ? rig.vp.setFault(true) : rig.vp.setPaperOut(true));
        };
        rig.ui.onAsk = [&rig](std::string_view) {
            rig.vp.setFault(false);
            rig.vp.setPaperOut(false);
        };
        rig.ui.script({Answer::Yes, c.answer});
        rig.job->printCurrent();
        rig.run();
        ASSERT_EQ(rig.ui.prompts().size(), 2u);
        EXPECT_EQ(rig.ui.prompts()[1].text, c.question);
        EXPECT_EQ(rig.ui.prompts()[1].icon, Icon::Information);
        EXPECT_EQ(rig.vp.pagesWritten(), c.pages);
        EXPECT_EQ(rig.progress.stageStarts, 1);
        EXPECT_FALSE(rig.state.printBusy);
        EXPECT_EQ(rig.job->lastOutcome(), c.pages ? JobOutcome::Printed : JobOutcome::Failed);
    }

    // A fault already there at the ready wait: Cancel ends the job before any stage.
    Rig rig;
    rig.loadPicture(patternBmp(rig.folders.home() / "p.bmp", 120, 90));
    rig.ui.script({Answer::Yes, Answer::Cancel});
    rig.job->printCurrent();
    rig.vp.setFault(true);
    rig.run();
    EXPECT_EQ(rig.ui.texts(),
              (std::vector<std::string>{kNoTable, std::string(msg::kPrinterFault)}));
    EXPECT_EQ(rig.progress.stageStarts, 0);
    EXPECT_EQ(rig.vp.pagesWritten(), 0u);

    // An empty tray found when the page is fed asks too, instead of ending without a word.
    Rig tray;
    tray.loadPicture(patternBmp(tray.folders.home() / "p.bmp", 120, 90));
    tray.vp.setTrayEmpty(true);
    tray.ui.onAsk = [&tray](std::string_view text) {
        if (text == msg::kAskNoPaper) {
            tray.vp.setTrayEmpty(false);
            tray.vp.setPaperOut(false);
        }
    };
    tray.ui.script({Answer::Yes, Answer::Yes});
    tray.job->printCurrent();
    tray.run();
    EXPECT_EQ(tray.ui.texts(), (std::vector<std::string>{kNoTable, std::string(msg::kAskNoPaper)}));
    EXPECT_EQ(tray.vp.pagesWritten(), 1u);
}

TEST(PrintJob, EscDuringTheTransferAsksAndCancelsThePage) {
    for (const Answer answer : {Answer::Yes, Answer::No}) {
        Rig rig;
        rig.loadPicture(patternBmp(rig.folders.home() / "p.bmp", 120, 90));
        rig.escAtLine = 100;
        rig.ui.script({Answer::Yes, answer});
        rig.job->printCurrent();
        rig.run();
        EXPECT_EQ(rig.ui.texts(),
                  (std::vector<std::string>{kNoTable, std::string(msg::kAskStopPrinting)}));
        const bool cancel = answer == Answer::Yes;
        EXPECT_EQ(rig.vp.pagesCancelled(), cancel ? 1u : 0u);
        EXPECT_EQ(rig.vp.pagesWritten(), cancel ? 0u : 1u);
        EXPECT_EQ(rig.line, cancel ? 101 : PrintJob::kLines);
        EXPECT_EQ(rig.job->lastOutcome(), cancel ? JobOutcome::Cancelled : JobOutcome::Printed);
        EXPECT_FALSE(rig.state.printBusy);
    }
}

TEST(PrintJob, BatchSkipsAnUndecodablePictureAndPrintsTheOthers) {
    Rig rig;
    const fs::path broken = rig.folders.home() / "pics/b.bmp";
    test::writeBytes(broken, "BM not a picture");
    const std::vector<albums::NameEntry> entries = {
        {patternBmp(rig.folders.home() / "pics/a.bmp", 80, 60, 1).string(), "a.bmp"},
        {broken.string(), "b.bmp"},
        {patternBmp(rig.folders.home() / "pics/c.bmp", 60, 80, 2).string(), "c.bmp"},
    };
    const fs::path nameFile = rig.folders.home() / "Album.dat";
    test::writeBytes(nameFile, albums::formatNameFile(entries));
    rig.ui.script({Answer::Yes, Answer::Yes, Answer::Yes});
    rig.job->batchPrint(nameFile);
    EXPECT_TRUE(rig.job->batchActive());
    EXPECT_EQ(rig.job->batchTotal(), 3);
    rig.run();

    EXPECT_EQ(rig.ui.texts(), (std::vector<std::string>{std::string(msg::kAskBatchPrint), kNoTable,
                                                        "Die Datei: " + broken.string() +
                                                            " kann nicht geladen werden!",
                                                        std::string(msg::kAskContinue)}));
    EXPECT_EQ(rig.ui.prompts()[2].icon, Icon::Information);
    EXPECT_EQ(rig.vp.pagesWritten(), 2u);
    EXPECT_EQ(rig.shown, (std::vector<int>{0, 2}));
    EXPECT_FALSE(rig.job->batchActive());
    EXPECT_EQ(rig.job->batchRemaining(), 0);
    EXPECT_FALSE(rig.state.printBusy);

    // Answered No, the batch ends at the bad picture.
    Rig no;
    test::writeBytes(nameFile, albums::formatNameFile({entries[1], entries[0]}));
    no.ui.script({Answer::Yes, Answer::Yes, Answer::No});
    no.job->batchPrint(nameFile);
    no.run();
    EXPECT_EQ(no.vp.pagesWritten(), 0u);
    EXPECT_FALSE(no.job->batchActive());
    EXPECT_FALSE(no.state.printBusy);
}

TEST(PrintJob, FourUpSheetStaysPrintBusyUntilTheJobEnds) {
    Rig rig;
    rig.state.layout = shell::Layout::FourUp;
    rig.state.sheet = platform::Bitmap24::make(640, 480);
    rig.state.albums.pictureCount = 1;
    bool busyInStages = false;
    rig.progress.onShow = [&](int value) {
        if (value == 100 && rig.progress.flags.colourStagesRunning)
            busyInStages = rig.state.printBusy;
    };
    rig.ui.script(Answer::Yes);
    rig.job->printCurrent();
    rig.run();
    EXPECT_TRUE(busyInStages);
    EXPECT_EQ(rig.vp.pagesWritten(), 1u);
    EXPECT_FALSE(rig.state.printBusy);
}

TEST(PrintJob, BmxOnlyWritesTheFileAndSendsNoPage) {
    Rig rig;
    rig.loadPicture(patternBmp(rig.folders.home() / "p.bmp", 200, 300));
    rig.ui.script(Answer::Yes);
    rig.job->printToBmx();
    EXPECT_TRUE(rig.progress.flags.bmxOnly);
    rig.run();
    EXPECT_EQ(rig.ui.texts(), std::vector<std::string>{kNoTable});
    EXPECT_EQ(fs::file_size(rig.folders.driveC() / "default.bmx"), 7074496u);
    EXPECT_EQ(rig.job->lastOutcome(), JobOutcome::BmxWritten);
    EXPECT_EQ(rig.vp.pagesWritten() + rig.vp.pagesCancelled(), 0u);
    EXPECT_EQ(rig.vp.pageLines(), 0u);
    EXPECT_EQ(rig.transfers, 0);
    EXPECT_FALSE(rig.job->bmxOnly());
    EXPECT_FALSE(rig.state.printBusy);

    // A file that cannot be written is told and not taken for a written one.
    Rig bad;
    bad.loadPicture(patternBmp(bad.folders.home() / "p.bmp", 200, 300));
    fs::create_directories(bad.folders.driveC() / "default.bmx");
    bad.ui.script(Answer::Yes);
    bad.job->printToBmx();
    bad.run();
    EXPECT_EQ(bad.ui.texts(),
              (std::vector<std::string>{kNoTable, std::string(render::kMsgBmxNotWritten)}));
    EXPECT_EQ(bad.job->lastOutcome(), JobOutcome::Failed);
    EXPECT_FALSE(bad.job->bmxOnly());
}

} // namespace
} // namespace kv::jobs
