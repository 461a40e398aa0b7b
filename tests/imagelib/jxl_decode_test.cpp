// JPEG XL files made here with libjxl's encoder: pixels (lossless, so exact),
// an animation's first frame, alpha on white, grey and one-bit pictures, the file's orientation,
// the colour space handed on as a profile, and damaged or oversized files refused.
#include "jxl_file.h"
#include "platform/imagelib/image_library.h"

#include <gtest/gtest.h>

#include <string>

using namespace kv::platform::imagelib;
using namespace kv::test;

namespace {

TEST(JxlDecode, PixelsAlphaAndGreyComeOutAsBgrOnWhite) {
    const Quads translucent{
        Rgba{255, 0, 0, 255}, {0, 0, 255, 0}, {0, 255, 0, 128}, {255, 255, 0, 64}};
    const Quads onWhite{Rgba{255, 0, 0}, {255, 255, 255}, {127, 255, 127}, {255, 255, 191}};
    const Quads moderate{
        Rgba{128, 128, 128, 255}, {200, 100, 50, 255}, {40, 160, 90, 255}, {30, 60, 220, 255}};
    const Quads greys{Rgba{0, 0, 0, 255}, {64, 0, 0, 255}, {192, 0, 0, 255}, {255, 0, 0, 255}};
    const Quads greysWant{Rgba{0, 0, 0}, {64, 64, 64}, {192, 192, 192}, {255, 255, 255}};
    const struct {
        const char* name;
        JxlPicture picture;
        Quads want;
        int tolerance;
    } cases[] = {
        {"lossless RGB", {}, kQuads, 0},
        {"in a container", {.container = true}, kQuads, 0},
        {"odd size", {.width = 37, .height = 21}, kQuads, 0},
        {"alpha on white", {.quads = translucent, .alpha = true}, onWhite, 0},
        {"grey", {.quads = greys, .grey = true}, greysWant, 0},
        {"animation: its first frame", {.quads = moderate, .laterFrames = {kQuads}}, moderate, 0},
        {"lossy", {.width = 64, .height = 64, .quads = moderate, .lossless = false}, moderate, 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = jxlFile(c.picture);
        ASSERT_EQ(detectFormat({reinterpret_cast<const std::uint8_t*>(file.data()), file.size()}),
                  ImageFormat::Jxl);
        DecodedImage img;
        ASSERT_EQ(decode(file, img), DecodeResult::Ok);
        EXPECT_FALSE(img.incomplete);
        EXPECT_TRUE(img.iccProfile.empty());
        expectQuads(img, c.picture.width, c.picture.height, c.want, c.tolerance);
    }
}

TEST(JxlDecode, OneBitGreyIsBilevel) {
    const Quads blackWhite{Rgba{0, 0, 0, 255}, {255, 0, 0, 255}, {255, 0, 0, 255}, {0, 0, 0, 255}};
    DecodedImage img;
    ASSERT_EQ(decode(jxlFile({.quads = blackWhite, .grey = true, .bits = 1}), img),
              DecodeResult::Ok);
    ASSERT_EQ(img.bitsPerPixel, 1);
    ASSERT_EQ(img.width, 32);
    ASSERT_EQ(img.height, 16);
    // Rows from the bottom: the bottom row is white then black, the top black then white.
    EXPECT_EQ(img.pixels[0], 0xFF);
    EXPECT_EQ(img.pixels[2], 0x00);
    EXPECT_EQ(img.pixels[15 * 4], 0x00);
    EXPECT_EQ(img.pixels[15 * 4 + 2], 0xFF);
    EXPECT_EQ(img.palette[4 * 1], 255);
    EXPECT_EQ(img.palette[0], 0);
}

TEST(JxlDecode, OrientationIsApplied) {
    const struct {
        int orientation;
        bool turned;
        Quads want;
    } cases[] = {
        {1, false, kQuads},
        {2, false, {kBlue, kRed, kYellow, kLime}},
        {3, false, {kYellow, kLime, kBlue, kRed}},
        {4, false, {kLime, kYellow, kRed, kBlue}},
        {6, true, {kLime, kRed, kYellow, kBlue}},
        {8, true, {kBlue, kYellow, kRed, kLime}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.orientation);
        DecodedImage img;
        ASSERT_EQ(decode(jxlFile({.orientation = c.orientation}), img), DecodeResult::Ok);
        expectQuads(img, c.turned ? 16 : 32, c.turned ? 32 : 16, c.want, 0);
    }
}

TEST(JxlDecode, TheColourSpaceBecomesTheProfile) {
    const std::vector<std::uint8_t> adobe = rgbProfile(kAdobePrimaries, 563.0 / 256);
    const std::vector<std::uint8_t> p3 = rgbProfile(kP3Primaries);
    const struct {
        const char* name;
        JxlPicture picture;
        const std::vector<std::uint8_t>* space;
    } cases[] = {
        {"lossless Display P3", {.primaries = JXL_PRIMARIES_P3}, &p3},
        {"lossy Display P3", {.lossless = false, .primaries = JXL_PRIMARIES_P3}, &p3},
        {"lossless Adobe RGB ICC", {.icc = adobe}, &adobe},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DecodedImage img;
        ASSERT_EQ(decode(jxlFile(c.picture), img, decodeJxl), DecodeResult::Ok);
        expectSameSpace(img.iccProfile, *c.space);
    }
}

TEST(JxlDecode, DamagedAndOversizedFilesAreRefusedWithTheirReason) {
    const std::string good = jxlFile({.width = 64, .height = 64});
    const struct {
        const char* name;
        std::string bytes;
        FailureReason reason;
    } cases[] = {
        {"signature only", good.substr(0, 2), FailureReason::Damaged},
        {"cut within the pixels", good.substr(0, good.size() * 3 / 4), FailureReason::Damaged},
        {"headers without pixels", jxlHeaderOnly(64, 64), FailureReason::Damaged},
        {"container without codestream", jxlFile({.container = true}).substr(0, 40),
         FailureReason::Damaged},
        {"20000 x 20000", jxlHeaderOnly(20000, 20000), FailureReason::TooLarge},
        {"12000 x 11000", jxlHeaderOnly(12000, 11000), FailureReason::TooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DecodedImage img;
        EXPECT_EQ(decode(c.bytes, img), DecodeResult::Failed);
        EXPECT_EQ(img.failure, c.reason);
    }
}

} // namespace
