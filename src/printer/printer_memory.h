#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv::printer {

// What the virtual printer keeps across power cycles: its parameters and stored memory,
// and its page counter. Saved as "printer-state.txt" in its output folder.
struct PrinterMemory {
    // Stored addresses the printer keeps (ReadStored address space).
    static constexpr std::uint8_t kPwmRed = 0x11;
    static constexpr std::uint8_t kPwmGreen = 0x12;
    static constexpr std::uint8_t kPwmBlue = 0x13;
    static constexpr std::uint8_t kHeaterTarget = 0x14;
    static constexpr std::uint8_t kPageOffset = 0x15;
    static constexpr std::uint8_t kVoltage = 0x17;
    static constexpr std::uint8_t kLedMask1 = 0x18;
    static constexpr std::uint8_t kLedMask2 = 0x19;
    static constexpr std::uint8_t kLedTable = 0x21; // 71 red, 71 green, 71 blue entries
    static constexpr std::size_t kLedTableSize = 213;

    std::array<std::uint8_t, 256> stored{};
    std::array<std::uint8_t, 2> printPair{}; // parameter 0x0C
    std::uint32_t pageCounter = 0;           // pages printed so far

    // A fresh printer. Heater target, page offset and the print parameter pair differ from
    // the values the program prints with, so the first print writes them.
    static PrinterMemory factoryDefaults();

    bool operator==(const PrinterMemory&) const = default;
};

// "key=value" lines; blank lines and lines starting with '#' are skipped, a line may end
// in CR LF. Byte values are two hexadecimal digits separated by single blanks; "pages" is
// decimal. Unknown keys are ignored and missing keys keep their factory value; a malformed
// line, a bad value or a wrong count gives nullopt (the caller falls back to factory
// defaults).
std::optional<PrinterMemory> parsePrinterMemory(std::string_view text);
std::string formatPrinterMemory(const PrinterMemory& memory);

} // namespace kv::printer
