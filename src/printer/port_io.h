#pragma once

#include <array>
#include <cstdint>

namespace kv::printer {

// The parallel port as the protocol sees it: byte reads and writes of its
// registers. Backends: the real port (ppdev), the virtual printer, a tracer.
class PortIo {
  public:
    virtual ~PortIo() = default;
    virtual std::uint8_t in(std::uint16_t address) = 0;
    virtual void out(std::uint16_t address, std::uint8_t value) = 0;
};

// The four standard port addresses, in the order the select and release
// sequences serve them. Status is base + 1, control base + 2.
inline constexpr std::array<std::uint16_t, 4> kStandardPorts = {0x378, 0x3BC, 0x278, 0x2BC};
inline constexpr std::uint16_t kLpt1 = 0x378;

namespace status {
inline constexpr std::uint8_t kNotBusy = 0x80; // BUSY line: 1 = printer not busy
inline constexpr std::uint8_t kNoAck = 0x40;   // nACK: 0 = printer acknowledges
inline constexpr std::uint8_t kPaperOut = 0x20; // PE
inline constexpr std::uint8_t kSelect = 0x10;  // carries a data bit during reads
inline constexpr std::uint8_t kNoError = 0x08; // nERROR: 0 = printer fault
inline constexpr std::uint8_t kReady = kNotBusy | kNoAck;
} // namespace status

namespace control {
inline constexpr std::uint8_t kStrobe = 0x01;
inline constexpr std::uint8_t kSelectIn = 0x08;
} // namespace control

} // namespace kv::printer
