#pragma once

#include <cstdint>
#include <vector>

namespace kv::platform {

// A 24-bit picture as the program keeps it everywhere: blue, green, red bytes,
// rows from the bottom up, each row padded to a multiple of 4 bytes.
struct Bitmap24 {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // height * stride() bytes

    static constexpr int strideFor(int width) { return (width * 3 + 3) & ~3; }
    int stride() const { return strideFor(width); }
    bool empty() const { return width <= 0 || height <= 0; }

    static Bitmap24 make(int width, int height);
    // Pixel at column x, row y (rows counted from the bottom).
    std::uint8_t* at(int x, int y) { return pixels.data() + y * stride() + x * 3; }
    const std::uint8_t* at(int x, int y) const { return pixels.data() + y * stride() + x * 3; }
};

// Turns a bitmap clockwise by quarterTurns (taken modulo 4). One quarter turn puts
// the old pixel at column x, row y (from the bottom) at column y, row width-1-x.
Bitmap24 turnBitmap(const Bitmap24& bitmap, int quarterTurns);

} // namespace kv::platform
