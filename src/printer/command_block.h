#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kv::printer {

// The one buffer every printer command travels in: 8 header bytes, then data.
// Its bytes are exactly what Command_set of the port library takes.
struct CommandBlock {
    static constexpr std::size_t kHeaderSize = 8;
    static constexpr std::size_t kDataSize = 9664; // the largest transfer, one raster line
    static constexpr std::uint8_t kKeyword = 0x24;
    static constexpr std::uint8_t kInProgress = 0xFF;

    enum Direction : std::uint16_t { Read = 0, Write = 1 };

    alignas(8) std::array<std::uint8_t, kHeaderSize + kDataSize> bytes{};

    std::uint8_t* raw() { return bytes.data(); }
    std::uint16_t direction() const { return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8); }
    std::uint16_t length() const { return static_cast<std::uint16_t>(bytes[2] | bytes[3] << 8); }
    std::uint8_t keyword() const { return bytes[4]; }
    std::uint8_t mainCommand() const { return bytes[5]; }
    std::uint8_t subCommand() const { return bytes[6]; }
    std::uint8_t result() const { return bytes[7]; }
    std::uint8_t* data() { return bytes.data() + kHeaderSize; }
    const std::uint8_t* data() const { return bytes.data() + kHeaderSize; }

    // Fills the header for one command; the result byte is left for Command_set.
    void set(std::uint16_t dir, std::uint16_t len, std::uint8_t main, std::uint8_t sub) {
        bytes[0] = static_cast<std::uint8_t>(dir);
        bytes[1] = static_cast<std::uint8_t>(dir >> 8);
        bytes[2] = static_cast<std::uint8_t>(len);
        bytes[3] = static_cast<std::uint8_t>(len >> 8);
        bytes[4] = kKeyword;
        bytes[5] = main;
        bytes[6] = sub;
    }
};

// Result codes of Command_set.
enum class CommandResult : std::uint32_t {
    Ok = 0,
    NotReadyBeforeHeader = 1,
    NotReadyBeforeHeaderByte = 2,
    NoAckForHeaderByte = 3,
    // The block's length field exceeds its data area; refused before any port access.
    LengthBeyondBlock = 4,
    NoAckForDataBit = 6,
    NotReadyBeforeWrite = 7,
    NotReadyBeforeDataByte = 8,
    NoAckForDataByte = 9,
};

} // namespace kv::printer
