// Camera raws: DNG files written here by hand (a colour filter array of 16-bit
// samples in a sub-directory, an 8-bit RGB or JPEG preview in the first one), read
// through the image library's public calls as the window and the print path do.
#include "platform/imagelib/image_library.h"

#include "support/jpeg_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using namespace kv::platform::imagelib;

namespace {

using Rgb = std::array<int, 3>;
// A picture of four quadrants: top left, top right, bottom left, bottom right.
using Quadrants = std::array<Rgb, 4>;

constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255};
constexpr Rgb kCyan{0, 255, 255}, kMagenta{255, 0, 255}, kYellow{255, 255, 0}, kBlack{0, 0, 0};
constexpr Quadrants kSensor{kRed, kGreen, kBlue, kWhite};
constexpr Quadrants kPreview{kCyan, kMagenta, kYellow, kBlack};

void put(std::string& s, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

struct Field {
    std::uint16_t tag, type;
    std::uint32_t count;
    std::string data; // the values, little-endian
};

Field numbers(std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values) {
    const int size = type == 1 ? 1 : type == 3 ? 2 : 4;
    Field f{tag, type, std::uint32_t(values.size()), {}};
    for (const std::uint32_t v : values)
        put(f.data, v, size);
    return f;
}
Field ascii(std::uint16_t tag, const std::string& text) {
    return {tag, 2, std::uint32_t(text.size() + 1), text + '\0'};
}
// Signed rationals over a million.
Field rationals(std::uint16_t tag, std::uint16_t type, std::vector<double> values) {
    Field f{tag, type, std::uint32_t(values.size()), {}};
    for (const double v : values) {
        put(f.data, std::uint32_t(std::int32_t(v * 1e6 + (v < 0 ? -0.5 : 0.5))), 4);
        put(f.data, 1000000, 4);
    }
    return f;
}

std::size_t directorySize(const std::vector<Field>& fields) {
    std::size_t size = 2 + fields.size() * 12 + 4;
    for (const Field& f : fields)
        if (f.data.size() > 4)
            size += (f.data.size() + 1) & ~std::size_t{1};
    return size;
}

// A directory at `at`, its longer values right behind it; fields in tag order.
std::string directory(const std::vector<Field>& fields, std::uint32_t at) {
    std::string head, tail;
    std::uint32_t next = at + std::uint32_t(2 + fields.size() * 12 + 4);
    put(head, std::uint32_t(fields.size()), 2);
    for (const Field& f : fields) {
        put(head, f.tag, 2);
        put(head, f.type, 2);
        put(head, f.count, 4);
        if (f.data.size() <= 4) {
            head += f.data + std::string(4 - f.data.size(), '\0');
        } else {
            put(head, next, 4);
            tail += f.data;
            if (tail.size() % 2)
                tail += '\0';
            next = at + std::uint32_t(2 + fields.size() * 12 + 4 + tail.size());
        }
    }
    put(head, 0, 4);
    return head + tail;
}

int quadrantOf(int x, int y, int w, int h) {
    return (y >= h / 2 ? 2 : 0) + (x >= w / 2 ? 1 : 0);
}

struct Dng {
    int width = 704, height = 528; // the sensor, larger than its preview as in a camera
    int orientation = 1;
    int previewWidth = 640, previewHeight = 480;
    bool jpegPreview = false;
};

// XYZ to linear sRGB: the camera sees sRGB's primaries, so its colours stay.
const std::vector<double> kCameraMatrix{3.240479, -1.537150, -0.498535, -0.969256, 1.875992,
                                        0.041556, 0.055648,  -0.204043, 1.057311};

std::string dngFile(const Dng& d) {
    // Sensor: an RGGB filter array, 12-bit samples, each quadrant one colour.
    std::string sensor;
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x) {
            const int channel = (y % 2) + (x % 2); // 0 red, 1 green, 2 blue
            put(sensor, kSensor[quadrantOf(x, y, d.width, d.height)][channel] ? 4095 : 0, 2);
        }
    std::string preview;
    const auto fill = [&](int y, std::uint8_t* row) {
        for (int x = 0; x < d.previewWidth; ++x)
            for (int c = 0; c < 3; ++c)
                row[x * 3 + c] =
                    std::uint8_t(kPreview[quadrantOf(x, y, d.previewWidth, d.previewHeight)][c]);
    };
    if (d.jpegPreview) {
        preview = kv::test::encodeJpeg(d.previewWidth, d.previewHeight, fill, {.quality = 95, .app1 = {}});
    } else {
        std::vector<std::uint8_t> row(std::size_t(d.previewWidth) * 3);
        for (int y = 0; y < d.previewHeight; ++y) {
            fill(y, row.data());
            preview.append(row.begin(), row.end());
        }
    }
    const auto w = std::uint32_t(d.width), h = std::uint32_t(d.height);
    const auto pw = std::uint32_t(d.previewWidth), ph = std::uint32_t(d.previewHeight);
    // The layout of a camera's file: directories first, pixel data behind them.
    std::vector<Field> first{
        numbers(254, 4, {1}),
        numbers(256, 4, {pw}),
        numbers(257, 4, {ph}),
        numbers(258, 3, {8, 8, 8}),
        numbers(259, 3, {d.jpegPreview ? 7u : 1u}),
        numbers(262, 3, {d.jpegPreview ? 6u : 2u}),
        ascii(271, "Kelvor"),
        ascii(272, "Sensor Test"),
        numbers(273, 4, {0}),
        numbers(274, 3, {std::uint32_t(d.orientation)}),
        numbers(277, 3, {3}),
        numbers(278, 4, {ph}),
        numbers(279, 4, {std::uint32_t(preview.size())}),
        numbers(284, 3, {1}),
        numbers(330, 4, {0}),
        numbers(50706, 1, {1, 4, 0, 0}),
        ascii(50708, "Kelvor Sensor Test"),
        rationals(50721, 10, kCameraMatrix),
        rationals(50728, 5, {1, 1, 1}),
        numbers(50778, 3, {21}),
    };
    std::vector<Field> raw{
        numbers(254, 4, {0}),      numbers(256, 4, {w}),
        numbers(257, 4, {h}),      numbers(258, 3, {16}),
        numbers(259, 3, {1}),      numbers(262, 3, {32803}),
        numbers(273, 4, {0}),      numbers(277, 3, {1}),
        numbers(278, 4, {h}),      numbers(279, 4, {std::uint32_t(sensor.size())}),
        numbers(33421, 3, {2, 2}), numbers(33422, 1, {0, 1, 1, 2}),
        numbers(50714, 4, {0}),    numbers(50717, 4, {4095}),
    };
    const std::uint32_t firstAt = 8;
    const auto rawAt = std::uint32_t(firstAt + directorySize(first));
    const auto previewAt = std::uint32_t(rawAt + directorySize(raw));
    const auto sensorAt = std::uint32_t(previewAt + preview.size() + preview.size() % 2);
    first[8] = numbers(273, 4, {previewAt});
    first[14] = numbers(330, 4, {rawAt});
    raw[6] = numbers(273, 4, {sensorAt});
    std::string file = "II*";
    file += '\0';
    put(file, firstAt, 4);
    file += directory(first, firstAt) + directory(raw, rawAt) + preview;
    if (preview.size() % 2)
        file += '\0';
    return file + sensor;
}

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
