#include "render/colour_pipeline.h"
#include "render/colour_tables.h"

#include "platform/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

namespace kv::render {
namespace {

constexpr int kLevels[33] = {0,   7,   15,  23,  31,  39,  47,  55,  63,  71,  79,
                             87,  95,  103, 111, 119, 127, 135, 143, 151, 159, 167,
                             175, 183, 191, 199, 207, 215, 223, 231, 239, 247, 255};

void put32(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(v >> (8 * i));
}

// An identity table as a 24-bit BMP: 33 x 1089 pixels, rows of 100 bytes stored
// bottom-up; lattice row 33 iR + iG, column iB holds (level iB, level iG, level iR).
std::string identityCct() {
    std::string bytes(54 + 108900, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(bytes, 2, 54 + 108900);
    put32(bytes, 10, 54);
    put32(bytes, 14, 40);
    put32(bytes, 18, 33);
    put32(bytes, 22, 1089);
    for (int iR = 0; iR < 33; ++iR)
        for (int iG = 0; iG < 33; ++iG)
            for (int iB = 0; iB < 33; ++iB) {
                const int fileRow = 1088 - (33 * iR + iG);
                const std::size_t at = 54 + fileRow * 100 + iB * 3;
                bytes[at] = static_cast<char>(kLevels[iB]);
                bytes[at + 1] = static_cast<char>(kLevels[iG]);
                bytes[at + 2] = static_cast<char>(kLevels[iR]);
            }
    return bytes;
}

TEST(ColourMatching, IdentityTableKeepsLatticeLevelsAndTruncatesBetween) {
    ColourMatchingTable table;
    ASSERT_EQ(parseColourMatchingTable(identityCct(), table), CctLoad::Loaded);

    // Every value on all three channels, each channel's value different, so a
    // swapped axis or unturned rows show.
    PrintImage image;
    for (int v = 0; v < 256; ++v) {
        std::uint8_t* p = image.pixel(0, v);
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(255 - v);
        p[2] = static_cast<std::uint8_t>((v * 7) % 256);
    }
    const PrintImage before = image;
    applyColourMatching(table, image, 256, 1);
    const auto onLattice = [](int v) {
        return std::find(kLevels, kLevels + 33, v) != kLevels + 33;
    };
    for (int v = 0; v < 256; ++v)
        for (int ch = 0; ch < 3; ++ch) {
            const int in = before.pixel(0, v)[ch];
            const int out = image.pixel(0, v)[ch];
            if (onLattice(in))
                EXPECT_EQ(out, in) << "value " << in << " channel " << ch;
            else
                EXPECT_TRUE(out == in || out == in - 1) << "value " << in << " channel " << ch;
        }
}

TEST(ColourMatching, HeadersThatDoNotHoldTheLatticeAreRefused) {
    const std::string good = identityCct();
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"announces more than it holds", good.substr(0, 54 + 1000)});
    cases.push_back({"header only", good.substr(0, 54)});
    cases.push_back({"shorter than a header", good.substr(0, 20)});
    std::string smaller = good;
    put32(smaller, 2, 54 + 108800);
    cases.push_back({"data size below the lattice", smaller});
    std::string huge = good;
    put32(huge, 2, 0xFFFFFFF0u);
    cases.push_back({"huge size", huge});
    std::string pastEnd = good;
    put32(pastEnd, 2, 0xFFFFFFF0u);
    put32(pastEnd, 10, 0xFFFFFFF0u - 108900);
    cases.push_back({"offset past the end", pastEnd});
    std::string offsetAboveSize = good;
    put32(offsetAboveSize, 10, 54 + 108900 + 10);
    cases.push_back({"offset above the size", offsetAboveSize});

    for (const Case& c : cases) {
        ColourMatchingTable table;
        EXPECT_EQ(parseColourMatchingTable(c.bytes, table), CctLoad::LoadError) << c.what;
        EXPECT_TRUE(table.lattice.empty()) << c.what;
    }
    // Padding announced after the last row is held and not read.
    std::string padded = good + std::string(2, '\0');
    put32(padded, 2, 54 + 108902);
    ColourMatchingTable table, identity;
    ASSERT_EQ(parseColourMatchingTable(padded, table), CctLoad::Loaded);
    ASSERT_EQ(parseColourMatchingTable(good, identity), CctLoad::Loaded);
    EXPECT_EQ(table.lattice, identity.lattice);

    // Through the file, with the program's messages; the picture stays as it was.
    test::TempDir dir;
    test::writeBytes(dir / "short.cct", cases[0].bytes);
    PrintImage image;
    image.pixel(3, 3)[1] = 99;
    const PrintImage before = image;
    for (const auto& [file, message] :
         {std::pair{"short.cct", "Fehler beim Laden der Datei!"},
          std::pair{"gone.cct", "Die Farbanpassungstabelle kann nicht gefunden werden."}}) {
        platform::RecordingUi ui;
        EXPECT_FALSE(colourMatchingStage(dir / file, image, 640, 480, ui));
        EXPECT_EQ(ui.texts(), std::vector<std::string>{message});
        EXPECT_EQ(image.bytes, before.bytes);
    }
    test::writeBytes(dir / "normal.cct", good);
    platform::RecordingUi ui;
    EXPECT_TRUE(colourMatchingStage(dir / "normal.cct", image, 640, 480, ui));
    EXPECT_TRUE(ui.prompts().empty());
}

TEST(ColourTables, ColCorPalamKeysAndDefaults) {
    test::TempDir home;
    EXPECT_EQ(readColCorPalam(home.path()), ColCorPalam{});

    test::writeBytes(home / "Kvx00.ini", "[ColCorPalam]\r\nRr=10\r\nRg=-4\r\nRb=2.5\r\nMr=50\r\n"
                                         "Yb=9\r\nCg=3\r\nSrt=1.5\r\nSmt=0.5\r\nSyb=0.8\r\n"
                                         "Sct=0.25\r\nSgt=abc\r\nSbt=7e-1\r\n");
    const ColCorPalam p = readColCorPalam(home.path());
    ColCorPalam expected;
    expected.shift[kHueRed] = {10, -4, 2.5};
    expected.shift[kHueMagenta][0] = 50;
    expected.shift[kHueYellow][2] = 9;
    expected.shift[kHueCyan][1] = 3;
    expected.top[kHueRed] = 1.5;
    expected.top[kHueMagenta] = 0.5;
    expected.top[kHueCyan] = 0.25;
    expected.top[kHueGreen] = 0; // not a number: 0
    expected.top[kHueBlue] = 0.7;
    expected.bottom[kHueYellow] = 0.8;
    EXPECT_EQ(p, expected);
}

} // namespace
} // namespace kv::render
