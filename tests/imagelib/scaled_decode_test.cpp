// A JPEG that is about to be shrunk is decoded smaller by libjpeg; the shrunk
// picture must stay what the whole decode gave, within a level on average.
#include "platform/imagelib/image_library.h"

#include "support/jpeg_writer.h"

#include <gtest/gtest.h>

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace kv::platform::imagelib;
using kv::platform::Bitmap24;

namespace {

std::span<const std::uint8_t> asSpan(const std::vector<std::uint8_t>& v) {
    return {v.data(), v.size()};
}

// The Exif APP1 body of IFD0 holding only the Orientation tag, big-endian.
std::vector<std::uint8_t> exifOrientation(int orientation) {
    return {'E', 'x', 'i', 'f',  0,    0, 'M', 'M', 0, 42, 0, 0, 0,
            8,   0,   1,   0x01, 0x12, 0, 3,   0,   0, 0,  1, 0, std::uint8_t(orientation),
            0,   0,   0,   0,    0,    0};
}

std::uint32_t hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    std::uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Smooth noise in [0, 1): a lattice every `period` pixels, blended bilinearly.
float valueNoise(int x, int y, int period, std::uint32_t seed) {
    const int cx = x / period, cy = y / period;
    const float fx = float(x % period) / period, fy = float(y % period) / period;
    const auto at = [&](int i, int j) {
        return float(hash(cx + i, cy + j, seed) & 0xFFFF) / 65536;
    };
    const float top = at(0, 0) + (at(1, 0) - at(0, 0)) * fx;
    const float bottom = at(0, 1) + (at(1, 1) - at(0, 1)) * fx;
    return top + (bottom - top) * fy;
}

// The test data holds no camera photograph, so this stands in for one: a sky
// gradient over textured ground, hard-edged objects and sensor grain, saved as a
// camera saves (4:2:0, quality 92), stored `width` x `height` with an orientation.
std::vector<std::uint8_t> photoJpeg(int width, int height, int orientation) {
    const int horizon = height * 2 / 5;
    kv::test::JpegSettings settings;
    settings.quality = 92;
    if (orientation != 1)
        settings.app1 = exifOrientation(orientation);
    const std::string file = kv::test::encodeJpeg(
        width, height,
        [&](int y, JSAMPLE* row) {
            for (int x = 0; x < width; ++x) {
                float r, g, b;
                if (y < horizon) {
                    const float t = float(y) / horizon;
                    r = 90 + 80 * t, g = 140 + 60 * t, b = 230 - 20 * t;
                    const float cloud = valueNoise(x, y, width / 12, 1);
                    r += 60 * cloud * cloud, g += 50 * cloud * cloud, b += 20 * cloud * cloud;
                } else {
                    const float t = 0.5f * valueNoise(x, y, 97, 2) +
                                    0.3f * valueNoise(x, y, 23, 3) + 0.2f * valueNoise(x, y, 5, 4);
                    r = 60 + 90 * t, g = 90 + 100 * t, b = 30 + 50 * t;
                }
                // A house wall, a window frame and a ball: edges at every angle.
                const int dx = x - width * 7 / 10, dy = y - height * 3 / 5;
                if (x > width / 5 && x < width * 2 / 5 && y > height / 4 && y < height * 3 / 4) {
                    r = 200, g = 180, b = 150;
                    if (((x - width / 5) / 40 + (y - height / 4) / 20) % 2 == 0)
                        r -= 25, g -= 25, b -= 25;
                    if (x > width * 3 / 10 && x < width * 7 / 20 && y > height * 2 / 5 &&
                        y < height / 2)
                        r = 30, g = 30, b = 40;
                } else if (dx * dx + dy * dy < width * width / 100) {
                    r = 220, g = 40, b = 30;
                }
                const float grain = float(int(hash(x, y, 5) % 13) - 6);
                row[x * 3] = JSAMPLE(std::clamp(r + grain, 0.0f, 255.0f));
                row[x * 3 + 1] = JSAMPLE(std::clamp(g + grain, 0.0f, 255.0f));
                row[x * 3 + 2] = JSAMPLE(std::clamp(b + grain, 0.0f, 255.0f));
            }
        },
        settings);
    return std::vector<std::uint8_t>(file.begin(), file.end());
}

Bitmap24 shrunk(const DecodedImage& decoded, DecodeExtent to) {
    Bitmap24 picture;
    EXPECT_TRUE(ConvertTo24(decoded, picture));
    return ScaleImage(picture, to.width, to.height);
}

TEST(ScaledJpegDecode, ShrinksLikeTheWholeDecodeOnAPhotoLikePicture) {
    struct Case {
        const char* name;
        int storedWidth, storedHeight, orientation;
        DecodeExtent sheet; // upright
    };
    // The 1-in-1 sheet sizes: an eighth of a camera picture, and a turned one
    // that takes the n/8 steps between.
    const Case cases[] = {
        {"5400x3600 to 640x426", 5400, 3600, 1, {640, 426}},
        {"2400x1800 turned to 480x640", 2400, 1800, 6, {480, 640}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> file =
            photoJpeg(c.storedWidth, c.storedHeight, c.orientation);
        DecodedImage whole, small;
        ASSERT_EQ(decodeJpeg(asSpan(file), whole), DecodeResult::Ok);
        int asked = 0;
        ASSERT_EQ(decodeJpegAtLeast(asSpan(file), small,
                                    [&](int width, int height) {
                                        ++asked;
                                        EXPECT_EQ(width, whole.width);
                                        EXPECT_EQ(height, whole.height);
                                        return c.sheet;
                                    }),
                  DecodeResult::Ok);
        EXPECT_EQ(asked, 1);
        // Upright, never below the sheet, and far from the whole picture.
        EXPECT_GE(small.width, c.sheet.width);
        EXPECT_GE(small.height, c.sheet.height);
        EXPECT_LT(small.width * 2, whole.width);
        EXPECT_EQ(small.width < small.height, whole.width < whole.height);

        const Bitmap24 want = shrunk(whole, c.sheet);
        const Bitmap24 got = shrunk(small, c.sheet);
        ASSERT_EQ(got.pixels.size(), want.pixels.size());
        double sum = 0, squares = 0;
        std::size_t samples = 0;
        for (int y = 0; y < want.height; ++y)
            for (int i = 0; i < want.width * 3; ++i, ++samples) {
                const double d = double(got.at(0, y)[i]) - want.at(0, y)[i];
                sum += std::abs(d);
                squares += d * d;
            }
        const double meanDifference = sum / samples;
        const double psnr = 10 * std::log10(255.0 * 255.0 * samples / squares);
        std::printf("%s: mean difference %.3f, PSNR %.1f dB\n", c.name, meanDifference, psnr);
        EXPECT_LE(meanDifference, 1.0);
        EXPECT_GE(psnr, 40.0);
    }
}

TEST(ScaledJpegDecode, DecodesWholeUnlessShrunkToHalfOrLess) {
    const std::vector<std::uint8_t> file = photoJpeg(64, 48, 1);
    DecodedImage whole;
    ASSERT_EQ(decodeJpeg(asSpan(file), whole), DecodeResult::Ok);
    struct Case {
        DecodeExtent needed, decoded;
    };
    const Case cases[] = {
        {{33, 20}, {64, 48}}, // less than half across: whole
        {{0, 0}, {64, 48}},   // nothing asked: whole
        {{32, 24}, {32, 24}}, // 1/2
        {{9, 4}, {16, 12}},   // 2/8 is the first to reach 9 across
        {{1, 1}, {8, 6}},     // never below 1/8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.needed.width) + "x" + std::to_string(c.needed.height));
        DecodedImage img;
        ASSERT_EQ(decodeJpegAtLeast(asSpan(file), img, [&](int, int) { return c.needed; }),
                  DecodeResult::Ok);
        EXPECT_EQ(img.width, c.decoded.width);
        EXPECT_EQ(img.height, c.decoded.height);
        if (img.width == whole.width) {
            EXPECT_EQ(img.pixels, whole.pixels);
        }
    }
}

} // namespace
