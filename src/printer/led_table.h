#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kv::printer {

// The print head's LEDs are driven per colour; rows and curves are indexed so.
enum class LedColour : std::size_t { Red = 0, Green = 1, Blue = 2 };
inline constexpr std::size_t kLedColours = 3;

inline constexpr std::size_t kLedCurveLength = 71; // temperature indices 0..70
inline constexpr std::size_t kLedRowLength = 77;   // 71..76 repeat entry 70
inline constexpr std::size_t kLedTableBytes = kLedColours * kLedCurveLength; // 213
inline constexpr std::size_t kTemperaCurveFileSize = kLedTableBytes * 4;     // 852
inline constexpr std::uint8_t kDefaultTemperatureIndex = 36;

inline constexpr const char* kTemperaCurveFileName = "TEMPERA.TUR";
inline constexpr const char* kLedTableDumpFileName = "b10";

// One factor per temperature index and colour, as TEMPERA.TUR holds them.
using LedCurve = std::array<float, kLedCurveLength>;
using LedCurves = std::array<LedCurve, kLedColours>;
using LedRow = std::array<std::uint8_t, kLedRowLength>;
using LedRows = std::array<LedRow, kLedColours>;

// TEMPERA.TUR: 213 little-endian 32-bit floats, red 0..70, green, blue. Bytes past
// the 852nd are ignored; nullopt when fewer are given.
std::optional<LedCurves> parseTemperaCurves(std::span<const std::uint8_t> bytes);

// What the upload uses when TEMPERA.TUR is missing: every factor 1.0.
LedCurves unitLedCurves();

enum class LedTableError {
    None,
    TemperatureIndexOutOfRange, // T above 70: no curve entry to re-base on
    BadCurveEntry,              // c[T] zero, negative or not finite
};

// Whether the table can be computed at temperature index `t`.
LedTableError checkLedCurves(const LedCurves& curves, std::uint8_t t);

// The table re-based on the printer's PWM value at index t: entry i of colour c
// is c[i] * P * F / c[t], plus 0.5 and truncated, clamped to 0..255. nullopt when
// checkLedCurves refuses the inputs.
std::optional<LedRows> computeLedRows(const LedCurves& curves, std::uint8_t t,
                                      const std::array<std::uint8_t, kLedColours>& pwm,
                                      const std::array<double, kLedColours>& factors);

// Any double to a table byte: adds 0.5, truncates, clamps; NaN gives 0.
std::uint8_t ledEntryFromProduct(double product);

// Entries 0..70 of red, then green, then blue: the 213 bytes of parameter 0x20,
// stored by the printer at 0x21..0xF5.
std::array<std::uint8_t, kLedTableBytes> ledUploadBytes(const LedRows& rows);

// The dump "b10": one line "%d  %d  %d  %d \n" per index 0..70.
std::string formatLedTableDump(const LedRows& rows);

// The LED table state shared by the upload and the printer adjuster: temperature
// index, the printer's PWM values, the media's colour factors, the curves last
// read and the last computed rows.
class LedTable {
  public:
    std::uint8_t temperatureIndex() const { return m_temperatureIndex; }
    // Any byte is kept; computing refuses indices above 70.
    void setTemperatureIndex(std::uint8_t t) { m_temperatureIndex = t; }

    std::uint8_t pwm(LedColour c) const { return m_pwm[index(c)]; }
    void setPwm(LedColour c, std::uint8_t value) { m_pwm[index(c)] = value; }
    const std::array<std::uint8_t, kLedColours>& pwmValues() const { return m_pwm; }

    // The media sensitivities sensC, sensM, sensY, copied in whenever the gamma
    // curves are rebuilt. 1.0 each until then.
    void setColourFactors(double red, double green, double blue) { m_factors = {red, green, blue}; }
    double colourFactor(LedColour c) const { return m_factors[index(c)]; }
    const std::array<double, kLedColours>& colourFactors() const { return m_factors; }

    // All 0 until the first upload reads TEMPERA.TUR, so computing before then is
    // refused rather than dividing by zero.
    const LedCurves& curves() const { return m_curves; }
    void setCurves(const LedCurves& curves) { m_curves = curves; }

    // Recomputes the rows from the current state; on error the rows stay as they were.
    LedTableError compute();
    const LedRows& rows() const { return m_rows; }
    const LedRow& row(LedColour c) const { return m_rows[index(c)]; }

  private:
    static std::size_t index(LedColour c) { return static_cast<std::size_t>(c); }

    std::uint8_t m_temperatureIndex = kDefaultTemperatureIndex;
    std::array<std::uint8_t, kLedColours> m_pwm{};
    std::array<double, kLedColours> m_factors{1.0, 1.0, 1.0};
    LedCurves m_curves{};
    LedRows m_rows{};
};

} // namespace kv::printer
