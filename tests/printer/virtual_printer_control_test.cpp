#include "printer/port_protocol.h"
#include "printer/sim_port.h"
#include "printer/virtual_printer.h"

#include "platform/clock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace kv::printer {
namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t kReady = 0;
constexpr std::uint16_t kPaperOut = 1;
constexpr std::uint16_t kFault = 2;
constexpr std::uint16_t kBusy = 3;

// A virtual printer that looks at its control file at every chance, and the host side.
struct Bench {
    Bench() : printer(clock, dir.path(), options()), port(printer) {
        setSettleScale(0);
        printer.setReport([this](std::string_view text) { told.emplace_back(text); });
    }
    static VirtualPrinter::Options options() {
        VirtualPrinter::Options o;
        o.warmUpMs = 0;
        o.controlIntervalMs = 0;
        return o;
    }
    void control(std::string_view lines) {
        std::ofstream(printer.controlFile(), std::ios::app) << lines;
    }
    std::string state() const { return test::readBytes(printer.stateReportFile()); }
    bool stateSays(std::string_view line) const {
        return state().find(std::string(line) + "\n") != std::string::npos;
    }
    std::uint32_t command(std::uint8_t main, std::uint8_t sub, std::uint16_t direction,
                          std::vector<std::uint8_t> data) {
        block.set(static_cast<CommandBlock::Direction>(direction),
                  static_cast<std::uint16_t>(data.size()), main, sub);
        std::copy(data.begin(), data.end(), block.data());
        return commandSet(port, block.raw());
    }
    std::uint32_t readWarmUp() { return command(0xFF, 0x06, CommandBlock::Read, {0}); }

    test::TempDir dir;
    platform::FakeClock clock;
    VirtualPrinter printer;
    SimPort port;
    CommandBlock block;
    std::vector<std::string> told;
};

TEST(VirtualPrinterControl, InstructionsChangeWhatTheNextCheckSees) {
    Bench b;
    ASSERT_EQ(isReady(b.port), kReady);

    // Between pages an empty tray is only found when the next page is fed.
    b.control("paper out\n");
    EXPECT_EQ(isReady(b.port), kReady);
    EXPECT_TRUE(b.stateSays("paper: out")) << b.state();
    ASSERT_EQ(b.command(0x08, 0x00, CommandBlock::Write, {}), 0u); // start a page
    EXPECT_EQ(isReady(b.port), kPaperOut);
    b.control("paper in\n");
    ASSERT_EQ(isReady(b.port), kReady);

    struct Step {
        const char* lines;
        std::uint16_t ready;
        const char* stateLine;
    };
    const Step steps[] = {
        {"paper out\n", kPaperOut, "paper: out"},
        {"paper in\n", kReady, "paper: in"},
        {"fault\n", kFault, "fault: yes"},
        {"clear\n", kReady, "fault: no"},
        {"busy 500\n", kBusy, "busy: yes"},
        // Several lines in one go, in order; spacing and case do not matter.
        {"paper out\r\n  Paper   IN \n# a comment\n\nfault\n", kFault, "paper: in"},
        {"clear\n", kReady, "fault: no"},
    };
    for (const Step& s : steps) {
        if (std::string_view(s.lines).find("clear") != std::string_view::npos)
            b.clock.advance(500); // the busy time of the step before has passed
        b.control(s.lines);
        EXPECT_EQ(isReady(b.port), s.ready) << s.lines;
        EXPECT_TRUE(b.stateSays(s.stateLine)) << s.lines << b.state();
        EXPECT_FALSE(fs::exists(b.printer.controlFile())) << "consumed: " << s.lines;
    }
    EXPECT_TRUE(b.stateSays("busy: no")) << b.state();
    EXPECT_TRUE(b.told.empty());
    for (const auto& entry : fs::directory_iterator(b.dir.path()))
        EXPECT_EQ(entry.path().filename().string().find("control"), std::string::npos)
            << entry.path();
}

TEST(VirtualPrinterControl, WarmUpAndLostAcknowledge) {
    Bench b;
    ASSERT_EQ(b.readWarmUp(), 0u);
    ASSERT_EQ(b.block.data()[0], 3);
    EXPECT_TRUE(b.stateSays("warming up: no")) << b.state();

    // Warm-up anew: warming until the time has passed on the printer's clock.
    b.control("warmup 2000\n");
    ASSERT_EQ(b.readWarmUp(), 0u);
    EXPECT_EQ(b.block.data()[0], 1);
    EXPECT_TRUE(b.stateSays("warming up: yes")) << b.state();
    b.clock.advance(2000);
    ASSERT_EQ(b.readWarmUp(), 0u);
    EXPECT_EQ(b.block.data()[0], 3);
    EXPECT_TRUE(b.stateSays("warming up: no")) << b.state();

    // The next command loses the acknowledge of its first header byte; the one after
    // goes through again.
    b.control("lose ack\n");
    EXPECT_EQ(b.readWarmUp(), static_cast<std::uint32_t>(CommandResult::NoAckForHeaderByte));
    EXPECT_EQ(b.readWarmUp(), 0u);
    EXPECT_EQ(b.readWarmUp(), 0u);
}

TEST(VirtualPrinterControl, StateFileFollowsPagesAndUnknownLinesAreTold) {
    Bench b;
    ASSERT_EQ(isReady(b.port), kReady);
    EXPECT_EQ(b.state(), "paper: in\nfault: no\nbusy: no\nwarming up: no\npages printed: 0\n"
                         "last page: \nproof: \n");

    // A page of no lines prints white, and is counted.
    ASSERT_EQ(b.command(0x08, 0x00, CommandBlock::Write, {}), 0u);
    ASSERT_EQ(b.command(0x02, 0x01, CommandBlock::Write, {0x00}), 0u);
    ASSERT_EQ(b.printer.pagesWritten(), 1u);
    EXPECT_TRUE(b.stateSays("pages printed: 1")) << b.state();
    EXPECT_TRUE(b.stateSays("last page: " + (b.dir / "page-0001.png").string())) << b.state();

    b.control("paper out\nmake coffee\nbusy soon\npaper in\n");
    EXPECT_EQ(isReady(b.port), kReady);
    ASSERT_EQ(b.told.size(), 2u);
    EXPECT_NE(b.told[0].find("make coffee"), std::string::npos) << b.told[0];
    EXPECT_NE(b.told[0].find(b.printer.controlFile().string()), std::string::npos) << b.told[0];
    EXPECT_NE(b.told[1].find("busy soon"), std::string::npos) << b.told[1];
    EXPECT_TRUE(b.stateSays("paper: in")) << b.state();
}

TEST(VirtualPrinterControl, LineAppendedWhileTheFileIsReadIsKept) {
    Bench b;
    // A writer appends just after the printer took the file.
    bool appended = false;
    b.printer.setControlTakenHook([&] {
        if (!appended)
            b.control("fault\n");
        appended = true;
    });
    ASSERT_EQ(b.command(0x08, 0x00, CommandBlock::Write, {}), 0u); // start a page
    b.control("paper out\n");
    b.printer.pollControl();
    EXPECT_TRUE(b.stateSays("paper: out")) << b.state();
    EXPECT_TRUE(b.stateSays("fault: no")) << b.state();
    ASSERT_TRUE(fs::exists(b.printer.controlFile()));

    EXPECT_EQ(isReady(b.port), kPaperOut); // paper out shows before the fault
    EXPECT_TRUE(b.stateSays("fault: yes")) << b.state();
    EXPECT_TRUE(b.stateSays("paper: out")) << b.state();
    EXPECT_FALSE(fs::exists(b.printer.controlFile()));
}

TEST(VirtualPrinterControl, LooksAtTheFileOnlyNowAndThen) {
    // With the usual interval a burst of register reads looks once, not at every read.
    test::TempDir dir;
    platform::FakeClock clock;
    VirtualPrinter::Options options;
    options.warmUpMs = 0;
    options.controlIntervalMs = 60 * 60 * 1000;
    VirtualPrinter printer(clock, dir.path(), options);
    SimPort port(printer);
    EXPECT_EQ(isReady(port), kReady);
    std::ofstream(printer.controlFile()) << "fault\n";
    EXPECT_EQ(isReady(port), kReady);
    EXPECT_TRUE(fs::exists(printer.controlFile()));
    printer.pollControl();
    EXPECT_EQ(isReady(port), kFault);
}

} // namespace
} // namespace kv::printer
