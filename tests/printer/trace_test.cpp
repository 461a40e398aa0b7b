#include "printer/port_backend.h"
#include "printer/port_protocol.h"
#include "printer/sim_port.h"
#include "printer/trace_port.h"
#include "printer/virtual_printer.h"

#include "platform/clock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kv::printer {
namespace {

namespace fs = std::filesystem;

TEST(TracePort, WritesOneLinePerRegisterOperation) {
    setSettleScale(0);
    test::TempDir dir;
    platform::FakeClock clock;
    VirtualPrinter printer(clock, dir / "printer");
    SimPort sim(printer);
    {
        TracePort trace(sim, dir / "trace.txt");
        ASSERT_TRUE(trace.isOpen());
        CommandBlock block;
        block.set(CommandBlock::Read, 1, 0xFB, 0x19); // factory mask 0xFF
        ASSERT_EQ(commandSet(trace, block.raw()), 0u);
        EXPECT_EQ(block.data()[0], 0xFF);
        trace.out(0x3BC, 0x4A); // no port there: the write goes nowhere
        EXPECT_EQ(trace.in(0x3BD), 0xFF);
    }
    std::string expected = "in 0x37a 0x00\n"
                           "out 0x37a 0x00\n"
                           "in 0x379 0xc8\n";
    for (const char* byte : {"0x24", "0xfb", "0x19"}) {
        expected += "in 0x379 0xc8\n";
        expected += std::string("out 0x378 ") + byte + "\n";
        expected += "out 0x37a 0x01\n"
                    "in 0x379 0x88\n"
                    "out 0x37a 0x00\n";
    }
    expected += "out 0x37a 0x08\n";
    for (int bit = 0; bit < 8; ++bit)
        expected += "in 0x379 0x98\n" // nACK low, the bit (1) on SELECT
                    "out 0x37a 0x09\n"
                    "out 0x37a 0x08\n";
    expected += "out 0x37a 0x00\n"
                "out 0x3bc 0x4a\n"
                "in 0x3bd 0xff\n";
    EXPECT_EQ(test::readBytes(dir / "trace.txt"), expected);
}

// Each operation is a whole line in the file at once, so a run that is killed keeps
// its trace.
TEST(TracePort, EveryLineIsInTheFileAsItHappens) {
    setSettleScale(0);
    test::TempDir dir;
    platform::FakeClock clock;
    VirtualPrinter printer(clock, dir / "printer");
    SimPort sim(printer);
    TracePort trace(sim, dir / "trace.txt");
    ASSERT_TRUE(trace.isOpen());
    EXPECT_EQ(trace.openError(), "");

    trace.out(0x378, 0x4A);
    EXPECT_EQ(test::readBytes(dir / "trace.txt"), "out 0x378 0x4a\n");
    EXPECT_EQ(trace.in(0x379), 0xC8);
    EXPECT_EQ(test::readBytes(dir / "trace.txt"), "out 0x378 0x4a\nin 0x379 0xc8\n");
    CommandBlock block;
    block.set(CommandBlock::Read, 1, 0xFB, 0x19);
    ASSERT_EQ(commandSet(trace, block.raw()), 0u);
    const std::string text = test::readBytes(dir / "trace.txt");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + 3 + 3 * 5 + 1 + 8 * 3 + 1);
    EXPECT_TRUE(text.ends_with("out 0x37a 0x08\nout 0x37a 0x00\n")) << text;
}

// A trace that cannot be opened is told once, naming the file; the port works untraced.
TEST(TracePort, FileThatCannotBeOpenedIsToldOnce) {
    test::TempDir dir;
    test::writeBytes(dir / "blocked", "a file where a folder should be");
    for (const fs::path& path : {dir / "blocked" / "port.trace", dir.path()}) {
        SCOPED_TRACE(path.string());
        platform::FakeClock clock;
        VirtualPrinter printer(clock, dir / "printer");
        SimPort sim(printer);
        TracePort trace(sim, path);
        EXPECT_FALSE(trace.isOpen());
        EXPECT_NE(trace.openError(), "");

        BackendOptions options;
        options.simOutput = dir / "printer";
        options.tracePath = path;
        std::vector<std::string> reports;
        auto backend =
            makePortBackend(options, [&](std::string_view text) { reports.emplace_back(text); });
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_TRUE(reports[0].starts_with("Die Mitschrift des Druckeranschlusses " +
                                           path.string() +
                                           " (KVPR_PORT_TRACE) kann nicht "
                                           "angelegt werden: "))
            << reports[0];
        EXPECT_EQ(std::count(reports[0].begin(), reports[0].end(), '\n'), 0);
        CommandBlock block;
        block.set(CommandBlock::Read, 1, 0xFB, 0x19);
        EXPECT_EQ(commandSet(backend->io(), block.raw()), 0u);
        EXPECT_EQ(reports.size(), 1u);
    }
}

} // namespace
} // namespace kv::printer
