#include "printer/port_protocol.h"
#include "printer/printer_memory.h"
#include "printer/sim_port.h"
#include "printer/virtual_printer.h"

#include "platform/clock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::printer {
namespace {

namespace fs = std::filesystem;

constexpr int kLineBytes = 9664;

// The host side of the commands, straight over the handshake.
class Host {
  public:
    explicit Host(VirtualPrinter& printer) : m_port(printer) { setSettleScale(0); }

    std::optional<std::vector<std::uint8_t>> read(std::uint8_t main, std::uint8_t sub,
                                                  std::uint16_t length) {
        m_block.set(CommandBlock::Read, length, main, sub);
        if (commandSet(m_port, m_block.raw()) != 0)
            return std::nullopt;
        return std::vector<std::uint8_t>(m_block.data(), m_block.data() + length);
    }
    std::optional<std::uint8_t> readValue(std::uint8_t parameter) {
        auto bytes = read(0xFF, parameter, 1);
        return bytes ? std::optional((*bytes)[0]) : std::nullopt;
    }
    std::optional<std::uint8_t> readStored(std::uint8_t address) {
        auto bytes = read(0xFB, address, 1);
        return bytes ? std::optional((*bytes)[0]) : std::nullopt;
    }
    std::uint32_t write(std::uint8_t main, std::uint8_t sub,
                        const std::vector<std::uint8_t>& data) {
        m_block.set(CommandBlock::Write, static_cast<std::uint16_t>(data.size()), main, sub);
        std::copy(data.begin(), data.end(), m_block.data());
        return commandSet(m_port, m_block.raw());
    }
    std::uint32_t writeValue(std::uint8_t parameter, const std::vector<std::uint8_t>& data) {
        return write(0xFE, parameter, data);
    }
    std::uint32_t startPage() { return write(0x08, 0x00, {}); }
    std::uint32_t endPage(std::uint8_t code) { return write(0x02, 0x01, {code}); }
    std::uint32_t rasterLine(const std::vector<std::uint8_t>& line) {
        return write(0x00, 0x01, line);
    }
    std::uint16_t ready() { return isReady(m_port); }

  private:
    SimPort m_port;
    CommandBlock m_block;
};

TEST(VirtualPrinter, ParametersAndStoredMemoryRoundTrip) {
    test::TempDir dir;
    platform::FakeClock clock;
    VirtualPrinter printer(clock, dir.path());
    Host host(printer);

    // A fresh printer does not hold the print values, so the parameter check writes them.
    EXPECT_NE(host.readValue(0x14), 0x2D);
    EXPECT_NE(host.readValue(0x15), 0x2B);
    EXPECT_NE(host.read(0xFF, 0x0C, 2), (std::vector<std::uint8_t>{0x08, 0x07}));
    EXPECT_EQ(host.readStored(0x11), 0x80);
    EXPECT_EQ(host.readStored(0x18), 0xFF);

    struct Case {
        std::uint8_t parameter;
        std::uint8_t value;
        bool readAsValue; // ReadValue, else ReadStored
    };
    for (const Case c :
         {Case{0x14, 0x2D, true}, Case{0x14, 0x2E, false}, Case{0x15, 0x2B, true},
          Case{0x17, 0x33, false}, Case{0x18, 0x0F, false}, Case{0x19, 0x20, false}}) {
        SCOPED_TRACE(int(c.parameter));
        ASSERT_EQ(host.writeValue(c.parameter, {c.value}), 0u);
        EXPECT_EQ(c.readAsValue ? host.readValue(c.parameter) : host.readStored(c.parameter),
                  c.value);
    }
    ASSERT_EQ(host.writeValue(0x0C, {0x08, 0x07}), 0u);
    EXPECT_EQ(host.read(0xFF, 0x0C, 2), (std::vector<std::uint8_t>{0x08, 0x07}));

    // Measured values take a write without changing.
    ASSERT_EQ(host.writeValue(0x1B, {0x99}), 0u);
    EXPECT_EQ(host.readValue(0x1B), VirtualPrinter::kPcbTemperature);
}

TEST(VirtualPrinter, LedTableLandsAtItsStoredAddresses) {
    test::TempDir dir;
    platform::FakeClock clock;
    VirtualPrinter printer(clock, dir.path());
    Host host(printer);

    std::vector<std::uint8_t> table(213);
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<std::uint8_t>(i + 7);
    ASSERT_EQ(host.writeValue(0x20, table), 0u);
    for (const int t : {0, 36, 70}) {
        EXPECT_EQ(host.readStored(static_cast<std::uint8_t>(0x21 + t)), table[t]);
        EXPECT_EQ(host.readStored(static_cast<std::uint8_t>(0x68 + t)), table[71 + t]);
        EXPECT_EQ(host.readStored(static_cast<std::uint8_t>(0xAF + t)), table[142 + t]);
    }
    EXPECT_EQ(host.readStored(0xF6), 0); // just past the table
    EXPECT_EQ(host.readStored(0x20), 0);
}

TEST(VirtualPrinter, WarmsUpOnceAfterPowerOn) {
    test::TempDir dir;
    platform::FakeClock clock;
    clock.advance(1000); // switched on at 1,000 ms
    VirtualPrinter printer(clock, dir.path(), {.warmUpMs = 5000});
    Host host(printer);
    ASSERT_EQ(host.writeValue(0x14, {0x2D}), 0u);

    EXPECT_EQ(host.readValue(0x06), 1);
    EXPECT_EQ(host.readValue(0x1D), VirtualPrinter::kPcbTemperature);
    clock.advance(4999);
    EXPECT_EQ(host.readValue(0x06), 1);
    clock.advance(1);
    EXPECT_EQ(host.readValue(0x06), 3);
    EXPECT_EQ(host.readValue(0x1D), 0x2D);
    printer.reset();
    EXPECT_EQ(host.readValue(0x06), 3);
}

TEST(VirtualPrinter, MemoryPersistsAcrossInstancesAndSurvivesDamage) {
    test::TempDir dir;
    platform::FakeClock clock;
    {
        VirtualPrinter printer(clock, dir.path());
        Host host(printer);
        ASSERT_EQ(host.writeValue(0x14, {0x2D}), 0u);
        ASSERT_EQ(host.writeValue(0x0C, {0x08, 0x07}), 0u);
        ASSERT_EQ(host.writeValue(0x19, {0x00}), 0u);
        ASSERT_EQ(host.writeValue(0x20, std::vector<std::uint8_t>(213, 0x42)), 0u);
    }
    {
        VirtualPrinter printer(clock, dir.path());
        Host host(printer);
        EXPECT_EQ(host.readValue(0x14), 0x2D);
        EXPECT_EQ(host.read(0xFF, 0x0C, 2), (std::vector<std::uint8_t>{0x08, 0x07}));
        EXPECT_EQ(host.readStored(0x19), 0x00);
        EXPECT_EQ(host.readStored(0x21 + 36), 0x42);
        EXPECT_EQ(host.readStored(0xF5), 0x42);
    }
    const PrinterMemory defaults = PrinterMemory::factoryDefaults();
    for (const char* damaged : {"heater_target=zz\n", "heater_target=2d 2d\n", "no equals sign\n",
                                "led_table=80\n", "pages=-1\n", "=2d\n"}) {
        SCOPED_TRACE(damaged);
        test::writeBytes(dir / "printer-state.txt", damaged);
        VirtualPrinter printer(clock, dir.path());
        EXPECT_EQ(printer.memory(), defaults);
        EXPECT_FALSE(printer.lastError().empty());
    }
    // Unknown keys and comments are fine; missing keys keep their factory value.
    test::writeBytes(dir / "printer-state.txt", "# note\r\nfuture_key=1\r\npage_offset=2b\r\n");
    VirtualPrinter printer(clock, dir.path());
    EXPECT_EQ(printer.stored(0x15), 0x2B);
    EXPECT_EQ(printer.stored(0x14), defaults.stored[0x14]);
}

// The head map as documented, written out again here so that a slip in the shared table
// shows up as a page that does not come back.
struct Element {
    int channel; // 0 yellow, 1 magenta, 2 cyan
    int delay;
    int slot;
    int base;
    int threshold; // plus 1 when v mod 4 reaches it; 4 = never
};
constexpr Element kElements[] = {
    {2, 0, 8, 43, 1},   {0, 10, 1, 60, 1},  {1, 10, 15, 28, 1}, {1, 19, 14, 77, 2},
    {0, 19, 2, 45, 2},  {2, 19, 12, 13, 2}, {1, 29, 13, 30, 3}, {2, 29, 5, 62, 3},
    {1, 38, 11, 47, 4}, {2, 38, 0, 79, 4},  {0, 38, 3, 15, 3},
};

int level(int row, int column, int channel) {
    return (row * 7 + column * 13 + channel * 331) % 1021;
}

std::vector<std::uint8_t> buildLine(int a) {
    std::vector<std::uint8_t> line(kLineBytes, 255);
    for (const Element& e : kElements) {
        const int last = e.delay == 0 ? 644 : 639 + e.delay;
        if (a < e.delay || a > last)
            continue;
        for (int i = 0; i < 480; ++i) {
            const int column = a - e.delay;
            const int v = column < 640 ? level(i, column, e.channel) : 0;
            const int value = v / 4 + (v % 4 >= e.threshold ? 1 : 0);
            const int group = a % 2 == 0 ? e.base + i : 571 - (e.base + i);
            line[group * 16 + e.slot] = static_cast<std::uint8_t>(value);
        }
    }
    return line;
}

TEST(VirtualPrinter, CompletedPageComesBackAsItsLevels) {
    test::TempDir dir;
    platform::FakeClock clock;
    VirtualPrinter printer(clock, dir.path() / "out", {.writeRawPicture = true});
    Host host(printer);

    ASSERT_EQ(host.startPage(), 0u);
    for (int a = 0; a < 774; ++a)
        ASSERT_EQ(
            host.rasterLine(a < 683 ? buildLine(a) : std::vector<std::uint8_t>(kLineBytes, 255)),
            0u)
            << a;
    ASSERT_EQ(host.endPage(0x00), 0u);
    ASSERT_EQ(printer.pagesWritten(), 1u);

    const PageLevels& page = printer.lastPageLevels();
    int mismatches = 0;
    for (int i = 0; i < 480; ++i)
        for (int x = 0; x < 640; ++x) {
            mismatches += !page.agrees(i, x, level(i, x, 0), level(i, x, 1), level(i, x, 2));
        }
    EXPECT_EQ(mismatches, 0);

    const std::string ppm = test::readBytes(dir / "out/page-0001.ppm");
    const std::string header = "P6\n640 480\n255\n";
    ASSERT_EQ(ppm.size(), header.size() + 640 * 480 * 3);
    EXPECT_EQ(ppm.substr(0, header.size()), header);
    const int row = 17, column = 300;
    const std::size_t pixel = header.size() + (row * 640 + column) * 3;
    const int yellow = level(row, column, 0);
    // Larger levels print lighter; yellow v mod 4 = 3 reads as the next multiple of 4.
    const int yellowSeen = yellow % 4 == 3 ? yellow + 1 : yellow;
    EXPECT_EQ(std::uint8_t(ppm[pixel]), std::min(255, (level(row, column, 2) + 2) / 4));
    EXPECT_EQ(std::uint8_t(ppm[pixel + 1]), std::min(255, (level(row, column, 1) + 2) / 4));
    EXPECT_EQ(std::uint8_t(ppm[pixel + 2]), std::min(255, (yellowSeen + 2) / 4));

    const std::string levels = test::readBytes(dir / "out/page-0001.levels");
    ASSERT_EQ(levels.size(), 640u * 480 * 3 * 2);
    const std::size_t at = (row * 640 + column) * 6 + 4; // cyan of the pixel
    EXPECT_EQ(std::uint8_t(levels[at]) | std::uint8_t(levels[at + 1]) << 8, level(row, column, 2));
    EXPECT_FALSE(fs::exists(dir / "out/page-0001.lines"));
}

TEST(VirtualPrinter, UnfinishedPagesWriteNothing) {
    struct Case {
        const char* name;
        bool reset;
        std::uint8_t endCode;
    };
    for (const Case c : {Case{"cancel", false, 0xFF}, Case{"reset", true, 0x00}}) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        platform::FakeClock clock;
        VirtualPrinter printer(clock, dir.path());
        Host host(printer);
        ASSERT_EQ(host.startPage(), 0u);
        ASSERT_EQ(host.rasterLine(buildLine(0)), 0u);
        if (c.reset)
            printer.reset();
        ASSERT_EQ(host.endPage(c.endCode), 0u);
        EXPECT_EQ(printer.pagesWritten(), 0u);
        for (const auto& entry : fs::directory_iterator(dir.path()))
            EXPECT_TRUE(entry.path().extension() != ".png" && entry.path().extension() != ".levels")
                << entry.path();
    }
}

TEST(VirtualPrinter, NewPagesNeverOverwriteOldOnes) {
    test::TempDir dir;
    platform::FakeClock clock;
    test::writeBytes(dir / "page-0001.ppm", "an earlier page");
    VirtualPrinter printer(clock, dir.path(), {.writeRawLines = true});
    Host host(printer);
    ASSERT_EQ(host.startPage(), 0u);
    ASSERT_EQ(host.rasterLine(buildLine(0)), 0u);
    ASSERT_EQ(host.endPage(0x00), 0u);
    EXPECT_EQ(test::readBytes(dir / "page-0001.ppm"), "an earlier page");
    EXPECT_EQ(printer.lastPagePath(), dir / "page-0002.png");
    const std::vector<std::uint8_t> line = buildLine(0);
    EXPECT_EQ(test::readBytes(dir / "page-0002.lines"), std::string(line.begin(), line.end()));
    // A line that never came prints white.
    EXPECT_EQ(printer.lastPageLevels().cyan(0, 639), 1020);

    VirtualPrinter again(clock, dir.path());
    EXPECT_EQ(again.memory().pageCounter, 2u);
}

TEST(VirtualPrinter, PageThatCannotBeSavedIsAFaultUntilReset) {
    test::TempDir dir;
    platform::FakeClock clock;
    test::writeBytes(dir / "blocked", "a file where the folder should be");
    // The folder itself and one below it: neither can be made under a regular file.
    for (const fs::path& out : {dir / "blocked", dir / "blocked" / "pages"}) {
        SCOPED_TRACE(out.string());
        VirtualPrinter printer(clock, out);
        std::vector<std::string> reports;
        printer.setReport([&](std::string_view text) { reports.emplace_back(text); });
        Host host(printer);
        ASSERT_EQ(host.startPage(), 0u);
        ASSERT_EQ(host.rasterLine(buildLine(0)), 0u);
        // The page is lost: the host hears it from its EndPage, not only from the next poll.
        EXPECT_EQ(host.endPage(0x00), static_cast<std::uint32_t>(CommandResult::NoAckForDataByte));
        EXPECT_EQ(printer.pagesWritten(), 0u);
        EXPECT_FALSE(printer.pageOpen());
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].find(out.string()), std::string::npos) << reports[0];

        // The fault holds until the reset; a cancelled page then needs no folder.
        EXPECT_EQ(host.ready(), 2);
        printer.reset();
        EXPECT_EQ(host.ready(), 0);
        ASSERT_EQ(host.startPage(), 0u);
        EXPECT_EQ(host.endPage(0xFF), 0u);
        EXPECT_EQ(printer.pagesCancelled(), 1u);
        EXPECT_EQ(reports.size(), 1u);
    }
}

TEST(VirtualPrinter, LoadsPaperAfterPageStart) {
    test::TempDir dir;
    platform::FakeClock clock;
    VirtualPrinter printer(clock, dir.path(), {.paperLoadMs = 2000});
    Host host(printer);
    ASSERT_EQ(host.startPage(), 0u);
    EXPECT_EQ(host.ready(), 3);
    clock.advance(2000);
    EXPECT_EQ(host.ready(), 0);
}

} // namespace
} // namespace kv::printer
