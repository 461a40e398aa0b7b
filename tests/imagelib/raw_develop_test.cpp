// Our develop of a camera raw against LibRaw's own half-size develop of the same
// file: at half size within a level or two, and smaller when the print asks for
// less, with the colours of LibRaw's picture brought to that size.
#include "platform/imagelib/image_library.h"

#include "support/dng_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <libraw.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

using namespace kv::platform::imagelib;
using namespace kv::test::dng;

namespace {

std::span<const std::uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// LibRaw's half-size develop with the camera's white balance into sRGB, as a
// 24-bit picture of ours (turned as LibRaw turns it).
kv::platform::Bitmap24 libRawHalfSize(const std::string& file) {
    auto raw = std::make_unique<LibRaw>();
    EXPECT_EQ(raw->open_buffer(const_cast<char*>(file.data()), file.size()), LIBRAW_SUCCESS);
    raw->imgdata.params.half_size = 1;
    raw->imgdata.params.use_camera_wb = 1;
    raw->imgdata.params.output_color = 1;
    raw->imgdata.params.output_bps = 8;
    EXPECT_EQ(raw->unpack(), LIBRAW_SUCCESS);
    EXPECT_EQ(raw->dcraw_process(), LIBRAW_SUCCESS);
    int code = 0;
    libraw_processed_image_t* image = raw->dcraw_make_mem_image(&code);
    if (!image)
        return {};
    kv::platform::Bitmap24 out = kv::platform::Bitmap24::make(image->width, image->height);
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) {
            const std::uint8_t* p = image->data + (std::size_t(y) * image->width + x) * 3;
            std::uint8_t* q = out.at(x, image->height - 1 - y);
            q[0] = p[2], q[1] = p[1], q[2] = p[0];
        }
    LibRaw::dcraw_clear_mem(image);
    return out;
}

// The largest difference of any sample of two pictures of one size.
int largestDifference(const kv::platform::Bitmap24& a, const DecodedImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width * 3; ++x)
            largest = std::max(largest, std::abs(int(a.at(0, y)[x]) -
                                                 int(b.pixels[std::size_t(y) * b.stride() + x])));
    return largest;
}

TEST(RawDevelop, OursMatchesLibRawsHalfSizeDevelopAtEverySize) {
    struct Case {
        const char* name;
        Dng dng;
        DecodeExtent needed; // upright; 0 x 0: developRaw, which asks nothing
        int width, height;   // what comes out, upright
        int tolerance;       // levels, against LibRaw's picture brought to that size
    };
    const Case cases[] = {
        {"half size", {.ramps = true}, {}, 352, 264, 2},
        {"a black level and the camera's white balance",
         {.neutralRed = 0.6, .ramps = true, .black = 256},
         {},
         352,
         264,
         2},
        {"turned right", {.orientation = 6, .ramps = true}, {}, 264, 352, 2},
        {"turned left, mirrored", {.orientation = 5, .ramps = true}, {}, 264, 352, 2},
        {"an odd sensor's last column and row",
         {.width = 705, .height = 529, .ramps = true},
         {},
         353,
         265,
         2},
        {"flat quadrants, their edges", {}, {}, 352, 264, 2},
        {"asked for half size", {.ramps = true}, {352, 264}, 352, 264, 2},
        {"blocks of 2 x 2 cells", {.ramps = true}, {176, 132}, 176, 132, 3},
        {"blocks of 3 or 4 cells, spread evenly",
         {.ramps = true, .black = 100},
         {100, 80},
         117,
         88,
         3},
        {"turned, blocks of 4 x 4 cells", {.orientation = 6, .ramps = true}, {66, 88}, 66, 88, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dngFile(c.dng);
        DecodedImage ours;
        const NeededExtent needed = [&](int, int) { return c.needed; };
        ASSERT_EQ(c.needed.width ? developRawAtLeast(bytesOf(file), ours, needed)
                                 : developRaw(bytesOf(file), ours),
                  DecodeResult::Ok);
        ASSERT_EQ(ours.bitsPerPixel, 24);
        EXPECT_EQ(ours.width, c.width);
        EXPECT_EQ(ours.height, c.height);
        kv::platform::Bitmap24 theirs = libRawHalfSize(file);
        if (theirs.width != ours.width || theirs.height != ours.height)
            theirs = ScaleImage(theirs, ours.width, ours.height);
        ASSERT_EQ(theirs.width, ours.width);
        ASSERT_EQ(theirs.height, ours.height);
        EXPECT_LE(largestDifference(theirs, ours), c.tolerance);
    }
}

// The print path reads a raw from its file as LibRaw asks for it: a broken file is
// refused as when it was read whole, and the same picture comes out of a whole one.
TEST(RawDevelop, ThePrintPathReadsTheFileAsTheWholeBytesRead) {
    const std::string dng = dngFile({.orientation = 6, .ramps = true, .black = 64});
    std::string huge = dng;
    // The sensor directory's width and height claim 20000 x 20000.
    const std::size_t rawAt = huge.find(std::string("\xFE\x00\x04\x00\x01\x00\x00\x00\x00", 9));
    ASSERT_NE(rawAt, std::string::npos);
    huge[rawAt + 12 + 8] = char(0x20), huge[rawAt + 12 + 9] = char(0x4E);
    huge[rawAt + 24 + 8] = char(0x20), huge[rawAt + 24 + 9] = char(0x4E);
    const std::size_t sensorBytes = 704 * 528 * 2;
    const struct {
        const char* name;
        std::string bytes;
        int code;
        FailureReason reason;
    } cases[] = {
        {"whole", dng, 1, FailureReason::None},
        {"cut inside the sensor data", dng.substr(0, dng.size() - 5000), 0, FailureReason::Damaged},
        {"cut before the sensor data", dng.substr(0, dng.size() - sensorBytes), 0,
         FailureReason::Damaged},
        // LibRaw takes it for no raw at all.
        {"cut inside its directories", dng.substr(0, 300), -5, FailureReason::None},
        {"sensor larger than the bound", huge, 0, FailureReason::TooLarge},
    };
    kv::test::TempDir dir;
    const NeededExtent sheet = [](int, int) { return DecodeExtent{120, 160}; };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kv::test::writeBytes(dir / "picture.dng", c.bytes);
        DecodedImage fromFile, fromBytes;
        EXPECT_EQ(ScaleCDAtLeast(dir / "picture.dng", sheet, fromFile), c.code);
        EXPECT_EQ(fromFile.failure, c.reason);
        EXPECT_EQ(int(decodeImageAtLeast(bytesOf(c.bytes), sheet, fromBytes)), c.code);
        EXPECT_EQ(fromBytes.failure, c.reason);
        EXPECT_EQ(fromFile.width, c.code == 1 ? 132 : 0);
        EXPECT_EQ(fromFile.height, c.code == 1 ? 176 : 0);
        EXPECT_TRUE(fromFile.pixels == fromBytes.pixels);
    }
}

} // namespace
