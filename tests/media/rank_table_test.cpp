#include "media/media_calibration.h"
#include "media/media_files.h"
#include "media/media_messages.h"
#include "media/media_rank_table.h"
#include "media/rank_rebuild.h"
#include "platform/numbers.h"
#include "platform/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace kv::media {
namespace {

using platform::RecordingUi;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

// The default table as bytes, written out by hand from the file layout.
std::string defaultImage() {
    std::string image;
    for (int i = 0; i < 90; ++i)
        image += std::string("\x00\x00\x80\x3F", 4); // 1.0f
    for (const char* v : {"\x48\x00", "\x3D\x01", "\xDF\x00", "\xFE\x01", "\xC8\x00", "\xFE\x01"})
        for (int i = 0; i < 30; ++i)
            image += std::string(v, 2); // 72, 317, 223, 510, 200, 510
    return image;
}

TEST(MediaRankTable, BytesMatchTheFileLayout) {
    std::string image = defaultImage();
    ASSERT_EQ(image.size(), 720u);
    EXPECT_EQ(MediaRankTable::defaults().toBytes(), image);

    image.replace(120 + 12 * 4, 4, std::string("\x00\x00\x00\x3F", 4)); // sensM row M = 0.5
    image.replace(660 + 29 * 2, 2, "\xFE\xFF");                         // TDBY row 29 = -2
    const auto table = MediaRankTable::fromBytes(image);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->sensM[12], 0.5f);
    EXPECT_EQ(table->tdby[29], -2);
    EXPECT_EQ(table->value(RankColumn::SensM, 12), 0.5);
    EXPECT_EQ(table->value(RankColumn::TDBY, 29), -2);
    EXPECT_EQ(table->value(RankColumn::SensM, 30), 0.5); // outside: the nominal row
    EXPECT_EQ(table->toBytes(), image);
    EXPECT_FALSE(MediaRankTable::fromBytes(image.substr(0, 719)));
}

TEST(MediaRankTable, RankLetters) {
    for (auto [letter, row] : {std::pair{'A', 0},
                               {'m', 12},
                               {'Y', 24},
                               {'y', 24},
                               {'Z', 12},
                               {'@', 12},
                               {'\0', 12},
                               {'\xC4', 12}})
        EXPECT_EQ(rankRow(letter), row) << static_cast<int>(letter);
    EXPECT_EQ(rankLetter(25), 'M');
}

TEST(MediaRankTable, LoadFallsBackToTheWholeDefaultTable) {
    std::string good = defaultImage();
    good[0] = 0x11; // any change that shows the file was read
    const struct {
        const char* fileName;
        std::string bytes;
        RankTableLoad result;
        const char* message;
    } cases[] = {
        {nullptr, {}, RankTableLoad::Missing, "MEDIA.RTB existiert NICHT."},
        {"Media.rtb", std::string(719, '\x22'), RankTableLoad::Short, "Read Media.rtb Data Error."},
        {"MEDIA.RTB", good, RankTableLoad::Loaded, nullptr},
        {"media.rtb", good + "extra", RankTableLoad::Loaded, nullptr},
    };
    for (const auto& c : cases) {
        TempDir dir;
        if (c.fileName)
            writeBytes(dir / c.fileName, c.bytes);
        RecordingUi ui;
        MediaRankTable table;
        table.tdtc.fill(5);
        EXPECT_EQ(loadRankTable(dir.path(), table, ui), c.result);
        if (c.message) {
            ASSERT_EQ(ui.prompts().size(), 1u);
            EXPECT_EQ(ui.prompts()[0].text, c.message);
            EXPECT_EQ(ui.prompts()[0].icon, platform::Ui::Icon::None);
            EXPECT_EQ(table, MediaRankTable::defaults());
        } else {
            EXPECT_TRUE(ui.prompts().empty());
            EXPECT_EQ(table.toBytes(), good);
        }
    }
}

TEST(MediaRankTable, SaveFailureKeepsTheOldFile) {
    TempDir dir;
    RecordingUi ui;
    EXPECT_FALSE(saveRankTable(dir / "missing-folder", MediaRankTable::defaults(), ui));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{std::string(kMsgRankTableNotSaved)});

    // A folder in the file's place cannot be replaced: it stays.
    std::filesystem::create_directory(dir / "Media.rtb");
    EXPECT_FALSE(saveRankTable(dir.path(), MediaRankTable::defaults(), ui));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "Media.rtb"));
}

TEST(RankRebuild, SensitivitiesFollowTheRankSteps) {
    MediaRankTable table = MediaRankTable::defaults();
    for (int r = 25; r < kRankRows; ++r)
        table.sensC[r] = table.sensM[r] = table.sensY[r] = 7.5f;
    sensRebuild(table);
    // 0.66 x 1.01^(40/7) for A to D; an integer exponent would give 0.694 there.
    const struct {
        int row;
        const char* shown;
    } rows[] = {{0, "0.699"}, {3, "0.699"}, {4, "0.727"}, {12, "1.000"}, {24, "1.612"}};
    for (auto [row, shown] : rows) {
        EXPECT_EQ(platform::formatC("%3.3f", static_cast<double>(table.sensC[row])), shown) << row;
        EXPECT_EQ(table.sensM[row], table.sensC[row]);
        EXPECT_EQ(table.sensY[row], table.sensC[row]);
    }
    EXPECT_NEAR(table.sensC[0], 0.698614, 1e-6);

    // Rows 25 to 29 are carried through the rebuild and the file untouched.
    TempDir dir;
    RecordingUi ui;
    ASSERT_TRUE(saveRankTable(dir.path(), table, ui));
    MediaRankTable loaded;
    ASSERT_EQ(loadRankTable(dir.path(), loaded, ui), RankTableLoad::Loaded);
    EXPECT_EQ(loaded, table);
    for (int r = 25; r < kRankRows; ++r)
        EXPECT_EQ(loaded.sensY[r], 7.5f);
}

TEST(RankRebuild, DensitiesAroundRowM) {
    MediaRankTable table = MediaRankTable::defaults();
    table.tdbc[12] = -100;
    table.tdby[12] = 32767;
    table.tdtm[27] = 999;
    const MediaRankTable before = table;
    densRebuild(table);
    // By hand: 72 / 10^(0.02 x 12) + 0.5 = 41.9, 72 x 10^0.02 + 0.5 = 75.9 and so on.
    const struct {
        int row;
        int tdtc, tdbc, tdbm;
    } expected[] = {{0, 41, -57, 293},
                    {11, 69, -94, 487},
                    {12, 72, -100, 510},
                    {13, 75, -104, 534},
                    {24, 125, -173, 886}};
    for (const auto& e : expected) {
        EXPECT_EQ(table.tdtc[e.row], e.tdtc) << e.row;
        EXPECT_EQ(table.tdbc[e.row], e.tdbc) << e.row;
        EXPECT_EQ(table.tdbm[e.row], e.tdbm) << e.row;
    }
    EXPECT_EQ(table.tdby[24], 32767); // stops at the 16-bit end instead of wrapping
    EXPECT_EQ(table.tdtm[27], 999);
    for (auto column : {&MediaRankTable::tdtc, &MediaRankTable::tdbc, &MediaRankTable::tdtm,
                        &MediaRankTable::tdbm, &MediaRankTable::tdty, &MediaRankTable::tdby})
        EXPECT_EQ((table.*column)[12], (before.*column)[12]);
    EXPECT_EQ(table.sensC, before.sensC);
}

TEST(MediaTxt, ExactReport) {
    MediaRankTable table = MediaRankTable::defaults();
    table.sensM[24] = 1.2344f;
    table.tdby[24] = -7;
    std::tm time{};
    time.tm_hour = 9;
    time.tm_min = 5;
    time.tm_sec = 7;
    time.tm_mday = 3;
    time.tm_mon = 3;
    time.tm_year = 124;
    const std::string text = formatMediaTxt(table, time);
    const std::string head = " \r\n\r\n\tMedia Rank Table    09:05:07    3/ 4/2024  \r\n\r\n"
                             "Rank   SensC SensM SensY    TDTC   TDBC   TDTM   TDBM   TDTY   TDBY"
                             "\r\n"
                             "A      1.000 1.000 1.000     72    317    223    510    200    510 "
                             "\r\n";
    const std::string tail = "Y      1.000 1.234 1.000     72    317    223    510    200     -7 "
                             "\r\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(text.size(), head.size() + 24 * tail.size());

    TempDir dir;
    RecordingUi ui;
    ASSERT_TRUE(writeMediaTxt(dir.path(), table, ui));
    EXPECT_EQ(readBytes(dir / "media.txt").size(), text.size());
    EXPECT_TRUE(ui.prompts().empty());
    EXPECT_FALSE(writeMediaTxt(dir / "missing-folder", table, ui));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{std::string(kMsgMediaTxtNotSaved)});
}

TEST(BaseMedia, DefaultsLoadAndSave) {
    TempDir dir;
    MediaCalibration cal;
    cal.baseMedia.fill("x");
    loadBaseMedia(dir.path(), cal); // no file: the defaults
    EXPECT_EQ(cal.baseMedia, MediaCalibration().baseMedia);
    EXPECT_EQ(cal.baseMediaValue("r256ratio"), "1.4");
    EXPECT_EQ(cal.baseMediaValue("Nope"), "");

    writeBytes(dir / "basmedia.ini", "; service values\r\n[Other]\r\nRLimit=5\r\n"
                                     "[basemedia]\r\nrlimit = 900\r\nGBase128=\"250\"\r\n");
    loadBaseMedia(dir.path(), cal);
    EXPECT_EQ(cal.baseMediaValue("RLimit"), "900");
    EXPECT_EQ(cal.baseMediaValue("GBase128"), "250");
    EXPECT_EQ(cal.baseMediaValue("GLimit"), "1019");

    cal.setBaseMediaValue("OVbg", "0.75");
    ASSERT_TRUE(saveBaseMedia(dir.path(), cal));
    EXPECT_FALSE(std::filesystem::exists(dir / "BasMedia.ini")); // the existing spelling is kept
    const std::string text = readBytes(dir / "basmedia.ini");
    EXPECT_EQ(text.rfind("; service values\r\n[Other]\r\nRLimit=5\r\n", 0), 0u);
    EXPECT_NE(text.find("OVbg=0.75\r\n"), std::string::npos);
    MediaCalibration again;
    loadBaseMedia(dir.path(), again);
    EXPECT_EQ(again.baseMedia, cal.baseMedia);

    cal.setBaseMediaValue("Prg", "1\n[Evil]");
    EXPECT_FALSE(saveBaseMedia(dir.path(), cal));
    EXPECT_EQ(readBytes(dir / "basmedia.ini"), text);
    EXPECT_FALSE(saveBaseMedia(dir / "missing-folder", again));
}

TEST(MediaCalibration, RowsOutsideTheTableSelectRowM) {
    MediaRankTable table = MediaRankTable::defaults();
    table.tdby[12] = 400;
    MediaCalibration cal;
    cal.selectRank(table, RankColumn::TDBY, 99);
    EXPECT_EQ(cal.rankIndex[8], 12);
    EXPECT_EQ(cal.selectedValue(RankColumn::TDBY), 400);
}

} // namespace
} // namespace kv::media
