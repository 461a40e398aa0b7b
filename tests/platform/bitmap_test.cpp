#include "platform/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kv::platform {
namespace {

// A 3 x 2 picture whose pixel n (1 to 6, row by row from the bottom) holds the
// bytes n, n + 50, n + 100; the row padding holds 0xEE so a leak would show.
Bitmap24 numbered() {
    Bitmap24 b = Bitmap24::make(3, 2);
    std::fill(b.pixels.begin(), b.pixels.end(), 0xEE);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const auto n = static_cast<std::uint8_t>(1 + x + 3 * y);
            b.at(x, y)[0] = n;
            b.at(x, y)[1] = n + 50;
            b.at(x, y)[2] = n + 100;
        }
    return b;
}

// Rows of pixel numbers from the bottom up, expanded to bytes with zero padding.
std::vector<std::uint8_t> expected(int width, std::initializer_list<std::vector<int>> rows) {
    std::vector<std::uint8_t> bytes;
    for (const auto& row : rows) {
        for (const int n : row)
            bytes.insert(bytes.end(),
                         {std::uint8_t(n), std::uint8_t(n + 50), std::uint8_t(n + 100)});
        bytes.resize(bytes.size() + Bitmap24::strideFor(width) - 3 * width, 0);
    }
    return bytes;
}

TEST(Bitmap, TurnsClockwiseInQuarterTurns) {
    const struct {
        int turns, width, height;
        std::vector<std::uint8_t> pixels;
    } cases[] = {
        {1, 2, 3, expected(2, {{3, 6}, {2, 5}, {1, 4}})},
        {2, 3, 2, expected(3, {{6, 5, 4}, {3, 2, 1}})},
        {3, 2, 3, expected(2, {{4, 1}, {5, 2}, {6, 3}})},
        {-1, 2, 3, expected(2, {{4, 1}, {5, 2}, {6, 3}})},
        {5, 2, 3, expected(2, {{3, 6}, {2, 5}, {1, 4}})},
    };
    const Bitmap24 source = numbered();
    for (const auto& c : cases) {
        const Bitmap24 out = turnBitmap(source, c.turns);
        EXPECT_EQ(out.width, c.width) << c.turns;
        EXPECT_EQ(out.height, c.height) << c.turns;
        EXPECT_EQ(out.pixels, c.pixels) << c.turns;
    }
    EXPECT_EQ(turnBitmap(source, 4).pixels, source.pixels);
    EXPECT_EQ(turnBitmap(turnBitmap(source, 1), 3).pixels, expected(3, {{1, 2, 3}, {4, 5, 6}}));
}

} // namespace
} // namespace kv::platform
