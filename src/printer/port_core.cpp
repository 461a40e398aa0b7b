#include "printer/port_core.h"

#include "printer/command_block.h"
#include "printer/port_protocol.h"

#include <algorithm>

namespace kv::printer {

namespace {

// nINIT: control bit 2, active low at the connector and in the register.
constexpr std::uint8_t kInit = 0x04;
// The printer needs nINIT low for at least 50 µs.
constexpr std::uint32_t kInitPulseIterations = 20000;
// A harmless question every printer state answers: the warm-up state.
constexpr std::uint8_t kReadValue = 0xFF;
constexpr std::uint8_t kWarmUpState = 0x06;

bool isStandardPort(std::int32_t address) {
    return std::find(kStandardPorts.begin(), kStandardPorts.end(), address) != kStandardPorts.end();
}

} // namespace

PortCore::PortCore(PortIo& io, Hooks hooks) : m_io(io), m_hooks(std::move(hooks)) {}

bool PortCore::hasPort(std::uint16_t base) const {
    return !m_hooks.hasPort || m_hooks.hasPort(base);
}

std::uint32_t PortCore::commandSet(std::uint8_t* block) {
    return printer::commandSet(m_io, block, m_base);
}

std::uint16_t PortCore::isReady() {
    // An empty slot floats to 0xFF, which would read as ready.
    if (!hasPort(m_base))
        return static_cast<std::uint16_t>(ReadyCode::Busy);
    return printer::isReady(m_io, m_base);
}

std::uint16_t PortCore::lptReset() {
    const auto control = static_cast<std::uint16_t>(m_base + 2);
    const std::uint8_t value = m_io.in(control);
    m_io.out(control, static_cast<std::uint8_t>(value & ~kInit));
    settlePause(kInitPulseIterations);
    m_io.out(control, static_cast<std::uint8_t>(value | kInit));
    if (m_hooks.afterReset && !m_hooks.afterReset())
        return 1;
    return 0;
}

bool PortCore::printerAnswers(std::uint16_t base) {
    if (!hasPort(base))
        return false;
    CommandBlock block;
    block.set(CommandBlock::Read, 1, kReadValue, kWarmUpState);
    return printer::commandSet(m_io, block.raw(), base) == 0;
}

std::int32_t PortCore::initPort(std::int32_t address) {
    if (address == 0) {
        for (std::uint16_t port : kStandardPorts) {
            if (printerAnswers(port)) {
                m_base = port;
                return port;
            }
        }
        return 0;
    }
    if (!isStandardPort(address) || !printerAnswers(static_cast<std::uint16_t>(address)))
        return 0;
    m_base = static_cast<std::uint16_t>(address);
    return address;
}

void PortCore::writeData(std::uint16_t port, std::uint8_t value) {
    m_io.out(port, value);
}

} // namespace kv::printer
