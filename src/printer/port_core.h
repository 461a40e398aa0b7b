#pragma once

#include "printer/port_io.h"

#include <cstdint>
#include <functional>

namespace kv::printer {

// The port library's functions over one register backend: what liblptcore.so
// exports, and what tools and tests run in process. Starts bound to LPT1.
class PortCore {
  public:
    struct Hooks {
        // Whether a port exists at this base address; none given: every address.
        std::function<bool(std::uint16_t base)> hasPort;
        // Called after the nINIT pulse (the virtual printer resets there); false = failed.
        std::function<bool()> afterReset;
    };

    explicit PortCore(PortIo& io, Hooks hooks = {});

    std::uint32_t commandSet(std::uint8_t* block); // Command_set at the bound port
    std::uint16_t isReady();                       // Is_Ready: 0 ready, 1 paper, 2 fault, 3 busy
    std::uint16_t lptReset();                      // LPT_Reset: 0 = success
    // InitPort: 0 searches the standard ports, another address is checked. Returns
    // the port where the printer answered (and binds to it), or 0.
    std::int32_t initPort(std::int32_t address);
    void writeData(std::uint16_t port, std::uint8_t value);

    std::uint16_t base() const { return m_base; }

  private:
    bool hasPort(std::uint16_t base) const;
    bool printerAnswers(std::uint16_t base);

    PortIo& m_io;
    Hooks m_hooks;
    std::uint16_t m_base = kLpt1;
};

} // namespace kv::printer
