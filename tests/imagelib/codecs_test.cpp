// The JPEG, TIFF and GIF decoders on tiny files written by ImageMagick and
// libtiff-tools. Each is 32 × 16 in four solid quadrants, so every pixel is known.
#include "platform/imagelib/image_library.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>

using namespace kv::platform::imagelib;

namespace {

using Bgr = std::array<int, 3>;
using Quadrants = std::array<Bgr, 4>; // top left, top right, bottom left, bottom right
using Decoder = DecodeResult (*)(std::span<const std::uint8_t>, DecodedImage&);
constexpr Bgr kRed{0, 0, 255}, kBlue{255, 0, 0}, kLime{0, 255, 0}, kYellow{0, 255, 255},
    kWhite{255, 255, 255}, kBlack{0, 0, 0}, kGrey64{64, 64, 64}, kGrey192{192, 192, 192};
constexpr Quadrants kQuad{kRed, kBlue, kLime, kYellow};

std::string readData(const char* name) {
    return kv::test::readBytes(std::string(KV_CODECS_DATA) + name);
}

DecodeResult decode(Decoder decoder, const std::string& file, DecodedImage& img) {
    return decoder({reinterpret_cast<const std::uint8_t*>(file.data()), file.size()}, img);
}

// Every pixel against its quadrant's colour. Lossy files (tolerance above 1)
// bleed colour across the seams through chroma subsampling: two pixels each side
// are skipped.
void expectQuadrants(const DecodedImage& img, int width, int height, const Quadrants& want,
                     int tolerance) {
    ASSERT_EQ(img.bitsPerPixel, 24);
    ASSERT_EQ(img.width, width);
    ASSERT_EQ(img.height, height);
    ASSERT_EQ(img.pixels.size(), std::size_t(img.stride()) * img.height);
    const int seam = tolerance > 1 ? 2 : 0;
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (std::abs(x - width / 2) < seam || std::abs(y - height / 2) < seam)
                continue;
            const auto* p = img.pixels.data() + std::size_t(height - 1 - y) * img.stride() + x * 3;
            const Bgr& w = want[(x >= width / 2) + 2 * (y >= height / 2)];
            for (int c = 0; c < 3; ++c)
                if (std::abs(p[c] - w[c]) > tolerance && ++wrong <= 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c << ": "
                                  << int(p[c]) << " not " << w[c];
        }
}

void expectDecodes(Decoder decoder, const char* name, const Quadrants& want, int tolerance) {
    SCOPED_TRACE(name);
    DecodedImage img;
    ASSERT_EQ(decode(decoder, readData(name), img), DecodeResult::Ok);
    expectQuadrants(img, 32, 16, want, tolerance);
}

// quad.jpg with an Exif APP1 segment whose IFD0 holds only the Orientation tag.
std::string withExif(int orientation, bool bigEndian) {
    std::string exif = bigEndian
                           ? std::string("\xFF\xE1\0\x22"
                                         "Exif\0\0MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01"
                                         "\0\0\0\0\0\0\0\0",
                                         36)
                           : std::string("\xFF\xE1\0\x22"
                                         "Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0"
                                         "\0\0\0\0\0\0\0\0",
                                         36);
    exif[bigEndian ? 29 : 28] = char(orientation);
    const std::string file = readData("quad.jpg");
    return file.substr(0, 2) + exif + file.substr(2);
}

// Rewrites the low 16 bits of a one-value tag in IFD0 of a little-endian TIFF.
std::string withTiffTag(std::string file, int tag, int value) {
    auto u16 = [&](std::size_t at) {
        return std::uint8_t(file[at]) | std::uint8_t(file[at + 1]) << 8;
    };
    const std::size_t ifd = u16(4) | std::size_t(u16(6)) << 16;
    for (std::size_t entry = ifd + 2; entry < ifd + 2 + u16(ifd) * 12; entry += 12)
        if (u16(entry) == tag) {
            file[entry + 8] = char(value & 0xFF);
            file[entry + 9] = char(value >> 8);
        }
    return file;
}

} // namespace

TEST(JpegDecoder, ColourSpacesComeOutAsBgr) {
    expectDecodes(decodeJpeg, "quad.jpg", kQuad, 12);
    expectDecodes(decodeJpeg, "grey.jpg", {kGrey64, kGrey192, kBlack, kWhite}, 12);
    expectDecodes(decodeJpeg, "cmyk.jpg", kQuad, 12); // Adobe (inverted) CMYK

    // Cut off in the scan data: what arrived is shown, the rest stays black.
    const std::string quad = readData("quad.jpg");
    DecodedImage img;
    ASSERT_EQ(decode(decodeJpeg, quad.substr(0, quad.size() - 8), img), DecodeResult::Ok);
    expectQuadrants(img, 32, 16, {kRed, kBlue, kBlack, kBlack}, 12);
}

TEST(JpegDecoder, ExifOrientationTurnsThePictureUpright) {
    const Quadrants upright[] = {
        kQuad,                         // 1
        {kBlue, kRed, kYellow, kLime}, // 2 mirrored
        {kYellow, kLime, kBlue, kRed}, // 3 turned half round
        {kLime, kYellow, kRed, kBlue}, // 4 upside down
        {kRed, kLime, kBlue, kYellow}, // 5 transposed
        {kLime, kRed, kYellow, kBlue}, // 6 needs a quarter turn clockwise
        {kYellow, kBlue, kLime, kRed}, // 7 transverse
        {kBlue, kYellow, kRed, kLime}, // 8 needs a quarter turn anticlockwise
        kQuad,
        kQuad, // 0 and 9 do not exist
    };
    for (int orientation : {1, 2, 3, 4, 5, 6, 7, 8, 0, 9})
        for (bool bigEndian : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "orientation " << orientation << " big-endian " << bigEndian);
            DecodedImage img;
            ASSERT_EQ(decode(decodeJpeg, withExif(orientation, bigEndian), img), DecodeResult::Ok);
            const bool swapped = orientation >= 5 && orientation <= 8;
            const Quadrants& want = upright[orientation == 0 ? 8 : orientation - 1];
            expectQuadrants(img, swapped ? 16 : 32, swapped ? 32 : 16, want, 12);
        }
}

TEST(TiffDecoder, LayoutsCompressionsAndPixelFormats) {
    for (const char* name : {"rgb_none.tif", "rgb_lzw.tif", "rgb_deflate.tif", "rgb_packbits.tif",
                             "rgb_tiles.tif", "rgb16.tif", "palette.tif", "cmyk.tif"})
        expectDecodes(decodeTiff, name, kQuad, 0);
    expectDecodes(decodeTiff, "ycbcr_jpeg.tif", kQuad, 12);
    for (const char* name : {"grey.tif", "grey_tiles.tif"})
        expectDecodes(decodeTiff, name, {kGrey64, kGrey192, kBlack, kWhite}, 0);
    // One bit per pixel stays one bit, as in a 1-bit BMP; its colours are the same.
    DecodedImage bilevel;
    ASSERT_EQ(decode(decodeTiff, readData("bilevel.tif"), bilevel), DecodeResult::Ok);
    EXPECT_EQ(bilevel.bitsPerPixel, 1);
    kv::platform::Bitmap24 bilevel24;
    ASSERT_TRUE(ConvertTo24(bilevel, bilevel24));
    DecodedImage widened;
    widened.width = bilevel24.width;
    widened.height = bilevel24.height;
    widened.bitsPerPixel = 24;
    widened.pixels = bilevel24.pixels;
    expectQuadrants(widened, 32, 16, {kBlack, kWhite, kWhite, kBlack}, 0);
    // Alpha is laid over white: transparent, half-transparent blue, and grey 100
    // at half coverage (stored unassociated, which libtiff leaves as it is for grey).
    expectDecodes(decodeTiff, "alpha.tif", {kRed, kWhite, Bgr{255, 128, 128}, kLime}, 1);
    expectDecodes(decodeTiff, "grey_alpha.tif",
                  {Bgr{177, 177, 177}, kWhite, Bgr{177, 177, 177}, kWhite}, 1);
}

TEST(GifDecoder, FirstFrameOnAWhiteCanvas) {
    expectDecodes(decodeGif, "two_frames.gif", kQuad, 0); // the second frame is black
    expectDecodes(decodeGif, "interlaced.gif", kQuad, 0);
    expectDecodes(decodeGif, "transparent.gif", {kRed, kWhite, kWhite, kLime}, 0);
    expectDecodes(decodeGif, "offset.gif", {kWhite, kBlue, kWhite, kWhite}, 0); // 16 × 8 at (16, 0)
}

TEST(Decoders, RefuseBrokenFilesWithTheirReason) {
    std::string hugeJpeg = readData("quad.jpg");
    hugeJpeg.replace(hugeJpeg.find("\xFF\xC0") + 5, 4, "\xFF\xFF\xFF\xFF"); // 65535 × 65535
    std::string hugeGif = readData("offset.gif");
    hugeGif.replace(6, 4, "\xFF\xFF\xFF\xFF");
    const std::string jpeg = readData("quad.jpg"), grey = readData("grey.tif"),
                      gif = readData("interlaced.gif");
    const struct {
        const char* what;
        Decoder decoder;
        std::string file;
        DecodeResult want;
    } cases[] = {
        {"jpeg empty", decodeJpeg, "", DecodeResult::Failed},
        {"jpeg garbage", decodeJpeg, "\xFF\xD8\xFF\xE0 not really JPEG", DecodeResult::Failed},
        {"jpeg truncated", decodeJpeg, jpeg.substr(0, jpeg.size() / 2), DecodeResult::Failed},
        {"jpeg too large", decodeJpeg, hugeJpeg, DecodeResult::Failed},
        {"tiff no codec", decodeTiff, withTiffTag(grey, 259, 34712), DecodeResult::TiffCompression},
        {"tiff LogLuv uncoded", decodeTiff, withTiffTag(grey, 262, 32845),
         DecodeResult::TiffPixelFormat},
        {"tiff IFD past end", decodeTiff, grey.substr(0, 4) + "\xF0" + grey.substr(5),
         DecodeResult::NotTiff},
        {"tiff other format", decodeTiff, "GIF89a and some bytes", DecodeResult::NotTiff},
        {"tiff empty", decodeTiff, "", DecodeResult::NotTiff},
        {"tiff strip past end", decodeTiff, withTiffTag(grey, 273, 0xFFF0), DecodeResult::Failed},
        {"gif empty", decodeGif, "", DecodeResult::Failed},
        {"gif header only", decodeGif, gif.substr(0, 13), DecodeResult::Failed},
        {"gif truncated", decodeGif, gif.substr(0, gif.size() - 20), DecodeResult::Failed},
        {"gif too large", decodeGif, hugeGif, DecodeResult::Failed},
    };
    for (const auto& c : cases) {
        DecodedImage img;
        EXPECT_EQ(decode(c.decoder, c.file, img), c.want) << c.what;
    }
}
