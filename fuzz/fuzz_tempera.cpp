#include "printer/led_table.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

// Input: a TEMPERA.TUR image, then (after its 852 bytes, or from the start when it is
// shorter) the temperature index, three PWM bytes and three raw factor doubles.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kv::printer;
    const std::span<const std::uint8_t> bytes(data, size);
    const auto parsed = parseTemperaCurves(bytes);
    if (parsed.has_value() != (size >= kTemperaCurveFileSize))
        std::abort();

    std::span<const std::uint8_t> rest = parsed ? bytes.subspan(kTemperaCurveFileSize) : bytes;
    std::uint8_t settings[28] = {kDefaultTemperatureIndex, 0x80, 0x80, 0x80};
    std::memcpy(settings, rest.data(), std::min(rest.size(), sizeof settings));
    const std::uint8_t t = settings[0];
    const std::array<std::uint8_t, kLedColours> pwm = {settings[1], settings[2], settings[3]};
    std::array<double, kLedColours> factors{};
    std::memcpy(factors.data(), settings + 4, sizeof factors);

    const LedCurves curves = parsed ? *parsed : unitLedCurves();
    const auto rows = computeLedRows(curves, t, pwm, factors);
    if (rows.has_value() != (checkLedCurves(curves, t) == LedTableError::None))
        std::abort();
    if (!rows)
        return 0;
    for (std::size_t c = 0; c < kLedColours; ++c) {
        for (std::size_t i = kLedCurveLength; i < kLedRowLength; ++i)
            if ((*rows)[c][i] != (*rows)[c][kLedCurveLength - 1])
                std::abort();
        // Re-based at T: the entry there is P x F, give or take the division's rounding.
        const double target = pwm[c] * factors[c];
        if (std::isfinite(target) && target >= 0 && target <= 254 &&
            std::abs((*rows)[c][t] - std::floor(target + 0.5)) > 1)
            std::abort();
    }
    const std::string dump = formatLedTableDump(*rows);
    if (std::count(dump.begin(), dump.end(), '\n') != static_cast<long>(kLedCurveLength))
        std::abort();
    return 0;
}
