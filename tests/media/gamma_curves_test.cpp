#include "media/gamma_curves.h"
#include "media/media_messages.h"
#include "platform/numbers.h"
#include "platform/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <vector>

namespace kv::media {
namespace {

using platform::RecordingUi;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

GammaCurves rebuilt(const MediaCalibration& cal) {
    GammaCurves gamma;
    rebuildGammaCurves(cal, gamma);
    return gamma;
}

void expectPoints(const GammaCurves& g, int channel, std::vector<std::pair<int, int>> points) {
    for (auto [k, value] : points) {
        EXPECT_EQ(g.points[channel][k], value) << "point " << k;
        EXPECT_EQ(g.table[channel][4 * k], value) << "entry " << 4 * k;
    }
}

TEST(GammaRebuild, DefaultsGiveTheWorkedCurve) {
    const GammaCurves g = rebuilt(MediaCalibration());
    // Control points, and geometric fills worked out by hand (10^(log 50 + (log 72 - log 50)/7)
    // = 52.7).
    expectPoints(g, 0,
                 {{0, 0},
                  {1, 50},
                  {2, 53},
                  {7, 68},
                  {8, 72},
                  {20, 120},
                  {32, 200},
                  {44, 252},
                  {56, 317},
                  {57, 332},
                  {60, 380},
                  {63, 427},
                  {64, 444}});
    EXPECT_EQ(g.table[0][2], 25); // round(50 / 4 x 2)
    EXPECT_EQ(g.table[0][3], 38); // 37.5 rounds up
    expectPoints(g, 1, {{1, 156}, {8, 223}, {56, 510}, {60, 612}, {64, 714}});
    EXPECT_EQ(g.table[2][81], 200); // TDTY = Base128: a flat segment

    MediaCalibration cal;
    cal.sensC = 0.5f;
    cal.sensY = 1.25f;
    EXPECT_EQ(colourFactors(cal), (std::array<double, 3>{0.5, 1.0, 1.25}));
}

TEST(GammaRebuild, LimitCutsPointsThenSpreads) {
    MediaCalibration cal;
    cal.setBaseMediaValue("RLimit", "300.9");
    cal.setBaseMediaValue("G256Ratio", "1e300"); // far beyond 16 bits: stops there, then the limit
    const GammaCurves g = rebuilt(cal);
    expectPoints(g, 0, {{53, 299}, {54, 300}, {56, 300}, {64, 300}});
    // Spread between the limited points: 299.25 and 299.5 round to 299 and 300.
    EXPECT_EQ(g.table[0][213], 299);
    EXPECT_EQ(g.table[0][214], 300);
    EXPECT_EQ(g.table[0][256], 300);
    EXPECT_EQ(g.points[1][64], 1019);
}

TEST(GammaRebuild, NonPositivePointsFallBackToLinear) {
    const struct {
        const char* name;
        std::string_view key, text;
        std::int16_t tdtc;
        std::vector<std::pair<int, int>> points;
    } cases[] = {
        // 0 to 72 over 1..8: 72 x 1/7 = 10.3, 72 x 4/7 = 41.1, 72 x 6/7 = 61.7
        {"ratio 0", "R4Ratio", "0", 72, {{1, 0}, {2, 10}, {5, 41}, {7, 62}, {8, 72}}},
        {"Base128 0", "RBase128", "0", 72, {{32, 0}, {20, 36}, {44, 159}, {56, 317}}},
        {"not a number", "RBase128", "abc", 72, {{32, 0}, {20, 36}}},
        {"density 0", "R4Ratio", "0.7", 0, {{1, 0}, {5, 0}, {8, 0}, {20, 100}, {32, 200}}},
        // -24 x 0.7 = -16.8 keeps -16 (the signed fraction is below 0.5); -16 - 8/7 = -17.1
        {"negative density", "R4Ratio", "0.7", -24, {{1, -16}, {2, -17}, {8, -24}, {20, 88}}},
        {"leading number", "RBase128", "250.9 x", 72, {{32, 250}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MediaCalibration cal;
        cal.setBaseMediaValue(c.key, std::string(c.text));
        cal.tdtc = c.tdtc;
        expectPoints(rebuilt(cal), 0, c.points);
    }
}

TEST(GammaEditor, SpreadCutsTowardZero) {
    GammaCurves g;
    g.table[0][4] = 100;
    g.table[0][8] = 61;
    g.table[1][4] = -30;
    g.table[2].fill(9); // in-between entries are recomputed, not kept
    g.table[2][4] = 39;
    g.table[2][8] = 39;
    g.table[2][0] = 0;
    expandPointsCut(g);
    const std::vector<int> red(g.table[0].begin(), g.table[0].begin() + 9);
    EXPECT_EQ(red, (std::vector<int>{0, 25, 50, 75, 100, 91, 81, 71, 61}));
    EXPECT_EQ(g.table[1][1], -7); // -7.5 cut
    EXPECT_EQ(g.table[1][5], -23);
    EXPECT_EQ(g.table[2][1], 9);  // 9.75 cut
    EXPECT_EQ(g.table[2][9], 32); // 39 - 7.5 cut
    EXPECT_EQ(g.points[0][1], 100);
}

TEST(GammaTableFile, ExactTextAndRoundTrip) {
    GammaCurves g;
    g.table[0][1] = 1020;
    g.table[1][1] = -5;
    g.table[2][256] = 32767;
    g.table[0][256] = -32768;
    g.pointsFromTable();
    const std::string text = formatGammaTable(g);
    EXPECT_EQ(text.substr(0, 29), "0  0  0  0 \n1  1020  -5  0 \n2");
    const std::string last = "256  -32768  0  32767 \n";
    EXPECT_EQ(text.substr(text.size() - last.size()), last);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 257);
    EXPECT_EQ(text.find('\r'), std::string::npos);

    const auto parsed = parseGammaTable(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->table, g.table);
    EXPECT_EQ(parsed->points, g.points);

    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_TRUE(parseGammaTable(crlf + "\r\n\n"));

    const std::string upTo256 = text.substr(0, text.size() - last.size());
    for (const std::string& bad : {
             std::string(),
             upTo256,
             text + "257 0 0 0\n",
             upTo256 + "256 1 2\n",
             upTo256 + "256 1 2 x\n",
             upTo256 + "256 1 2 3 4\n",
             upTo256 + "256 1 2 40000\n",
             upTo256 + "x 1 2 3\n",
             "0 0 0 0 1 0 0 0\n" + text.substr(text.find("2  0")),
         })
        EXPECT_FALSE(parseGammaTable(bad)) << bad.substr(0, 40);
}

TEST(GammaTableFile, ReadAndWriteKeepTablesOnFailure) {
    TempDir dir;
    GammaCurves g;
    g.table[1][100] = 77;
    g.pointsFromTable();
    RecordingUi ui;

    GammaCurves target;
    target.table[0][0] = 5;
    const GammaCurves before = target;
    EXPECT_FALSE(readGammaTable(dir.path(), target, ui)); // missing
    writeBytes(dir / "gammatable.TBL", "0 0 0 0\n");
    EXPECT_FALSE(readGammaTable(dir.path(), target, ui)); // malformed
    EXPECT_EQ(target.table, before.table);
    EXPECT_EQ(ui.texts(), (std::vector<std::string>{std::string(kMsgGammaTableMissing),
                                                    std::string(kMsgGammaTableBad)}));

    ui.clear();
    ASSERT_TRUE(writeGammaTable(dir.path(), g, ui));
    EXPECT_EQ(readBytes(dir / "gammatable.TBL"), formatGammaTable(g));
    ASSERT_TRUE(readGammaTable(dir.path(), target, ui));
    EXPECT_EQ(target.table, g.table);
    EXPECT_EQ(target.points[1][25], 77);
    EXPECT_TRUE(ui.prompts().empty());

    EXPECT_FALSE(writeGammaTable(dir / "missing-folder", g, ui));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{std::string(kMsgGammaTableNotSaved)});
}

} // namespace
} // namespace kv::media
