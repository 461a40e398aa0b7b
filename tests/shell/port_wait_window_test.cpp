// The window while another program keeps the printer port or the album lock: the wait
// shows at once, the window goes on working, ESC ends the port wait, and a port that
// comes free within the bound prints the page.
#include "albums/album_messages.h"
#include "jobs/job_messages.h"
#include "jobs/status_window.h"
#include "media/media_rank_table.h"
#include "platform/directory_lock.h"
#include "platform/imagelib/image_library.h"
#include "platform/port_lock.h"
#include "platform/profile.h"
#include "platform/recording_ui.h"
#include "printer/printer_messages.h"
#include "printer/scoped_env.h"
#include "shell/main_window.h"
#include "support/drop_files.h"
#include "support/temp_dir.h"

#include <QAction>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

namespace kv::shell {
namespace {

namespace fs = std::filesystem;
using Answer = platform::Ui::Answer;
using platform::PortLock;

// Lets a test act while the window asks, as another program may between two steps.
struct AskingUi : platform::RecordingUi {
    std::function<void()> onAsk;
    Answer ask(std::string_view text, Buttons buttons, Icon icon) override {
        if (onAsk)
            onAsk();
        return RecordingUi::ask(text, buttons, icon);
    }
};

// A window on the virtual printer, one picture on show, the port's lock in `locks`.
struct Rig {
    explicit Rig(std::uint32_t portWaitMs) {
        env.set("KVPR_PORT", "sim");
        env.set("KVPR_SIM_OUT", out.path().string().c_str());
        env.set("KVPR_SIM_WARMUP_MS", "0");
        test::writeBytes(shipped / "Media.rtb", media::MediaRankTable::defaults().toBytes());
        EXPECT_TRUE(window.create(shipped.path()));
        window.session().setUpPrinterPort();
        window.show();
        printer::PrinterLink& link = window.session().printerLink();
        link.setPortLockFolder(locks.path());
        link.setPortLockWaitMs(portWaitMs);
        const fs::path picture = out / "p.bmp";
        EXPECT_TRUE(platform::imagelib::WriteBmpFile(picture, platform::Bitmap24::make(160, 120)));
        test::dropFiles(window, {picture});
        state.albums.select(0);
        window.dispatch(CommandId::DisplaySelected);
        ui.clear();
    }
    fs::path portLockFile() {
        return locks / PortLock::fileName(window.session().portLibrary().api().portIdentity());
    }
    std::string stripText() { return window.findChild<jobs::StatusWindow*>()->progressText(); }
    long told(std::string_view text) { return std::ranges::count(ui.texts(), text); }

    test::ScopedProgramFolders folders;
    test::TempDir shipped;
    test::TempDir out;
    test::TempDir locks;
    printer::ScopedEnv env;
    AppState state;
    AskingUi ui;
    MainWindow window{state, &ui};
};

TEST(PortWaitWindow, TheWaitShowsAtOnceAndEndsAsAsked) {
    // The port is taken before the print command, while it asks about the colour table
    // (before the media upload and the sheet), or between the command and its sheet.
    enum class Taken { BeforeTheCommand, AtTheQuestion, BeforeTheSheet };
    enum class Then { PortFreed, Escape, BoundRunsOut };
    const struct {
        Taken taken;
        Then then;
        std::uint32_t boundMs;
        bool printed;
    } cases[] = {
        {Taken::BeforeTheCommand, Then::PortFreed, 30000, true},
        {Taken::BeforeTheCommand, Then::Escape, 30000, false},
        {Taken::BeforeTheCommand, Then::BoundRunsOut, 1500, false},
        {Taken::AtTheQuestion, Then::Escape, 30000, false},
        {Taken::AtTheQuestion, Then::BoundRunsOut, 1500, false},
        {Taken::BeforeTheSheet, Then::PortFreed, 30000, true},
        {Taken::BeforeTheSheet, Then::Escape, 30000, false},
        {Taken::BeforeTheSheet, Then::BoundRunsOut, 1500, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "taken " << int(c.taken) << ", then " << int(c.then));
        Rig rig(c.boundMs);
        PortLock other(rig.portLockFile());
        QAction* print = rig.window.commandAction(CommandId::PrintCurrent);

        // The window's timers run in the wait. Once it shows (print greyed), the other
        // program lets go, or the user presses ESC, or nothing happens.
        QElapsedTimer clock;
        qint64 shownAt = -1, actedAt = -1;
        bool printGreyed = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (shownAt < 0 && rig.stripText() == jobs::msg::kWaitingForPort) {
                shownAt = clock.elapsed();
                printGreyed = !print->isEnabled();
            } else if (shownAt >= 0 && actedAt < 0 && clock.elapsed() > shownAt + 200) {
                actedAt = clock.elapsed();
                if (c.then == Then::PortFreed)
                    other.unlock();
                else if (c.then == Then::Escape)
                    QTest::keyClick(&rig.window, Qt::Key_Escape);
            }
        });
        watch.start(5);

        rig.ui.script(Answer::Yes); // no colour-matching table here: print without
        const auto takePort = [&] {
            ASSERT_EQ(other.tryLock(), PortLock::Attempt::Held);
            clock.start();
        };
        if (c.taken == Taken::BeforeTheCommand)
            takePort();
        if (c.taken == Taken::AtTheQuestion) {
            // Set up for other media: the print uploads the LED table after the question.
            platform::Profile(rig.folders.system() / "kvprn.ini")
                .writeString("MediaID", "IDString", "ABBBBBBBBB");
            rig.ui.onAsk = takePort;
        }
        rig.window.dispatch(CommandId::PrintCurrent);
        if (c.taken == Taken::BeforeTheSheet)
            takePort();
        while (rig.state.printBusy && clock.elapsed() < 60000)
            QTest::qWait(5);
        const qint64 endedAt = clock.elapsed();
        watch.stop();
        other.unlock();

        // At the first look, long before the bound (the pause allows for a loaded machine).
        EXPECT_TRUE(shownAt >= 0 && shownAt < 3000) << shownAt;
        EXPECT_TRUE(printGreyed);
        EXPECT_TRUE(c.then != Then::Escape || endedAt - actedAt < 1000) << endedAt - actedAt;
        EXPECT_EQ(fs::exists(rig.out / "page-0001.png"), c.printed);
        EXPECT_EQ(rig.told(printer::kMsgPortInUse), c.then == Then::BoundRunsOut ? 1 : 0);
        // Nothing of the wait is left: the strip at rest, print on, the port free.
        EXPECT_EQ(rig.stripText(), "");
        EXPECT_TRUE(print->isEnabled());
        EXPECT_EQ(other.tryLock(), PortLock::Attempt::Held);
    }
}

TEST(PortWaitWindow, AnAlbumChangeWaitingForTheLockKeepsTheWindowGoing) {
    Rig rig(30000);
    std::optional<platform::DirectoryLock> other;
    other.emplace(rig.folders.home() / "album.lock", std::chrono::milliseconds(0));
    ASSERT_TRUE(other->held());
    bool ranInTheWait = false;
    QTimer::singleShot(200, [&] {
        ranInTheWait = rig.window.session().albumStore()->busy();
        other.reset();
    });
    rig.window.dispatch(CommandId::Rotate);
    EXPECT_TRUE(ranInTheWait);
    EXPECT_EQ(rig.told(albums::msg::kAlbumsBusy), 0);
    EXPECT_EQ(rig.state.albums.pictures[0].rotation, 1);
}

} // namespace
} // namespace kv::shell
