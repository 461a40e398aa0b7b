#include "adjust/colour_adjust.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstddef>

namespace kv::adjust {

namespace {

std::uint8_t limit(int c) {
    return static_cast<std::uint8_t>(std::clamp(c, 0, 255));
}

// cut(255 * (c / 255) ^ f), limited; the exponent stays within 0.01..100, so the
// power is always finite.
std::uint8_t power(std::uint8_t c, double exponent) {
    return limit(static_cast<int>(255.0 * std::pow(static_cast<double>(c) / 255.0, exponent)));
}

std::uint8_t contrast(std::uint8_t c, int k, double mean) {
    double result = 0;
    if (mean > 0) {
        double q = k * mean / 100.0;
        if (k < 0) {
            result = (mean + q) / mean * c - q;
        } else {
            if (k == 100)
                q = 0.99 * mean;
            result = mean / (mean - q) * (c - q);
        }
    } else {
        // An all-black thumbnail (or none) has mean 0, where the factors above are
        // 0 / 0; their limits for a mean towards 0 are used instead.
        const double factor =
            k < 0 ? 1.0 + k / 100.0 : (k == 100 ? 100.0 : 1.0 / (1.0 - k / 100.0));
        result = factor * c;
    }
    return limit(static_cast<int>(result));
}

} // namespace

double colourExponent(int value) {
    if (value >= 0)
        return 1.0 - value / 100.0;
    if (value > kColourValueMin)
        return 1.0 / (1.0 + value / 100.0);
    return 100.0;
}

double thumbnailMean(std::span<const std::uint8_t> rows) {
    if (rows.empty())
        return 0;
    double sum = 0;
    for (std::uint8_t byte : rows)
        sum += byte;
    return sum / static_cast<double>(rows.size());
}

std::array<std::uint8_t, 3> adjustPixel(std::array<std::uint8_t, 3> bgr,
                                        const ColourAdjustValues& values, double mean) {
    if (values.brightness != 0) {
        const double f = colourExponent(values.brightness);
        for (std::uint8_t& c : bgr)
            c = power(c, f);
    }
    const std::array<int, 3> balances{values.yellowBlue, values.magentaGreen, values.cyanRed};
    for (std::size_t i = 0; i < 3; ++i) {
        if (balances[i] != 0)
            bgr[i] = power(bgr[i], colourExponent(balances[i]));
    }
    if (values.contrast != 0) {
        for (std::uint8_t& c : bgr)
            c = contrast(c, values.contrast, mean);
    }
    return bgr;
}

ColourTables makeColourTables(const ColourAdjustValues& values, double mean) {
    ColourTables tables{};
    for (int c = 0; c < 256; ++c) {
        const auto v = static_cast<std::uint8_t>(c);
        const std::array<std::uint8_t, 3> out = adjustPixel({v, v, v}, values, mean);
        for (std::size_t i = 0; i < 3; ++i)
            tables[i][static_cast<std::size_t>(c)] = out[i];
    }
    return tables;
}

void adjustBitmap(platform::Bitmap24& bitmap, const ColourTables& tables) {
    if (bitmap.empty())
        return;
    const std::size_t stride = static_cast<std::size_t>(bitmap.stride());
    const std::size_t rows =
        std::min(static_cast<std::size_t>(bitmap.height), bitmap.pixels.size() / stride);
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.width) * 3;
    for (std::size_t y = 0; y < rows; ++y) {
        std::uint8_t* p = bitmap.pixels.data() + y * stride;
        for (std::size_t x = 0; x < rowBytes; ++x)
            p[x] = tables[x % 3][p[x]];
    }
}

EditReading readColourEdit(std::string_view text) {
    if (text.empty() || text == "+" || text == "-")
        return {EditMeaning::Typing, 0};
    std::string_view digits = text;
    const bool negative = digits.front() == '-';
    if (digits.front() == '+' || digits.front() == '-')
        digits.remove_prefix(1);
    long long value = 0;
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || !std::isdigit(static_cast<unsigned char>(digits.front())) ||
        ec != std::errc{} || ptr != end)
        return {EditMeaning::OutOfRange, 0};
    if (negative)
        value = -value;
    if (value < kColourValueMin || value > kColourValueMax)
        return {EditMeaning::OutOfRange, 0};
    return {EditMeaning::Value, static_cast<int>(value)};
}

int spinColourValue(int value, int step) {
    return std::clamp(value + step, kColourValueMin, kColourValueMax);
}

} // namespace kv::adjust
