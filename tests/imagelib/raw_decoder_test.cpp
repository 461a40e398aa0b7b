// Camera raws: DNGs written by hand (tests/support/dng_file.h), read through the
// image library's public calls as the window and the print path do.
#include "platform/imagelib/image_library.h"

#include "support/dng_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using namespace kv::platform::imagelib;
using namespace kv::test::dng;

namespace {

std::span<const std::uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

Rgb pixel(const DecodedImage& image, int x, int y) {
    const std::uint8_t* p =
        image.pixels.data() + std::size_t(image.height - 1 - y) * image.stride() + x * 3;
    return {p[2], p[1], p[0]};
}

// The upright quadrants of a picture stored as `q` under each EXIF orientation.
Quadrants upright(const Quadrants& q, int orientation) {
    switch (orientation) {
    case 3:
        return {q[3], q[2], q[1], q[0]};
    case 6:
        return {q[2], q[0], q[3], q[1]};
    case 8:
        return {q[1], q[3], q[0], q[2]};
    default:
        return q;
    }
}

TEST(RawDecoder, ViewTakesALargePreviewAndPrintDevelopsTheSensorUpright) {
    struct Case {
        const char* name;
        Dng dng;
        bool forPrint;
        Quadrants stored;  // what shows before turning
        int width, height; // upright
    };
    const Case cases[] = {
        {"print develops at half size", {}, true, kSensor, 352, 264},
        {"print turned 180", {.orientation = 3}, true, kSensor, 352, 264},
        {"print in the camera's white balance", {.neutralRed = 0.5}, true, kSensor, 352, 264},
        {"print turned right", {.orientation = 6}, true, kSensor, 264, 352},
        {"print turned left", {.orientation = 8}, true, kSensor, 264, 352},
        {"view takes the RGB preview", {}, false, kPreview, 640, 480},
        {"view takes a turned preview", {.orientation = 6}, false, kPreview, 480, 640},
        {"view takes a JPEG preview",
         {.orientation = 8, .jpegPreview = true},
         false,
         kPreview,
         480,
         640},
        {"the raw's turn counts, not the preview's own",
         {.orientation = 6, .jpegPreview = true, .previewExif = 3},
         false,
         kPreview,
         480,
         640},
        {"a small preview is developed",
         {.previewWidth = 160, .previewHeight = 120},
         false,
         kSensor,
         352,
         264},
    };
    kv::test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dngFile(c.dng);
        EXPECT_EQ(detectFormat(bytesOf(file)), ImageFormat::Raw);
        kv::test::writeBytes(dir / "picture.dng", file);
        DecodedImage image;
        const NeededExtent any = [](int w, int h) { return DecodeExtent{w, h}; };
        const int code = c.forPrint ? ScaleCDAtLeast(dir / "picture.dng", any, image)
                                    : ScaleCD(dir / "picture.dng", image);
        ASSERT_EQ(code, 1) << int(image.failure);
        ASSERT_EQ(image.bitsPerPixel, 24);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_TRUE(image.iccProfile.empty());
        const Quadrants want = upright(c.stored, c.dng.orientation);
        for (int q = 0; q < 4; ++q) {
            const Rgb got =
                pixel(image, (q % 2 * 2 + 1) * image.width / 4, (q / 2 * 2 + 1) * image.height / 4);
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_NEAR(got[ch], want[q][ch], 6) << "quadrant " << q << " channel " << ch;
        }
    }
}

TEST(RawDecoder, BrokenAndOversizedRawsAreRefusedAndTiffPicturesStayTiff) {
    const std::string dng = dngFile({});
    std::string huge = dngFile({});
    // The sensor directory's width and height claim 20000 x 20000.
    const std::size_t rawAt = huge.find(std::string("\xFE\x00\x04\x00\x01\x00\x00\x00\x00", 9));
    ASSERT_NE(rawAt, std::string::npos);
    huge[rawAt + 12 + 8] = char(0x20), huge[rawAt + 12 + 9] = char(0x4E);
    huge[rawAt + 24 + 8] = char(0x20), huge[rawAt + 24 + 9] = char(0x4E);

    struct Case {
        const char* name;
        std::string bytes;
        FailureReason reason;
        bool previewWhole; // looking at it shows the preview
    };
    const std::size_t sensorBytes = 704 * 528 * 2;
    const Case cases[] = {
        {"cut inside the sensor data", dng.substr(0, dng.size() - 5000), FailureReason::Damaged,
         true},
        {"cut before the sensor data", dng.substr(0, dng.size() - sensorBytes),
         FailureReason::Damaged, false},
        {"sensor larger than the bound", huge, FailureReason::TooLarge, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool forPrint : {false, true}) {
            if (c.previewWhole && !forPrint)
                continue;
            DecodedImage image;
            EXPECT_EQ(forPrint ? developRaw(bytesOf(c.bytes), image)
                               : decodeRaw(bytesOf(c.bytes), image),
                      DecodeResult::Failed);
            EXPECT_EQ(image.failure, c.reason);
        }
    }

    // A camera's TIFF photos, its name in them, decode as before; the second
    // looks like a raw's preview but LibRaw does not take it.
    for (const bool rawLike : {false, true}) {
        std::vector<Field> fields{numbers(256, 4, {2}),       numbers(257, 4, {1}),
                                  numbers(258, 3, {8, 8, 8}), numbers(259, 3, {1}),
                                  numbers(262, 3, {2}),       ascii(271, "Kelvor"),
                                  numbers(273, 4, {0}),       numbers(277, 3, {3}),
                                  numbers(278, 4, {1}),       numbers(279, 4, {6})};
        if (rawLike)
            fields.push_back(numbers(330, 4, {8}));
        fields[6] = numbers(273, 4, {std::uint32_t(8 + directorySize(fields))});
        std::string tiff = "II*";
        tiff += '\0';
        put(tiff, 8, 4);
        tiff += directory(fields, 8) + std::string("\x10\x20\x30\x40\x50\x60", 6);
        EXPECT_EQ(detectFormat(bytesOf(tiff)), rawLike ? ImageFormat::Raw : ImageFormat::Tiff);
        DecodedImage viaLibrary, viaTiff;
        ASSERT_EQ(decodeImage(bytesOf(tiff), viaLibrary), DecodeResult::Ok);
        ASSERT_EQ(decodeTiff(bytesOf(tiff), viaTiff), DecodeResult::Ok);
        EXPECT_EQ(viaLibrary.pixels, viaTiff.pixels);
        EXPECT_EQ(pixel(viaLibrary, 1, 0), (Rgb{0x40, 0x50, 0x60}));
    }
}

TEST(RawDecoder, RawFormatsAreToldByTheirContent) {
    const auto tiffWith = [](std::vector<Field> fields) {
        std::string f = "II*";
        f += '\0';
        put(f, 8, 4);
        return f + directory(fields, 8);
    };
    const struct {
        std::string head;
        ImageFormat format;
    } cases[] = {
        {"FUJIFILMCCD-RAW 0201", ImageFormat::Raw},
        {std::string("IIRO\x08\0\0\0", 8), ImageFormat::Raw},
        {std::string("MMOR\0\0\0\x08", 8), ImageFormat::Raw},
        {std::string("IIU\0\x08\0\0\0", 8), ImageFormat::Raw},
        {std::string("\0\0\0\x18"
                     "ftypcrx ",
                     12),
         ImageFormat::Raw},
        {std::string("II*\0\x10\0\0\0CR\x02\0", 12), ImageFormat::Raw},
        {tiffWith({numbers(262, 3, {32803})}), ImageFormat::Raw},
        {tiffWith({numbers(259, 3, {34713}), ascii(271, "N")}), ImageFormat::Raw},
        {tiffWith({numbers(254, 4, {1}), ascii(271, "Kelvor"), numbers(330, 4, {0})}),
         ImageFormat::Raw},
        {tiffWith({numbers(254, 4, {1}), numbers(330, 4, {0})}), ImageFormat::Tiff},
        {tiffWith({ascii(271, "Kelvor"), numbers(262, 3, {2})}), ImageFormat::Tiff},
        {std::string("\0\0\0\x18"
                     "ftypheic",
                     12),
         ImageFormat::Unknown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(detectFormat(bytesOf(c.head)), c.format) << c.head;
}

} // namespace
