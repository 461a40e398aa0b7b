#include "render/raster_lines.h"

#include "platform/clock.h"
#include "printer/command_block.h"
#include "printer/port_protocol.h"
#include "printer/sim_port.h"
#include "printer/virtual_printer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace kv::render {
namespace {

namespace fs = std::filesystem;

constexpr int kLine = 9664;
constexpr int kBmxLine = 9152;

// The print head's elements, written out from the printer's documentation:
// level (0 yellow, 1 magenta, 2 cyan), line delay, slot, group of head position 0.
struct Element {
    int channel, delay, slot, base;
};
constexpr std::array<Element, 11> kElements = {{{2, 0, 8, 43},
                                                {0, 10, 1, 60},
                                                {1, 10, 15, 28},
                                                {1, 19, 14, 77},
                                                {0, 19, 2, 45},
                                                {2, 19, 12, 13},
                                                {1, 29, 13, 30},
                                                {2, 29, 5, 62},
                                                {1, 38, 11, 47},
                                                {2, 38, 0, 79},
                                                {0, 38, 3, 15}}};

std::unique_ptr<ExposureImage> uniform(int picture, int margin = kMarginLevel) {
    auto e = std::make_unique<ExposureImage>();
    for (int r = 0; r < kFrameHeight; ++r)
        for (int c = 0; c < kLevelColumns; ++c) {
            const auto v = std::int16_t(c < kFrameWidth ? picture : margin);
            e->at(r, c) = {v, v, v};
        }
    return e;
}

int slotAt(std::span<const std::uint8_t> line, int group, int slot) {
    return line[std::size_t(group) * 16 + std::size_t(slot)];
}
int groupOf(const Element& e, int head, int line) {
    return line % 2 == 0 ? e.base + head : 571 - (e.base + head);
}

TEST(RasterLines, ElementValuesFollowEachElementsRounding) {
    struct Case {
        int level;
        std::array<int, 11> values; // in the order of kElements
    };
    const Case cases[] = {
        {1, {1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
        {2, {1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}},
        {3, {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 1}},
        {6, {2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1}},
        {1020, {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255}},
        {1023, {0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 0}}, // low 8 bits of 256
    };
    RasterLineBuilder builder;
    for (const Case& c : cases) {
        builder.prepare(*uniform(c.level));
        for (int a : {100, 101}) {
            SCOPED_TRACE("level " + std::to_string(c.level) + ", line " + std::to_string(a));
            const auto line = builder.line(a);
            ASSERT_EQ(line.size(), std::size_t(kLine));
            for (std::size_t k = 0; k < kElements.size(); ++k)
                for (int head : {0, 200, 479})
                    EXPECT_EQ(slotAt(line, groupOf(kElements[k], head, a), kElements[k].slot),
                              c.values[k])
                        << "element " << k << ", head " << head;
            int blanks = 0;
            for (int g = 0; g < 604; ++g)
                for (int slot : {4, 6, 7, 9, 10})
                    blanks += slotAt(line, g, slot) == 255;
            EXPECT_EQ(blanks, 604 * 5);
            EXPECT_TRUE(std::all_of(line.begin() + 572 * 16, line.end(),
                                    [](std::uint8_t b) { return b == 255; }));
        }
    }
}

TEST(RasterLines, OddLinesRunMirroredAcrossTheGroups) {
    auto exposure = uniform(0);
    exposure->at(0, 1)[kCyan] = 40;    // head position 0, column 1: delay-0 value 10
    exposure->at(479, 1)[kCyan] = 400; // value 100
    RasterLineBuilder builder;
    builder.prepare(*exposure);
    const auto line = builder.line(1);
    EXPECT_EQ(slotAt(line, 528, 8), 10);
    EXPECT_EQ(slotAt(line, 571 - (43 + 479), 8), 100);
    EXPECT_EQ(slotAt(line, 43, 8), 255); // the even lines' place stays blank
}

TEST(RasterLines, EachElementPrintsItsOwnLineRange) {
    RasterLineBuilder builder;
    // The margin columns never reach the builder: the delay-0 element prints 0 there.
    builder.prepare(*uniform(1020, kMarginLevel));
    EXPECT_EQ(slotAt(builder.line(639), groupOf(kElements[0], 7, 639), 8), 255);
    for (int a = 640; a <= 644; ++a)
        EXPECT_EQ(slotAt(builder.line(a), groupOf(kElements[0], 7, a), 8), 0) << a;

    // Level 0 everywhere: an element's slot holds 0 exactly on the lines it prints.
    builder.prepare(*uniform(0, 0));
    for (int a : {0, 9, 10, 38, 639, 644, 645, 648, 649, 658, 668, 669, 677}) {
        const auto line = builder.line(a);
        for (const Element& e : kElements) {
            const int last = e.delay == 0 ? 644 : 639 + e.delay;
            const int want = a >= e.delay && a <= last ? 0 : 255;
            EXPECT_EQ(slotAt(line, groupOf(e, 0, a), e.slot), want)
                << "line " << a << ", delay " << e.delay << ", slot " << e.slot;
        }
    }
    for (int a : {678, 682, 683, 773}) {
        const auto line = builder.line(a);
        EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](std::uint8_t b) { return b == 255; }))
            << a;
    }
}

TEST(RasterLines, BmxFileIsTheSheetsLinesWithoutHeader) {
    test::TempDir dir;
    auto exposure = uniform(0);
    for (int r = 0; r < kFrameHeight; ++r)
        for (int c = 0; c < kFrameWidth; ++c)
            exposure->at(r, c) = {std::int16_t((r + c) % 1021), std::int16_t(r % 1021),
                                  std::int16_t(c % 1021)};
    const fs::path file = dir / "default.bmx";
    test::writeBytes(file, std::string(8000000, 'x')); // truncated on writing
    ASSERT_TRUE(writeBmxFile(file, *exposure));
    const std::string bytes = test::readBytes(file);
    ASSERT_EQ(bytes.size(), 7074496u);

    RasterLineBuilder builder;
    builder.prepare(*exposure);
    for (int a : {0, 1, 341, 677}) {
        const auto line = builder.line(a);
        EXPECT_EQ(bytes.substr(std::size_t(a) * kBmxLine, kBmxLine),
                  std::string(line.begin(), line.begin() + kBmxLine))
            << a;
    }
    EXPECT_EQ(bytes.find_first_not_of('\xff', 683u * kBmxLine), std::string::npos);

    // A file that cannot be written is a failure, never a finished raster file.
    EXPECT_FALSE(writeBmxFile(dir / "missing/default.bmx", *exposure));
    fs::create_directories(dir / "folder");
    EXPECT_FALSE(writeBmxFile(dir / "folder", *exposure));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

TEST(RasterLines, VirtualPrinterReassemblesTheLevelsThatWentIn) {
    test::TempDir dir;
    platform::FakeClock clock;
    printer::VirtualPrinter vp(clock, dir / "out");
    printer::SimPort port(vp);
    printer::setSettleScale(0);
    printer::CommandBlock block;
    const auto send = [&](std::uint8_t main, std::uint8_t sub, std::span<const std::uint8_t> data) {
        block.set(printer::CommandBlock::Write, std::uint16_t(data.size()), main, sub);
        std::copy(data.begin(), data.end(), block.data());
        return printer::commandSet(port, block.raw()) == 0;
    };

    // Every level 0..1020 in every channel, rows and columns mixed up.
    auto exposure = uniform(0);
    const auto level = [](int r, int c, int ch) { return (r * 37 + c * 11 + ch * 389) % 1021; };
    for (int r = 0; r < kFrameHeight; ++r)
        for (int c = 0; c < kFrameWidth; ++c)
            exposure->at(r, c) = {std::int16_t(level(r, c, 0)), std::int16_t(level(r, c, 1)),
                                  std::int16_t(level(r, c, 2))};

    ASSERT_TRUE(send(0x08, 0x00, {}));
    const int sent = streamRasterLines(
        *exposure, [&](int, std::span<const std::uint8_t> line) { return send(0x00, 0x01, line); });
    EXPECT_EQ(sent, 774);
    const std::uint8_t complete = 0x00;
    ASSERT_TRUE(send(0x02, 0x01, {&complete, 1}));
    ASSERT_EQ(vp.pagesWritten(), 1u);

    const printer::PageLevels& page = vp.lastPageLevels();
    int wrong = 0;
    for (int r = 0; r < kFrameHeight; ++r)
        for (int c = 0; c < kFrameWidth; ++c) {
            // Yellow's three elements add up to 3 (v / 4) + v mod 4: 4q + 3 and 4q + 4
            // drive them alike, so the sum is what comes back.
            wrong += !page.agrees(r, c, level(r, c, 0), level(r, c, 1), level(r, c, 2));
        }
    EXPECT_EQ(wrong, 0);

    // A send that fails stops the stream there.
    EXPECT_EQ(streamRasterLines(*exposure, [](int a, auto) { return a < 10; }), 10);
}

} // namespace
} // namespace kv::render
