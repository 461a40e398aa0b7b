#pragma once

#include "printer/command_block.h"
#include "printer/port_io.h"

#include <cstddef>
#include <cstdint>

namespace kv::printer {

// Poll limits and settle pauses of the handshake, in status reads and loop iterations.
inline constexpr int kReadyPolls = 2048;
inline constexpr int kAckPolls = 512;
inline constexpr std::uint32_t kSettleIterations = 300;
inline constexpr std::uint32_t kBitPauseIterations = 1600;

// Command_set: moves one command block over the port at `base` (data register; status is
// base + 1, control base + 2). `block` is the 8 header bytes followed by `dataCapacity` data
// bytes. Returns the CommandResult code and stores it in the block's result byte, which
// reads 0xFF while the exchange runs. A length beyond `dataCapacity` on a read or write is
// refused with LengthBeyondBlock before the port is touched; a null block gives the same
// code and stores nothing.
std::uint32_t commandSet(PortIo& io, std::uint8_t* block, std::uint16_t base = kLpt1,
                         std::size_t dataCapacity = CommandBlock::kDataSize);

// Is_Ready of the port library.
enum class ReadyCode : std::uint16_t { Ready = 0, PaperOut = 1, Fault = 2, Busy = 3 };

// 0 when the ready condition holds within kReadyPolls status reads; otherwise read from
// the last status: PE set = paper out, nERROR low = fault, else busy.
std::uint16_t isReady(PortIo& io, std::uint16_t base = kLpt1);

// The software-timed settle pause: a busy loop of `iterations` times the settle scale.
// The scale is calibrated at first use so that 1,600 iterations last about 5 µs;
// setSettleScale(0) turns the pauses off (the virtual printer needs no settling time).
void settlePause(std::uint32_t iterations);
double settleScale();
void setSettleScale(double loopsPerIteration);

} // namespace kv::printer
