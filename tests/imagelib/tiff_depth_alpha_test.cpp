// 16-bit TIFF samples are rounded to 8 bits, and alpha is laid over white at the
// file's own precision, in every layout libtiff stores them in.
#include "platform/imagelib/image_library.h"
#include "support/temp_dir.h"
#include "support/tiff_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace kv::platform::imagelib;

namespace {

using Rgb = std::array<int, 3>;

struct Case {
    const char* name;
    kv::test::TiffPicture picture;
    std::vector<Rgb> want; // the pixels of the top row, left to right
};

kv::test::TiffPicture rgb16(bool separate, bool tiled, bool bigEndian = false) {
    kv::test::TiffPicture p;
    p.width = 2;
    p.bits = 16;
    p.separate = separate;
    p.tiled = tiled;
    p.bigEndian = bigEndian;
    p.values = {0, 129, 2770, 65535, 65406, 128};
    return p;
}

kv::test::TiffPicture grey16(int photometric) {
    kv::test::TiffPicture p;
    p.width = 4;
    p.bits = 16;
    p.photometric = photometric;
    p.samples = 1;
    p.values = {0, 129, 2770, 65535};
    return p;
}

// Four indices into a map whose red entries are those of grey16, green and blue 0.
kv::test::TiffPicture palette() {
    kv::test::TiffPicture p;
    p.width = 4;
    p.photometric = PHOTOMETRIC_PALETTE;
    p.samples = 1;
    p.values = {0, 1, 2, 3};
    p.colormap.assign(3 * 256, 0);
    for (int i = 0; i < 4; ++i)
        p.colormap[i] = grey16(PHOTOMETRIC_MINISBLACK).values[i];
    return p;
}

kv::test::TiffPicture withAlpha(int bits, int photometric, int alpha,
                                std::vector<std::uint16_t> values) {
    kv::test::TiffPicture p;
    p.bits = bits;
    p.photometric = photometric;
    p.samples = photometric == PHOTOMETRIC_RGB ? 4 : 2;
    p.alpha = alpha;
    p.width = static_cast<int>(values.size()) / p.samples;
    p.values = std::move(values);
    return p;
}

} // namespace

TEST(TiffDepthAndAlpha, SixteenBitsRoundAndAlphaLiesOnWhite) {
    // 129 is just over half of one 8-bit step (257): cutting to the high byte
    // would give 0, and 2770 would give 10.
    const Rgb rgbFirst{0, 1, 11}, rgbSecond{255, 254, 0};
    const Case cases[] = {
        {"grey",
         grey16(PHOTOMETRIC_MINISBLACK),
         {{0, 0, 0}, {1, 1, 1}, {11, 11, 11}, {255, 255, 255}}},
        {"grey min-is-white",
         grey16(PHOTOMETRIC_MINISWHITE),
         {{255, 255, 255}, {254, 254, 254}, {244, 244, 244}, {0, 0, 0}}},
        {"rgb strips", rgb16(false, false), {rgbFirst, rgbSecond}},
        {"rgb planes", rgb16(true, false), {rgbFirst, rgbSecond}},
        {"rgb tiles", rgb16(false, true), {rgbFirst, rgbSecond}},
        {"rgb planes in tiles", rgb16(true, true), {rgbFirst, rgbSecond}},
        {"rgb big-endian", rgb16(false, false, true), {rgbFirst, rgbSecond}},
        {"palette of 16-bit entries", palette(), {{0, 0, 0}, {1, 0, 0}, {11, 0, 0}, {255, 0, 0}}},
        // Half-covered (32896 = 128 * 257) red 0, green full, blue half; then clear
        // and opaque pixels.
        {"rgba16 unassociated",
         withAlpha(16, PHOTOMETRIC_RGB, EXTRASAMPLE_UNASSALPHA,
                   {0, 65535, 32896, 32896, 5000, 5000, 5000, 0, 2770, 2770, 2770, 65535}),
         {{127, 255, 191}, {255, 255, 255}, {11, 11, 11}}},
        {"rgba16 associated",
         withAlpha(16, PHOTOMETRIC_RGB, EXTRASAMPLE_ASSOCALPHA,
                   {0, 32896, 16448, 32896, 0, 0, 0, 0, 2770, 2770, 2770, 65535}),
         {{127, 255, 191}, {255, 255, 255}, {11, 11, 11}}},
        {"grey+alpha16",
         withAlpha(16, PHOTOMETRIC_MINISBLACK, EXTRASAMPLE_UNASSALPHA, {12850, 49344, 0, 0}),
         {{101, 101, 101}, {255, 255, 255}}},
        {"rgba8 unassociated",
         withAlpha(8, PHOTOMETRIC_RGB, EXTRASAMPLE_UNASSALPHA, {0, 255, 128, 128, 9, 9, 9, 0}),
         {{127, 255, 191}, {255, 255, 255}}},
        {"grey+alpha8",
         withAlpha(8, PHOTOMETRIC_MINISBLACK, EXTRASAMPLE_UNASSALPHA, {50, 192, 0, 0}),
         {{101, 101, 101}, {255, 255, 255}}},
    };
    kv::test::TempDir folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = kv::test::encodeTiff(c.picture, folder);
        DecodedImage image;
        ASSERT_EQ(
            decodeImage({reinterpret_cast<const std::uint8_t*>(file.data()), file.size()}, image),
            DecodeResult::Ok);
        ASSERT_EQ(image.bitsPerPixel, 24);
        ASSERT_EQ(image.width, static_cast<int>(c.want.size()));
        const std::uint8_t* top =
            image.pixels.data() + std::size_t(image.height - 1) * image.stride();
        for (std::size_t x = 0; x < c.want.size(); ++x)
            EXPECT_EQ((Rgb{top[x * 3 + 2], top[x * 3 + 1], top[x * 3]}), c.want[x])
                << "pixel " << x;
    }
}

TEST(TiffDepthAndAlpha, SixteenBitPicturesTurnAsTheirEightBitTwins) {
    kv::test::TempDir folder;
    for (int orientation = ORIENTATION_TOPLEFT; orientation <= ORIENTATION_LEFTBOT; ++orientation)
        for (int samples : {1, 3}) {
            SCOPED_TRACE(testing::Message()
                         << "orientation " << orientation << " samples " << samples);
            DecodedImage images[2];
            for (int bits : {8, 16}) {
                kv::test::TiffPicture p;
                p.width = 3;
                p.height = 2;
                p.bits = bits;
                p.samples = samples;
                p.photometric = samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB;
                p.orientation = orientation;
                // Just over half a step above v * 14: rounded to v * 14 + 1, cut to v * 14.
                for (int v = 0; v < 6 * samples; ++v)
                    p.values.push_back(
                        static_cast<std::uint16_t>(bits == 16 ? v * 14 * 257 + 129 : v * 14 + 1));
                const std::string file = kv::test::encodeTiff(p, folder);
                ASSERT_EQ(
                    decodeImage({reinterpret_cast<const std::uint8_t*>(file.data()), file.size()},
                                images[bits / 16]),
                    DecodeResult::Ok);
            }
            EXPECT_EQ(images[0].pixels, images[1].pixels);
        }
}
