#include "platform/profile.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kv::platform {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

TEST(Profile, Lookup) {
    const struct {
        std::string_view text, section, key;
        std::optional<std::string> value;
    } cases[] = {
        {"[Image]\r\nContrast=3\r\n", "image", "CONTRAST", "3"},
        {"[Image]\r\n  Contrast  =  3 4 \t\r\n", "Image", "Contrast", "3 4"},
        {"[Image]\nContrast=3\n", "Image", "Contrast", "3"},         // LF only
        {"[Image]\r\nContrast=3", "Image", "Contrast", "3"},         // no last line end
        {"\xEF\xBB\xBF[Image]\r\nEdge=1\r\n", "Image", "Edge", "1"}, // UTF-8 mark
        {"  [ Image ]  \r\nEdge=1\r\n", "Image", "Edge", "1"},
        {"[Image] ; note\r\nEdge=1\r\n", "Image", "Edge", "1"},
        {"[Image]\r\nEdge=\r\n", "Image", "Edge", ""},
        {"[Image]\r\nMatchFile=a=b.cct\r\n", "Image", "MatchFile", "a=b.cct"},
        {"[Image]\r\nMatchFile=\"my table.cct\"\r\n", "Image", "MatchFile", "my table.cct"},
        {"[Image]\r\nk=\"\"\r\n", "Image", "k", ""},
        {"[Image]\r\nk=\"\r\n", "Image", "k", "\""},
        {"[Image]\r\nk=\"a\"b\"\r\n", "Image", "k", "a\"b"},
        {"[Image]\r\nk='a'\r\n", "Image", "k", "'a'"},
        {std::string_view("[Image]\r\nk=a\0b\r\n", 15), "Image", "k", std::string("a\0b", 3)},
        {" Image ", " Image ", "k", std::nullopt},
        {"[Image]\r\n k =1\r\n", " Image ", " k ", "1"}, // the caller's blanks do not count
        // Duplicates: the first section and the first key count.
        {"[Image]\r\nEdge=1\r\nEdge=2\r\n", "Image", "Edge", "1"},
        {"[Image]\r\nEdge=1\r\n[IMAGE]\r\nEdge=2\r\n", "Image", "Edge", "1"},
        {"[Image]\r\nx=1\r\n[Image]\r\nEdge=2\r\n", "Image", "Edge", std::nullopt},
        // Not entries of the section.
        {"[Image]\r\n;Edge=1\r\n", "Image", "Edge", std::nullopt},
        {"[Image]\r\n  ; Edge=1\r\n", "Image", "Edge", std::nullopt},
        {"[Image]\r\nEdge 1\r\n", "Image", "Edge", std::nullopt},
        {"Edge=1\r\n[Image]\r\n", "Image", "Edge", std::nullopt}, // before any section
        {"[Other]\r\nEdge=1\r\n", "Image", "Edge", std::nullopt},
        {"[Image]\r\nEdgeX=1\r\n", "Image", "Edge", std::nullopt},
        {"[ImageX]\r\nEdge=1\r\n", "Image", "Edge", std::nullopt},
        {"[Image\r\nEdge=1\r\n", "Image", "Edge", std::nullopt},
        {"", "Image", "Edge", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Profile::lookup(c.text, c.section, c.key), c.value) << c.text;
}

TEST(Profile, UpdateChangesOnlyItsOwnLineAndEndsEveryLineWithCrLf) {
    const struct {
        std::string_view text, section, key, value, expected;
    } cases[] = {
        // Missing file, section or key.
        {"", "Image", "Edge", "1", "[Image]\r\nEdge=1\r\n"},
        {"[A]\r\na=1\r\n", "Image", "Edge", "1", "[A]\r\na=1\r\n\r\n[Image]\r\nEdge=1\r\n"},
        {"[A]\r\na=1", "Image", "Edge", "1", "[A]\r\na=1\r\n\r\n[Image]\r\nEdge=1\r\n"},
        {"[A]\r\na=1\r\n\r\n", "Image", "Edge", "1", "[A]\r\na=1\r\n\r\n[Image]\r\nEdge=1\r\n"},
        {"[A]\r\na=1\r\n\r\n[B]\r\nb=2\r\n", "a", "c", "3",
         "[A]\r\na=1\r\nc=3\r\n\r\n[B]\r\nb=2\r\n"},
        {"[A]\r\na=1\r\n; about B\r\n[B]\r\n", "A", "c", "3",
         "[A]\r\na=1\r\nc=3\r\n; about B\r\n[B]\r\n"},
        {"[A]\r\na=1", "A", "c", "3", "[A]\r\na=1\r\nc=3\r\n"},
        {"[A]\r\n", "A", "c", "3", "[A]\r\nc=3\r\n"},
        {"[A]", "A", "c", "3", "[A]\r\nc=3\r\n"},
        {"[A]\n; note\n\n", "A", "c", "3", "[A]\r\nc=3\r\n; note\r\n\r\n"},
        {" Image ", " Image ", " Edge ", "1", " Image \r\n\r\n[Image]\r\nEdge=1\r\n"},
        // Existing key: the caller's spelling replaces the line, the rest stays.
        {"; settings\r\n[Image]\r\n  contrast = 3\r\nEdge=1\r\n", "IMAGE", "Contrast", "5",
         "; settings\r\n[Image]\r\nContrast=5\r\nEdge=1\r\n"},
        {"[Image]\nEdge=1\nX=2\n", "Image", "Edge", "0", "[Image]\r\nEdge=0\r\nX=2\r\n"},
        {"[Image]\r\nEdge=1", "Image", "Edge", "", "[Image]\r\nEdge=\r\n"},
        {"[Image]\r\nMatchFile=normal.cct\r\n", "Image", "MatchFile", "a=b.cct",
         "[Image]\r\nMatchFile=a=b.cct\r\n"},
        {"  [ Image ]  \r\nEdge=1\r\n", "image", "Edge", "2", "  [ Image ]  \r\nEdge=2\r\n"},
        {"\xEF\xBB\xBF[Image]\r\nEdge=1\r\n", "Image", "Edge", "2",
         "\xEF\xBB\xBF[Image]\r\nEdge=2\r\n"},
        // Comments, stray lines and odd bytes come through byte for byte.
        {"; head\r\ngarbage\tline\r\n[A]\r\n  ; k=9  \r\n?? x\r\nk=1\r\nodd\rcr\r\n", "A", "k", "2",
         "; head\r\ngarbage\tline\r\n[A]\r\n  ; k=9  \r\n?? x\r\nk=2\r\nodd\rcr\r\n"},
        // Duplicates: the first section and the first key are written.
        {"[Image]\r\nEdge=1\r\nEdge=5\r\n[image]\r\nTone=1\r\n", "Image", "Edge", "2",
         "[Image]\r\nEdge=2\r\nEdge=5\r\n[image]\r\nTone=1\r\n"},
        {"[Image]\r\nEdge=1\r\n[image]\r\nTone=1\r\n", "Image", "Tone", "2",
         "[Image]\r\nEdge=1\r\nTone=2\r\n[image]\r\nTone=1\r\n"},
    };
    for (const auto& c : cases) {
        const std::string out = Profile::update(c.text, c.section, c.key, c.value);
        EXPECT_EQ(out, c.expected) << c.text;
        EXPECT_EQ(Profile::lookup(out, c.section, c.key), std::string(c.value)) << c.text;
    }
}

TEST(Profile, RefusesEntriesThatWouldNotReadBack) {
    const std::string before = "[A]\r\nk=1\n";
    const struct {
        std::string_view section, key, value;
    } cases[] = {
        {"A", "k", "1\r\nx=2"}, {"A", "k", "1\n"},   {"A", "k", std::string_view("a\0b", 3)},
        {"A", "a=b", "1"},      {"A", "a\nb", "1"},  {"A", "", "1"},
        {"A", "  ", "1"},       {"A", ";k", "1"},    {"A", "[k", "1"},
        {"A]", "k", "1"},       {"A\r\n", "k", "1"}, {"", "k", "1"},
    };
    TempDir dir;
    writeBytes(dir / "a.ini", before);
    Profile p(dir / "a.ini");
    for (const auto& c : cases) {
        EXPECT_FALSE(Profile::canWrite(c.section, c.key, c.value)) << c.section << '/' << c.key;
        EXPECT_EQ(Profile::update(before, c.section, c.key, c.value), before);
        EXPECT_FALSE(p.writeString(c.section, c.key, c.value)) << c.section << '/' << c.key;
    }
    EXPECT_EQ(readBytes(dir / "a.ini"), before);
}

TEST(Profile, ReadsDefaultsWhenFileSectionOrKeyIsMissing) {
    TempDir dir;
    const Profile missing(dir / "kvx00.ini");
    EXPECT_EQ(missing.readString("SetMediaID", "DisplayAtStartup", "1"), "1");
    EXPECT_EQ(missing.readInt("LPT PORT", "LPT_ADDRESS", 0), 0);

    const Profile folder(dir.path());
    EXPECT_EQ(folder.readString("A", "b", "dflt"), "dflt");

    writeBytes(dir / "kvprn.ini", "[MediaID]\r\nIDString=AMMMMMMMMM\r\n");
    const Profile p(dir / "kvprn.ini");
    EXPECT_EQ(p.readString("mediaid", "idstring", "x"), "AMMMMMMMMM");
    EXPECT_EQ(p.readString("MediaID", "Other", "x"), "x");
    EXPECT_EQ(p.readString("LPT PORT", "IDString", "x"), "x");
}

TEST(Profile, ReadIntTakesTheLeadingNumber) {
    TempDir dir;
    writeBytes(dir / "kvprn.ini", "[LPT PORT]\r\n"
                                  "a=888\r\nb= -3 \r\nc=7abc\r\nd=abc\r\ne=\r\n"
                                  "f=99999999999\r\ng=0x378\r\nh=\"12\"\r\ni=+5\r\nj=-\r\n");
    const Profile p(dir / "kvprn.ini");
    const struct {
        const char* key;
        int value;
    } cases[] = {
        {"a", 888},
        {"b", -3},
        {"c", 7},
        {"d", 0}, // as the Windows call: present but no number
                  // reads 0
        {"e", 42},
        {"f", 42},
        {"g", 0},
        {"h", 12},
        {"i", 5},
        {"j", 0},
        {"missing", 42},
    };
    for (const auto& c : cases)
        EXPECT_EQ(p.readInt("lpt port", c.key, 42), c.value) << c.key;
}

TEST(Profile, WriteStringCreatesAndRewritesTheFile) {
    TempDir dir;
    Profile p(dir / "kvx00.ini");
    ASSERT_TRUE(p.writeString("MediaRank", "MediaVersion", "A"));
    ASSERT_TRUE(p.writeString("MediaRank", "sensC", "M"));
    ASSERT_TRUE(p.writeString("SetMediaID", "DisplayAtStartup", "0"));
    ASSERT_TRUE(p.writeString("mediarank", "SENSC", "K"));
    EXPECT_EQ(readBytes(dir / "kvx00.ini"), "[MediaRank]\r\nMediaVersion=A\r\nSENSC=K\r\n"
                                            "\r\n[SetMediaID]\r\nDisplayAtStartup=0\r\n");
    EXPECT_EQ(p.readString("MEDIARANK", "sensc", "M"), "K");

    writeBytes(dir / "lf.ini", "; kept\n[Image]\nEdge=1");
    Profile lf(dir / "lf.ini");
    ASSERT_TRUE(lf.writeString("Image", "Edge", "2"));
    EXPECT_EQ(readBytes(dir / "lf.ini"), "; kept\r\n[Image]\r\nEdge=2\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(Profile, WriteStringFailsWithoutLosingAnything) {
    TempDir dir;
    // A file that exists but cannot be read must not be replaced by a one-key file.
    fs::create_directory(dir / "taken.ini");
    writeBytes(dir / "taken.ini" / "inside", "keep");
    EXPECT_FALSE(Profile(dir / "taken.ini").writeString("A", "k", "1"));
    EXPECT_EQ(readBytes(dir / "taken.ini" / "inside"), "keep");

    EXPECT_FALSE(Profile(dir / "missing" / "a.ini").writeString("A", "k", "1"));
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

} // namespace
} // namespace kv::platform
