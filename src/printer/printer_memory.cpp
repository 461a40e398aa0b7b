#include "printer/printer_memory.h"

#include <charconv>
#include <span>
#include <vector>

namespace kv::printer {

namespace {

struct ByteField {
    std::string_view key;
    std::uint8_t address;
    std::size_t count;
};

constexpr std::array<ByteField, 9> kFields = {{
    {"heater_target", PrinterMemory::kHeaterTarget, 1},
    {"page_offset", PrinterMemory::kPageOffset, 1},
    {"voltage", PrinterMemory::kVoltage, 1},
    {"led_mask_1", PrinterMemory::kLedMask1, 1},
    {"led_mask_2", PrinterMemory::kLedMask2, 1},
    {"pwm_red", PrinterMemory::kPwmRed, 1},
    {"pwm_green", PrinterMemory::kPwmGreen, 1},
    {"pwm_blue", PrinterMemory::kPwmBlue, 1},
    {"led_table", PrinterMemory::kLedTable, PrinterMemory::kLedTableSize},
}};

// Parameter 0x0C has no stored address.
constexpr std::string_view kPrintPairKey = "print_pair";
constexpr std::string_view kPagesKey = "pages";

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Exactly `out.size()` bytes "hh hh ..." and nothing else.
bool parseBytes(std::string_view text, std::span<std::uint8_t> out) {
    if (out.empty() || text.size() != out.size() * 3 - 1)
        return false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::size_t at = i * 3;
        if (i > 0 && text[at - 1] != ' ')
            return false;
        const int high = hexDigit(text[at]);
        const int low = hexDigit(text[at + 1]);
        if (high < 0 || low < 0)
            return false;
        out[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

void appendBytes(std::string& text, std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
}

bool parseLine(std::string_view line, PrinterMemory& memory) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0)
        return false;
    const std::string_view key = line.substr(0, eq);
    const std::string_view value = line.substr(eq + 1);
    if (key == kPrintPairKey)
        return parseBytes(value, memory.printPair);
    if (key == kPagesKey) {
        const char* end = value.data() + value.size();
        auto [ptr, ec] = std::from_chars(value.data(), end, memory.pageCounter);
        return !value.empty() && ec == std::errc() && ptr == end;
    }
    for (const ByteField& field : kFields)
        if (key == field.key)
            return parseBytes(value, std::span(memory.stored).subspan(field.address, field.count));
    return true; // unknown keys come from a newer printer model; ignore them
}

} // namespace

PrinterMemory PrinterMemory::factoryDefaults() {
    PrinterMemory memory;
    memory.stored[kPwmRed] = 0x80;
    memory.stored[kPwmGreen] = 0x80;
    memory.stored[kPwmBlue] = 0x80;
    memory.stored[kHeaterTarget] = 0x28;
    memory.stored[kPageOffset] = 0x20;
    memory.stored[kVoltage] = 0x80;
    memory.stored[kLedMask1] = 0xFF;
    memory.stored[kLedMask2] = 0xFF;
    for (std::size_t i = 0; i < kLedTableSize; ++i)
        memory.stored[kLedTable + i] = 0x80;
    memory.printPair = {0x00, 0x00};
    return memory;
}

std::optional<PrinterMemory> parsePrinterMemory(std::string_view text) {
    PrinterMemory memory = PrinterMemory::factoryDefaults();
    while (!text.empty()) {
        const auto lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        text = lf == std::string_view::npos ? std::string_view{} : text.substr(lf + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        if (!parseLine(line, memory))
            return std::nullopt;
    }
    return memory;
}

std::string formatPrinterMemory(const PrinterMemory& memory) {
    std::string text =
        "# Virtual photo printer: parameters and stored memory (hexadecimal bytes)\n";
    text += kPrintPairKey;
    text += '=';
    appendBytes(text, memory.printPair);
    text += '\n';
    for (const ByteField& field : kFields) {
        text += field.key;
        text += '=';
        appendBytes(text, std::span(memory.stored).subspan(field.address, field.count));
        text += '\n';
    }
    text += kPagesKey;
    text += '=';
    text += std::to_string(memory.pageCounter);
    text += '\n';
    return text;
}

} // namespace kv::printer
