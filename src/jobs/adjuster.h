#pragma once

#include "printer/led_table.h"
#include "printer/printer_link.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kv::jobs {

// The rows of the printer adjuster, top to bottom. The first seven have a new-value
// edit; the two temperatures are measured and only shown.
enum class AdjusterRow : std::size_t {
    Red,
    Green,
    Blue,
    Temperature,
    Voltage,
    HeaterTarget,
    PageOffset,
    PcbTemperature,
    HeaterTemperature,
};
inline constexpr std::size_t kAdjusterRows = 9;
inline constexpr std::size_t kAdjusterEditableRows = 7;

// The temperature index the adjuster reads the stored LED table at.
inline constexpr std::uint8_t kAdjusterTemperatureIndex = 36;

// The head's sixteen LEDs in mask bit order: parameter 0x18 bits 0..7, then 0x19.
inline constexpr std::size_t kLedCount = 16;
inline constexpr std::array<std::string_view, kLedCount> kLedBitNames = {
    "R4", "G6", "B6", "G5", "R3", "B5", "G4", "B4", "G3", "R2", "B3", "G2", "B2", "G1", "R1", "B1"};
// The same LEDs as they sit along the head, the order the dialog shows them in.
inline constexpr std::array<std::string_view, kLedCount> kLedHeadOrder = {
    "G1", "R1", "B1", "G2", "B2", "G3", "R2", "B3", "G4", "B4", "G5", "R3", "B5", "G6", "B6", "R4"};

// One flag per LED in mask bit order: true when the LED is enabled.
using LedSelection = std::array<bool, kLedCount>;
LedSelection ledSelectionFromMasks(std::uint8_t low, std::uint8_t high);
// {mask of parameter 0x18, mask of parameter 0x19}.
std::array<std::uint8_t, 2> masksFromLedSelection(const LedSelection& selection);
// Position of an LED name in bit order; kLedCount when unknown.
std::size_t ledBit(std::string_view name);

// A new value as typed: a whole number 0..255, blanks around it allowed.
std::optional<std::uint8_t> parseAdjusterByte(std::string_view text);

// What the printer gave when the dialog opened; nullopt for a value not read.
struct AdjusterReading {
    std::array<std::optional<std::uint8_t>, kAdjusterRows> stored{};
    bool complete = false;

    std::optional<std::uint8_t> value(AdjusterRow row) const {
        return stored[static_cast<std::size_t>(row)];
    }
};
// The "%d" text of a stored list; empty for a value not read.
std::string storedText(const AdjusterReading& reading, AdjusterRow row);

// The new-value edits' texts, indexed by the first seven rows.
using AdjusterNewTexts = std::array<std::string, kAdjusterEditableRows>;

enum class AdjusterSave {
    Written, // every command went through
    Failed,  // at least one command failed (messages shown); the others were still sent
    Refused, // bad input: nothing was sent (message shown)
};

struct AdjusterSaveOutcome {
    AdjusterSave result = AdjusterSave::Written;
    std::optional<AdjusterRow> badRow; // the field to correct when refused for a bad value
};

// The service dialog's talk with the printer: reading the stored settings and
// writing the three groups. Every prompt goes through the link's Ui.
class Adjuster {
  public:
    Adjuster(printer::PrinterLink& link, printer::LedTable& ledTable,
             std::filesystem::path programDir);

    // The LED enable masks; nullopt when a read failed (messages shown).
    std::optional<LedSelection> readLedSelection();

    // Select, reset twice, read the seven stored values and the two temperatures,
    // release. The LED colours read become the table's PWM values. A failed read
    // stops the reading; the port is released all the same.
    AdjusterReading readValues();

    // Voltage, then the LED table computed from the new PWM values and temperature
    // index. Everything is checked before the port is touched, so a refused save
    // leaves the printer and the LED table state as they were.
    AdjusterSaveOutcome saveUpperGroup(const AdjusterNewTexts& texts);
    AdjusterSaveOutcome saveHeaterAndOffset(const AdjusterNewTexts& texts);
    AdjusterSave saveLedSelection(const LedSelection& selection);

  private:
    bool curvesReady();

    printer::PrinterLink& m_link;
    printer::LedTable& m_ledTable;
    std::filesystem::path m_programDir;
};

} // namespace kv::jobs
