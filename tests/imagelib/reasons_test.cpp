// Why the image library refuses a picture, beside its result code; pictures of
// one bit per pixel in every format; files that are no regular files; files that
// end early.
#include "imagelib/picture_bytes.h"
#include "platform/imagelib/image_library.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

// The largest single allocation since it was last reset: a refused picture must
// be refused before its pixels are allocated, not after.
static std::size_t gLargestAllocation = 0;

void* operator new(std::size_t size) {
    gLargestAllocation = std::max(gLargestAllocation, size);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
// GCC takes the replaced operator new for the library one and warns of a
// mismatch; here malloc and free do belong together.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

using namespace kv::platform::imagelib;
using kv::platform::Bitmap24;

namespace {

std::string data(const char* name) {
    return kv::test::readBytes(std::string(KV_IMAGELIB_DATA) + name);
}

std::span<const std::uint8_t> asSpan(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

constexpr kv::test::GifColour kBlack{0, 0, 0}, kWhite{255, 255, 255}, kRed{255, 0, 0},
    kBlue{0, 0, 255};

} // namespace

TEST(FailureReasons, TooLargeBeforeDamagedAndNeitherForSoundFiles) {
    using kv::test::bmpFile, kv::test::gifFile, kv::test::pcxFile, kv::test::tgaFile,
        kv::test::tiffFile;
    const std::string quad = data("codecs/quad.jpg");
    const std::string noData(16, '\0');
    // 11990 x 10000 is just within the pixel bound; 65535 x 65535 is far past it.
    const struct {
        const char* what;
        std::string file;
        FailureReason want;
    } cases[] = {
        {"jpeg garbage", "\xFF\xD8\xFF\xE0 not really JPEG", FailureReason::Damaged},
        {"jpeg past the pixel bound", kv::test::jpegClaiming(quad, 65535, 65535),
         FailureReason::TooLarge},
        {"jpeg of 308 bytes claiming 11990 x 10000", kv::test::jpegClaiming(quad, 11990, 10000),
         FailureReason::Damaged},
        {"tiff past the pixel bound", tiffFile(65535, 65535, 8, 1, 1, noData),
         FailureReason::TooLarge},
        {"tiff uncompressed rows missing", tiffFile(11990, 10000, 8, 1, 1, noData),
         FailureReason::Damaged},
        {"tiff LZW far too short", tiffFile(11990, 10000, 8, 5, 1, noData), FailureReason::Damaged},
        {"tiff PackBits far too short", tiffFile(11990, 10000, 8, 32773, 1, noData),
         FailureReason::Damaged},
        {"tiff Deflate far too short", tiffFile(11990, 10000, 8, 8, 1, noData),
         FailureReason::Damaged},
        {"tiff G4 with fewer bits than rows", tiffFile(11990, 10000, 1, 4, 0, noData),
         FailureReason::Damaged},
        {"gif screen past the pixel bound",
         gifFile(65535, 65535, {kBlack, kWhite}, 0, 0, 1, 1, {0}), FailureReason::TooLarge},
        {"gif frame far larger than its codes",
         gifFile(11990, 10000, {kBlack, kWhite}, 0, 0, 11990, 10000, {0, 1}),
         FailureReason::Damaged},
        {"pcx past the pixel bound", pcxFile(65535, 65535, noData), FailureReason::TooLarge},
        {"pcx runs far too short", pcxFile(11990, 10000, noData), FailureReason::Damaged},
        {"tga past the pixel bound", tgaFile(65535, 65535, noData), FailureReason::TooLarge},
        {"tga pixels missing", tgaFile(11990, 10000, noData), FailureReason::Damaged},
        {"bmp past the pixel bound", bmpFile(20000, 20000, noData), FailureReason::TooLarge},
        {"bmp rows missing", bmpFile(11990, 10000, noData), FailureReason::Damaged},
        {"bmp no width", bmpFile(0, 2, noData), FailureReason::Damaged},
    };
    for (const auto& c : cases) {
        DecodedImage img;
        gLargestAllocation = 0;
        EXPECT_EQ(decodeImage(asSpan(c.file), img), DecodeResult::Failed) << c.what;
        EXPECT_EQ(img.failure, c.want) << c.what;
        EXPECT_LT(gLargestAllocation, std::size_t{16} << 20) << c.what;
    }

    // Small sound files of every kind hold more than the floors ask.
    for (const char* name :
         {"codecs/quad.jpg", "codecs/grey.jpg", "codecs/rgb_none.tif", "codecs/rgb_lzw.tif",
          "codecs/rgb_deflate.tif", "codecs/rgb_packbits.tif", "codecs/rgb16.tif",
          "codecs/palette.tif", "codecs/interlaced.gif", "rgb24.pcx", "pal8.pcx", "rgb24.bmp"}) {
        DecodedImage img;
        EXPECT_EQ(decodeImage(asSpan(data(name)), img), DecodeResult::Ok) << name;
        EXPECT_EQ(img.failure, FailureReason::None) << name;
        EXPECT_FALSE(img.incomplete) << name;
    }
}

TEST(FailureReasons, OnlyRegularFilesAreReadAndOpeningNeverWaits) {
    kv::test::TempDir dir;
    std::filesystem::create_directory(dir / "folder.jpg");
    // A named pipe without a writer: a blocking open would wait here for ever.
    ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
    kv::test::writeBytes(dir / "cut.jpg", data("codecs/quad.jpg").substr(0, 40));
    const struct {
        const char* name;
        FailureReason want;
    } cases[] = {{"missing.jpg", FailureReason::CannotRead},
                 {"folder.jpg", FailureReason::CannotRead},
                 {"pipe.jpg", FailureReason::CannotRead},
                 {"cut.jpg", FailureReason::Damaged}};
    for (const auto& c : cases) {
        DecodedImage img;
        EXPECT_EQ(ScaleCD(dir / c.name, img), 0) << c.name;
        EXPECT_EQ(img.failure, c.want) << c.name;
        Bitmap24 shown;
        int w = 0, h = 0, bits = 0;
        EXPECT_EQ(CD(dir / c.name, shown, w, h, bits), 0) << c.name;
        std::vector<std::uint8_t> bytes;
        EXPECT_EQ(readPictureFile(dir / c.name, bytes), c.want == FailureReason::CannotRead
                                                            ? PictureFileRead::CannotOpen
                                                            : PictureFileRead::Ok)
            << c.name;
    }
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(readPictureFile(dir / "cut.jpg", bytes, 39), PictureFileRead::TooBig);
    EXPECT_TRUE(bytes.empty());
}

TEST(FailureReasons, ACutOffJpegIsKeptAndMarkedIncomplete) {
    const std::string quad = data("codecs/quad.jpg");
    for (const auto& [what, file, incomplete] :
         std::vector<std::tuple<const char*, std::string, bool>>{
             {"whole", quad, false},
             {"cut in the scan data", quad.substr(0, quad.size() - 8), true},
             {"turned by Exif and cut",
              quad.substr(0, 2) +
                  std::string("\xFF\xE1\0\x22"
                              "Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01"
                              "\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0",
                              36) +
                  quad.substr(2, quad.size() - 10),
              true}}) {
        DecodedImage img;
        ASSERT_EQ(decodeImage(asSpan(file), img), DecodeResult::Ok) << what;
        EXPECT_EQ(img.incomplete, incomplete) << what;
    }
}

// A bilevel picture comes out at 1 bit whatever its format, so the program can
// refuse it as it refuses a 1-bit BMP; two colours on a white canvas are three.
TEST(Bilevel, OneBitPerPixelInEveryFormat) {
    using kv::test::gifFile;
    using Rgb = std::array<int, 3>;
    const std::vector<std::uint8_t> checker{0, 1, 1, 0, 1, 0, 0, 1};
    const auto colourOf = [](const kv::test::GifColour& c) { return Rgb{c[0], c[1], c[2]}; };
    const struct {
        const char* what;
        std::string file;
        int bits;
        int width, height;
        Rgb topLeft, topRight; // the colours at (0, 0) and (width - 1, 0)
    } cases[] = {
        {"tiff 1 bit uncompressed", data("codecs/bilevel.tif"), 1, 32, 16, Rgb{0, 0, 0},
         Rgb{255, 255, 255}},
        {"tiff Group 4", kv::test::tiffFile(16, 2, 1, 4, 0, kv::test::whiteG4Strip(2)), 1, 16, 2,
         Rgb{255, 255, 255}, Rgb{255, 255, 255}},
        {"gif two colours", gifFile(4, 2, {kRed, kBlue}, 0, 0, 4, 2, checker), 1, 4, 2,
         colourOf(kRed), colourOf(kRed)},
        {"gif two colours, transparent", gifFile(4, 2, {kRed, kBlue}, 0, 0, 4, 2, checker, 1), 24,
         4, 2, colourOf(kRed), colourOf(kRed)},
        {"gif two colours on a larger canvas", gifFile(5, 2, {kRed, kBlue}, 0, 0, 4, 2, checker),
         24, 5, 2, colourOf(kRed), colourOf(kWhite)},
        {"gif four colours", gifFile(4, 2, {kRed, kBlue, kBlack, kWhite}, 0, 0, 4, 2, checker), 24,
         4, 2, colourOf(kRed), colourOf(kRed)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DecodedImage img;
        ASSERT_EQ(decodeImage(asSpan(c.file), img), DecodeResult::Ok);
        EXPECT_EQ(img.bitsPerPixel, c.bits);
        Bitmap24 picture;
        ASSERT_TRUE(ConvertTo24(img, picture));
        ASSERT_EQ(picture.width, c.width);
        ASSERT_EQ(picture.height, c.height);
        const auto rgbAt = [&](int x) {
            const std::uint8_t* p = picture.at(x, picture.height - 1);
            return Rgb{p[2], p[1], p[0]};
        };
        EXPECT_EQ(rgbAt(0), c.topLeft);
        EXPECT_EQ(rgbAt(c.width - 1), c.topRight);
    }
    // Every pixel of the two-colour GIF where the checker puts it.
    DecodedImage img;
    ASSERT_EQ(decodeImage(asSpan(gifFile(4, 2, {kRed, kBlue}, 0, 0, 4, 2, checker)), img),
              DecodeResult::Ok);
    Bitmap24 picture;
    ASSERT_TRUE(ConvertTo24(img, picture));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(picture.at(x, 1 - y)[0], checker[std::size_t(y * 4 + x)] ? 255 : 0)
                << x << "," << y;
}
