#include "printer/sim_port.h"

namespace kv::printer {

std::uint8_t SimPort::in(std::uint16_t address) {
    return m_printer.readRegister(address);
}

void SimPort::out(std::uint16_t address, std::uint8_t value) {
    m_printer.writeRegister(address, value);
}

} // namespace kv::printer
