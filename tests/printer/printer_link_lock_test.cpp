#include "platform/clock.h"
#include "platform/port_lock.h"
#include "platform/recording_ui.h"
#include "printer/led_table.h"
#include "printer/port_backend.h"
#include "printer/printer_commands.h"
#include "printer/printer_link.h"
#include "printer/printer_messages.h"
#include "support/holder_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kv::printer {
namespace {

using platform::FakeClock;
using platform::RecordingUi;
using Icon = platform::Ui::Icon;

// Every call that reaches the port, named with the front end it came from.
class LoggingApi : public PortApi {
  public:
    LoggingApi(std::string name, std::vector<std::string>& log)
        : m_name(std::move(name)), m_log(log) {}

    float getDllVersion() override { return 0.03f; }
    std::uint32_t commandSet(std::uint8_t* block) override {
        m_log.push_back(m_name + " command");
        block[7] = 0;
        return 0;
    }
    std::uint16_t isReady() override {
        m_log.push_back(m_name + " ready");
        return 0;
    }
    std::uint16_t lptReset() override {
        m_log.push_back(m_name + " reset");
        return 0;
    }
    std::int32_t initPort(std::int32_t) override {
        m_log.push_back(m_name + " init");
        return 0x378;
    }
    void writeData(std::uint16_t, std::uint8_t) override {
        if (m_log.empty() || m_log.back() != m_name + " sequence")
            m_log.push_back(m_name + " sequence");
    }

  private:
    std::string m_name;
    std::vector<std::string>& m_log;
};

std::string simIdentity(const std::filesystem::path& folder) {
    BackendOptions options;
    options.kind = BackendOptions::Kind::Sim;
    options.simOutput = folder;
    return portIdentity(options);
}

// One front end: its own clock, prompts and link, on the port named `identity`.
struct FrontEnd {
    FrontEnd(std::string name, const std::string& identity, const test::TempDir& locks,
             std::vector<std::string>& log)
        : api(std::move(name), log) {
        api.setPortIdentity(identity);
        link.setPortLockFolder(locks.path());
    }
    test::TempDir system;
    FakeClock clock;
    RecordingUi ui;
    LoggingApi api;
    PrinterLink link{api, clock, ui, nullptr, system.path()};
};

TEST(PrinterLinkPortLock, OneVirtualPrinterFolderIsOnePort) {
    test::TempDir a;
    test::TempDir b;
    EXPECT_EQ(simIdentity(a.path()), simIdentity(a.path() / ""));
    EXPECT_EQ(simIdentity(a.path()), simIdentity(a.path() / "." / ""));
    EXPECT_NE(simIdentity(a.path()), simIdentity(b.path()));
    EXPECT_EQ(simIdentity(a.path()).rfind("sim-", 0), 0u);
}

TEST(PrinterLinkPortLock, SecondFrontEndWaitsForTheBracketToClose) {
    test::TempDir locks;
    test::TempDir out;
    std::vector<std::string> log;
    FrontEnd window("window", simIdentity(out.path()), locks, log);
    FrontEnd cli("cli", simIdentity(out.path()), locks, log);

    window.link.lptSelect();
    window.link.lptSelect(); // nested: the bracket closes with the second release
    ASSERT_TRUE(window.link.holdsPort());
    // The window's job ends while the command line waits (its clock runs the wait).
    cli.clock.onAdvance([&](std::uint32_t now) {
        if (now >= 1000 && window.link.holdsPort()) {
            window.link.send();
            window.link.lptRelease();
            EXPECT_TRUE(window.link.holdsPort()) << "one select still open";
            window.link.lptRelease();
        }
    });
    cli.link.lptSelect();
    EXPECT_FALSE(cli.link.selectRefused());
    EXPECT_TRUE(cli.link.holdsPort());
    EXPECT_GE(cli.clock.tickMs(), 1000u);
    EXPECT_LT(cli.clock.tickMs(), PrinterLink::kPortLockWaitMs);
    EXPECT_TRUE(cli.ui.prompts().empty());
    EXPECT_EQ(cli.link.send(), 0u);
    EXPECT_EQ(cli.link.queryPrinterState(), PrinterState::Ready);
    // The window's traffic ended before the command line's began.
    const std::vector<std::string> expected = {"window sequence", "window command",
                                               "window sequence", "cli sequence",
                                               "cli command",     "cli ready"};
    EXPECT_EQ(log, expected);

    // The job's extra release after the bracket: nothing reaches the port the other
    // front end holds, and nobody is told.
    log.clear();
    window.link.lptRelease();
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(window.ui.prompts().empty());
    cli.link.lptRelease();
    EXPECT_FALSE(cli.link.holdsPort());
    window.link.lptRelease();
    EXPECT_EQ(log, (std::vector<std::string>{"cli sequence", "window sequence"}));
    EXPECT_FALSE(window.link.holdsPort());
}

TEST(PrinterLinkPortLock, PortKeptPastTheWaitFailsAsASilentPrinter) {
    test::TempDir locks;
    test::TempDir out;
    std::vector<std::string> log;
    FrontEnd window("window", simIdentity(out.path()), locks, log);
    FrontEnd cli("cli", simIdentity(out.path()), locks, log);
    test::writeBytes(cli.system / "kvprn.ini", "[LPT PORT]\r\nLPT_ADDRESS=888\r\n");
    cli.link.setPortLockWaitMs(5000);
    window.link.lptSelect();
    log.clear();

    const RecordingUi::Prompt busy{std::string(kMsgPortInUse), Icon::Information, false,
                                   platform::Ui::Buttons::Ok};
    const auto toldOnce = [&](const char* what) {
        ASSERT_EQ(cli.ui.prompts().size(), 1u) << what;
        EXPECT_EQ(cli.ui.prompts()[0].text, busy.text) << what;
        EXPECT_EQ(cli.ui.prompts()[0].icon, Icon::Information) << what;
        cli.ui.clear();
    };

    // A bracket: told once; its calls refused as by a printer that does not answer.
    const std::uint32_t start = cli.clock.tickMs();
    cli.link.lptSelect();
    EXPECT_TRUE(cli.link.selectRefused());
    EXPECT_GE(cli.clock.tickMs() - start, 5000u);
    toldOnce("select");
    cli.link.block().raw()[7] = 0x55;
    EXPECT_EQ(cli.link.send(), 1u);
    EXPECT_EQ(cli.link.block().raw()[7], 1);
    EXPECT_EQ(cli.link.queryPrinterState(), PrinterState::Busy);
    EXPECT_EQ(cli.link.api().lptReset(), 1);
    EXPECT_EQ(cli.link.api().initPort(0), 0);
    cli.link.lptRelease();
    cli.link.lptRelease();
    EXPECT_FALSE(cli.link.selectRefused());
    EXPECT_TRUE(cli.ui.prompts().empty()) << "nothing more said inside the bracket";

    // A single command outside a bracket waits and is refused the same way.
    EXPECT_EQ(cli.link.send(), 1u);
    toldOnce("command");

    // The port search: not found, without "cannot communicate", and the stored
    // address stays for the next search.
    EXPECT_FALSE(cli.link.findPrinter());
    EXPECT_FALSE(cli.link.printerFound());
    toldOnce("search");
    EXPECT_EQ(test::readBytes(cli.system / "kvprn.ini"), "[LPT PORT]\r\nLPT_ADDRESS=888\r\n");

    // F4: no "reset failed" on top.
    cli.link.resetPrinter();
    toldOnce("reset");

    EXPECT_TRUE(log.empty()) << "nothing of the command line reached the port";

    // Once the window is done the command line gets through at once.
    window.link.lptRelease();
    const std::uint32_t before = cli.clock.tickMs();
    EXPECT_TRUE(cli.link.findPrinter());
    EXPECT_EQ(cli.clock.tickMs() - before, 300u + 300u + 18u * 4u * 3u);
    EXPECT_TRUE(cli.ui.prompts().empty());
    EXPECT_FALSE(cli.link.holdsPort());
}

TEST(PrinterLinkPortLock, RefusedBracketEndsTheLedUploadWithoutTouchingThePort) {
    test::TempDir locks;
    test::TempDir out;
    test::TempDir program;
    std::vector<std::string> log;
    FrontEnd window("window", simIdentity(out.path()), locks, log);
    FrontEnd cli("cli", simIdentity(out.path()), locks, log);
    cli.link.setPortLockWaitMs(1000);
    window.link.lptSelect();
    log.clear();

    LedTable table;
    EXPECT_EQ(uploadLedTableBracketed(cli.link, program.path(), table, 2),
              LedUploadResult::SendFailed);
    EXPECT_EQ(cli.ui.texts(), std::vector<std::string>{std::string(kMsgPortInUse)});
    EXPECT_FALSE(cli.link.selectRefused()) << "both releases given";
    EXPECT_TRUE(log.empty());
}

TEST(PrinterLinkPortLock, DifferentVirtualPrintersNeverWaitForEachOther) {
    test::TempDir locks;
    test::TempDir outA;
    test::TempDir outB;
    std::vector<std::string> log;
    FrontEnd first("first", simIdentity(outA.path()), locks, log);
    FrontEnd second("second", simIdentity(outB.path()), locks, log);
    second.link.setPortLockWaitMs(0);

    first.link.lptSelect();
    second.link.lptSelect();
    EXPECT_FALSE(second.link.selectRefused());
    EXPECT_EQ(second.link.send(), 0u);
    EXPECT_TRUE(first.link.holdsPort());
    EXPECT_TRUE(second.link.holdsPort());
    EXPECT_TRUE(second.ui.prompts().empty());
}

TEST(PrinterLinkPortLock, PortOfAProcessThatDiedIsFree) {
    test::TempDir locks;
    test::TempDir out;
    const std::string identity = simIdentity(out.path());
    test::HolderProcess other([&](const test::HolderProcess::Hold& hold) {
        // The holder selects and dies inside its bracket.
        // No folders of its own: _exit leaves no destructor to remove them.
        std::vector<std::string> childLog;
        LoggingApi api("holder", childLog);
        api.setPortIdentity(identity);
        FakeClock clock;
        RecordingUi ui;
        PrinterLink holder(api, clock, ui, nullptr, locks.path());
        holder.setPortLockFolder(locks.path());
        holder.lptSelect();
        hold(holder.holdsPort());
    });
    ASSERT_TRUE(other.held());

    std::vector<std::string> log;
    FrontEnd window("window", identity, locks, log);
    window.link.setPortLockWaitMs(100);
    window.link.lptSelect();
    EXPECT_TRUE(window.link.selectRefused()) << "held by the other process";
    window.link.lptRelease();
    window.ui.clear();

    ASSERT_TRUE(other.die());
    window.link.setPortLockWaitMs(0);
    window.link.lptSelect();
    EXPECT_FALSE(window.link.selectRefused());
    EXPECT_TRUE(window.link.holdsPort());
    EXPECT_TRUE(window.ui.prompts().empty());
    window.link.lptRelease();
}

} // namespace
} // namespace kv::printer
