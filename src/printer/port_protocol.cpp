#include "printer/port_protocol.h"

#include <atomic>
#include <chrono>
#include <optional>

namespace kv::printer {

namespace {

// Host loop iterations per original iteration; negative until calibrated.
std::atomic<double> g_settleScale{-1.0};

constexpr double kNanosPerOriginalIteration = 5000.0 / 1600.0;

// The volatile store keeps the compiler from dropping the loop.
void spin(std::uint64_t loops) {
    [[maybe_unused]] volatile std::uint64_t counter = 0;
    for (std::uint64_t i = 0; i < loops; ++i)
        counter = i;
}

double calibrate() {
    constexpr std::uint64_t kLoops = 2'000'000;
    const auto start = std::chrono::steady_clock::now();
    spin(kLoops);
    const auto nanos =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    if (nanos <= 0)
        return 1.0;
    return kNanosPerOriginalIteration / (nanos / static_cast<double>(kLoops));
}

// The three registers as the handshake uses them. `control` mirrors what was last written,
// so every strobe edge is one register write.
class Port {
  public:
    Port(PortIo& io, std::uint16_t base) : m_io(io), m_base(base) {}

    std::uint8_t status() { return m_io.in(static_cast<std::uint16_t>(m_base + 1)); }
    void writeData(std::uint8_t value) { m_io.out(m_base, value); }

    void clearStrobeAndSelectIn() {
        const std::uint8_t current = m_io.in(controlAddress());
        setControl(current & static_cast<std::uint8_t>(~(control::kStrobe | control::kSelectIn)));
    }
    void setControl(std::uint8_t value) {
        m_control = value;
        m_io.out(controlAddress(), value);
    }
    void assertStrobe() { m_io.out(controlAddress(), m_control | control::kStrobe); }
    void releaseStrobe() { m_io.out(controlAddress(), m_control); }
    void pulseStrobe() {
        assertStrobe();
        releaseStrobe();
    }
    std::uint8_t control() const { return m_control; }

    bool waitReady(int polls) {
        for (int i = 0; i < polls; ++i)
            if ((status() & status::kReady) == status::kReady)
                return true;
        return false;
    }

    // The status read that showed nACK low: during reads it also carries the data bit.
    std::optional<std::uint8_t> waitAck(int polls) {
        for (int i = 0; i < polls; ++i) {
            const std::uint8_t s = status();
            if (!(s & status::kNoAck))
                return s;
        }
        return std::nullopt;
    }

  private:
    std::uint16_t controlAddress() const { return static_cast<std::uint16_t>(m_base + 2); }

    PortIo& m_io;
    std::uint16_t m_base;
    std::uint8_t m_control = 0;
};

CommandResult readData(Port& port, std::uint8_t* data, std::uint16_t length) {
    std::uint8_t current = 0;
    const std::uint32_t bits = 8u * length;
    for (std::uint32_t j = 0; j < bits; ++j) {
        const auto s = port.waitAck(kReadyPolls);
        if (!s)
            return CommandResult::NoAckForDataBit;
        port.pulseStrobe(); // the printer moves on to the next bit
        if (*s & status::kSelect)
            current |= static_cast<std::uint8_t>(1u << (j % 8)); // least significant bit first
        settlePause(kBitPauseIterations);
        if (j % 8 == 7) {
            data[j / 8] = current;
            current = 0;
        }
    }
    return CommandResult::Ok;
}

CommandResult writeData(Port& port, const std::uint8_t* data, std::uint16_t length) {
    if (!port.waitReady(kReadyPolls))
        return CommandResult::NotReadyBeforeWrite;
    for (std::uint16_t i = 0; i < length; ++i) {
        if (!port.waitReady(kReadyPolls))
            return CommandResult::NotReadyBeforeDataByte;
        port.writeData(data[i]);
        port.pulseStrobe(); // unlike a header byte, not held until the acknowledge
        if (!port.waitAck(kAckPolls))
            return CommandResult::NoAckForDataByte;
    }
    return CommandResult::Ok;
}

CommandResult exchange(Port& port, std::uint8_t* block) {
    const std::uint16_t direction = static_cast<std::uint16_t>(block[0] | block[1] << 8);
    const std::uint16_t length = static_cast<std::uint16_t>(block[2] | block[3] << 8);

    port.clearStrobeAndSelectIn();
    settlePause(kSettleIterations);
    if (!port.waitReady(kReadyPolls))
        return CommandResult::NotReadyBeforeHeader;

    for (int k = 4; k <= 6; ++k) {
        if (!port.waitReady(kReadyPolls))
            return CommandResult::NotReadyBeforeHeaderByte;
        port.writeData(block[k]);
        port.assertStrobe();
        if (!port.waitAck(kAckPolls))
            return CommandResult::NoAckForHeaderByte; // STROBE stays asserted
        port.releaseStrobe();
    }

    // SELECT IN separates the header from the data phase.
    port.setControl(port.control() | control::kSelectIn);
    settlePause(kSettleIterations);
    if (length == 0)
        return CommandResult::Ok; // SELECT IN stays asserted until the next block

    std::uint8_t* data = block + CommandBlock::kHeaderSize;
    CommandResult result = CommandResult::Ok;
    if (direction == CommandBlock::Read)
        result = readData(port, data, length);
    else if (direction == CommandBlock::Write)
        result = writeData(port, data, length);
    else
        return CommandResult::Ok; // any other direction moves nothing
    if (result == CommandResult::Ok)
        port.setControl(port.control() &
                        static_cast<std::uint8_t>(~(control::kStrobe | control::kSelectIn)));
    return result;
}

} // namespace

std::uint32_t commandSet(PortIo& io, std::uint8_t* block, std::uint16_t base,
                         std::size_t dataCapacity) {
    if (!block)
        return static_cast<std::uint32_t>(CommandResult::LengthBeyondBlock);
    block[7] = CommandBlock::kInProgress;
    const std::uint16_t direction = static_cast<std::uint16_t>(block[0] | block[1] << 8);
    const std::uint16_t length = static_cast<std::uint16_t>(block[2] | block[3] << 8);

    CommandResult result = CommandResult::LengthBeyondBlock;
    const bool movesData = direction == CommandBlock::Read || direction == CommandBlock::Write;
    if (!movesData || length <= dataCapacity) {
        Port port(io, base);
        result = exchange(port, block);
    }
    block[7] = static_cast<std::uint8_t>(result);
    return static_cast<std::uint32_t>(result);
}

std::uint16_t isReady(PortIo& io, std::uint16_t base) {
    const auto statusAddress = static_cast<std::uint16_t>(base + 1);
    std::uint8_t s = 0;
    for (int i = 0; i < kReadyPolls; ++i) {
        s = io.in(statusAddress);
        if ((s & status::kReady) == status::kReady)
            return static_cast<std::uint16_t>(ReadyCode::Ready);
    }
    ReadyCode code = ReadyCode::Busy;
    if (s & status::kPaperOut)
        code = ReadyCode::PaperOut;
    else if (!(s & status::kNoError))
        code = ReadyCode::Fault;
    return static_cast<std::uint16_t>(code);
}

void settlePause(std::uint32_t iterations) {
    const double scale = settleScale();
    if (scale > 0)
        spin(static_cast<std::uint64_t>(iterations * scale));
}

double settleScale() {
    double scale = g_settleScale.load(std::memory_order_relaxed);
    if (scale < 0) {
        // Two first callers may both calibrate; either result is fine.
        scale = calibrate();
        double expected = -1.0;
        if (!g_settleScale.compare_exchange_strong(expected, scale))
            scale = expected;
    }
    return scale;
}

void setSettleScale(double loopsPerIteration) {
    g_settleScale.store(loopsPerIteration < 0 ? 0.0 : loopsPerIteration);
}

} // namespace kv::printer
