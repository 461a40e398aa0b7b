// PNG decoding: files written here with libpng's own writer, in every depth and
// colour type, and the pixels worked out from the samples written: bit depths
// widened, 16 bits rounded (not cut) to 8, transparency laid on white.
#include "platform/imagelib/image_library.h"

#include <gtest/gtest.h>

#include <lcms2.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace kv::platform::imagelib;
using kv::platform::Bitmap24;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<int, 3>;

struct PngMaking {
    int width = 7;
    int height = 5;
    int depth = 8;
    int colourType = PNG_COLOR_TYPE_RGB;
    bool interlaced = false;
    std::vector<png_color> palette;
    std::vector<std::uint8_t> paletteAlpha; // tRNS of a palette picture
    std::optional<std::uint16_t> keyGrey;   // tRNS of a grey picture
    std::function<void(png_structp, png_infop)> chunks;
    bool noise = false; // samples that do not compress

    PngMaking coded(int bits, int type) const {
        PngMaking s = *this;
        s.depth = bits;
        s.colourType = type;
        return s;
    }
    PngMaking sized(int w, int h) const {
        PngMaking s = *this;
        s.width = w;
        s.height = h;
        return s;
    }
    PngMaking noisy() const {
        PngMaking s = *this;
        s.noise = true;
        return s;
    }
    PngMaking interlace() const {
        PngMaking s = *this;
        s.interlaced = true;
        return s;
    }
    PngMaking withPalette(std::vector<png_color> colours,
                        std::vector<std::uint8_t> alpha = {}) const {
        PngMaking s = *this;
        s.palette = std::move(colours);
        s.paletteAlpha = std::move(alpha);
        return s;
    }
    PngMaking keyed(std::uint16_t grey) const {
        PngMaking s = *this;
        s.keyGrey = grey;
        return s;
    }
    PngMaking with(std::function<void(png_structp, png_infop)> write) const {
        PngMaking s = *this;
        s.chunks = std::move(write);
        return s;
    }
};

int channelsOf(int colourType) {
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
        return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    default:
        return 4;
    }
}

// Sample values that tell rounding from cutting at 16 bits (0x00FF is 1 rounded,
// 0 cut; 0xFE00 is 253 rounded, 254 cut) and that cover each smaller depth.
std::uint16_t sampleAt(const PngMaking& s, int x, int y, int c) {
    static constexpr std::uint16_t k16[] = {0x00FF, 0xFE00, 0x807F, 0x8080, 0x01FF,
                                            0xFFFF, 0x0000, 0x7FFF, 0x1234, 0xABCD};
    const bool alpha = (s.colourType & PNG_COLOR_MASK_ALPHA) && c == channelsOf(s.colourType) - 1;
    const int i = x * 3 + y * 7 + c * 5;
    if (s.colourType == PNG_COLOR_TYPE_PALETTE)
        return std::uint16_t((x + 2 * y) % s.palette.size());
    if (alpha) {
        static constexpr std::uint16_t kAlpha8[] = {0, 128, 255, 64, 200};
        static constexpr std::uint16_t kAlpha16[] = {0, 0x8080, 0xFFFF, 0x4000, 0xC0FF};
        return s.depth == 16 ? kAlpha16[(x + y) % 5] : kAlpha8[(x + y) % 5];
    }
    if (s.depth == 16)
        return k16[i % 10];
    if (s.noise) {
        std::uint32_t v = std::uint32_t(x) * 73856093u ^ std::uint32_t(y) * 19349663u ^
                          std::uint32_t(c) * 83492791u;
        v = (v ^ (v >> 13)) * 0x5BD1E995u;
        return std::uint16_t((v ^ (v >> 15)) % (1u << s.depth));
    }
    return std::uint16_t((i * 37) % (1 << s.depth));
}

void appendTo(png_structp png, png_bytep data, std::size_t size) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), size);
}

std::string writePng(const PngMaking& s) {
    std::string file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the test file";
        return {};
    }
    png_set_write_fn(png, &file, appendTo, nullptr);
    png_set_IHDR(png, info, s.width, s.height, s.depth, s.colourType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty())
        png_set_PLTE(png, info, s.palette.data(), int(s.palette.size()));
    if (!s.paletteAlpha.empty())
        png_set_tRNS(png, info, s.paletteAlpha.data(), int(s.paletteAlpha.size()), nullptr);
    if (s.keyGrey) {
        png_color_16 key{};
        key.gray = *s.keyGrey;
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    if (s.chunks)
        s.chunks(png, info);
    png_write_info(png, info);

    const int channels = channelsOf(s.colourType);
    const std::size_t rowBytes = (std::size_t(s.width) * channels * s.depth + 7) / 8;
    std::vector<Bytes> rows(s.height, Bytes(rowBytes, 0));
    std::vector<png_bytep> pointers;
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x)
            for (int c = 0; c < channels; ++c) {
                const std::uint16_t v = sampleAt(s, x, y, c);
                const std::size_t bit = (std::size_t(x) * channels + c) * s.depth;
                if (s.depth == 16) {
                    rows[y][bit / 8] = std::uint8_t(v >> 8);
                    rows[y][bit / 8 + 1] = std::uint8_t(v);
                } else {
                    rows[y][bit / 8] |= std::uint8_t(v << (8 - s.depth - bit % 8));
                }
            }
        pointers.push_back(rows[y].data());
    }
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file;
}

int to8(const PngMaking& s, std::uint16_t v) {
    if (s.depth == 16)
        return int(std::lround(v * 255.0 / 65535.0));
    return v * 255 / ((1 << s.depth) - 1);
}

int onWhite(int value, int alpha) {
    return (value * alpha + 255 * (255 - alpha) + 127) / 255;
}

// The colour a viewer shows on white paper for pixel (x, y) of the file.
Rgb expectedAt(const PngMaking& s, int x, int y) {
    if (s.colourType == PNG_COLOR_TYPE_PALETTE) {
        const int i = sampleAt(s, x, y, 0);
        const png_color& c = s.palette[i];
        const int a = i < int(s.paletteAlpha.size()) ? s.paletteAlpha[i] : 255;
        return {onWhite(c.red, a), onWhite(c.green, a), onWhite(c.blue, a)};
    }
    const bool grey = !(s.colourType & PNG_COLOR_MASK_COLOR);
    Rgb rgb;
    for (int c = 0; c < 3; ++c)
        rgb[c] = to8(s, sampleAt(s, x, y, grey ? 0 : c));
    int alpha = 255;
    if (s.colourType & PNG_COLOR_MASK_ALPHA)
        alpha = to8(s, sampleAt(s, x, y, grey ? 1 : 3));
    else if (s.keyGrey && sampleAt(s, x, y, 0) == *s.keyGrey)
        alpha = 0;
    for (int& v : rgb)
        v = onWhite(v, alpha);
    return rgb;
}

Rgb rgbAt(const Bitmap24& b, int x, int y) {
    const std::uint8_t* p = b.at(x, b.height - 1 - y);
    return {p[2], p[1], p[0]};
}

std::span<const std::uint8_t> asSpan(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::vector<png_color> colours(int count) {
    std::vector<png_color> p;
    for (int i = 0; i < count; ++i)
        p.push_back({png_byte(i * 53 % 256), png_byte(255 - i * 17), png_byte(i * 91 % 256)});
    return p;
}

// Rewrites IHDR's sides and its CRC.
std::string claiming(std::string file, std::uint32_t width, std::uint32_t height) {
    for (int i = 0; i < 4; ++i) {
        file[16 + i] = char(width >> (24 - 8 * i));
        file[20 + i] = char(height >> (24 - 8 * i));
    }
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(file.data() + 12), 17);
    for (int i = 0; i < 4; ++i)
        file[29 + i] = char(crc >> (24 - 8 * i));
    return file;
}

TEST(PngDecode, EveryDepthAndColourTypeGivesItsColoursOnWhite) {
    const PngMaking rgb{};
    constexpr int kGrey = PNG_COLOR_TYPE_GRAY, kGreyAlpha = PNG_COLOR_TYPE_GRAY_ALPHA,
                  kRgb = PNG_COLOR_TYPE_RGB, kRgba = PNG_COLOR_TYPE_RGB_ALPHA,
                  kPalette = PNG_COLOR_TYPE_PALETTE;
    struct Case {
        const char* name;
        PngMaking making;
        int bits;
    };
    const std::vector<Case> cases = {
        {"grey 2 bits", rgb.coded(2, kGrey), 24},
        {"grey 8 bits", rgb.coded(8, kGrey), 24},
        {"grey 16 bits", rgb.coded(16, kGrey), 24},
        {"grey 8 bits, colour key", rgb.coded(8, kGrey).keyed(111), 24},
        {"grey and alpha 8 bits", rgb.coded(8, kGreyAlpha), 24},
        {"grey and alpha 16 bits", rgb.coded(16, kGreyAlpha), 24},
        {"RGB 8 bits", rgb, 24},
        {"RGB 16 bits", rgb.coded(16, kRgb), 24},
        {"RGBA 8 bits", rgb.coded(8, kRgba), 24},
        {"RGBA 16 bits", rgb.coded(16, kRgba), 24},
        {"palette 2 bits", rgb.coded(2, kPalette).withPalette(colours(3)), 24},
        {"palette 8 bits with alpha",
         rgb.coded(8, kPalette).withPalette(colours(5), {0, 128, 255, 30}), 24},
        // White paper under the transparent colour makes a third colour.
        {"palette 1 bit with a transparent colour",
         rgb.coded(1, kPalette).withPalette(colours(2), {0}), 24},
        {"RGB interlaced", rgb.sized(13, 11).interlace(), 24},
        {"RGBA 16 bits interlaced", rgb.coded(16, kRgba).sized(13, 11).interlace(), 24},
        {"palette 4 bits interlaced",
         rgb.coded(4, kPalette).withPalette(colours(11)).sized(9, 9).interlace(), 24},
        // Stored at one bit a pixel: bilevel, refused by the program like a 1-bit BMP.
        {"grey 1 bit", rgb.coded(1, kGrey).sized(37, 5), 1},
        {"palette 1 bit", rgb.coded(1, kPalette).withPalette(colours(2)).sized(37, 5), 1},
        {"grey 1 bit interlaced", rgb.coded(1, kGrey).sized(37, 9).interlace(), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = writePng(c.making);
        ASSERT_EQ(detectFormat(asSpan(file)), ImageFormat::Png);
        DecodedImage image;
        ASSERT_EQ(decodeImage(asSpan(file), image), DecodeResult::Ok);
        EXPECT_EQ(image.width, c.making.width);
        EXPECT_EQ(image.height, c.making.height);
        EXPECT_EQ(image.bitsPerPixel, c.bits);
        EXPECT_FALSE(image.incomplete);
        EXPECT_TRUE(image.iccProfile.empty());
        Bitmap24 b;
        ASSERT_TRUE(ConvertTo24(image, b));
        for (int y = 0; y < c.making.height; ++y)
            for (int x = 0; x < c.making.width; ++x)
                ASSERT_EQ(rgbAt(b, x, y), expectedAt(c.making, x, y)) << "pixel " << x << "," << y;
    }
}

TEST(PngDecode, CutDamagedAndOversizedFilesAreToldApart) {
    // Noise does not compress: the picture data fills most of the file, in
    // several chunks (libpng's writer starts a new one every 8 KiB).
    const PngMaking big = PngMaking{}.sized(64, 64).noisy();
    const std::string plain = writePng(big);
    const std::string interlaced = writePng(big.interlace());
    std::string badCrc = plain;
    badCrc[badCrc.size() / 2] ^= 0x55;

    struct Case {
        const char* name;
        std::string bytes;
        DecodeResult result;
        FailureReason failure;
        bool incomplete;
    };
    const std::vector<Case> cases = {
        {"cut in the picture data", plain.substr(0, plain.size() * 2 / 3), DecodeResult::Ok,
         FailureReason::None, true},
        {"interlaced, cut in the picture data", interlaced.substr(0, interlaced.size() * 2 / 3),
         DecodeResult::Ok, FailureReason::None, true},
        {"cut in the header", plain.substr(0, 20), DecodeResult::Failed, FailureReason::Damaged,
         false},
        {"cut before the picture data", plain.substr(0, 33), DecodeResult::Failed,
         FailureReason::Damaged, false},
        {"damaged picture data", badCrc, DecodeResult::Failed, FailureReason::Damaged, false},
        {"more pixels than the program takes", claiming(plain, 100000, 100000),
         DecodeResult::Failed, FailureReason::TooLarge, false},
        {"far more pixels than the file holds", claiming(plain, 10000, 10000), DecodeResult::Failed,
         FailureReason::Damaged, false},
        {"no width", claiming(plain, 0, 64), DecodeResult::Failed, FailureReason::Damaged, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DecodedImage image;
        ASSERT_EQ(decodeImage(asSpan(c.bytes), image), c.result);
        EXPECT_EQ(image.failure, c.failure);
        EXPECT_EQ(image.incomplete, c.incomplete);
    }

    // What arrived of a plain file is shown: its first row as written.
    DecodedImage cut;
    ASSERT_EQ(decodeImage(asSpan(plain.substr(0, plain.size() * 2 / 3)), cut), DecodeResult::Ok);
    Bitmap24 b;
    ASSERT_TRUE(ConvertTo24(cut, b));
    for (int x = 0; x < 64; ++x)
        ASSERT_EQ(rgbAt(b, x, 0), expectedAt(big, x, 0));
}

std::vector<std::uint8_t> savedProfile(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// RGB patches of a picture in `profile`, as sRGB; empty when the profile is unusable.
template <std::size_t N>
std::vector<int> inSrgb(const std::vector<std::uint8_t>& profile,
                        const std::uint8_t (&patches)[N][3]) {
    cmsHPROFILE from = cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size()));
    cmsHPROFILE to = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t =
        from ? cmsCreateTransform(from, TYPE_RGB_8, to, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0)
             : nullptr;
    std::vector<int> values;
    for (const auto& patch : patches) {
        std::uint8_t out[3] = {};
        if (t)
            cmsDoTransform(t, patch, out, 1);
        values.insert(values.end(), out, out + 3);
    }
    if (t)
        cmsDeleteTransform(t);
    if (from)
        cmsCloseProfile(from);
    cmsCloseProfile(to);
    return t ? values : std::vector<int>{};
}

TEST(PngDecode, ColourChunksBecomeTheProfileTheLibraryConvertsWith) {
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE adobe{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    const std::vector<std::uint8_t> adobeProfile =
        savedProfile(cmsCreateRGBProfile(&d65, &adobe, curves));
    cmsFreeToneCurve(gamma);

    const auto iccp = [&](png_structp png, png_infop info) {
        png_set_iCCP(png, info, "Adobe RGB", 0, adobeProfile.data(),
                     png_uint_32(adobeProfile.size()));
    };
    const auto chrm = [](png_structp png, png_infop info, double rx, double gx) {
        png_set_cHRM(png, info, 0.3127, 0.3290, rx, 0.33, gx, gx == 0.30 ? 0.60 : 0.71, 0.15, 0.06);
    };
    // Linear light: mid-grey 128 is sRGB's 188 (1.055 * 0.502^(1/2.4) - 0.055).
    const int linearMidGrey =
        int(std::lround(255 * (1.055 * std::pow(128 / 255.0, 1 / 2.4) - 0.055)));
    struct Case {
        const char* name;
        std::function<void(png_structp, png_infop)> chunks;
        bool profile;
        int midGrey; // what 128 becomes in sRGB through the profile; 0 when not checked
    };
    const std::vector<Case> cases = {
        {"none", nullptr, false, 0},
        {"sRGB chunk", [](png_structp p, png_infop i) { png_set_sRGB(p, i, 0); }, false, 0},
        {"gAMA 1/2.2 alone", [](png_structp p, png_infop i) { png_set_gAMA(p, i, 1 / 2.2); }, false,
         0},
        {"gAMA 1/2.2 and sRGB's cHRM",
         [&](png_structp p, png_infop i) {
             png_set_gAMA(p, i, 1 / 2.2);
             chrm(p, i, 0.64, 0.30);
         },
         false, 0},
        {"iCCP", iccp, true, 0},
        {"gAMA 1.0 alone", [](png_structp p, png_infop i) { png_set_gAMA(p, i, 1.0); }, true,
         linearMidGrey},
        {"gAMA 1.0 and sRGB's cHRM",
         [&](png_structp p, png_infop i) {
             png_set_gAMA(p, i, 1.0);
             chrm(p, i, 0.64, 0.30);
         },
         true, linearMidGrey},
        {"Adobe RGB's cHRM and gAMA",
         [&](png_structp p, png_infop i) {
             png_set_gAMA(p, i, 1 / 2.2);
             chrm(p, i, 0.64, 0.21);
         },
         true, 0},
        {"Adobe RGB's cHRM alone", [&](png_structp p, png_infop i) { chrm(p, i, 0.64, 0.21); },
         true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = writePng(PngMaking{}.with(c.chunks));
        DecodedImage image;
        ASSERT_EQ(decodePng(asSpan(file), image), DecodeResult::Ok);
        EXPECT_EQ(!image.iccProfile.empty(), c.profile);
        if (c.name == std::string("iCCP")) {
            EXPECT_EQ(image.iccProfile, adobeProfile);
        }
        const std::uint8_t midGrey[1][3] = {{128, 128, 128}};
        if (c.midGrey) {
            EXPECT_NEAR(inSrgb(image.iccProfile, midGrey).at(1), c.midGrey, 1);
        }
    }

    // Adobe RGB's primaries and 1/2.2 in cHRM and gAMA give the colours that the
    // Adobe RGB profile gives.
    DecodedImage image;
    const std::string file = writePng(PngMaking{}.with([&](png_structp p, png_infop i) {
        png_set_gAMA(p, i, 1 / 2.2);
        chrm(p, i, 0.64, 0.21);
    }));
    ASSERT_EQ(decodePng(asSpan(file), image), DecodeResult::Ok);
    const std::uint8_t patches[][3] = {{255, 0, 0},    {0, 255, 0},   {0, 0, 255},
                                       {200, 120, 40}, {30, 90, 180}, {128, 128, 128}};
    const std::vector<int> fromChunks = inSrgb(image.iccProfile, patches);
    const std::vector<int> fromProfile = inSrgb(adobeProfile, patches);
    ASSERT_EQ(fromChunks.size(), fromProfile.size());
    ASSERT_FALSE(fromChunks.empty());
    for (std::size_t i = 0; i < fromChunks.size(); ++i)
        EXPECT_NEAR(fromChunks[i], fromProfile[i], 1) << "sample " << i;
}

} // namespace
