// WebP decoding: files written here with libwebp's own encoders (lossy, lossless,
// animated) and its muxer, and the pixels known from what was encoded: exact for
// lossless, near for lossy, transparency laid on white.
#include "platform/imagelib/image_library.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <webp/encode.h>
#include <webp/mux.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace kv::platform::imagelib;
using kv::platform::Bitmap24;

namespace {

using Rgba = std::array<int, 4>;
using Picture = std::function<Rgba(int x, int y)>;

// Blocks of one colour each, so that lossy coding keeps them close.
Rgba blocks(int x, int y) {
    static const Rgba c[] = {{200, 30, 40, 255},   {20, 180, 60, 255}, {40, 50, 220, 255},
                             {250, 250, 250, 255}, {10, 10, 10, 255},  {128, 100, 70, 255}};
    return c[(x / 16 + 2 * (y / 16)) % 6];
}
Rgba blocksWithAlpha(int x, int y) {
    static const int alpha[] = {0, 128, 255, 60};
    Rgba p = blocks(x, y);
    p[3] = alpha[(x / 16 + y / 16) % 4];
    return p;
}
Rgba detail(int x, int y) {
    return {x * 9 % 256, y * 13 % 256, (x * y) % 256, 255};
}
Rgba detailWithAlpha(int x, int y) {
    Rgba p = detail(x, y);
    p[3] = (x + y) % 3 == 0 ? 0 : (x + y) % 3 == 1 ? 255 : 100;
    return p;
}
Rgba blackAndWhite(int x, int y) {
    return (x * y) % 3 == 0 ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 255};
}
Rgba threeGreys(int x, int y) {
    const int v = (x + y) % 3 * 100;
    return {v, v, v, 255};
}

std::vector<std::uint8_t> rgbaOf(const Picture& picture, int width, int height) {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int v : picture(x, y))
                rgba.push_back(std::uint8_t(v));
    return rgba;
}

enum class Coding { Lossless, Lossy };

std::string encode(const Picture& picture, int width, int height, Coding coding, bool alpha) {
    const std::vector<std::uint8_t> rgba = rgbaOf(picture, width, height);
    std::vector<std::uint8_t> rgb;
    for (std::size_t i = 0; i < rgba.size(); i += 4)
        rgb.insert(rgb.end(), rgba.begin() + i, rgba.begin() + i + 3);
    std::uint8_t* out = nullptr;
    std::size_t size = 0;
    if (coding == Coding::Lossless)
        size = alpha ? WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &out)
                     : WebPEncodeLosslessRGB(rgb.data(), width, height, width * 3, &out);
    else
        size = alpha ? WebPEncodeRGBA(rgba.data(), width, height, width * 4, 100, &out)
                     : WebPEncodeRGB(rgb.data(), width, height, width * 3, 100, &out);
    std::string file(reinterpret_cast<const char*>(out), size);
    WebPFree(out);
    return file;
}

// Two lossless frames on one canvas; the first is what a still shows.
std::string animation(const Picture& first, const Picture& second, int width, int height) {
    WebPAnimEncoderOptions options;
    WebPAnimEncoderOptionsInit(&options);
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(width, height, &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    int timestamp = 0;
    for (const Picture* p : {&first, &second}) {
        std::vector<std::uint8_t> rgba = rgbaOf(*p, width, height);
        WebPPicture frame;
        WebPPictureInit(&frame);
        frame.use_argb = 1;
        frame.width = width;
        frame.height = height;
        WebPPictureImportRGBA(&frame, rgba.data(), width * 4);
        WebPAnimEncoderAdd(encoder, &frame, timestamp, &config);
        WebPPictureFree(&frame);
        timestamp += 100;
    }
    WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr);
    WebPData data;
    WebPDataInit(&data);
    WebPAnimEncoderAssemble(encoder, &data);
    std::string file(reinterpret_cast<const char*>(data.bytes), data.size);
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
    return file;
}

std::string withIccp(const std::string& still, const std::string& profile) {
    const WebPData image{reinterpret_cast<const std::uint8_t*>(still.data()), still.size()};
    WebPMux* mux = WebPMuxCreate(&image, 1);
    const WebPData icc{reinterpret_cast<const std::uint8_t*>(profile.data()), profile.size()};
    WebPMuxSetChunk(mux, "ICCP", &icc, 1);
    WebPData out;
    WebPDataInit(&out);
    WebPMuxAssemble(mux, &out);
    std::string file(reinterpret_cast<const char*>(out.bytes), out.size);
    WebPDataClear(&out);
    WebPMuxDelete(mux);
    return file;
}

std::span<const std::uint8_t> asSpan(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

int onWhite(int value, int alpha) {
    return (value * alpha + 255 * (255 - alpha) + 127) / 255;
}

TEST(WebpDecode, EveryCodingGivesItsColoursOnWhite) {
    struct Case {
        const char* name;
        std::string file;
        Picture picture;
        int width, height;
        int tolerance; // 0: exact; else near, inside blocks (chroma is smoothed across edges)
        int bits;
    };
    const std::vector<Case> cases = {
        {"lossless", encode(detail, 37, 23, Coding::Lossless, false), detail, 37, 23, 0, 24},
        {"lossless with alpha", encode(detailWithAlpha, 37, 23, Coding::Lossless, true),
         detailWithAlpha, 37, 23, 0, 24},
        {"lossy", encode(blocks, 64, 48, Coding::Lossy, false), blocks, 64, 48, 8, 24},
        {"lossy with alpha", encode(blocksWithAlpha, 64, 48, Coding::Lossy, true), blocksWithAlpha,
         64, 48, 8, 24},
        {"animation", animation(detailWithAlpha, blocks, 37, 23), detailWithAlpha, 37, 23, 0, 24},
        // What a 1-bit picture becomes in WebP: bilevel, refused like a 1-bit BMP.
        {"lossless black and white", encode(blackAndWhite, 37, 23, Coding::Lossless, false),
         blackAndWhite, 37, 23, 0, 1},
        {"lossless three greys", encode(threeGreys, 37, 23, Coding::Lossless, false), threeGreys,
         37, 23, 0, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.file.empty());
        ASSERT_EQ(detectFormat(asSpan(c.file)), ImageFormat::Webp);
        DecodedImage image;
        ASSERT_EQ(decodeImage(asSpan(c.file), image), DecodeResult::Ok);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_EQ(image.bitsPerPixel, c.bits);
        EXPECT_FALSE(image.incomplete);
        EXPECT_TRUE(image.iccProfile.empty());
        Bitmap24 b;
        ASSERT_TRUE(ConvertTo24(image, b));
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const auto nearEdge = [](int v) { return v % 16 < 2 || v % 16 > 13; };
                if (c.tolerance && (nearEdge(x) || nearEdge(y)))
                    continue;
                const Rgba p = c.picture(x, y);
                const std::uint8_t* got = b.at(x, c.height - 1 - y);
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_LE(std::abs(got[2 - ch] - onWhite(p[ch], p[3])), c.tolerance)
                        << "pixel " << x << "," << y << " channel " << ch;
            }
    }
}

// Rewrites a lossless file's sides (14 bits each, less one, after the 0x2F byte).
std::string claiming(std::string file, int width, int height) {
    const std::uint32_t bits = std::uint32_t(width - 1) | std::uint32_t(height - 1) << 14;
    const std::size_t at = 21; // RIFF header, "VP8L" chunk header, signature byte
    for (int i = 0; i < 3; ++i)
        file[at + i] = char(bits >> (8 * i));
    file[at + 3] = char((file[at + 3] & 0xF0) | (bits >> 24));
    return file;
}

TEST(WebpDecode, CutDamagedAndOversizedFilesAreToldApart) {
    const std::string lossy = encode(detail, 256, 256, Coding::Lossy, false);
    const std::string lossless = encode(detail, 256, 256, Coding::Lossless, false);
    std::string noise("RIFF\x40\0\0\0WEBPVP8 \x34\0\0\0", 20);
    noise.resize(72, '\x5A');
    struct Case {
        const char* name;
        std::string bytes;
        DecodeResult result;
        FailureReason failure;
        bool incomplete;
    };
    const std::vector<Case> cases = {
        {"lossy, cut in the picture data", lossy.substr(0, lossy.size() * 2 / 3), DecodeResult::Ok,
         FailureReason::None, true},
        {"lossless, cut in the picture data", lossless.substr(0, lossless.size() * 2 / 3),
         DecodeResult::Ok, FailureReason::None, true},
        {"cut in the header", lossy.substr(0, 24), DecodeResult::Failed, FailureReason::Damaged,
         false},
        {"noise after the header", noise, DecodeResult::Failed, FailureReason::Damaged, false},
        {"a RIFF file of another form", std::string("RIFF\x40\0\0\0WAVEfmt ", 16),
         DecodeResult::UnsupportedFormat, FailureReason::None, false},
        {"more pixels than the program takes", claiming(lossless, 16384, 16384),
         DecodeResult::Failed, FailureReason::TooLarge, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DecodedImage image;
        ASSERT_EQ(decodeImage(asSpan(c.bytes), image), c.result);
        EXPECT_EQ(image.failure, c.failure);
        EXPECT_EQ(image.incomplete, c.incomplete);
    }
}

TEST(WebpDecode, IccpChunkBecomesTheProfileAndTheFileIsFoundByContent) {
    // The bytes are passed on as they stand; the library's conversion judges them.
    const std::string profile = "not checked here, only carried";
    const std::string file = withIccp(encode(detail, 37, 23, Coding::Lossless, false), profile);
    DecodedImage image;
    ASSERT_EQ(decodeWebp(asSpan(file), image), DecodeResult::Ok);
    EXPECT_EQ(std::string(image.iccProfile.begin(), image.iccProfile.end()), profile);

    kv::test::TempDir dir;
    const auto path = dir.path() / "foto.jpg";
    std::ofstream(path, std::ios::binary) << encode(detail, 37, 23, Coding::Lossy, false);
    DecodedImage fromFile;
    EXPECT_EQ(ScaleCD(path, fromFile), 1);
    EXPECT_EQ(fromFile.width, 37);
    EXPECT_EQ(fromFile.bitsPerPixel, 24);
}

} // namespace
