#include "render/sheet_loader.h"

#include "platform/recording_ui.h"
#include "render/layout_messages.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kv::render {
namespace {

using Colour = std::array<std::uint8_t, 3>; // blue, green, red
constexpr Colour kWhite{255, 255, 255};

void put(std::string& s, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s += char(v >> (8 * i));
}

// A BMP file written byte by byte. `pixel(x, y)` (y from the bottom) gives a palette
// index at 4 and 8 bits, else blue | green << 8 | red << 16.
struct BmpFields {
    int headerSize = 40;
    int width = 0;
    int height = 0; // negative: rows stored from the top
    int bits = 24;
    std::vector<Colour> palette = {};
    std::uint32_t colorsUsed = 0;
    std::uint32_t compression = 0;
};
std::string makeBmp(const BmpFields& f, const std::function<std::uint32_t(int, int)>& pixel) {
    const int rows = std::abs(f.height);
    const int entry = f.headerSize == 12 ? 3 : 4;
    std::string info;
    put(info, f.headerSize, 4);
    if (f.headerSize == 12) {
        put(info, f.width, 2);
        put(info, f.height, 2);
        put(info, 1, 2);
        put(info, f.bits, 2);
    } else {
        put(info, f.width, 4);
        put(info, std::uint32_t(f.height), 4);
        put(info, 1, 2);
        put(info, f.bits, 2);
        put(info, f.compression, 4);
        info.append(12, '\0'); // image size, resolutions
        put(info, f.colorsUsed, 4);
        info.resize(std::size_t(f.headerSize), '\0');
    }
    for (const Colour& c : f.palette) {
        info.append(reinterpret_cast<const char*>(c.data()), 3);
        if (entry == 4)
            info += '\0';
    }
    std::string data;
    const int stride = (f.width * f.bits + 31) / 32 * 4;
    for (int r = 0; r < rows; ++r) {
        const int y = f.height < 0 ? rows - 1 - r : r;
        std::string row(std::size_t(stride), '\0');
        for (int x = 0; x < f.width; ++x) {
            const std::uint32_t v = pixel(x, y);
            if (f.bits == 24)
                for (int k = 0; k < 3; ++k)
                    row[std::size_t(x * 3 + k)] = char(v >> (8 * k));
            else if (f.bits == 8)
                row[std::size_t(x)] = char(v);
            else
                row[std::size_t(x / 2)] |= char(x % 2 ? v : v << 4);
        }
        data += row;
    }
    std::string file = "BM";
    put(file, std::uint32_t(14 + info.size() + data.size()), 4);
    put(file, 0, 4);
    put(file, std::uint32_t(14 + info.size()), 4);
    return file + info + data;
}

std::span<const std::uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

Colour at(const PrintImage& image, int row, int column) {
    const std::uint8_t* p = image.pixel(row, column);
    return {p[0], p[1], p[2]};
}
Colour unpack(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16)};
}

// Every pixel tells where it came from.
std::uint32_t where(int x, int y) {
    return std::uint32_t(x & 0xFF) | std::uint32_t(y & 0xFF) << 8 |
           std::uint32_t((x >> 8) | (y >> 8) << 4) << 16;
}

TEST(SheetLoader, FramesEndWithThePicturesTopRowFirst) {
    platform::RecordingUi ui;
    auto image = std::make_unique<PrintImage>();

    // Landscape: loaded in file order (bottom row first), then flipped.
    const std::string wide = makeBmp({.width = 640, .height = 480}, where);
    ASSERT_EQ(loadSheet(bytesOf(wide), *image, ui), FrameShape::Landscape);
    EXPECT_EQ(at(*image, 0, 5), unpack(where(5, 0)));
    orientFrame(*image, FrameShape::Landscape);
    int wrong = 0;
    for (int r = 0; r < 480; ++r)
        for (int c = 0; c < 640; ++c)
            wrong += at(*image, r, c) != unpack(where(c, 479 - r));
    EXPECT_EQ(wrong, 0);

    // Upright: a quarter turn counter-clockwise; the left column is the top row, the
    // top row the right edge.
    const std::string tall = makeBmp({.width = 480, .height = 640}, where);
    ASSERT_EQ(loadSheet(bytesOf(tall), *image, ui), FrameShape::Upright);
    orientFrame(*image, FrameShape::Upright);
    wrong = 0;
    for (int r = 0; r < 480; ++r)
        for (int c = 0; c < 640; ++c)
            wrong += at(*image, r, c) != unpack(where(479 - r, 639 - c));
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(at(*image, 0, 0), unpack(where(479, 639))); // top right corner
    EXPECT_TRUE(ui.prompts().empty());
}

TEST(SheetLoader, SmallPicturesSitWholeInTheMiddleLargeOnesGiveTheirFirstRows) {
    struct Case {
        int width, height;
        FrameShape shape;
        int left, bottom; // where picture column 0, file row 0 land in the frame
    };
    const Case cases[] = {
        {400, 300, FrameShape::Landscape, 120, 90}, {300, 200, FrameShape::Landscape, 170, 140},
        {639, 479, FrameShape::Landscape, 0, 0},    {200, 300, FrameShape::Upright, 140, 170},
        {700, 500, FrameShape::Landscape, 0, 0},    {500, 700, FrameShape::Upright, 0, 0},
        {700, 300, FrameShape::Landscape, 0, 90},
    };
    platform::RecordingUi ui;
    auto image = std::make_unique<PrintImage>();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const std::string file = makeBmp({.width = c.width, .height = c.height}, where);
        ASSERT_EQ(loadSheet(bytesOf(file), *image, ui), c.shape);
        int wrong = 0;
        for (int r = 0; r < frameHeight(c.shape); ++r)
            for (int col = 0; col < frameWidth(c.shape); ++col) {
                const int x = col - c.left;
                const int y = r - c.bottom;
                const bool inside = x >= 0 && x < c.width && y >= 0 && y < c.height;
                wrong += at(*image, r, col) != (inside ? unpack(where(x, y)) : kWhite);
            }
        EXPECT_EQ(wrong, 0);
    }
    EXPECT_TRUE(ui.prompts().empty());
}

TEST(SheetLoader, HeaderKindsPalettesAndRowOrders) {
    std::vector<Colour> palette16(16);
    for (int i = 0; i < 16; ++i)
        palette16[std::size_t(i)] = {std::uint8_t(3 * i + 1), std::uint8_t(3 * i + 2), 9};
    std::vector<Colour> palette256(256);
    for (int i = 0; i < 256; ++i)
        palette256[std::size_t(i)] = {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2)};
    const std::vector<Colour> palette3(palette16.begin(), palette16.begin() + 3);
    struct Case {
        const char* name;
        BmpFields fields;
    };
    const Case cases[] = {
        {"12-byte header, 8 bits", {12, 5, 3, 8, palette256}},
        {"12-byte header, 4 bits", {12, 5, 3, 4, palette16}},
        {"40-byte header, 8 bits", {40, 5, 3, 8, palette256}},
        {"40-byte header, 4 bits, odd width", {40, 7, 3, 4, palette16}},
        {"40-byte header, 3 colours used", {40, 5, 3, 8, palette3, 3}},
        {"40-byte header, rows from the top", {40, 5, -3, 24}},
        {"124-byte header, 24 bits", {124, 5, 3, 24}},
    };
    platform::RecordingUi ui;
    auto image = std::make_unique<PrintImage>();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const BmpFields& s = c.fields;
        const int count = int(s.palette.size());
        const auto index = [count](int x, int y) { return std::uint32_t((x + 3 * y) % count); };
        const auto pixel = [&](int x, int y) { return s.bits == 24 ? where(x, y) : index(x, y); };
        ASSERT_EQ(loadSheet(bytesOf(makeBmp(s, pixel)), *image, ui), FrameShape::Landscape);
        const int rows = std::abs(s.height);
        const int left = (640 - s.width) / 2;
        const int bottom = (480 - rows) / 2;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < s.width; ++x) {
                const Colour want = s.bits == 24 ? unpack(where(x, y)) : s.palette[index(x, y)];
                EXPECT_EQ(at(*image, bottom + y, left + x), want) << x << "," << y;
            }
    }
    EXPECT_TRUE(ui.prompts().empty());
}

TEST(SheetLoader, DamagedFilesEndTheJobWithTheirMessage) {
    const auto grey = [](int, int) { return 0x808080u; };
    const std::string good = makeBmp({.width = 4, .height = 2}, grey);
    std::string shortRows = good.substr(0, good.size() - 3);
    shortRows[2] = char(shortRows.size()); // the header agrees; the last row is short
    std::string announcesMore = good;
    announcesMore[3] = '\x10'; // 4096 bytes more than there are
    std::string hugeWidth = good;
    hugeWidth.replace(18, 4, std::string("\xff\xff\xff\x7f", 4));
    // 256 entries expected, two given, the pixels right behind them.
    const std::string paletteBeyond =
        makeBmp({.width = 2, .height = 1, .bits = 8, .palette = {{1, 2, 3}, {4, 5, 6}}}, grey);
    std::string badHeaderSize = good;
    badHeaderSize[14] = 20;

    const std::string cannotOpen(kMsgSheetCannotOpen);
    const std::string scaling(kMsgSheetShort);
    struct Case {
        const char* name;
        std::string bytes;
        std::string message; // empty: ends without one
    };
    const Case cases[] = {
        {"not a BMP", "GIF89a" + good.substr(6), cannotOpen},
        {"headers cut short", good.substr(0, 30), cannotOpen},
        {"header size 20", badHeaderSize, cannotOpen},
        {"run-length data",
         makeBmp({.width = 2, .height = 1, .bits = 8, .palette = {{1, 2, 3}}, .compression = 1},
                 grey),
         cannotOpen},
        {"zero height", makeBmp({.width = 4, .height = 0}, grey), cannotOpen},
        {"rows missing", shortRows, scaling},
        {"24 bits, file shorter than announced", announcesMore, scaling},
        {"width beyond the data", hugeWidth, scaling},
        {"palette beyond the file", paletteBeyond, scaling},
        {"16 bits", makeBmp({.width = 4, .height = 2, .bits = 16}, grey), ""},
    };
    auto image = std::make_unique<PrintImage>();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::RecordingUi ui;
        EXPECT_FALSE(loadSheet(bytesOf(c.bytes), *image, ui));
        EXPECT_EQ(ui.texts(),
                  c.message.empty() ? std::vector<std::string>{} : std::vector{c.message});
    }

    platform::RecordingUi ui;
    test::TempDir dir;
    EXPECT_FALSE(loadSheetFile(dir / "missing.bmp", *image, ui));
    test::writeBytes(dir / "good.bmp", good);
    EXPECT_EQ(loadSheetFile(dir / "good.bmp", *image, ui), FrameShape::Landscape);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{cannotOpen});
}

} // namespace
} // namespace kv::render
