#pragma once

#include "platform/bitmap.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

// The colour adjustment of one picture: three colour balances, brightness and
// contrast, applied to the picture's pixels themselves (not to the print settings).
namespace kv::adjust {

inline constexpr int kColourValueMin = -100;
inline constexpr int kColourValueMax = 100;
inline constexpr int kColourEditMaxChars = 4;

struct ColourAdjustValues {
    int cyanRed = 0;      // acts on red
    int magentaGreen = 0; // acts on green
    int yellowBlue = 0;   // acts on blue
    int brightness = 0;   // all three
    int contrast = 0;     // all three, around the thumbnail's mean
    bool allZero() const {
        return cyanRed == 0 && magentaGreen == 0 && yellowBlue == 0 && brightness == 0 &&
               contrast == 0;
    }
    friend bool operator==(const ColourAdjustValues&, const ColourAdjustValues&) = default;
};

// The exponent of a balance or brightness value: 1 - v/100 from 0 up, 1/(1 + v/100)
// below, 100 at -100.
double colourExponent(int value);

// The mean of every byte of the thumbnail's rows, row padding included.
double thumbnailMean(std::span<const std::uint8_t> rows);

// One pixel: brightness, then the balances, then contrast; each component limited
// to 0..255. Components in blue, green, red order.
std::array<std::uint8_t, 3> adjustPixel(std::array<std::uint8_t, 3> bgr,
                                        const ColourAdjustValues& values, double mean);

// Every step works on one component alone, so a picture is adjusted through one
// 256-entry table per channel (blue, green, red) built from adjustPixel.
using ColourTables = std::array<std::array<std::uint8_t, 256>, 3>;
ColourTables makeColourTables(const ColourAdjustValues& values, double mean);

// Adjusts every pixel of every row; the row padding stays as it is.
void adjustBitmap(platform::Bitmap24& bitmap, const ColourTables& tables);

// What a change of an edit's text means.
enum class EditMeaning {
    Typing,     // "+", "-" or empty: the user has not finished the number
    OutOfRange, // not a number from -100 to 100: the range message
    Value,      // a value to take
};
struct EditReading {
    EditMeaning meaning = EditMeaning::Typing;
    int value = 0;
};
EditReading readColourEdit(std::string_view text);

// A spin arrow: one up or down, kept within -100..100.
int spinColourValue(int value, int step);

} // namespace kv::adjust
