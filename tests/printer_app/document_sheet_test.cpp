#include "printer_app/document_sheet.h"

#include "imagelib/picture_bytes.h"
#include "intake/intake_messages.h"
#include "platform/imagelib/image_library.h"
#include "support/jpeg_writer.h"
#include "support/temp_dir.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>

namespace kv::printer_app {
namespace {

namespace fs = std::filesystem;
namespace lib = platform::imagelib;
using platform::Bitmap24;

using Colour = std::array<std::uint8_t, 3>; // blue, green, red as stored
constexpr Colour kRed{0, 0, 255};
constexpr Colour kGreen{0, 255, 0};
constexpr Colour kWhite{255, 255, 255};

// A picture coloured by (column, row from the top).
Bitmap24 picture(int width, int height, const std::function<Colour(int, int)>& colour) {
    Bitmap24 b = Bitmap24::make(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Colour c = colour(x, y);
            std::copy(c.begin(), c.end(), b.at(x, height - 1 - y));
        }
    return b;
}

fs::path saveBmp(const fs::path& file, const Bitmap24& b) {
    EXPECT_TRUE(lib::WriteBmpFile(file, b));
    return file;
}

Colour pixel(const Bitmap24& b, int x, int yFromTop) {
    const std::uint8_t* p = b.at(x, b.height - 1 - yFromTop);
    return {p[0], p[1], p[2]};
}

Bitmap24 load(const fs::path& file) {
    lib::DecodedImage decoded;
    Bitmap24 b;
    EXPECT_EQ(lib::ScaleCD(file, decoded), 1);
    EXPECT_TRUE(lib::ConvertTo24(decoded, b));
    return b;
}

std::string greyJpeg(int width, int height) {
    return test::encodeJpeg(width, height,
                            [width](int, JSAMPLE* row) { std::fill_n(row, width * 3, 128); });
}

// A valid PNG of 2 x 2 whose header (with a correct checksum) claims width x height.
std::string pngClaiming(const fs::path& scratch, std::uint32_t width, std::uint32_t height) {
    QImage(2, 2, QImage::Format_RGB888).save(QString::fromStdString(scratch.string()), "PNG");
    std::string png = test::readBytes(scratch);
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = static_cast<char>(width >> (24 - 8 * i));
        png[20 + i] = static_cast<char>(height >> (24 - 8 * i));
    }
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 12; i < 29; ++i) {
        crc ^= static_cast<std::uint8_t>(png[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    crc = ~crc;
    for (int i = 0; i < 4; ++i)
        png[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
    return png;
}

SheetSource prepare(const fs::path& document, Scaling scaling, const fs::path& workDir,
                    int quarterTurns = 0) {
    return prepareDocumentSheet(document, {scaling, quarterTurns}, workDir);
}

TEST(DocumentSheet, ReadablePicturesWithTheWindowsRulePassThroughUnchanged) {
    test::TempDir dir;
    fs::create_directory(dir / "work");
    // Spooled files carry no telling name.
    test::writeBytes(dir / "job-1", greyJpeg(64, 48));
    saveBmp(dir / "job-2", picture(30, 20, [](int, int) { return kRed; }));
    for (const auto& [name, scaling] :
         {std::pair{"job-1", Scaling::Auto}, {"job-2", Scaling::Fit}}) {
        const SheetSource s = prepare(dir / name, scaling, dir / "work");
        EXPECT_EQ(s.file, dir / name);
        EXPECT_EQ(s.failure, "");
    }
    EXPECT_TRUE(fs::is_empty(dir / "work"));
}

// Fill: the largest central part in 4:3 (3:4 upright), sides truncated, resized to
// exactly the sheet. None: the central part of at most 640 x 480 (480 x 640). The
// red bands lie outside the part kept, so every corner of the result must be green
// but for the corner the turn moved the red pixel to.
TEST(DocumentSheet, ScalesCropsAndTurnsAsAsked) {
    test::TempDir dir;
    const auto green = [](int, int) { return kGreen; };
    struct Case {
        const char* name;
        Bitmap24 source;
        Scaling scaling;
        int turns, width, height;
        Colour upperRight = kGreen;
    };
    const Case cases[] = {
        // Keeps columns 83..215.
        {"fill wide",
         picture(300, 100, [](int x, int) { return x < 80 || x >= 220 ? kRed : kGreen; }),
         Scaling::Fill, 0, 640, 480},
        // Keeps rows 84..216.
        {"fill tall",
         picture(100, 300, [](int, int y) { return y < 80 || y >= 220 ? kRed : kGreen; }),
         Scaling::Fill, 0, 480, 640},
        // Keeps columns 180..819, rows 160..639.
        {"none large",
         picture(1000, 800,
                 [](int x, int y) {
                     return x < 180 || x >= 820 || y < 160 || y >= 640 ? kRed : kGreen;
                 }),
         Scaling::None, 0, 640, 480},
        {"none tall", picture(600, 900, green), Scaling::None, 0, 480, 640},
        {"none small", picture(200, 100, green), Scaling::None, 0, 200, 100},
        {"turned", picture(40, 20, [](int x, int y) { return x == 0 && y == 0 ? kRed : kGreen; }),
         Scaling::Auto, 1, 20, 40, kRed},
    };
    for (const Case& c : cases) {
        const SheetSource s =
            prepare(saveBmp(dir / "doc", c.source), c.scaling, dir.path(), c.turns);
        ASSERT_EQ(s.failure, "") << c.name;
        const Bitmap24 sheet = load(s.file);
        ASSERT_EQ(sheet.width, c.width) << c.name;
        ASSERT_EQ(sheet.height, c.height) << c.name;
        EXPECT_EQ(pixel(sheet, c.width - 1, 0), c.upperRight) << c.name;
        for (const auto& [x, y] : {std::pair{0, 0}, {0, c.height - 1}, {c.width - 1, c.height - 1}})
            EXPECT_EQ(pixel(sheet, x, y), kGreen) << c.name << " " << x << "," << y;
    }
}

TEST(DocumentSheet, PngPrintsWithTheSamePixelsTransparencyOnWhite) {
    test::TempDir dir;
    QImage png(5, 3, QImage::Format_ARGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            png.setPixel(x, y, qRgb(x * 50, y * 100, 7));
    png.setPixel(4, 2, qRgba(10, 20, 30, 0));
    ASSERT_TRUE(png.save(QString::fromStdString((dir / "upload").string()), "PNG"));

    // Our library reads PNG: the document itself goes on, as a JPEG does.
    const SheetSource s = prepare(dir / "upload", Scaling::Auto, dir.path());
    ASSERT_EQ(s.failure, "");
    EXPECT_EQ(s.file, dir / "upload");
    const Bitmap24 sheet = load(s.file);
    ASSERT_EQ(sheet.width, 5);
    ASSERT_EQ(sheet.height, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(pixel(sheet, x, y),
                      (x == 4 && y == 2 ? kWhite
                                        : Colour{7, std::uint8_t(y * 100), std::uint8_t(x * 50)}))
                << x << "," << y;

    // Asked for in grey: every pixel's luminance in all three channels.
    test::TempDir grey;
    SheetRequest request;
    request.monochrome = true;
    const SheetSource g = prepareDocumentSheet(dir / "upload", request, grey.path());
    ASSERT_EQ(g.failure, "");
    const Bitmap24 greySheet = load(g.file);
    const std::uint8_t level = std::uint8_t((299 * 200 + 587 * 100 + 114 * 7 + 500) / 1000);
    EXPECT_EQ(pixel(greySheet, 4, 1), (Colour{level, level, level}));
}

TEST(DocumentSheet, BadDocumentsAreRefusedWithTheirReasonAndNoFile) {
    test::TempDir dir;
    const std::string jpeg = greyJpeg(256, 256);
    struct Case {
        const char* name;
        std::string bytes;
        Scaling scaling;
        std::string_view failure;
    };
    const Case cases[] = {
        {"empty", "", Scaling::Auto, msg::kEmptyDocument},
        {"pdf", "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n1 0 obj", Scaling::Auto, msg::kUnsupportedDocument},
        {"cut jpeg", jpeg.substr(0, jpeg.find("\xFF\xDA") + 20), Scaling::Fill,
         intake::msg::kDamaged},
        // Passed through, a file cut off in its picture data lacks its end marker.
        {"cut jpeg passed through", jpeg.substr(0, jpeg.size() - 40), Scaling::Auto,
         intake::msg::kDamaged},
        // A JPEG header holds at most 65535 a side; libjpeg itself stops at 65500.
        {"huge jpeg", test::jpegClaiming(jpeg, 65000, 65000), Scaling::Auto,
         intake::msg::kTooLarge},
        {"huge png", pngClaiming(dir / "small.png", 100000, 100000), Scaling::Auto,
         intake::msg::kTooLarge},
        {"huge bmp", test::bmpFile(100000, 100000, ""), Scaling::Auto, intake::msg::kTooLarge},
        {"huge bmp decoded", test::bmpFile(100000, 100000, ""), Scaling::None,
         intake::msg::kTooLarge},
    };
    for (const Case& c : cases) {
        test::TempDir work;
        test::writeBytes(dir / "doc", c.bytes);
        const SheetSource s = prepare(dir / "doc", c.scaling, work.path());
        EXPECT_EQ(s.failure, c.failure) << c.name;
        EXPECT_TRUE(s.file.empty()) << c.name;
        EXPECT_TRUE(fs::is_empty(work.path())) << c.name;
    }
    EXPECT_EQ(prepare(dir / "missing", Scaling::Auto, dir.path()).failure,
              intake::msg::kCannotOpenFile);
}

TEST(DocumentSheet, MapsIppOptions) {
    EXPECT_EQ(scalingFromKeyword("auto"), Scaling::Auto);
    EXPECT_EQ(scalingFromKeyword("auto-fit"), Scaling::Fit);
    EXPECT_EQ(scalingFromKeyword("fit"), Scaling::Fit);
    EXPECT_EQ(scalingFromKeyword("fill"), Scaling::Fill);
    EXPECT_EQ(scalingFromKeyword("none"), Scaling::None);
    EXPECT_EQ(scalingFromKeyword("stretch"), Scaling::Auto);
    const std::pair<int, int> turns[] = {{3, 0}, {4, 3}, {5, 1}, {6, 2}, {7, 0}, {0, 0}};
    for (const auto& [orientation, quarters] : turns)
        EXPECT_EQ(quarterTurnsFromOrientation(orientation), quarters) << orientation;
}

} // namespace
} // namespace kv::printer_app
