#include "albums/album_journal.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace kv::albums {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;
using Kind = JournalStep::Kind;

TEST(JournalFormat, ReadsOnlyCompleteJournalsOfPlainNames) {
    const std::vector<JournalStep> steps = {
        {Kind::Replace, "album.dat"}, {Kind::Replace, "Noch leer.dat1"}, {Kind::Remove, "B.dat"}};
    const std::string bytes = formatJournal(steps);
    EXPECT_EQ(bytes, "kvphoto album journal 1\nreplace\talbum.dat\nreplace\tNoch leer.dat1\n"
                     "remove\tB.dat\nend\n");
    EXPECT_EQ(parseJournal(bytes), steps);
    EXPECT_EQ(parseJournal(formatJournal({})), std::vector<JournalStep>{});

    const std::vector<std::string> refused = {
        "",
        bytes.substr(0, bytes.size() - 4),                  // cut before "end"
        bytes.substr(0, bytes.size() - 1),                  // "end" without line end
        bytes + "remove\tx.dat\n",                          // more after "end"
        "kvphoto album journal 2\nend\n",                   // another version
        "kvphoto album journal 1\nrename\ta.dat\nend\n",    // unknown step
        "kvphoto album journal 1\nremove a.dat\nend\n",     // no tab
        "kvphoto album journal 1\nremove\t../a.dat\nend\n", // outside the folder
        "kvphoto album journal 1\nremove\t..\nend\n",
        "kvphoto album journal 1\nreplace\t\nend\n",
        "kvphoto album journal 1\nremove\t/etc/passwd\nend\n",
    };
    for (const std::string& r : refused)
        EXPECT_FALSE(parseJournal(r)) << r;
}

class JournalRecovery : public ::testing::Test {
  protected:
    test::TempDir dir;
    StepHook hook;
    AlbumJournal journal{dir.path(), hook};

    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const fs::directory_entry& e : fs::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// A change cut off after its journal: some steps done, some not. Recovery does the
// rest, and doing it twice changes nothing more.
TEST_F(JournalRecovery, FinishesARecordedChange) {
    writeBytes(dir / "A.dat", "new A");       // replaced already
    writeBytes(dir / "A.dat1.new", "new A1"); // still to put in place
    writeBytes(dir / "A.dat1", "old A1");
    writeBytes(dir / "B.dat", "gone"); // still to remove
    writeBytes(dir / kJournalFileName, formatJournal({{Kind::Replace, "A.dat"},
                                                      {Kind::Replace, "A.dat1"},
                                                      {Kind::Remove, "B.dat"},
                                                      {Kind::Remove, "C.dat1"}}));
    ASSERT_TRUE(journal.recover());
    ASSERT_TRUE(journal.recover());
    EXPECT_EQ(files(), (std::vector<std::string>{"A.dat", "A.dat1"}));
    EXPECT_EQ(readBytes(dir / "A.dat"), "new A");
    EXPECT_EQ(readBytes(dir / "A.dat1"), "new A1");
}

// New files without a journal never became a change: they go, the old files stay.
// So does a journal that is not one of ours in full.
TEST_F(JournalRecovery, DropsChangesThatWereNeverRecorded) {
    writeBytes(dir / "A.dat", "old A");
    writeBytes(dir / "A.dat.new", "new A");
    writeBytes(dir / "album.dat.new", "1\r\nX\r\n");
    writeBytes(dir / ".album.journal.tmp-abc123", "kvphoto album");
    writeBytes(dir / "notes.new", "not ours");
    ASSERT_TRUE(journal.recover());
    EXPECT_EQ(files(), (std::vector<std::string>{"A.dat", "notes.new"}));

    writeBytes(dir / "A.dat.new", "new A");
    writeBytes(dir / kJournalFileName, "kvphoto album journal 1\nreplace\tA.dat\n");
    ASSERT_TRUE(journal.recover());
    EXPECT_EQ(files(), (std::vector<std::string>{"A.dat", "notes.new"}));
    EXPECT_EQ(readBytes(dir / "A.dat"), "old A");
}

TEST_F(JournalRecovery, CommitThatCannotWriteLeavesNothing) {
    writeBytes(dir / "A.dat", "old A");
    DirectoryChange change;
    change.write("A.dat", "new A");
    change.write("A.dat1", "new A1");
    change.remove("B.dat");
    std::vector<std::string> steps;
    hook = [&](std::string_view step) {
        steps.emplace_back(step);
        return step != "write:A.dat1.new";
    };
    const CommitResult result = journal.commit(change);
    EXPECT_EQ(result.status, CommitStatus::NotWritten);
    EXPECT_EQ(result.failedFile, "A.dat1");
    EXPECT_EQ(files(), std::vector<std::string>{"A.dat"});
    EXPECT_EQ(readBytes(dir / "A.dat"), "old A");

    writeBytes(dir / "B.dat", "gone");
    steps.clear();
    hook = [&](std::string_view step) {
        steps.emplace_back(step);
        return true;
    };
    EXPECT_EQ(journal.commit(change).status, CommitStatus::Done);
    EXPECT_EQ(steps,
              (std::vector<std::string>{"write:A.dat.new", "write:A.dat1.new",
                                        "write:album.journal", "replace:A.dat", "replace:A.dat1",
                                        "remove:B.dat", "remove:album.journal"}));
    EXPECT_EQ(files(), (std::vector<std::string>{"A.dat", "A.dat1"}));
}

} // namespace
} // namespace kv::albums
