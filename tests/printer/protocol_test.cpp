#include "printer/port_protocol.h"
#include "printer/sim_port.h"
#include "printer/virtual_printer.h"

#include "platform/clock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace kv::printer {
namespace {

constexpr std::uint16_t kData = 0x378;
constexpr std::uint16_t kStatus = 0x379;
constexpr std::uint16_t kControl = 0x37A;

struct Op {
    bool isOut;
    std::uint16_t address;
    std::uint8_t value;
};

// Passes operations through and keeps them; `onOp` sees each one as it happens.
class RecordingPort : public PortIo {
  public:
    explicit RecordingPort(PortIo& inner) : m_inner(inner) {}
    std::uint8_t in(std::uint16_t address) override {
        const std::uint8_t value = m_inner.in(address);
        record({false, address, value});
        return value;
    }
    void out(std::uint16_t address, std::uint8_t value) override {
        record({true, address, value});
        m_inner.out(address, value);
    }
    std::size_t count(bool isOut, std::uint16_t address) const {
        std::size_t n = 0;
        for (const Op& op : ops)
            n += op.isOut == isOut && op.address == address;
        return n;
    }

    std::vector<Op> ops;
    std::function<void(const Op&)> onOp;

  private:
    void record(const Op& op) {
        ops.push_back(op);
        if (onOp)
            onOp(op);
    }
    PortIo& m_inner;
};

class ProtocolTest : public ::testing::Test {
  protected:
    void SetUp() override { setSettleScale(0); }

    std::uint32_t send(CommandBlock& block) { return commandSet(m_port, block.raw()); }
    std::uint32_t writeValue(std::uint8_t parameter, std::vector<std::uint8_t> bytes) {
        CommandBlock block;
        block.set(CommandBlock::Write, static_cast<std::uint16_t>(bytes.size()), 0xFE, parameter);
        std::copy(bytes.begin(), bytes.end(), block.data());
        return send(block);
    }
    std::uint8_t control() { return m_printer.readRegister(kControl); }

    test::TempDir m_dir;
    platform::FakeClock m_clock;
    VirtualPrinter m_printer{m_clock, m_dir.path(), {.warmUpMs = 0}};
    SimPort m_port{m_printer};
};

TEST_F(ProtocolTest, EveryFailingStepGivesItsCodeAndThePrinterRecovers) {
    using Stage = VirtualPrinter::Stage;
    struct Case {
        const char* name;
        std::function<void(VirtualPrinter&)> fault;
        std::uint16_t direction;
        std::uint32_t code;
    };
    const std::vector<Case> cases = {
        {"ready", [](VirtualPrinter&) {}, CommandBlock::Write, 0},
        {"ready read", [](VirtualPrinter&) {}, CommandBlock::Read, 0},
        {"busy before header", [](VirtualPrinter& p) { p.setBusy(true); }, CommandBlock::Write, 1},
        {"fault before header", [](VirtualPrinter& p) { p.setFault(true); }, CommandBlock::Read, 1},
        {"busy at main command", [](VirtualPrinter& p) { p.busyAt(Stage::HeaderByte, 1); },
         CommandBlock::Write, 2},
        {"busy at sub command", [](VirtualPrinter& p) { p.busyAt(Stage::HeaderByte, 2); },
         CommandBlock::Read, 2},
        {"no ack for keyword", [](VirtualPrinter& p) { p.loseAckAt(Stage::HeaderByte, 0); },
         CommandBlock::Write, 3},
        {"no ack for sub command", [](VirtualPrinter& p) { p.loseAckAt(Stage::HeaderByte, 2); },
         CommandBlock::Read, 3},
        {"no first read bit", [](VirtualPrinter& p) { p.loseAckAt(Stage::ReadBit, 0); },
         CommandBlock::Read, 6},
        {"no read bit 13", [](VirtualPrinter& p) { p.loseAckAt(Stage::ReadBit, 13); },
         CommandBlock::Read, 6},
        {"busy before data phase", [](VirtualPrinter& p) { p.busyAt(Stage::DataByte, 0); },
         CommandBlock::Write, 7},
        {"busy before second byte", [](VirtualPrinter& p) { p.busyAt(Stage::DataByte, 1); },
         CommandBlock::Write, 8},
        {"no ack for first byte", [](VirtualPrinter& p) { p.loseAckAt(Stage::DataByte, 0); },
         CommandBlock::Write, 9},
        {"no ack for second byte", [](VirtualPrinter& p) { p.loseAckAt(Stage::DataByte, 1); },
         CommandBlock::Write, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The print parameter pair: two bytes either way.
        ASSERT_EQ(writeValue(0x0C, {0x01, 0x02}), 0u);
        c.fault(m_printer);
        CommandBlock block;
        block.set(c.direction, 2, c.direction == CommandBlock::Read ? 0xFF : 0xFE, 0x0C);
        block.data()[0] = 0x08;
        block.data()[1] = 0x07;
        EXPECT_EQ(send(block), c.code);
        EXPECT_EQ(block.result(), c.code);
        if (c.code == 3) {
            EXPECT_EQ(control() & control::kStrobe, control::kStrobe);
        }
        if (c.code == 0) {
            EXPECT_EQ(control(), 0);
        }

        // A failed exchange leaves nothing behind that the next command trips over.
        m_printer.clearFaults();
        const bool wrote = c.code == 0 && c.direction == CommandBlock::Write;
        CommandBlock read;
        read.set(CommandBlock::Read, 2, 0xFF, 0x0C);
        ASSERT_EQ(send(read), 0u);
        EXPECT_EQ(read.data()[0], wrote ? 0x08 : 0x01);
        EXPECT_EQ(read.data()[1], wrote ? 0x07 : 0x02);
    }
}

TEST_F(ProtocolTest, WaitsAreBoundedByStatusReads) {
    RecordingPort recorder(m_port);
    m_printer.setBusy(true);
    CommandBlock block;
    block.set(CommandBlock::Write, 1, 0xFE, 0x14);
    EXPECT_EQ(commandSet(recorder, block.raw()), 1u);
    EXPECT_EQ(recorder.count(false, kStatus), 2048u);

    m_printer.clearFaults();
    m_printer.loseAckAt(VirtualPrinter::Stage::DataByte, 0);
    recorder.ops.clear();
    EXPECT_EQ(commandSet(recorder, block.raw()), 9u);
    // Ready before the header, then per header byte: ready and acknowledge; ready before
    // the data phase and the byte; 512 reads waiting for the lost acknowledge.
    EXPECT_EQ(recorder.count(false, kStatus), 1u + 3 * 2 + 2 + 512);
}

TEST_F(ProtocolTest, ReadsTwoByteParameterAndStoredByte) {
    ASSERT_EQ(writeValue(0x0C, {0x08, 0x07}), 0u);
    ASSERT_EQ(writeValue(0x14, {0x2D}), 0u);

    CommandBlock block;
    block.set(CommandBlock::Read, 2, 0xFF, 0x0C);
    ASSERT_EQ(send(block), 0u);
    EXPECT_EQ(block.data()[0], 0x08);
    EXPECT_EQ(block.data()[1], 0x07);

    block.set(CommandBlock::Read, 1, 0xFB, 0x14);
    ASSERT_EQ(send(block), 0u);
    EXPECT_EQ(block.data()[0], 0x2D);
}

// A printer that hands out a fixed bit sequence, independent of the virtual printer:
// ready and acknowledging header bytes before SELECT IN, then each bit with nACK low.
class BitSource : public PortIo {
  public:
    explicit BitSource(std::vector<int> bits) : m_bits(std::move(bits)) {}
    std::uint8_t in(std::uint16_t address) override {
        if (address != kStatus)
            return m_control;
        if (!(m_control & control::kSelectIn)) {
            const bool ack = m_ackPending;
            m_ackPending = false;
            return ack ? 0x88 : 0xC8;
        }
        return m_next < m_bits.size() ? (m_bits[m_next] ? 0x98 : 0x88) : 0xC8;
    }
    void out(std::uint16_t address, std::uint8_t value) override {
        if (address != kControl)
            return;
        const bool strobeRise = !(m_control & control::kStrobe) && (value & control::kStrobe);
        m_control = value;
        if (strobeRise && (value & control::kSelectIn))
            ++m_next;
        else if (strobeRise)
            m_ackPending = true;
    }

  private:
    std::vector<int> m_bits;
    std::size_t m_next = 0;
    std::uint8_t m_control = 0;
    bool m_ackPending = false;
};

TEST_F(ProtocolTest, ReadAssemblesBitsLeastSignificantFirst) {
    struct Case {
        std::vector<int> bits;
        std::uint8_t first;
        std::uint8_t second;
    };
    const std::vector<Case> cases = {
        {{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x01, 0x00},
        {{0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0}, 0x80, 0x01},
        {{1, 0, 1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0x2D, 0x80},
    };
    for (const Case& c : cases) {
        BitSource source(c.bits);
        CommandBlock block;
        block.set(CommandBlock::Read, 2, 0xFF, 0x0C);
        ASSERT_EQ(commandSet(source, block.raw()), 0u);
        EXPECT_EQ(block.data()[0], c.first);
        EXPECT_EQ(block.data()[1], c.second);
    }
}

TEST_F(ProtocolTest, OtherDirectionSendsOnlyTheHeader) {
    RecordingPort recorder(m_port);
    CommandBlock block;
    block.set(2, 5, 0xFE, 0x14);
    block.data()[0] = 0x11;
    EXPECT_EQ(commandSet(recorder, block.raw()), 0u);
    std::vector<std::uint8_t> sent;
    for (const Op& op : recorder.ops)
        if (op.isOut && op.address == kData)
            sent.push_back(op.value);
    EXPECT_EQ(sent, (std::vector<std::uint8_t>{0x24, 0xFE, 0x14}));
    EXPECT_NE(m_printer.stored(0x14), 0x11);
}

TEST_F(ProtocolTest, LengthZeroLeavesSelectInForTheNextBlock) {
    CommandBlock block;
    block.set(CommandBlock::Write, 0, 0x08, 0x00);
    ASSERT_EQ(send(block), 0u);
    EXPECT_EQ(control(), control::kSelectIn);
    EXPECT_TRUE(m_printer.pageOpen());

    RecordingPort recorder(m_port);
    block.set(CommandBlock::Read, 1, 0xFF, 0x06);
    ASSERT_EQ(commandSet(recorder, block.raw()), 0u);
    ASSERT_GE(recorder.ops.size(), 2u);
    EXPECT_FALSE(recorder.ops[0].isOut);
    EXPECT_EQ(recorder.ops[0].address, kControl);
    EXPECT_EQ(recorder.ops[0].value, control::kSelectIn);
    EXPECT_TRUE(recorder.ops[1].isOut);
    EXPECT_EQ(recorder.ops[1].address, kControl);
    EXPECT_EQ(recorder.ops[1].value, 0);
    EXPECT_EQ(block.data()[0], 3);
}

TEST_F(ProtocolTest, ResultByteReadsInProgressUntilTheCallEnds) {
    for (const std::uint32_t code : {0u, 9u}) {
        SCOPED_TRACE(code);
        if (code == 9)
            m_printer.loseAckAt(VirtualPrinter::Stage::DataByte, 0);
        CommandBlock block;
        block.set(CommandBlock::Write, 1, 0xFE, 0x15);
        block.bytes[7] = 0x42;
        RecordingPort recorder(m_port);
        std::size_t seen = 0;
        recorder.onOp = [&](const Op&) {
            EXPECT_EQ(block.result(), 0xFF);
            ++seen;
        };
        EXPECT_EQ(commandSet(recorder, block.raw()), code);
        EXPECT_GT(seen, 10u);
        EXPECT_EQ(block.result(), code);
    }
}

TEST_F(ProtocolTest, LengthBeyondTheDataAreaIsRefusedUntouched) {
    struct Case {
        std::uint16_t direction;
        std::uint16_t length;
        std::size_t capacity;
        std::uint32_t code;
    };
    const std::vector<Case> cases = {
        {CommandBlock::Write, 9665, CommandBlock::kDataSize, 4},
        {CommandBlock::Read, 0xFFFF, CommandBlock::kDataSize, 4},
        {CommandBlock::Read, 3, 2, 4},
        {CommandBlock::Write, 2, 2, 0},
        {2, 0xFFFF, 2, 0}, // moves nothing, so any length is harmless
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::vector<std::uint8_t> raw(CommandBlock::kHeaderSize + c.capacity, 0);
        raw[0] = static_cast<std::uint8_t>(c.direction);
        raw[2] = static_cast<std::uint8_t>(c.length);
        raw[3] = static_cast<std::uint8_t>(c.length >> 8);
        raw[4] = 0x24;
        raw[5] = c.direction == CommandBlock::Read ? 0xFF : 0xFE;
        raw[6] = 0x0C;
        RecordingPort recorder(m_port);
        EXPECT_EQ(commandSet(recorder, raw.data(), kData, c.capacity), c.code);
        EXPECT_EQ(raw[7], c.code);
        EXPECT_EQ(recorder.ops.empty(), c.code == 4);
    }
    EXPECT_EQ(commandSet(m_port, nullptr), 4u);
}

TEST_F(ProtocolTest, IsReadyTellsWhyThePrinterIsNotReady) {
    struct Case {
        bool paperOut, fault, busy;
        std::uint16_t code;
    };
    const std::vector<Case> cases = {
        {false, false, false, 0}, {true, false, false, 1}, {false, true, false, 2},
        {false, false, true, 3},  {true, true, true, 1},   {false, true, true, 2},
    };
    for (const Case& c : cases) {
        m_printer.setPaperOut(c.paperOut);
        m_printer.setFault(c.fault);
        m_printer.setBusy(c.busy);
        EXPECT_EQ(isReady(m_port), c.code) << c.paperOut << c.fault << c.busy;
    }
}

} // namespace
} // namespace kv::printer
