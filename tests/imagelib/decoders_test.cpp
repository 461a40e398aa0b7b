// BMP, PCX and TGA decoding and format detection: small files written by
// ImageMagick or built byte by byte here, with the pixels known from how they
// were made.
#include "platform/imagelib/image_library.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace kv::platform::imagelib;
using kv::platform::Bitmap24;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<int, 3>;
using Picture = std::function<Rgb(int x, int y)>; // y counted from the top

std::span<const std::uint8_t> asSpan(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

Rgb rgbAt(const Bitmap24& b, int x, int y) {
    const std::uint8_t* p = b.at(x, b.height - 1 - y);
    return {p[2], p[1], p[0]};
}

// Decodes, checks size and depth, and compares every pixel at 24 bits.
void expectPicture(std::span<const std::uint8_t> bytes, int width, int height, int bits,
                   const Picture& expected) {
    DecodedImage img;
    ASSERT_EQ(decodeImage(bytes, img), DecodeResult::Ok);
    EXPECT_EQ(img.width, width);
    EXPECT_EQ(img.height, height);
    EXPECT_EQ(img.bitsPerPixel, bits);
    ASSERT_EQ(img.pixels.size(), static_cast<std::size_t>(img.stride()) * height);
    Bitmap24 b;
    ASSERT_TRUE(ConvertTo24(img, b));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(rgbAt(b, x, y), expected(x, y)) << "pixel " << x << "," << y;
}

// The pictures the golden files were made from.
Rgb rgb3x2(int x, int y) {
    static const Rgb p[2][3] = {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}},
                                {{255, 255, 255}, {0, 0, 0}, {10, 20, 30}}};
    return p[y][x];
}
Rgb fiveColours(int x, int y) {
    static const Rgb c[5] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {0, 0, 0}};
    return c[(x + y) % 5];
}
Rgb ramp(int x, int y) {
    return {x * 20, y * 100, 50};
}
Rgb mono(int x, int y) {
    return (x + y) % 3 == 0 ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
}
Rgb grey(int v) {
    return {v, v, v};
}

void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// A BMP with an information header of `headerSize` bytes (40 or more).
Bytes bmpFile(std::uint32_t headerSize, int width, int height, int bits, int compression,
              const Bytes& extra, const Bytes& pixels) {
    Bytes b{'B', 'M'};
    put32(b, 0);
    put32(b, 0);
    put32(b, 14 + headerSize + static_cast<std::uint32_t>(extra.size()));
    put32(b, headerSize);
    put32(b, static_cast<std::uint32_t>(width));
    put32(b, static_cast<std::uint32_t>(height));
    put16(b, 1);
    put16(b, static_cast<std::uint32_t>(bits));
    put32(b, static_cast<std::uint32_t>(compression));
    b.resize(14 + headerSize, 0);
    b.insert(b.end(), extra.begin(), extra.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

Bytes greyPalette16() {
    Bytes p;
    for (int i = 0; i < 16; ++i)
        p.insert(p.end(), {std::uint8_t(i * 17), std::uint8_t(i * 17), std::uint8_t(i * 17), 0});
    return p;
}

} // namespace

TEST(BmpDecoder, GoldenFilesOfEveryDepthAndBothHeaders) {
    struct Case {
        const char* file;
        int width, height, bits;
        Picture picture;
    };
    const Case cases[] = {
        {"rgb24.bmp", 3, 2, 24, rgb3x2},    {"core24.bmp", 3, 2, 24, rgb3x2},
        {"pal8.bmp", 9, 2, 8, ramp},        {"rle8.bmp", 9, 3, 8, fiveColours},
        {"pal4.bmp", 9, 3, 4, fiveColours}, {"core4.bmp", 9, 3, 4, fiveColours},
        {"mono1.bmp", 9, 2, 1, mono},       {"rgb24.pcx", 3, 2, 24, rgb3x2},
        {"pal8.pcx", 9, 3, 8, fiveColours},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string bytes = kv::test::readBytes(std::string(KV_IMAGELIB_DATA) + c.file);
        expectPicture(asSpan(bytes), c.width, c.height, c.bits, c.picture);
    }
}

TEST(BmpDecoder, BitFieldsTopDownAndRle4) {
    // 16 bits 5-5-5 by default, top-down: row 0 is the top.
    expectPicture(
        bmpFile(40, 2, -2, 16, 0, {}, {0x00, 0x7C, 0x1F, 0x00, 0xE0, 0x03, 0xFF, 0x7F}), 2, 2, 24,
        [](int x, int y) {
            static const Rgb p[2][2] = {{{255, 0, 0}, {0, 0, 255}}, {{0, 255, 0}, {255, 255, 255}}};
            return p[y][x];
        });
    // 5-6-5 masks after a 40-byte header, and 32 bits with the masks inside a V5 header.
    Bytes masks565;
    for (std::uint32_t m : {0xF800u, 0x07E0u, 0x001Fu})
        put32(masks565, m);
    expectPicture(bmpFile(40, 1, 1, 16, 3, masks565, {0xFF, 0x07, 0, 0}), 1, 1, 24, [](int, int) {
        return Rgb{0, 255, 255};
    });
    Bytes v5 = bmpFile(124, 1, 1, 32, 3, {}, {0x11, 0x22, 0x33, 0x44});
    const std::uint32_t rgbx[3] = {0x000000FF, 0x0000FF00, 0x00FF0000};
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 4; ++i)
            v5[54 + c * 4 + i] = static_cast<std::uint8_t>(rgbx[c] >> (8 * i));
    expectPicture(v5, 1, 1, 24, [](int, int) { return Rgb{0x11, 0x22, 0x33}; });

    // RLE4: a run, end of line, three literal pixels, a one-pixel skip, a run, end.
    const Bytes rle{6, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 2, 1, 0, 2, 0x77, 0, 1};
    expectPicture(bmpFile(40, 6, 2, 4, 2, greyPalette16(), rle), 6, 2, 4, [](int x, int y) {
        static const int v[2][6] = {{3, 4, 5, 0, 7, 7}, {1, 2, 1, 2, 1, 2}};
        return grey(v[y][x] * 17);
    });
}

TEST(BmpDecoder, RefusesHostileAndTruncatedFiles) {
    const std::string good = kv::test::readBytes(std::string(KV_IMAGELIB_DATA) + "rgb24.bmp");
    const Bytes base(good.begin(), good.end());
    struct Case {
        const char* what;
        std::size_t at;
        std::vector<std::uint8_t> patch; // written at `at`; empty patch: cut the file there
    };
    const Case cases[] = {
        {"pixels cut short", base.size() - 1, {}},
        {"headers cut short", 30, {}},
        {"header size 0", 14, {0, 0, 0, 0}},
        {"header size huge", 14, {0, 0, 0, 0x10}},
        {"width 0", 18, {0, 0, 0, 0}},
        {"negative width", 18, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"height most negative", 22, {0, 0, 0, 0x80}},
        {"too many pixels", 18, {0, 0, 0, 0x40}},
        {"7 bits per pixel", 28, {7, 0}},
        {"unknown compression", 30, {9, 0, 0, 0}},
        {"RLE8 at 24 bits", 30, {1, 0, 0, 0}},
        {"pixel offset past the end", 10, {0xFF, 0xFF, 0, 0}},
        {"pixel offset inside the header", 10, {20, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        Bytes bytes = base;
        if (c.patch.empty())
            bytes.resize(c.at);
        else
            std::copy(c.patch.begin(), c.patch.end(), bytes.begin() + static_cast<long>(c.at));
        DecodedImage img;
        EXPECT_EQ(decodeBmp(bytes, img), DecodeResult::Failed) << c.what;
    }
    // RLE whose skips point outside the picture, and a literal cut short.
    DecodedImage img;
    EXPECT_EQ(decodeBmp(bmpFile(40, 2, 2, 8, 1, {}, {0, 2, 200, 200, 3, 1, 0, 1}), img),
              DecodeResult::Ok);
    EXPECT_EQ(decodeBmp(bmpFile(40, 2, 2, 8, 1, {}, {0, 5, 1}), img), DecodeResult::Failed);
    EXPECT_EQ(decodeBmp(bmpFile(40, 2, -2, 8, 1, {}, {0, 1}), img), DecodeResult::Failed);
}

namespace {

// A PCX file; `lines` are the decoded scan lines (every plane of a line in turn),
// stored run-length encoded with a run that carries over into the next line.
Bytes pcxFile(int bits, int planes, int width, int height, int bytesPerLine, const Bytes& lines,
              const Bytes& headerPalette = {}) {
    Bytes b(128, 0);
    b[0] = 0x0A, b[1] = 5, b[2] = 1, b[3] = static_cast<std::uint8_t>(bits);
    b[8] = static_cast<std::uint8_t>(width - 1), b[10] = static_cast<std::uint8_t>(height - 1);
    b[65] = static_cast<std::uint8_t>(planes), b[66] = static_cast<std::uint8_t>(bytesPerLine);
    std::copy(headerPalette.begin(), headerPalette.end(), b.begin() + 16);
    for (std::size_t i = 0; i < lines.size();) {
        std::size_t n = 1;
        while (i + n < lines.size() && lines[i + n] == lines[i] && n < 63)
            ++n;
        if (n > 1 || lines[i] >= 0xC0)
            b.push_back(static_cast<std::uint8_t>(0xC0 | n));
        b.push_back(lines[i]);
        i += n;
    }
    return b;
}

} // namespace

TEST(PcxDecoder, PlanarAndPackedDepths) {
    // 9 x 2, one bit: lines 10010010 0.......
    expectPicture(pcxFile(1, 1, 9, 2, 2, {0x92, 0x00, 0x24, 0x80}), 9, 2, 1, mono);
    Bytes ega; // 16 header colours: entry i = (i * 16, 0, 255 - i * 16)
    for (int i = 0; i < 16; ++i)
        ega.insert(ega.end(), {std::uint8_t(i * 16), 0, std::uint8_t(255 - i * 16)});
    const auto egaColour = [](int i) { return Rgb{i * 16, 0, 255 - i * 16}; };
    // Four one-bit planes, 4 x 1: pixel x has index bit p set in plane p when x has it.
    expectPicture(pcxFile(1, 4, 4, 1, 2, {0x50, 0, 0x30, 0, 0x0, 0, 0xF0, 0}, ega), 4, 1, 4,
                  [&](int x, int) { return egaColour(x | 8); });
    // Packed four bits, 3 x 2, the same index twice across both lines.
    expectPicture(pcxFile(4, 1, 3, 2, 2, {0x12, 0x30, 0x45, 0x60}, ega), 3, 2, 4,
                  [&](int x, int y) { return egaColour(1 + x + 3 * y); });
}

TEST(PcxDecoder, RefusesHostileFiles) {
    const Bytes good = pcxFile(8, 3, 2, 2, 2, Bytes(12, 7));
    struct Case {
        const char* what;
        std::size_t at;
        std::uint8_t value;
    };
    const Case cases[] = {{"bytes per line below width", 66, 1},
                          {"2 planes of 8 bits", 65, 2},
                          {"unknown encoding", 2, 7},
                          {"3 bits", 3, 3},
                          {"xMax below xMin", 4, 9}};
    for (const Case& c : cases) {
        Bytes bytes = good;
        bytes[c.at] = c.value;
        DecodedImage img;
        EXPECT_EQ(decodePcx(bytes, img), DecodeResult::Failed) << c.what;
    }
    DecodedImage img;
    EXPECT_EQ(decodePcx(Bytes(good.begin(), good.end() - 1), img), DecodeResult::Failed);
    Bytes huge = good; // 65536 x 65536 from a few bytes
    huge[8] = huge[9] = huge[10] = huge[11] = 0xFF;
    huge[66] = huge[67] = 0xFF;
    EXPECT_EQ(decodePcx(huge, img), DecodeResult::Failed);
}

namespace {

// A TGA file from top-down pixels given as their stored bytes; rows are written
// in the order the origin asks for and RLE packets may cross rows.
Bytes tgaFile(int type, int depth, int width, const std::vector<Bytes>& pixels, bool topLeft,
              const Bytes& colourMap = {}) {
    const int height = static_cast<int>(pixels.size()) / width;
    Bytes b{3, 0, static_cast<std::uint8_t>(type)};
    b.resize(18, 0);
    if (!colourMap.empty()) {
        b[1] = 1, b[5] = static_cast<std::uint8_t>(colourMap.size() / 3), b[7] = 24;
    }
    b[12] = static_cast<std::uint8_t>(width), b[14] = static_cast<std::uint8_t>(height);
    b[16] = static_cast<std::uint8_t>(depth), b[17] = topLeft ? 0x20 : 0;
    b.insert(b.end(), {'i', 'd', '!'});
    b.insert(b.end(), colourMap.begin(), colourMap.end());
    std::vector<Bytes> stored;
    for (int r = 0; r < height; ++r) {
        const int row = topLeft ? r : height - 1 - r;
        stored.insert(stored.end(), pixels.begin() + row * width,
                      pixels.begin() + (row + 1) * width);
    }
    for (std::size_t i = 0; i < stored.size();) {
        std::size_t n = 1;
        while (type >= 9 && i + n < stored.size() && stored[i + n] == stored[i])
            ++n;
        if (type >= 9)
            b.push_back(static_cast<std::uint8_t>(n > 1 ? 0x80 | (n - 1) : 0));
        b.insert(b.end(), stored[i].begin(), stored[i].end());
        i += n;
    }
    return b;
}

} // namespace

TEST(TgaDecoder, EveryTypeAndOrigin) {
    // 4 x 2 from four colours: A A B C / C D D D. Colours survive 5 bits per channel.
    const int letters[8] = {0, 0, 1, 2, 2, 3, 3, 3};
    const Rgb colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {8, 16, 24}};
    const int greys[4] = {255, 0, 128, 8};
    const auto stored = [&](int type, int depth, int letter) -> Bytes {
        const Rgb c = colours[letter];
        if (type == 1 || type == 9)
            return {static_cast<std::uint8_t>(letter)};
        if (type == 3 || type == 11)
            return {static_cast<std::uint8_t>(greys[letter])};
        if (depth == 16 || depth == 15) {
            const int v = (c[0] >> 3) << 10 | (c[1] >> 3) << 5 | c[2] >> 3;
            return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
        }
        Bytes bgr{std::uint8_t(c[2]), std::uint8_t(c[1]), std::uint8_t(c[0])};
        if (depth == 32)
            bgr.push_back(0x80);
        return bgr;
    };
    Bytes colourMap;
    for (const Rgb& c : colours)
        colourMap.insert(colourMap.end(),
                         {std::uint8_t(c[2]), std::uint8_t(c[1]), std::uint8_t(c[0])});
    const struct {
        int type, depth;
    } kinds[] = {{1, 8}, {2, 15},  {2, 16},  {2, 24},  {2, 32}, {3, 8},
                 {9, 8}, {10, 16}, {10, 24}, {10, 32}, {11, 8}};
    for (const auto& k : kinds)
        for (bool topLeft : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "type " << k.type << " depth " << k.depth << " top " << topLeft);
            std::vector<Bytes> pixels;
            for (int l : letters)
                pixels.push_back(stored(k.type, k.depth, l));
            const bool mapped = k.type == 1 || k.type == 9;
            const Bytes file =
                tgaFile(k.type, k.depth, 4, pixels, topLeft, mapped ? colourMap : Bytes{});
            EXPECT_EQ(detectFormat(file), ImageFormat::Tga);
            const bool grey = k.type == 3 || k.type == 11;
            expectPicture(file, 4, 2, k.type == 2 || k.type == 10 ? 24 : 8, [&](int x, int y) {
                const int l = letters[y * 4 + x];
                return grey ? Rgb{greys[l], greys[l], greys[l]} : colours[l];
            });
        }
}

TEST(TgaDecoder, RefusesHostileFiles) {
    const Bytes good = tgaFile(10, 24, 2, std::vector<Bytes>(4, Bytes{1, 2, 3}), false);
    struct Case {
        const char* what;
        std::size_t at;
        std::uint8_t value;
    };
    const Case cases[] = {{"type 4", 2, 4},     {"depth 12", 16, 12},
                          {"width 0", 12, 0},   {"map without map type", 2, 1},
                          {"map type 2", 1, 2}, {"huge picture, tiny file", 15, 0xFF}};
    for (const Case& c : cases) {
        Bytes bytes = good;
        bytes[c.at] = c.value;
        DecodedImage img;
        EXPECT_EQ(decodeTga(bytes, img), DecodeResult::Failed) << c.what;
    }
    DecodedImage img;
    EXPECT_EQ(decodeTga(Bytes(good.begin(), good.end() - 1), img), DecodeResult::Failed);
    Bytes longMap = good; // a colour map running past the end of the file
    longMap[1] = 1, longMap[5] = 0xFF, longMap[7] = 24;
    EXPECT_EQ(decodeTga(longMap, img), DecodeResult::Failed);
}

TEST(FormatDetection, ByContentNotName) {
    const std::string bmp = kv::test::readBytes(std::string(KV_IMAGELIB_DATA) + "rgb24.bmp");
    const std::string pcx = kv::test::readBytes(std::string(KV_IMAGELIB_DATA) + "rgb24.pcx");
    const struct {
        std::string bytes;
        ImageFormat format;
    } cases[] = {
        {bmp, ImageFormat::Bmp},
        {pcx, ImageFormat::Pcx},
        {std::string("\xFF\xD8\xFF\xE0", 4), ImageFormat::Jpeg},
        {std::string("II*\0\x08\0\0\0", 8), ImageFormat::Tiff},
        {std::string("MM\0*\0\0\0\x08", 8), ImageFormat::Tiff},
        {"GIF87a....", ImageFormat::Gif},
        {"GIF89a....", ImageFormat::Gif},
        {"plain text that is no picture at all", ImageFormat::Unknown},
        {"", ImageFormat::Unknown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(detectFormat(asSpan(c.bytes)), c.format) << c.bytes.substr(0, 6);

    kv::test::TempDir dir;
    kv::test::writeBytes(dir / "picture.jpg", bmp); // a BMP under another name
    kv::test::writeBytes(dir / "notes.bmp", "plain text that is no picture at all");
    DecodedImage img;
    EXPECT_EQ(ScaleCD(dir / "picture.jpg", img), 1);
    EXPECT_EQ(img.width, 3);
    EXPECT_EQ(ScaleCD(dir / "notes.bmp", img), -5);
    EXPECT_EQ(ScaleCD(dir / "missing.bmp", img), 0);
}
