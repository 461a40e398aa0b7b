#include "printer/led_table.h"

#include <bit>
#include <cmath>

namespace kv::printer {

std::optional<LedCurves> parseTemperaCurves(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kTemperaCurveFileSize)
        return std::nullopt;
    LedCurves curves{};
    std::size_t at = 0;
    for (LedCurve& curve : curves)
        for (float& value : curve) {
            const std::uint32_t bits = static_cast<std::uint32_t>(bytes[at]) |
                                       static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
                                       static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
                                       static_cast<std::uint32_t>(bytes[at + 3]) << 24;
            value = std::bit_cast<float>(bits);
            at += 4;
        }
    return curves;
}

LedCurves unitLedCurves() {
    LedCurves curves;
    for (LedCurve& curve : curves)
        curve.fill(1.0f);
    return curves;
}

LedTableError checkLedCurves(const LedCurves& curves, std::uint8_t t) {
    if (t >= kLedCurveLength)
        return LedTableError::TemperatureIndexOutOfRange;
    for (const LedCurve& curve : curves)
        if (!std::isfinite(curve[t]) || !(curve[t] > 0.0f))
            return LedTableError::BadCurveEntry;
    return LedTableError::None;
}

std::uint8_t ledEntryFromProduct(double product) {
    const double rounded = product + 0.5;
    // Compared before converting: a double beyond int's range must never reach the cast.
    if (!(rounded >= 0.0))
        return 0;
    if (rounded >= 255.0)
        return 255;
    return static_cast<std::uint8_t>(rounded);
}

std::optional<LedRows> computeLedRows(const LedCurves& curves, std::uint8_t t,
                                      const std::array<std::uint8_t, kLedColours>& pwm,
                                      const std::array<double, kLedColours>& factors) {
    if (checkLedCurves(curves, t) != LedTableError::None)
        return std::nullopt;
    LedRows rows{};
    for (std::size_t c = 0; c < kLedColours; ++c) {
        const double scale = pwm[c] * factors[c] / static_cast<double>(curves[c][t]);
        for (std::size_t i = 0; i < kLedCurveLength; ++i)
            rows[c][i] = ledEntryFromProduct(static_cast<double>(curves[c][i]) * scale);
        for (std::size_t i = kLedCurveLength; i < kLedRowLength; ++i)
            rows[c][i] = rows[c][kLedCurveLength - 1];
    }
    return rows;
}

std::array<std::uint8_t, kLedTableBytes> ledUploadBytes(const LedRows& rows) {
    std::array<std::uint8_t, kLedTableBytes> bytes{};
    for (std::size_t c = 0; c < kLedColours; ++c)
        for (std::size_t i = 0; i < kLedCurveLength; ++i)
            bytes[c * kLedCurveLength + i] = rows[c][i];
    return bytes;
}

std::string formatLedTableDump(const LedRows& rows) {
    std::string text;
    text.reserve(kLedCurveLength * 20);
    for (std::size_t i = 0; i < kLedCurveLength; ++i) {
        text += std::to_string(i);
        for (const LedRow& row : rows) {
            text += "  ";
            text += std::to_string(row[i]);
        }
        text += " \n";
    }
    return text;
}

LedTableError LedTable::compute() {
    const LedTableError error = checkLedCurves(m_curves, m_temperatureIndex);
    if (error != LedTableError::None)
        return error;
    m_rows = *computeLedRows(m_curves, m_temperatureIndex, m_pwm, m_factors);
    return LedTableError::None;
}

} // namespace kv::printer
