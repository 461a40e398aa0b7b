// Two programs on one program directory, and changes cut off at every step.

#include "albums/album_files.h"
#include "albums/album_journal.h"
#include "albums/album_messages.h"
#include "albums/album_store.h"
#include "platform/directory_lock.h"
#include "platform/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kv::albums {
namespace {

namespace fs = std::filesystem;
using Answer = platform::Ui::Answer;
using test::readBytes;
using test::writeBytes;

struct Events : AlbumEvents {
    int loaded = 0;
    int listChanged = 0;
    int tableReloaded = 0;
    void albumLoaded() override { ++loaded; }
    void albumListChanged() override { ++listChanged; }
    void pictureTableReloaded() override { ++tableReloaded; }
};

platform::Bitmap24 thumbnail(int seed) {
    platform::Bitmap24 b = platform::Bitmap24::make(3, 2);
    for (std::size_t i = 0; i < b.pixels.size(); ++i)
        b.pixels[i] = static_cast<std::uint8_t>(seed * 31 + int(i));
    return b;
}

// One program's view of the directory: the window or one kvphoto-cli.
struct Program {
    AlbumState state;
    platform::RecordingUi ui;
    Events events;
    AlbumStore store;

    explicit Program(const fs::path& dir) : store(state, ui, dir, &events) {
        EXPECT_TRUE(store.readAlbumList("My_Album"));
        store.loadAlbum(0);
    }

    // What the intake does: fill the staging row, count it, let the store write it.
    StoreResult add(const std::string& path, int seed, int rotation = 0) {
        PictureRow& row = state.pictures[std::size_t(state.pictureCount)];
        row.fullPath = path;
        row.displayName = fs::path(path).filename().string();
        row.thumbnail = platform::turnBitmap(thumbnail(seed), rotation);
        row.rotation = rotation;
        state.select(state.pictureCount++);
        state.setLoaded(state.selectedPicture());
        return store.appendPicture();
    }
    std::vector<std::string> paths() const {
        std::vector<std::string> out;
        for (int i = 0; i < state.pictureCount; ++i)
            out.push_back(state.pictures[std::size_t(i)].fullPath);
        return out;
    }
};

struct Row {
    std::string path;
    std::string name;
    int rotation;
    int width;
    int height;
    std::vector<std::uint8_t> pixels;
    bool operator==(const Row&) const = default;
};
using Album = std::pair<std::string, std::vector<Row>>;
using Snapshot = std::vector<Album>;

std::vector<Row> rowsOf(const AlbumState& state) {
    std::vector<Row> rows;
    for (int i = 0; i < state.pictureCount; ++i) {
        const PictureRow& p = state.pictures[std::size_t(i)];
        rows.push_back({p.fullPath, p.displayName, p.rotation, p.thumbnail.width,
                        p.thumbnail.height, p.thumbnail.pixels});
    }
    return rows;
}

// Every album as a program started now reads it (which first finishes any
// interrupted change). `told` gets what that program had to say.
Snapshot snapshot(const fs::path& dir, std::vector<std::string>* told = nullptr) {
    AlbumState state;
    platform::RecordingUi ui;
    AlbumStore store(state, ui, dir);
    store.readAlbumList("My_Album");
    Snapshot albums;
    for (int i = 0; i < state.albumCount(); ++i) {
        store.loadAlbum(i, AlbumChangeMode::Deleting);
        albums.emplace_back(state.albumNames[std::size_t(i)], rowsOf(state));
    }
    if (told)
        *told = ui.texts();
    return albums;
}

// Memory says what the disk says.
void expectMemoryIsDisk(const Program& p, const fs::path& dir) {
    const Snapshot disk = snapshot(dir);
    ASSERT_EQ(disk.size(), p.state.albumNames.size());
    for (std::size_t i = 0; i < disk.size(); ++i)
        EXPECT_EQ(disk[i].first, p.state.albumNames[i]);
    EXPECT_TRUE(disk[std::size_t(p.state.currentAlbum)].second == rowsOf(p.state));
}

std::vector<std::string> changeFilesIn(const fs::path& dir) {
    std::vector<std::string> left;
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.ends_with(".new") || name.starts_with("album.journal"))
            left.push_back(name);
    }
    return left;
}

// Three albums: My_Album with three pictures (one turned), Urlaub with two, Leer
// empty; My_Album loaded, picture 1 selected.
void standardAlbums(Program& p) {
    ASSERT_EQ(p.store.addAlbum("Urlaub"), StoreResult::Done);
    ASSERT_EQ(p.add("/u/0.jpg", 10), StoreResult::Done);
    ASSERT_EQ(p.add("/u/1.jpg", 11, 3), StoreResult::Done);
    ASSERT_EQ(p.store.addAlbum("Leer"), StoreResult::Done);
    p.store.loadAlbum(0, AlbumChangeMode::Deleting);
    ASSERT_EQ(p.add("/p/0.jpg", 0), StoreResult::Done);
    ASSERT_EQ(p.add("/p/1.jpg", 1, 1), StoreResult::Done);
    ASSERT_EQ(p.add("/p/2.jpg", 2), StoreResult::Done);
    p.state.clearChangeFlags();
    p.state.select(1);
    p.ui.clear();
}

using Operation = std::function<void(Program&)>;

// Runs `op` in a child process that dies right before step k of its changes to the
// directory, for k = 0, 1, ... until it finishes. Each time a program started
// afterwards must find every album entirely as before or entirely as after, and
// once the change was recorded, always as after.
void expectAllOrNothing(const Operation& setup, const Operation& op) {
    constexpr int kKilled = 0;
    constexpr int kFinished = 3;
    Snapshot before;
    Snapshot after;
    {
        test::TempDir dir;
        Program p(dir.path());
        setup(p);
        before = snapshot(dir.path());
        op(p);
        after = snapshot(dir.path());
    }
    ASSERT_NE(before, after) << "the operation changes nothing";

    bool sawNew = false;
    for (int k = 0; k < 60; ++k) {
        SCOPED_TRACE("killed before step " + std::to_string(k));
        test::TempDir dir;
        Program p(dir.path());
        setup(p);
        int steps = 0;
        p.store.setStepHook([&](std::string_view) {
            if (steps++ == k)
                _exit(kKilled);
            return true;
        });
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            op(p);
            _exit(kFinished);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));

        std::vector<std::string> told;
        const Snapshot now = snapshot(dir.path(), &told);
        EXPECT_TRUE(now == before || now == after);
        EXPECT_TRUE(told.empty()) << told.front();
        EXPECT_TRUE(changeFilesIn(dir.path()).empty());
        if (sawNew) {
            EXPECT_EQ(now, after) << "a recorded change was undone";
        }
        sawNew = sawNew || now == after;
        if (WEXITSTATUS(status) == kFinished) {
            EXPECT_EQ(now, after);
            EXPECT_GT(k, 2) << "too few steps to be one change of several files";
            return;
        }
    }
    FAIL() << "the operation never finished";
}

TEST(AlbumChangeIsAllOrNothing, PictureChanges) {
    expectAllOrNothing(standardAlbums, [](Program& p) { p.store.deletePicture(1); });
    expectAllOrNothing(standardAlbums, [](Program& p) { p.store.deletePicture(2); });
    expectAllOrNothing(standardAlbums, [](Program& p) { p.store.rotatePicture(0); });
    expectAllOrNothing(standardAlbums, [](Program& p) { p.add("/p/new.jpg", 7); });
    expectAllOrNothing(standardAlbums, [](Program& p) { p.store.movePicture(1, 1); });
    expectAllOrNothing(standardAlbums, [](Program& p) { p.store.copyPicture(2, 2); });
    // The last picture of an album takes both files with it.
    expectAllOrNothing(
        [](Program& p) {
            standardAlbums(p);
            p.store.loadAlbum(1, AlbumChangeMode::Deleting);
            ASSERT_EQ(p.store.deletePicture(0), StoreResult::Done);
        },
        [](Program& p) { p.store.movePicture(0, 2); });
}

TEST(AlbumChangeIsAllOrNothing, AlbumChanges) {
    // Leftovers of deleted albums under the new names must go in the same change.
    auto withLeftovers = [](Program& p) {
        standardAlbums(p);
        writeBytes(p.store.nameFile("Neu"), " 1\r\n/alt.jpg\r\nalt.jpg\r\n");
        writeBytes(p.store.dataFile("Sommer"), std::string(12, '\0'));
    };
    expectAllOrNothing(withLeftovers, [](Program& p) { p.store.renameAlbum(1, "Sommer"); });
    expectAllOrNothing(withLeftovers, [](Program& p) {
        p.ui.script(Answer::Yes);
        p.store.deleteAlbum(1);
    });
    expectAllOrNothing(withLeftovers, [](Program& p) { p.store.addAlbum("Neu"); });
}

// A write that fails (a full disk) at any step before the change is recorded:
// nothing changes on disk, the user hears the program's message, and memory still
// says what the disk says.
TEST(AlbumChangeIsAllOrNothing, FailedWriteChangesNothing) {
    struct Case {
        const char* what;
        Operation op;
        std::string_view nameFileMessage; // the name file failed
        std::string_view otherMessage;    // the data file or the journal failed
    };
    const std::vector<Case> cases = {
        {"delete", [](Program& p) { p.store.deletePicture(1); }, msg::kNameFileNotSaved,
         msg::kDataFileNotUpdated},
        {"rotate", [](Program& p) { p.store.rotatePicture(1); }, msg::kNameFileNotSaved,
         msg::kDataFileNotUpdated},
        {"append", [](Program& p) { p.add("/p/new.jpg", 7); }, msg::kNameFileNotSaved,
         msg::kDataFileNotSaved},
        {"move", [](Program& p) { p.store.movePicture(1, 1); }, msg::kCannotMove, msg::kCannotMove},
        {"rename", [](Program& p) { p.store.renameAlbum(1, "Sommer"); }, msg::kListNotOpened,
         msg::kListNotOpened},
        {"add album", [](Program& p) { p.store.addAlbum("Neu"); }, msg::kAlbumNotLoaded,
         msg::kAlbumNotLoaded},
    };
    for (const Case& c : cases) {
        // Fail the first, then the second ... write of the change, up to the journal.
        for (int failing = 0;; ++failing) {
            SCOPED_TRACE(std::string(c.what) + ", write " + std::to_string(failing));
            test::TempDir dir;
            Program p(dir.path());
            standardAlbums(p);
            const Snapshot before = snapshot(dir.path());
            const std::vector<Row> rowsBefore = rowsOf(p.state);
            int writes = 0;
            std::string failedStep;
            p.store.setStepHook([&](std::string_view step) {
                if (!step.starts_with("write:") || writes++ != failing)
                    return true;
                failedStep = step;
                return false;
            });
            c.op(p);
            if (failedStep.empty())
                break; // every write of the change was tried
            EXPECT_EQ(snapshot(dir.path()), before);
            EXPECT_TRUE(changeFilesIn(dir.path()).empty());
            ASSERT_EQ(p.ui.prompts().size(), 1u);
            // The message names the file that failed.
            const bool nameFile =
                failedStep.ends_with(".dat.new") && failedStep != "write:album.dat.new";
            EXPECT_EQ(p.ui.prompts()[0].text, nameFile ? c.nameFileMessage : c.otherMessage);
            EXPECT_TRUE(rowsOf(p.state) == rowsBefore);
            EXPECT_FALSE(p.state.anyChangeFlag());
            expectMemoryIsDisk(p, dir.path());
        }
    }
}

class TwoPrograms : public ::testing::Test {
  protected:
    test::TempDir dir;
    Program window{dir.path()};
    Program cli{dir.path()};
};

TEST_F(TwoPrograms, AlbumsAddedByBothAreKept) {
    ASSERT_EQ(cli.store.addAlbum("Extern"), StoreResult::Done);
    ASSERT_EQ(window.store.addAlbum("Neu"), StoreResult::Done);
    const std::vector<std::string> all = {"My_Album", "Extern", "Neu"};
    EXPECT_EQ(snapshot(dir.path()).size(), 3u);
    EXPECT_EQ(window.state.albumNames, all);
    EXPECT_EQ(window.events.listChanged, 1);
    EXPECT_EQ(window.state.currentAlbum, 2);

    // A name another program took meanwhile is refused as taken.
    EXPECT_EQ(cli.store.addAlbum("NEU"), StoreResult::Refused);
    EXPECT_EQ(cli.ui.texts(), std::vector<std::string>{std::string(msg::kNameExists)});
    EXPECT_EQ(cli.state.albumNames, all);

    // The window deletes the album it shows; the other program follows on sync.
    cli.store.loadAlbum(2);
    window.ui.script(Answer::Yes);
    ASSERT_EQ(window.store.deleteAlbum(2), StoreResult::Done);
    cli.events.loaded = 0;
    EXPECT_TRUE(cli.store.syncFromDisk());
    EXPECT_EQ(cli.state.albumNames, (std::vector<std::string>{"My_Album", "Extern"}));
    EXPECT_EQ(cli.state.currentAlbum, 0);
    EXPECT_EQ(cli.events.loaded, 1);
    EXPECT_FALSE(cli.store.syncFromDisk());
}

TEST_F(TwoPrograms, PicturesAddedElsewhereSurviveChanges) {
    ASSERT_EQ(window.add("/w/0.jpg", 0), StoreResult::Done);
    ASSERT_EQ(window.add("/w/1.jpg", 1), StoreResult::Done);
    cli.store.loadAlbum(0);
    ASSERT_EQ(cli.add("/c/0.jpg", 5), StoreResult::Done);

    // The window's picture 1 is still its index 1 after the re-read.
    window.state.select(1);
    window.state.setLoaded(1);
    ASSERT_EQ(window.store.rotatePicture(1), StoreResult::Done);
    EXPECT_EQ(window.events.tableReloaded, 1);
    EXPECT_EQ(window.paths(), (std::vector<std::string>{"/w/0.jpg", "/w/1.jpg", "/c/0.jpg"}));
    EXPECT_EQ(window.state.pictures[1].rotation, 1);
    EXPECT_EQ(window.state.pictures[2].thumbnail.pixels, thumbnail(5).pixels);

    // The other program took picture 0 away: the window's index 1 is now row 0.
    cli.store.loadAlbum(0);
    ASSERT_EQ(cli.store.deletePicture(0), StoreResult::Done);
    ASSERT_EQ(window.store.deletePicture(1), StoreResult::Done);
    EXPECT_EQ(window.paths(), std::vector<std::string>{"/c/0.jpg"});
    expectMemoryIsDisk(window, dir.path());
    EXPECT_TRUE(window.ui.prompts().empty());

    // A picture gone meanwhile is told and left alone.
    cli.store.syncFromDisk();
    ASSERT_EQ(cli.store.deletePicture(0), StoreResult::Done);
    EXPECT_EQ(window.store.rotatePicture(0), StoreResult::Refused);
    EXPECT_EQ(window.ui.texts(), std::vector<std::string>{std::string(msg::kPictureGone)});
    EXPECT_EQ(window.state.pictureCount, 0);
    EXPECT_EQ(window.state.selectedPicture(), -1);
    EXPECT_FALSE(fs::exists(window.store.nameFile("My_Album")));
}

TEST_F(TwoPrograms, AppendGoesAfterWhatIsOnDisk) {
    ASSERT_EQ(window.add("/w/0.jpg", 0), StoreResult::Done);
    ASSERT_EQ(cli.add("/c/0.jpg", 5), StoreResult::Done); // cli still saw no picture
    EXPECT_EQ(cli.paths(), (std::vector<std::string>{"/w/0.jpg", "/c/0.jpg"}));
    EXPECT_EQ(cli.state.selectedPicture(), 1);
    EXPECT_EQ(cli.state.loadedPicture(), 1);
    EXPECT_EQ(cli.state.pictures[0].thumbnail.pixels, thumbnail(0).pixels);

    // Files still to add wait behind the staging row and move along with it.
    window.state.pictures[2].fullPath = "/w/waiting.jpg";
    ASSERT_EQ(window.add("/w/1.jpg", 1), StoreResult::Done);
    EXPECT_EQ(window.paths(), (std::vector<std::string>{"/w/0.jpg", "/c/0.jpg", "/w/1.jpg"}));
    EXPECT_EQ(window.state.pictures[3].fullPath, "/w/waiting.jpg");
    EXPECT_EQ(window.state.selectedPicture(), 2);
    expectMemoryIsDisk(window, dir.path());
}

TEST_F(TwoPrograms, FullAlbumIsCheckedAgainstTheDisk) {
    std::vector<NameEntry> names(kMaxPictures - 1, NameEntry{"/w/x.jpg", "x.jpg"});
    std::string data;
    for (std::size_t i = 0; i < names.size(); ++i)
        appendRecord(data, thumbnail(1), 0);
    writeBytes(window.store.nameFile("My_Album"), formatNameFile(names));
    writeBytes(window.store.dataFile("My_Album"), data);
    window.store.loadAlbum(0);
    cli.store.loadAlbum(0);
    ASSERT_EQ(window.add("/w/last.jpg", 1), StoreResult::Done);
    EXPECT_EQ(cli.add("/c/0.jpg", 5), StoreResult::Refused);
    EXPECT_EQ(cli.ui.texts(), std::vector<std::string>{std::string(msg::kAlbumFull)});
    EXPECT_EQ(cli.state.pictureCount, kMaxPictures);
    EXPECT_EQ(cli.state.pictures[std::size_t(kMaxPictures)].fullPath, "/c/0.jpg"); // staging
    EXPECT_EQ(snapshot(dir.path())[0].second.size(), std::size_t(kMaxPictures));
}

TEST_F(TwoPrograms, ABusyDirectoryIsToldAndChangesNothing) {
    const platform::DirectoryLock other(dir / std::string(kLockFileName),
                                        std::chrono::milliseconds(0));
    ASSERT_TRUE(other.held());
    window.store.setLockWait(std::chrono::milliseconds(30));
    EXPECT_EQ(window.store.addAlbum("Neu"), StoreResult::Refused);
    EXPECT_EQ(window.add("/w/0.jpg", 0), StoreResult::Refused);
    EXPECT_EQ(window.ui.texts(), std::vector<std::string>(2, std::string(msg::kAlbumsBusy)));
    EXPECT_EQ(window.state.albumNames, std::vector<std::string>{"My_Album"});
    EXPECT_EQ(window.state.pictureCount, 0);
    EXPECT_FALSE(window.store.syncFromDisk());
}

// Files of a deleted album (left by a crash of the earlier program, or by hand).
TEST(AlbumLeftovers, AreNotAdoptedByAddOrRename) {
    test::TempDir dir;
    Program p(dir.path());
    auto leaveFiles = [&](const std::string& album) {
        writeBytes(dir / (album + ".dat"), " 1\r\n/alt.jpg\r\nalt.jpg\r\n");
        writeBytes(dir / (album + ".dat1"), std::string(12, '\0'));
    };
    leaveFiles("Alt");
    ASSERT_EQ(p.store.addAlbum("Alt"), StoreResult::Done);
    EXPECT_EQ(p.state.pictureCount, 0);
    EXPECT_FALSE(fs::exists(dir / "Alt.dat"));
    EXPECT_FALSE(fs::exists(dir / "Alt.dat1"));

    // An album without files renamed onto leftovers.
    leaveFiles("Neu");
    ASSERT_EQ(p.store.renameAlbum(1, "Neu"), StoreResult::Done);
    ASSERT_TRUE(p.store.loadAlbum(1));
    EXPECT_EQ(p.state.pictureCount, 0);
    EXPECT_FALSE(fs::exists(dir / "Neu.dat"));
    EXPECT_FALSE(fs::exists(dir / "Neu.dat1"));

    // An album with files: its own files take the place of the leftovers.
    ASSERT_EQ(p.add("/a.jpg", 1), StoreResult::Done);
    leaveFiles("Sommer");
    ASSERT_EQ(p.store.renameAlbum(1, "Sommer"), StoreResult::Done);
    ASSERT_TRUE(p.store.loadAlbum(1));
    EXPECT_EQ(p.paths(), std::vector<std::string>{"/a.jpg"});
    EXPECT_EQ(p.state.pictures[0].thumbnail.pixels, thumbnail(1).pixels);
    EXPECT_FALSE(fs::exists(dir / "Neu.dat"));
    EXPECT_TRUE(p.ui.prompts().empty());
}

// A change that was recorded but cannot be finished blocks further changes rather
// than letting them mix with its half-done files.
TEST(AlbumJournalRecovery, UnfinishedChangeStopsFurtherChanges) {
    test::TempDir dir;
    Program p(dir.path());
    ASSERT_EQ(p.add("/a.jpg", 1), StoreResult::Done);
    fs::create_directory(dir / "Stuck.dat");
    writeBytes(dir / "Stuck.dat.new", "x");
    writeBytes(dir / "album.journal", formatJournal({{JournalStep::Kind::Replace, "Stuck.dat"}}));
    EXPECT_EQ(p.store.deletePicture(0), StoreResult::Refused);
    EXPECT_EQ(p.ui.texts(), std::vector<std::string>{std::string(msg::kChangeUnfinished)});
    EXPECT_TRUE(fs::exists(p.store.nameFile("My_Album")));

    fs::remove(dir / "Stuck.dat");
    EXPECT_EQ(p.store.deletePicture(0), StoreResult::Done);
    EXPECT_EQ(readBytes(dir / "Stuck.dat"), "x");
    EXPECT_FALSE(fs::exists(dir / "album.journal"));
}

} // namespace
} // namespace kv::albums
