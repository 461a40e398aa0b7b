#include "printer/port_protocol.h"
#include "printer/sim_port.h"
#include "printer/trace_port.h"
#include "printer/virtual_printer.h"

#include "platform/clock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace kv::printer {
namespace {

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

} // namespace
} // namespace kv::printer
