#include "albums/album_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kv::albums {
namespace {

using namespace std::string_literals;

// A 3 x 2 thumbnail: 9 pixel bytes per row, padded to a stride of 12.
const std::string kRecord3x2 = "\x03\x00\x00\x00"
                               "\x02\x00\x00\x00"
                               "\x01\x00\x00\x00"
                               "\x10\x11\x12\x20\x21\x22\x30\x31\x32\x00\x00\x00"
                               "\x40\x41\x42\x50\x51\x52\x60\x61\x62\x00\x00\x00"s;

platform::Bitmap24 bitmap3x2() {
    platform::Bitmap24 b = platform::Bitmap24::make(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c)
                b.at(x, y)[c] = static_cast<std::uint8_t>(0x10 * (1 + x + 3 * y) + c);
    return b;
}

TEST(AlbumListFormat, WritesCountAndNamesWithCrLf) {
    EXPECT_EQ(formatAlbumList({"My_Album"}), "1\r\nMy_Album\r\n");
    EXPECT_EQ(formatAlbumList({"My_Album", "Urlaub 2023", "x"}),
              "3\r\nMy_Album\r\nUrlaub 2023\r\nx\r\n");
}

TEST(AlbumListFormat, ReadsSoundAndDamagedLists) {
    struct Case {
        std::string bytes;
        std::vector<std::string> names;
        bool damaged;
    };
    const std::vector<Case> cases = {
        {"1\r\nMy_Album\r\n", {"My_Album"}, false},
        {"2\r\n\r\n  A b\r\nC\r\n", {"A b", "C"}, false}, // blanks before the first name
        {"2\nA\nB", {"A", "B"}, false},                   // LF only, no final line end
        {"1\r\nA\r\nextra\r\n", {"A"}, false},
        {"3\r\nA\r\nB\r\n", {"A", "B"}, true}, // a name missing
        {"0\r\nA\r\n", {"A"}, true},
        {"-4\r\nA\r\nB\r\n", {"A", "B"}, true},
        {"", {}, true},
        {"abc\r\n", {}, true},
        {"3\r\nA\r\n../evil\r\nB\r\n", {"A", "B"}, true}, // would reach outside the folder
        {"3\r\nA\r\n\r\n..\r\n", {"A"}, true},
        {"3\r\n..\r\n  A\r\n   \r\n", {"A"}, true}, // blank names are no names
    };
    for (const Case& c : cases) {
        const AlbumList list = parseAlbumList(c.bytes);
        EXPECT_EQ(list.names, c.names) << c.bytes;
        EXPECT_EQ(list.damaged, c.damaged) << c.bytes;
    }
}

TEST(AlbumListFormat, NeverReadsMoreThanTheTableHolds) {
    std::string bytes = "500\r\n";
    for (int i = 0; i < 150; ++i)
        bytes += "A" + std::to_string(i) + "\r\n";
    const AlbumList list = parseAlbumList(bytes);
    EXPECT_EQ(list.names.size(), 100u);
    EXPECT_TRUE(list.damaged);
}

TEST(NameFileFormat, CountIsRightAlignedInTwoColumns) {
    std::vector<NameEntry> nine(9, NameEntry{"/p/a.jpg", "a.jpg"});
    EXPECT_EQ(formatNameFile(nine).substr(0, 14), " 9\r\n/p/a.jpg\r\n");
    std::vector<NameEntry> twelve(12, NameEntry{"/p/a.jpg", "a.jpg"});
    EXPECT_EQ(formatNameFile(twelve).substr(0, 4), "12\r\n");
    EXPECT_EQ(formatNameFile({{"/home/u/Bilder/a b.jpg", "a b.jpg"}, {"/x/y.BMP", "y.BMP"}}),
              " 2\r\n/home/u/Bilder/a b.jpg\r\na b.jpg\r\n/x/y.BMP\r\ny.BMP\r\n");
}

TEST(NameFileFormat, ReadsSoundAndDamagedFiles) {
    struct Case {
        std::string bytes;
        std::size_t entries;
        bool damaged;
    };
    const std::vector<Case> cases = {
        {" 2\r\n/a.bmp\r\na.bmp\r\n/b c.jpg\r\nb c.jpg\r\n", 2, false},
        {"", 0, false},
        {" 0\r\n", 0, false},
        {" 1\n/a.bmp\na.bmp", 1, false},
        {" 3\r\n/a.bmp\r\na.bmp\r\n/b.bmp\r\n", 1, true}, // short: only whole entries
        {"-1\r\n/a.bmp\r\na.bmp\r\n", 0, true},
        {"xx\r\n", 0, true},
        {"2147483647\r\n/a.bmp\r\na.bmp\r\n", 1, true},
    };
    for (const Case& c : cases) {
        const NameFile file = parseNameFile(c.bytes);
        EXPECT_EQ(file.entries.size(), c.entries) << c.bytes;
        EXPECT_EQ(file.damaged, c.damaged) << c.bytes;
    }
    const NameFile file = parseNameFile(" 2\r\n/a.bmp\r\na.bmp\r\n/b c.jpg\r\nb c.jpg\r\n");
    EXPECT_EQ(file.entries[1].fullPath, "/b c.jpg");
    EXPECT_EQ(file.entries[1].displayName, "b c.jpg");
}

TEST(NameFileFormat, NeverHoldsMoreThan99Pictures) {
    std::string bytes = "150\r\n";
    for (int i = 0; i < 150; ++i)
        bytes += "/p\r\np\r\n";
    const NameFile file = parseNameFile(bytes);
    EXPECT_EQ(file.entries.size(), 99u);
    EXPECT_TRUE(file.damaged);
}

TEST(DataFileFormat, RecordHasHeaderAndPaddedRows) {
    std::string out;
    appendRecord(out, bitmap3x2(), 1);
    EXPECT_EQ(out, kRecord3x2);

    const std::string twice = kRecord3x2 + kRecord3x2; // records point into it
    const DataFile file = parseDataFile(twice);
    ASSERT_EQ(file.records.size(), 2u);
    EXPECT_FALSE(file.damaged);
    EXPECT_EQ(file.records[1].width, 3);
    EXPECT_EQ(file.records[1].height, 2);
    EXPECT_EQ(file.records[1].rotation, 1);
    const platform::Bitmap24 back = recordThumbnail(file.records[0]);
    EXPECT_EQ(back.pixels, bitmap3x2().pixels);

    std::string copy;
    appendRecord(copy, file.records[0]);
    EXPECT_EQ(copy, kRecord3x2);
}

TEST(DataFileFormat, EmptyThumbnailIsAZeroRecord) {
    std::string out;
    appendRecord(out, platform::Bitmap24{}, 6);
    EXPECT_EQ(out, "\0\0\0\0\0\0\0\0\x02\0\0\0"s);
    const DataFile file = parseDataFile(out);
    ASSERT_EQ(file.records.size(), 1u);
    EXPECT_FALSE(file.damaged);
}

TEST(DataFileFormat, StopsAtTheFirstBadRecord) {
    auto header = [](std::string w, std::string h, std::string r) { return w + h + r; };
    const std::string one = "\x01\0\0\0"s;
    const std::vector<std::string> bad = {
        header("\xff\xff\xff\xff"s, one, "\0\0\0\0"s),                 // negative width
        header(one, "\x00\x00\x00\x80"s, "\0\0\0\0"s),                 // negative height
        header(one, one, "\x04\0\0\0"s) + "\0\0\0\0"s,                 // rotation 4
        header("\x65\0\0\0"s, "\x4c\0\0\0"s, "\0\0\0\0"s),             // 101 x 76: too big
        header("\xff\xff\xff\x7f"s, "\xff\xff\xff\x7f"s, "\0\0\0\0"s), // overflowing size
        header("\0\0\0\0"s, one, "\0\0\0\0"s),                         // 0 x 1
    };
    for (const std::string& b : bad) {
        const std::string bytes = kRecord3x2 + b + kRecord3x2;
        const DataFile file = parseDataFile(bytes);
        EXPECT_EQ(file.records.size(), 1u) << testing::PrintToString(b);
        EXPECT_TRUE(file.damaged);
    }
    // A short last record, in its pixels or in its header.
    for (std::size_t cut : {7u, 20u}) {
        const std::string bytes = kRecord3x2 + kRecord3x2.substr(0, cut);
        const DataFile file = parseDataFile(bytes);
        EXPECT_EQ(file.records.size(), 1u);
        EXPECT_TRUE(file.damaged);
    }
    // 100 x 75 and 75 x 100 fit the 24,000-byte bound; 80 x 100 fills it.
    const std::string big = "\x64\0\0\0\x4b\0\0\0\0\0\0\0"s + std::string(22500, '\x7f');
    const std::string bound = "\x50\0\0\0\x64\0\0\0\0\0\0\0"s + std::string(24000, '\x7f');
    const std::string tall = "\x4b\0\0\0\x64\0\0\0\x03\0\0\0"s + std::string(22800, '\x7f');
    EXPECT_EQ(parseDataFile(big + tall + bound).records.size(), 3u);
}

// Records carry no mark of their picture: only a pair in step is paired by position.
TEST(AlbumPair, KeepsEveryNameAndPairsRecordsOnlyInStep) {
    const std::string twoNames = " 2\r\n/a.jpg\r\na.jpg\r\n/b.jpg\r\nb.jpg\r\n";
    // Rotation 2 in the second record tells the records apart.
    const std::string second = kRecord3x2.substr(0, 8) + "\x02\0\0\0"s + kRecord3x2.substr(12);
    const std::string cut = kRecord3x2 + kRecord3x2.substr(0, 20);
    struct Case {
        const char* what;
        std::string data;
        std::vector<int> rotations; // per name; -1: blank record
        bool damaged;
    };
    const std::vector<Case> cases = {
        {"in step", kRecord3x2 + second, {1, 2}, false},
        {"one record more", kRecord3x2 + second + kRecord3x2, {-1, -1}, true},
        {"one record fewer", second, {-1, -1}, true},
        {"no data file", "", {-1, -1}, true},
        {"cut inside the second record", cut, {1, -1}, true},
        {"cut after more records than names", kRecord3x2 + second + cut, {-1, -1}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const AlbumFiles album = pairAlbumFiles(twoNames, c.data);
        EXPECT_EQ(album.damaged, c.damaged);
        ASSERT_EQ(album.entries.size(), 2u);
        EXPECT_EQ(album.entries[0].name.fullPath, "/a.jpg");
        EXPECT_EQ(album.entries[1].name.displayName, "b.jpg");
        for (std::size_t i = 0; i < 2; ++i) {
            const ThumbnailRecord& r = album.entries[i].record;
            if (c.rotations[i] < 0) {
                EXPECT_EQ(r.width, 0);
                EXPECT_EQ(r.height, 0);
                EXPECT_EQ(r.rotation, 0);
                EXPECT_TRUE(r.pixels.empty());
            } else {
                EXPECT_EQ(r.rotation, c.rotations[i]);
                EXPECT_EQ(r.width, 3);
            }
        }
    }
    // A names file cut short keeps its whole entries; the records no longer match.
    const AlbumFiles cutNames = pairAlbumFiles(" 2\r\n/a.jpg\r\na.jpg\r\n/b", kRecord3x2 + second);
    EXPECT_TRUE(cutNames.damaged);
    ASSERT_EQ(cutNames.entries.size(), 1u);
    EXPECT_EQ(cutNames.entries[0].record.width, 0);
}

TEST(AlbumNames, RefusesNamesThatAreNoFileNames) {
    struct Case {
        std::string name;
        NameProblem problem;
    };
    const std::vector<Case> cases = {
        {"Urlaub 2023", NameProblem::None},
        {"Öland-Reise", NameProblem::None},
        {std::string(49, 'x'), NameProblem::None},
        {std::string(50, 'x'), NameProblem::TooLong},
        {"", NameProblem::Empty},
        {"   ", NameProblem::Empty},
        {".", NameProblem::BadCharacter},
        {"..", NameProblem::BadCharacter},
        {"../x", NameProblem::BadCharacter},
        {"a\\b", NameProblem::BadCharacter},
        {"a:b", NameProblem::BadCharacter},
        {"a*", NameProblem::BadCharacter},
        {"a?", NameProblem::BadCharacter},
        {"\"a\"", NameProblem::BadCharacter},
        {"<a>", NameProblem::BadCharacter},
        {"a|b", NameProblem::BadCharacter},
        {"a\tb", NameProblem::BadCharacter},
        {"a\nb", NameProblem::BadCharacter},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkAlbumName(c.name), c.problem) << c.name;
}

TEST(PictureTexts, MustFitOneLineOf127Bytes) {
    EXPECT_EQ(checkPictureText(std::string(127, 'p')), PathProblem::None);
    EXPECT_EQ(checkPictureText(std::string(128, 'p')), PathProblem::TooLong);
    EXPECT_EQ(checkPictureText("/a\nb.jpg"), PathProblem::LineBreak);
    EXPECT_EQ(checkPictureText("/a\rb.jpg"), PathProblem::LineBreak);
}

} // namespace
} // namespace kv::albums
