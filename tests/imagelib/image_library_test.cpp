// The library calls on 24-bit pictures: BMP writing, resizing, drawing and filling.
#include "platform/imagelib/image_library.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kv::platform::imagelib;
using kv::platform::Bitmap24;
using kv::platform::Rect;

namespace {

using Bgr = std::array<int, 3>;

// Builds a picture from top-down rows of blue, green, red values.
Bitmap24 picture(int width, const std::vector<Bgr>& topDown) {
    const int height = static_cast<int>(topDown.size()) / width;
    Bitmap24 b = Bitmap24::make(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                b.at(x, height - 1 - y)[c] = static_cast<std::uint8_t>(topDown[y * width + x][c]);
    return b;
}

std::vector<Bgr> topDownPixels(const Bitmap24& b) {
    std::vector<Bgr> out;
    for (int y = b.height - 1; y >= 0; --y)
        for (int x = 0; x < b.width; ++x)
            out.push_back({b.at(x, y)[0], b.at(x, y)[1], b.at(x, y)[2]});
    return out;
}

} // namespace

TEST(WriteBmpFile, TwoByTwoPictureByteForByte) {
    const Bitmap24 b = picture(2, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}});
    kv::test::TempDir dir;
    ASSERT_TRUE(WriteBmpFile(dir / "out.bmp", b));
    const std::string expected = std::string("BM\x46\0\0\0\0\0\0\0\x36\0\0\0", 14) +
                                 std::string("\x28\0\0\0\2\0\0\0\2\0\0\0\1\0\x18\0", 16) +
                                 std::string("\0\0\0\0\x10\0\0\0", 8) + std::string(16, '\0') +
                                 std::string("\7\x8\x9\xA\xB\xC\0\0\1\2\3\4\5\6\0\0", 16);
    EXPECT_EQ(kv::test::readBytes(dir / "out.bmp"), expected);

    // What was written reads back as the same picture.
    DecodedImage img;
    ASSERT_EQ(ScaleCD(dir / "out.bmp", img), 1);
    Bitmap24 back;
    ASSERT_TRUE(ConvertTo24(img, back));
    EXPECT_EQ(back.pixels, b.pixels);

    EXPECT_FALSE(WriteBmpFile(dir / "empty.bmp", Bitmap24{}));
    PictureRecord wrongDepth = PictureRecord::of(b);
    wrongDepth.bitsPerPixel = 8;
    EXPECT_FALSE(WriteBmpFile(dir / "wrong.bmp", wrongDepth));
    EXPECT_FALSE(std::filesystem::exists(dir / "wrong.bmp"));
}

TEST(ScaleImage, AveragesWhenShrinkingAndInterpolatesWhenGrowing) {
    struct Case {
        const char* what;
        int fromWidth;
        std::vector<Bgr> from;
        int width, height;
        std::vector<Bgr> expected;
    };
    const Case cases[] = {
        {"4x2 to 2x1 averages each 2x2 block",
         4,
         {{0, 0, 0},
          {100, 0, 0},
          {0, 40, 0},
          {0, 0, 0},
          {100, 0, 0},
          {200, 0, 0},
          {0, 0, 8},
          {0, 0, 0}},
         2,
         1,
         {{100, 0, 0}, {0, 10, 2}}},
        {"3x1 to 2x1 shares the middle pixel",
         3,
         {{0, 0, 0}, {90, 0, 0}, {180, 0, 0}},
         2,
         1,
         {{30, 0, 0}, {150, 0, 0}}},
        {"2x1 to 4x1 interpolates between centres",
         2,
         {{0, 0, 0}, {255, 0, 0}},
         4,
         1,
         {{0, 0, 0}, {64, 0, 0}, {191, 0, 0}, {255, 0, 0}}},
        {"same size is a copy", 2, {{1, 2, 3}, {4, 5, 6}}, 2, 1, {{1, 2, 3}, {4, 5, 6}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(topDownPixels(ScaleImage(picture(c.fromWidth, c.from), c.width, c.height)),
                  c.expected)
            << c.what;

    // Odd ratios both ways keep a flat colour flat.
    const Bitmap24 flat = NewImage(7, 5, 30, 20, 10);
    for (auto [w, h] : {std::pair{3, 2}, {11, 9}, {1, 1}, {7, 13}})
        for (const Bgr& p : topDownPixels(ScaleImage(flat, w, h)))
            ASSERT_EQ(p, (Bgr{10, 20, 30})) << w << "x" << h;
    EXPECT_TRUE(ScaleImage(flat, 0, 4).empty());
    EXPECT_TRUE(ScaleImage(Bitmap24{}, 4, 4).empty());
}

TEST(LibraryImage, NewFillAndScaleTo) {
    constexpr Bgr W{255, 255, 255}, K{0, 0, 0}, R{0, 0, 255};
    LibraryImage sheet = NewImage(4, 3, 255, 255, 255);
    EXPECT_EQ(topDownPixels(sheet), std::vector<Bgr>(12, W));

    FillImageRect(sheet, Rect{1, 0, 3, 2}, 255, 0, 0);
    FillImageRect(sheet, Rect{3, 2, 99, 99}, 255, 0, 0); // clipped to the image
    EXPECT_EQ(topDownPixels(sheet), (std::vector<Bgr>{W, R, R, W, W, R, R, W, W, W, W, R}));

    // Rows count from the top; what falls outside the sheet is dropped.
    LibraryImage target = NewImage(4, 3, 255, 255, 255);
    const Bitmap24 black = NewImage(1, 1, 0, 0, 0);
    ScaleImageTo(target, 1, 1, black, 2, 2);
    ScaleImageTo(target, -1, -1, black, 2, 2);
    ScaleImageTo(target, 3, 2, black, 5, 5);
    ScaleImageTo(target, 9, 9, black, 2, 2);
    EXPECT_EQ(topDownPixels(target), (std::vector<Bgr>{K, W, W, W, W, K, K, W, W, K, K, K}));

    FreeImage(target);
    EXPECT_TRUE(target.empty());
}

TEST(CD, LoadsAnyFormatAsTwentyFourBits) {
    Bitmap24 out;
    int width = 0, height = 0, bits = 0;
    ASSERT_EQ(CD(std::string(KV_IMAGELIB_DATA) + "pal4.bmp", out, width, height, bits), 1);
    EXPECT_EQ((std::array{width, height, bits, out.width, out.height}),
              (std::array{9, 3, 4, 9, 3}));
    EXPECT_EQ(out.pixels.size(), 3u * 28u);

    kv::test::TempDir dir;
    kv::test::writeBytes(dir / "junk.pcx", std::string(200, 'x'));
    EXPECT_EQ(CD(dir / "junk.pcx", out, width, height, bits), -5);
    EXPECT_TRUE(out.empty());
}
