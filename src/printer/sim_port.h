#pragma once

#include "printer/port_io.h"
#include "printer/virtual_printer.h"

namespace kv::printer {

// The port registers of the virtual printer.
class SimPort : public PortIo {
  public:
    explicit SimPort(VirtualPrinter& printer) : m_printer(printer) {}
    std::uint8_t in(std::uint16_t address) override;
    void out(std::uint16_t address, std::uint8_t value) override;
    VirtualPrinter& printer() { return m_printer; }

  private:
    VirtualPrinter& m_printer;
};

} // namespace kv::printer
