#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The three images of one printed sheet: the picture as the colour stages see it,
// its brightness for the edge stage, and the print levels the raster lines take.
namespace kv::render {

inline constexpr int kFrameWidth = 640; // a sheet is always 640 x 480 after orientation
inline constexpr int kFrameHeight = 480;
inline constexpr int kMarginColumns = 5; // columns 640..644 of the exposure image
inline constexpr int kLevelColumns = kFrameWidth + kMarginColumns;
inline constexpr std::int16_t kMarginLevel = 1019;

// 650 x 650 pixels of blue, green, red bytes, rows 1950 bytes apart. A loaded
// frame (640 x 480, or 480 x 640 upright) starts at row 0, column 0; after the
// orientation step rows 0..479 hold the picture with its top row first.
struct PrintImage {
    static constexpr int kSide = 650;
    static constexpr int kStride = kSide * 3; // 1950

    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(std::size_t(kSide) * kStride);

    std::uint8_t* pixel(int row, int column) { return bytes.data() + row * kStride + column * 3; }
    const std::uint8_t* pixel(int row, int column) const {
        return bytes.data() + row * kStride + column * 3;
    }
};

// Brightness of every picture pixel, 0..1020, made by the saturation stage.
struct LuminanceMap {
    std::vector<std::int32_t> values =
        std::vector<std::int32_t>(std::size_t(kFrameWidth) * kFrameHeight);

    std::int32_t& at(int row, int column) { return values[std::size_t(row) * kFrameWidth + column]; }
    std::int32_t at(int row, int column) const {
        return values[std::size_t(row) * kFrameWidth + column];
    }
};

// Level order inside one entry: from blue (yellow layer), from green (magenta
// layer), from red (cyan layer).
enum Level : int { kYellow = 0, kMagenta = 1, kCyan = 2 };
using Levels = std::array<std::int16_t, 3>;

// 480 rows of 660 entries; columns 0..639 the picture, 640..644 the margin
// (always kMarginLevel), the rest unused.
struct ExposureImage {
    static constexpr int kColumns = 660;

    std::vector<Levels> levels = std::vector<Levels>(std::size_t(kFrameHeight) * kColumns);

    Levels& at(int row, int column) { return levels[std::size_t(row) * kColumns + column]; }
    const Levels& at(int row, int column) const {
        return levels[std::size_t(row) * kColumns + column];
    }
};

} // namespace kv::render
