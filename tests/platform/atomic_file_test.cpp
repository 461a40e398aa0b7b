#include "platform/atomic_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace kv::platform {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

int entriesIn(const fs::path& dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
        ++n;
    return n;
}

TEST(AtomicFile, WritesNewFileByteExactWithoutLeftovers) {
    TempDir dir;
    const std::string bytes("line\r\n\0\xff end", 12);
    ASSERT_TRUE(writeFileAtomic(dir / "album.dat", bytes));
    EXPECT_EQ(readBytes(dir / "album.dat"), bytes);
    EXPECT_EQ(entriesIn(dir.path()), 1);
}

TEST(AtomicFile, ReplacesOldFileAndKeepsItsPermissions) {
    TempDir dir;
    writeBytes(dir / "kvx00.ini", "old contents that are longer than the new ones");
    fs::permissions(dir / "kvx00.ini",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(writeFileAtomic(dir / "kvx00.ini", "new"));
    EXPECT_EQ(readBytes(dir / "kvx00.ini"), "new");
    EXPECT_EQ(fs::status(dir / "kvx00.ini").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entriesIn(dir.path()), 1);
}

TEST(AtomicFile, WritesThroughALinkAndKeepsTheLink) {
    TempDir dir;
    writeBytes(dir / "real.ini", "old");
    fs::create_symlink("real.ini", dir / "kvx00.ini");
    ASSERT_TRUE(writeFileAtomic(dir / "kvx00.ini", "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "kvx00.ini"));
    EXPECT_EQ(readBytes(dir / "real.ini"), "new");
    EXPECT_EQ(entriesIn(dir.path()), 2);
}

TEST(AtomicFile, NewFileGetsTheUsualModeNotAPrivateOne) {
    TempDir dir;
    const mode_t mask = ::umask(022);
    const bool written = writeFileAtomic(dir / "new.dat", "x");
    ::umask(mask);
    ASSERT_TRUE(written);
    EXPECT_EQ(fs::status(dir / "new.dat").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
}

TEST(AtomicFile, FailureLeavesTargetAndFolderAsTheyWere) {
    TempDir dir;
    EXPECT_FALSE(writeFileAtomic(dir / "missing" / "file.dat", "x"));
    EXPECT_FALSE(fs::exists(dir / "missing"));

    fs::create_directory(dir / "taken");
    writeBytes(dir / "taken" / "inner", "keep");
    EXPECT_FALSE(writeFileAtomic(dir / "taken", "x"));
    EXPECT_EQ(readBytes(dir / "taken" / "inner"), "keep");
    EXPECT_EQ(entriesIn(dir.path()), 1); // no temporary file left beside it
}

TEST(AtomicFile, NoRegularFileIsReplacedAndCutOffWritesAreCleanedUp) {
    TempDir dir;
    // A pipe (or a device node) in the target's place stays what it is.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(writeFileAtomic(dir / "pipe", "x"));
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));

    // The temporary file of a write whose maker has ended goes with the next write of
    // the same file; one of a running maker, or of another file, stays.
    const std::string dead = ".sheet.bmp.tmp-999999999-abcdef";
    const std::string running = ".sheet.bmp.tmp-" + std::to_string(::getpid()) + "-abcdef";
    const std::string other = ".other.bmp.tmp-999999999-abcdef";
    for (const std::string& name : {dead, running, other})
        writeBytes(dir / name, "half");
    ASSERT_TRUE(writeFileAtomic(dir / "sheet.bmp", "whole"));
    EXPECT_FALSE(fs::exists(dir / dead));
    EXPECT_TRUE(fs::exists(dir / running));
    EXPECT_TRUE(fs::exists(dir / other));
}

TEST(AtomicFile, ReadFile) {
    TempDir dir;
    std::string bytes = "untouched";
    EXPECT_FALSE(readFile(dir / "missing", bytes));
    EXPECT_FALSE(readFile(dir.path(), bytes));
    EXPECT_EQ(bytes, "untouched");

    writeBytes(dir / "empty", "");
    ASSERT_TRUE(readFile(dir / "empty", bytes));
    EXPECT_EQ(bytes, "");

    std::string big(200000, 'a');
    big[0] = '\0';
    big[199999] = '\x1a';
    writeBytes(dir / "big", big);
    ASSERT_TRUE(readFile(dir / "big", bytes));
    EXPECT_EQ(bytes, big);
}

} // namespace
} // namespace kv::platform
