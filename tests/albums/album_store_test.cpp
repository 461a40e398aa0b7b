#include "albums/album_messages.h"
#include "albums/album_store.h"
#include "platform/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <utility>
#include <vector>

namespace kv::albums {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Icon = platform::Ui::Icon;
using Answer = platform::Ui::Answer;
using test::readBytes;
using test::writeBytes;

struct Events : AlbumEvents {
    int loaded = 0;
    std::vector<int> rotated;
    void albumLoaded() override { ++loaded; }
    void pictureRotated(int index) override { rotated.push_back(index); }
};

// Pixel bytes that differ by position, so every turn and copy shows.
platform::Bitmap24 thumbnail(int width, int height, int seed = 0) {
    platform::Bitmap24 b = platform::Bitmap24::make(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                b.at(x, y)[c] = static_cast<std::uint8_t>(seed + 0x10 * (1 + x + width * y) + c);
    return b;
}

std::string pixelString(const platform::Bitmap24& b) {
    return std::string(b.pixels.begin(), b.pixels.end());
}

std::string record(int w, int h, int rotation, std::string pixels) {
    auto le = [](int v) {
        std::string s(4, '\0');
        for (int i = 0; i < 4; ++i)
            s[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xff);
        return s;
    };
    return le(w) + le(h) + le(rotation) + pixels;
}

// The 3 x 2 thumbnail of thumbnail(3, 2), stride 12.
const std::string kPixels3x2 = "\x10\x11\x12\x20\x21\x22\x30\x31\x32\x00\x00\x00"
                               "\x40\x41\x42\x50\x51\x52\x60\x61\x62\x00\x00\x00"s;

class AlbumStoreTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    AlbumState state;
    platform::RecordingUi ui;
    Events events;
    AlbumStore store{state, ui, dir.path(), &events};

    std::string bytes(const std::string& name) const { return readBytes(dir / name); }
    bool has(const std::string& name) const { return fs::exists(dir / name); }

    void startWith(const std::string& list) {
        writeBytes(dir / "album.dat", list);
        ASSERT_TRUE(store.readAlbumList("My_Album"));
    }

    // What the intake does: fill the staging row, count it, let the store write it.
    StoreResult addPicture(const std::string& path, platform::Bitmap24 thumb, int rotation = 0) {
        PictureRow& row = state.pictures[static_cast<std::size_t>(state.pictureCount)];
        row.fullPath = path;
        row.displayName = fs::path(path).filename().string();
        row.thumbnail = std::move(thumb);
        row.rotation = rotation;
        ++state.pictureCount;
        return store.appendPicture();
    }

    void addPictures(int n, int w = 3, int h = 2) {
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(addPicture("/p/" + std::to_string(i) + ".jpg", thumbnail(w, h, i)),
                      StoreResult::Done);
    }

    void expectPrompt(std::string_view text, Icon icon) {
        ASSERT_EQ(ui.prompts().size(), 1u) << (ui.prompts().empty() ? "" : ui.prompts()[0].text);
        EXPECT_EQ(ui.prompts()[0].text, text);
        EXPECT_EQ(ui.prompts()[0].icon, icon);
        ui.clear();
    }
};

TEST_F(AlbumStoreTest, FirstStartCreatesTheList) {
    ASSERT_TRUE(store.readAlbumList("My_Album"));
    EXPECT_EQ(bytes("album.dat"), "1\r\nMy_Album\r\n");
    EXPECT_EQ(state.albumNames, std::vector<std::string>{"My_Album"});
    EXPECT_FALSE(state.canDeleteAlbum());
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(AlbumStoreTest, DamagedListLoadsTheReadableNamesOnce) {
    startWith("4\r\nMy_Album\r\n../../etc\r\nB\r\n");
    EXPECT_EQ(state.albumNames, (std::vector<std::string>{"My_Album", "B"}));
    expectPrompt(msg::kAlbumListDamaged, Icon::Exclamation);

    writeBytes(dir / "album.dat", "garbage");
    ASSERT_TRUE(store.readAlbumList("My_Album"));
    EXPECT_EQ(state.albumNames, std::vector<std::string>{"My_Album"});
    expectPrompt(msg::kAlbumListDamaged, Icon::Exclamation);
    EXPECT_EQ(bytes("album.dat"), "garbage"); // left for the user; rewritten on the next change
}

TEST_F(AlbumStoreTest, AddAlbumAppendsAndSelectsIt) {
    startWith("1\r\nMy_Album\r\n");
    addPictures(2);
    events.loaded = 0;
    EXPECT_EQ(store.addAlbum("Urlaub"), StoreResult::Done);
    EXPECT_EQ(bytes("album.dat"), "2\r\nMy_Album\r\nUrlaub\r\n");
    EXPECT_EQ(state.currentAlbum, 1);
    EXPECT_EQ(state.pictureCount, 0);
    EXPECT_EQ(state.selectedPicture(), -1);
    EXPECT_TRUE(state.canDeleteAlbum());
    EXPECT_EQ(events.loaded, 1);
    EXPECT_FALSE(has("Urlaub.dat"));
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(AlbumStoreTest, AddAndRenameRefuseBadNames) {
    startWith("2\r\nMy_Album\r\nUrlaub\r\n");
    const std::vector<std::pair<std::string, std::string_view>> cases = {
        {"album", msg::kNameReserved},
        {"Album", msg::kNameReserved},
        {"ALBUM", msg::kNameReserved},
        {"my_album", msg::kNameExists},
        {"URLAUB", msg::kNameExists},
        {"", msg::kNameEmpty},
        {"../x", msg::kNameBadCharacter},
        {"a\\b", msg::kNameBadCharacter},
        {"..", msg::kNameBadCharacter},
        {"a:b", msg::kNameBadCharacter},
        {std::string(50, 'n'), msg::kNameTooLong},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(store.addAlbum(name), StoreResult::Refused);
        expectPrompt(text, Icon::Exclamation);
        EXPECT_EQ(store.renameAlbum(1, name), StoreResult::Refused);
        expectPrompt(text, Icon::Exclamation);
    }
    // Its own name in other letters counts as taken.
    EXPECT_EQ(store.renameAlbum(1, "urlaub"), StoreResult::Refused);
    expectPrompt(msg::kNameExists, Icon::Exclamation);
    EXPECT_EQ(bytes("album.dat"), "2\r\nMy_Album\r\nUrlaub\r\n");
    EXPECT_EQ(state.albumNames, (std::vector<std::string>{"My_Album", "Urlaub"}));
}

TEST_F(AlbumStoreTest, A101stAlbumIsRefused) {
    std::string list = "100\r\n";
    for (int i = 0; i < 100; ++i)
        list += "A" + std::to_string(i) + "\r\n";
    startWith(list);
    EXPECT_EQ(store.addAlbum("Neu"), StoreResult::Refused);
    expectPrompt(msg::kTooManyAlbums, Icon::Exclamation);
    EXPECT_EQ(bytes("album.dat"), list);
}

// Every change reads album.dat again first; when it cannot, memory keeps what the
// disk holds, so that the next change does not lose or revive an album.
TEST_F(AlbumStoreTest, UnreadableListChangesNothing) {
    startWith("2\r\nMy_Album\r\nUrlaub\r\n");
    addPictures(1);
    fs::remove(dir / "album.dat");
    fs::create_directory(dir / "album.dat"); // exists, but cannot be read as a file
    const std::vector<std::string> names = {"My_Album", "Urlaub"};

    EXPECT_EQ(store.addAlbum("Neu"), StoreResult::Refused);
    expectPrompt(msg::kAlbumNotLoaded, Icon::Information);
    EXPECT_EQ(state.albumNames, names);
    EXPECT_EQ(state.pictureCount, 1);

    EXPECT_EQ(store.renameAlbum(1, "Neuer"), StoreResult::Refused);
    expectPrompt(msg::kListNotOpened, Icon::Exclamation);
    EXPECT_EQ(state.albumNames, names);

    state.currentAlbum = 0;
    ASSERT_TRUE(store.loadAlbum(0));
    ui.script(Answer::Yes);
    EXPECT_EQ(store.deleteAlbum(1), StoreResult::Refused);
    EXPECT_EQ(state.albumNames, names);
    ASSERT_EQ(ui.prompts().size(), 2u);
    EXPECT_EQ(ui.prompts()[1].text, msg::kAlbumNotLoaded);
    EXPECT_EQ(ui.prompts()[1].icon, Icon::Exclamation);
    EXPECT_TRUE(fs::is_directory(dir / "album.dat"));
}

TEST_F(AlbumStoreTest, RenameMovesTheFilesAlong) {
    startWith("2\r\nMy_Album\r\nUrlaub\r\n");
    ASSERT_TRUE(store.loadAlbum(1));
    addPictures(1);
    EXPECT_EQ(store.renameAlbum(0, "X"), StoreResult::Refused);
    expectPrompt(msg::kCannotRenameDefault, Icon::Exclamation);

    EXPECT_EQ(store.renameAlbum(1, "Sommer"), StoreResult::Done);
    EXPECT_EQ(bytes("album.dat"), "2\r\nMy_Album\r\nSommer\r\n");
    EXPECT_EQ(bytes("Sommer.dat"), " 1\r\n/p/0.jpg\r\n0.jpg\r\n");
    EXPECT_EQ(bytes("Sommer.dat1"), record(3, 2, 0, kPixels3x2));
    EXPECT_FALSE(has("Urlaub.dat"));
    EXPECT_FALSE(has("Urlaub.dat1"));
    // An album without files is renamed in the list only.
    ASSERT_EQ(store.addAlbum("Leer"), StoreResult::Done);
    EXPECT_EQ(store.renameAlbum(2, "Noch leer"), StoreResult::Done);
    EXPECT_EQ(bytes("album.dat"), "3\r\nMy_Album\r\nSommer\r\nNoch leer\r\n");
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(AlbumStoreTest, DeleteAlbumAsksThenSelectsANeighbour) {
    startWith("4\r\nMy_Album\r\nA\r\nB\r\nC\r\n");
    writeBytes(dir / "C.dat", " 1\r\n/c.jpg\r\nc.jpg\r\n");
    writeBytes(dir / "C.dat1", record(3, 2, 0, kPixels3x2));
    writeBytes(dir / "B.dat", " 1\r\n/b.jpg\r\nb.jpg\r\n");
    writeBytes(dir / "B.dat1", record(3, 2, 0, kPixels3x2));

    EXPECT_EQ(store.deleteAlbum(0), StoreResult::Refused);
    expectPrompt(msg::kCannotDeleteDefault, Icon::None);

    ASSERT_TRUE(store.loadAlbum(2));
    EXPECT_EQ(store.deleteAlbum(2), StoreResult::Cancelled); // the double answers No
    ASSERT_EQ(ui.prompts().size(), 1u);
    EXPECT_EQ(ui.prompts()[0].text, "Wollen Sie folgendes Album löschen: B ? ");
    EXPECT_EQ(ui.prompts()[0].icon, Icon::Question);
    EXPECT_EQ(ui.prompts()[0].buttons, platform::Ui::Buttons::YesNo);
    EXPECT_TRUE(has("B.dat"));
    ui.clear();

    // Not the last tab: the next one takes its place.
    ui.script(Answer::Yes);
    EXPECT_EQ(store.deleteAlbum(2), StoreResult::Done);
    EXPECT_EQ(bytes("album.dat"), "3\r\nMy_Album\r\nA\r\nC\r\n");
    EXPECT_FALSE(has("B.dat"));
    EXPECT_FALSE(has("B.dat1"));
    EXPECT_EQ(state.currentAlbum, 2);
    EXPECT_EQ(state.pictureCount, 1);
    EXPECT_EQ(state.pictures[0].fullPath, "/c.jpg");

    // The last tab: the one before it.
    ui.script(Answer::Yes);
    EXPECT_EQ(store.deleteAlbum(2), StoreResult::Done);
    EXPECT_EQ(bytes("album.dat"), "2\r\nMy_Album\r\nA\r\n");
    EXPECT_EQ(state.currentAlbum, 1);
    EXPECT_EQ(state.pictureCount, 0);

    ui.script(Answer::Yes);
    EXPECT_EQ(store.deleteAlbum(1), StoreResult::Done);
    EXPECT_EQ(state.currentAlbum, 0);
    EXPECT_FALSE(state.canDeleteAlbum());
}

TEST_F(AlbumStoreTest, AppendWritesNameFileAndRecord) {
    startWith("1\r\nMy_Album\r\n");
    ASSERT_TRUE(store.loadAlbum(0));
    EXPECT_EQ(addPicture("/home/u/Bilder/Strand 1.jpg", thumbnail(3, 2), 1), StoreResult::Done);
    EXPECT_EQ(bytes("My_Album.dat"), " 1\r\n/home/u/Bilder/Strand 1.jpg\r\nStrand 1.jpg\r\n");
    EXPECT_EQ(bytes("My_Album.dat1"), "\x03\0\0\0\x02\0\0\0\x01\0\0\0"s + kPixels3x2);

    addPictures(8);
    EXPECT_EQ(bytes("My_Album.dat").substr(0, 4), " 9\r\n");
    addPictures(3);
    EXPECT_EQ(bytes("My_Album.dat").substr(0, 4), "12\r\n");
    EXPECT_EQ(bytes("My_Album.dat1").size(), 12u * (12 + kPixels3x2.size()));
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(AlbumStoreTest, AppendRefusesTextsTheNameFileCannotHold) {
    startWith("1\r\nMy_Album\r\n");
    addPictures(1);
    const std::vector<std::pair<std::string, std::string_view>> cases = {
        {"/" + std::string(127, 'p'), msg::kPathTooLong},
        {"/a/b\nc.jpg", msg::kPathLineBreak},
    };
    for (const auto& [path, text] : cases) {
        EXPECT_EQ(addPicture(path, thumbnail(3, 2)), StoreResult::Refused);
        expectPrompt(text, Icon::Exclamation);
        EXPECT_EQ(state.pictureCount, 1);
        EXPECT_TRUE(state.pictures[1].fullPath.empty());
    }
    EXPECT_EQ(bytes("My_Album.dat"), " 1\r\n/p/0.jpg\r\n0.jpg\r\n");
}

// Neither file is written unless both can be; the refused row waits in the staging
// place for the intake to drop it.
TEST_F(AlbumStoreTest, AppendReportsFilesThatCannotBeWritten) {
    startWith("1\r\nMy_Album\r\n");
    fs::create_directory(dir / "My_Album.dat");
    EXPECT_EQ(addPicture("/a.jpg", thumbnail(3, 2)), StoreResult::Refused);
    expectPrompt(msg::kNameFileNotSaved, Icon::Information);
    EXPECT_EQ(state.pictureCount, 0);
    EXPECT_EQ(state.pictures[0].fullPath, "/a.jpg");
    EXPECT_FALSE(has("My_Album.dat1"));
    fs::remove(dir / "My_Album.dat");

    fs::create_directory(dir / "My_Album.dat1");
    EXPECT_EQ(addPicture("/b.jpg", thumbnail(3, 2)), StoreResult::Refused);
    expectPrompt(msg::kDataFileNotSaved, Icon::Information);
    EXPECT_FALSE(has("My_Album.dat"));
    EXPECT_EQ(state.pictureCount, 0);
}

TEST_F(AlbumStoreTest, LoadFillsTheTableAndClearsTheSelection) {
    startWith("2\r\nMy_Album\r\nB\r\n");
    writeBytes(dir / "B.dat", " 2\r\n/x/a.bmp\r\na.bmp\r\n/x/b.bmp\r\nb.bmp\r\n");
    writeBytes(dir / "B.dat1", record(3, 2, 3, kPixels3x2) + record(0, 0, 1, ""));
    state.select(4);
    state.setLoaded(4);
    ASSERT_TRUE(store.loadAlbum(1));
    EXPECT_EQ(state.currentAlbum, 1);
    ASSERT_EQ(state.pictureCount, 2);
    EXPECT_EQ(state.pictures[1].displayName, "b.bmp");
    EXPECT_EQ(state.pictures[0].rotation, 3);
    EXPECT_EQ(state.pictures[0].thumbnail.pixels, thumbnail(3, 2).pixels);
    EXPECT_TRUE(state.pictures[1].thumbnail.empty());
    EXPECT_EQ(state.selectedPicture(), -1);
    EXPECT_EQ(state.loadedPicture(), -2);
    EXPECT_TRUE(state.albumJustChanged);
    EXPECT_EQ(events.loaded, 1);
    EXPECT_TRUE(ui.prompts().empty());

    // No name file: an empty album, nothing to say.
    ASSERT_TRUE(store.loadAlbum(0));
    EXPECT_EQ(state.pictureCount, 0);
    EXPECT_TRUE(state.pictures[0].fullPath.empty());
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(AlbumStoreTest, SwitchingBackRightAfterAChangeDoesNotReload) {
    startWith("2\r\nMy_Album\r\nB\r\n");
    addPictures(2);
    state.select(1);
    state.pictureRotated = true;
    events.loaded = 0;
    EXPECT_FALSE(store.loadAlbum(0));
    EXPECT_FALSE(state.anyChangeFlag());
    EXPECT_EQ(state.selectedPicture(), 1);
    EXPECT_EQ(events.loaded, 0);

    EXPECT_TRUE(store.loadAlbum(0)); // flags clear: an ordinary reload
    EXPECT_EQ(state.selectedPicture(), -1);
    state.pictureMoved = true;
    EXPECT_TRUE(store.loadAlbum(1)); // another tab always loads
    EXPECT_FALSE(state.pictureMoved);
    EXPECT_EQ(state.currentAlbum, 1);
}

TEST_F(AlbumStoreTest, DamagedAlbumLoadsWhatIsSoundAndSaysSoOnce) {
    startWith("1\r\nMy_Album\r\n");
    const std::string names = " 3\r\n/a.jpg\r\na.jpg\r\n/b.jpg\r\nb.jpg\r\n/c.jpg\r\nc.jpg\r\n";
    const std::vector<std::pair<std::string, int>> dataFiles = {
        {record(3, 2, 0, kPixels3x2) + record(3, 2, 9, kPixels3x2), 1},  // bad rotation
        {record(3, 2, 0, kPixels3x2) + record(200, 200, 0, ""), 1},      // too big
        {record(3, 2, 0, kPixels3x2) + record(-3, 2, 0, kPixels3x2), 1}, // negative
        {record(3, 2, 0, kPixels3x2) + record(3, 2, 0, "\x01\x02"), 1},  // short
        // Whole files out of step: no record can be tied to its name.
        {record(3, 2, 0, kPixels3x2), 0}, // records missing
        {"", 0},                          // data file empty
    };
    for (const auto& [data, thumbnails] : dataFiles) {
        writeBytes(dir / "My_Album.dat", names);
        writeBytes(dir / "My_Album.dat1", data);
        ASSERT_TRUE(store.loadAlbum(0));
        expectPrompt(msg::kAlbumFileDamaged, Icon::Exclamation);
        ASSERT_EQ(state.pictureCount, 3);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(state.pictures[static_cast<std::size_t>(i)].thumbnail.empty(),
                      i >= thumbnails);
    }

    // Rotating a picture without a record and deleting one write a file in step
    // with the names again.
    EXPECT_EQ(store.rotatePicture(2), StoreResult::Done);
    EXPECT_EQ(store.deletePicture(0), StoreResult::Done);
    EXPECT_EQ(bytes("My_Album.dat1"), record(0, 0, 0, "") + record(0, 0, 1, ""));
    state.clearChangeFlags();
    ASSERT_TRUE(store.loadAlbum(0));
    EXPECT_EQ(state.pictureCount, 2);
    EXPECT_TRUE(ui.prompts().empty());

    // A name file whose count runs past its entries.
    writeBytes(dir / "My_Album.dat", " 5\r\n/a.jpg\r\na.jpg\r\n/b.jpg\r\n");
    ASSERT_TRUE(store.loadAlbum(0));
    expectPrompt(msg::kAlbumFileDamaged, Icon::Exclamation);
    EXPECT_EQ(state.pictureCount, 1);
}

TEST_F(AlbumStoreTest, RotateTurnsTheStoredRecord) {
    startWith("1\r\nMy_Album\r\n");
    ASSERT_EQ(addPicture("/a.jpg", thumbnail(3, 2), 1), StoreResult::Done);
    EXPECT_EQ(store.rotatePicture(0), StoreResult::Done);
    EXPECT_TRUE(state.pictureRotated);
    EXPECT_EQ(events.rotated, std::vector<int>{0});
    // New pixel (x, y) is old (width-1-y, x); 2 x 3 has a stride of 8.
    EXPECT_EQ(bytes("My_Album.dat1"), "\x02\0\0\0\x03\0\0\0\x02\0\0\0"
                                      "\x30\x31\x32\x60\x61\x62\x00\x00"
                                      "\x20\x21\x22\x50\x51\x52\x00\x00"
                                      "\x10\x11\x12\x40\x41\x42\x00\x00"s);
    EXPECT_EQ(state.pictures[0].rotation, 2);

    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(store.rotatePicture(0), StoreResult::Done);
    EXPECT_EQ(state.pictures[0].rotation, 1);
    EXPECT_EQ(bytes("My_Album.dat1"), record(3, 2, 1, kPixels3x2));

    EXPECT_EQ(store.rotatePicture(-1), StoreResult::Refused);
    expectPrompt(msg::kNoPictureToRotate, Icon::None);
}

TEST_F(AlbumStoreTest, FullThumbnailIsTallAfterOneTurn) {
    startWith("1\r\nMy_Album\r\n");
    addPictures(1, 100, 75);
    addPictures(1, 100, 75);
    const std::string before = bytes("My_Album.dat1");
    EXPECT_EQ(before.size(), 2u * (12 + 22500));
    ASSERT_EQ(store.rotatePicture(0), StoreResult::Done);
    const std::string after = bytes("My_Album.dat1");
    EXPECT_EQ(after.substr(0, 12), "\x4b\0\0\0\x64\0\0\0\x01\0\0\0"s);
    EXPECT_EQ(after.size(), 12 + 22800 + 12 + 22500u);
    EXPECT_TRUE(after.substr(12 + 22800) == before.substr(12 + 22500)); // the other stays as is
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(store.rotatePicture(0), StoreResult::Done);
    EXPECT_TRUE(bytes("My_Album.dat1") == before);
}

TEST_F(AlbumStoreTest, DeletePictureKeepsFilesInStep) {
    startWith("1\r\nMy_Album\r\n");
    addPictures(3);
    ASSERT_EQ(store.deletePicture(1), StoreResult::Done);
    EXPECT_EQ(state.pictureCount, 2);
    EXPECT_EQ(state.selectedPicture(), 1);
    EXPECT_EQ(state.pictures[1].fullPath, "/p/2.jpg");
    EXPECT_TRUE(state.pictures[2].fullPath.empty());
    EXPECT_EQ(bytes("My_Album.dat"), " 2\r\n/p/0.jpg\r\n0.jpg\r\n/p/2.jpg\r\n2.jpg\r\n");
    EXPECT_EQ(bytes("My_Album.dat1"), record(3, 2, 0, pixelString(thumbnail(3, 2, 0))) +
                                          record(3, 2, 0, pixelString(thumbnail(3, 2, 2))));

    ASSERT_EQ(store.deletePicture(1), StoreResult::Done); // the last: selection moves back
    EXPECT_EQ(state.selectedPicture(), 0);
    EXPECT_EQ(store.deletePicture(5), StoreResult::Refused);

    ASSERT_EQ(store.deletePicture(0), StoreResult::Done); // the only one: files go
    EXPECT_EQ(state.pictureCount, 0);
    EXPECT_FALSE(has("My_Album.dat"));
    EXPECT_FALSE(has("My_Album.dat1"));
    EXPECT_TRUE(ui.prompts().empty());
}

TEST_F(AlbumStoreTest, CopyCreatesTheTargetFiles) {
    startWith("2\r\nMy_Album\r\nZiel\r\n");
    addPictures(2);
    ASSERT_EQ(store.rotatePicture(1), StoreResult::Done);
    state.clearChangeFlags();

    EXPECT_EQ(store.copyPicture(1, 1), StoreResult::Done);
    EXPECT_EQ(bytes("Ziel.dat"), " 1\r\n/p/1.jpg\r\n1.jpg\r\n");
    // Copied as stored: turned thumbnail and rotation included.
    EXPECT_EQ(bytes("Ziel.dat1"), bytes("My_Album.dat1").substr(12 + kPixels3x2.size()));
    EXPECT_EQ(bytes("Ziel.dat1").substr(0, 12), "\x02\0\0\0\x03\0\0\0\x01\0\0\0"s);
    EXPECT_TRUE(state.pictureMoved);
    EXPECT_EQ(state.pictureCount, 2);

    EXPECT_EQ(store.copyPicture(0, 1), StoreResult::Done);
    EXPECT_EQ(bytes("Ziel.dat"), " 2\r\n/p/1.jpg\r\n1.jpg\r\n/p/0.jpg\r\n0.jpg\r\n");
    EXPECT_TRUE(ui.prompts().empty());

    EXPECT_EQ(store.copyPicture(0, 0), StoreResult::Refused); // its own album
    expectPrompt(msg::kCannotMove, Icon::Information);
}

TEST_F(AlbumStoreTest, CopyToAFullAlbumChangesNothing) {
    startWith("2\r\nMy_Album\r\nVoll\r\n");
    std::string names = "99\r\n";
    std::string data;
    for (int i = 0; i < 99; ++i) {
        names += "/v.jpg\r\nv.jpg\r\n";
        data += record(3, 2, 0, kPixels3x2);
    }
    writeBytes(dir / "Voll.dat", names);
    writeBytes(dir / "Voll.dat1", data);
    addPictures(1);
    EXPECT_EQ(store.copyPicture(0, 1), StoreResult::Refused);
    expectPrompt(msg::kAlbumFull, Icon::None);
    EXPECT_EQ(store.movePicture(0, 1), StoreResult::Refused);
    expectPrompt(msg::kAlbumFull, Icon::None);
    EXPECT_EQ(bytes("Voll.dat"), names);
    EXPECT_EQ(bytes("Voll.dat1"), data);
    EXPECT_EQ(state.pictureCount, 1);
    EXPECT_FALSE(state.pictureMoved);
}

TEST_F(AlbumStoreTest, MoveTakesThePictureOutOfTheAlbum) {
    startWith("2\r\nMy_Album\r\nZiel\r\n");
    // The target's data file lost a record: the copy lands after an empty one.
    writeBytes(dir / "Ziel.dat", " 1\r\n/z.jpg\r\nz.jpg\r\n");
    addPictures(2);
    EXPECT_EQ(store.movePicture(0, 1), StoreResult::Done);
    EXPECT_EQ(bytes("Ziel.dat"), " 2\r\n/z.jpg\r\nz.jpg\r\n/p/0.jpg\r\n0.jpg\r\n");
    EXPECT_EQ(bytes("Ziel.dat1"), record(0, 0, 0, "") + record(3, 2, 0, kPixels3x2));
    EXPECT_EQ(bytes("My_Album.dat"), " 1\r\n/p/1.jpg\r\n1.jpg\r\n");
    EXPECT_EQ(state.pictureCount, 1);
    EXPECT_EQ(state.selectedPicture(), 0);
    EXPECT_TRUE(state.pictureMoved);
    EXPECT_FALSE(state.pictureDeleted);

    state.clearChangeFlags();
    EXPECT_EQ(store.movePicture(0, 1), StoreResult::Done);
    EXPECT_EQ(state.pictureCount, 0);
    EXPECT_FALSE(state.pictureMoved); // nothing left to compose
    EXPECT_FALSE(has("My_Album.dat"));
    EXPECT_TRUE(ui.prompts().empty());
}

// A full disk in the middle of a rewrite: the old file must survive whole.
TEST_F(AlbumStoreTest, FailedRewriteLeavesTheOldFileIntact) {
    startWith("1\r\nMy_Album\r\n");
    addPictures(2, 100, 75);
    const std::string before = bytes("My_Album.dat1");

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 30000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const StoreResult rotated = store.rotatePicture(0);
    const std::string afterFailure = bytes("My_Album.dat1");
    const StoreResult deleted = store.deletePicture(1);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(rotated, StoreResult::Refused);
    EXPECT_EQ(afterFailure, before);
    EXPECT_EQ(deleted, StoreResult::Done); // one record fits again
    ASSERT_EQ(ui.prompts().size(), 1u);
    EXPECT_EQ(ui.prompts()[0].text, msg::kDataFileNotUpdated);
    EXPECT_EQ(ui.prompts()[0].icon, Icon::Information);
    EXPECT_EQ(state.pictures[0].rotation, 0); // memory keeps what the disk holds
    EXPECT_FALSE(state.pictureRotated);
    EXPECT_EQ(bytes("My_Album.dat1").size(), 12u + 22500u);

    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.path()))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"My_Album.dat", "My_Album.dat1", "album.dat",
                                              "album.lock"}));
}

TEST_F(AlbumStoreTest, LeftoverTemporaryDataFileIsRemoved) {
    startWith("1\r\nMy_Album\r\n");
    addPictures(2);
    writeBytes(dir / "aaaa.dat1", "left over from an interrupted rewrite");
    ASSERT_EQ(store.deletePicture(0), StoreResult::Done);
    EXPECT_FALSE(has("aaaa.dat1"));
    EXPECT_EQ(bytes("My_Album.dat1"), record(3, 2, 0, pixelString(thumbnail(3, 2, 1))));

    // Unless an album of that name owns it.
    ASSERT_EQ(store.addAlbum("aaaa"), StoreResult::Done);
    addPictures(2);
    ASSERT_EQ(store.deletePicture(0), StoreResult::Done);
    EXPECT_EQ(bytes("aaaa.dat1"), record(3, 2, 0, pixelString(thumbnail(3, 2, 1))));
}

TEST_F(AlbumStoreTest, UnsafeNamesNeverBecomePaths) {
    EXPECT_TRUE(store.nameFile("../x").empty());
    EXPECT_TRUE(store.dataFile("a/b").empty());
    EXPECT_TRUE(store.nameFile("..").empty());
    EXPECT_EQ(store.nameFile("Urlaub"), dir / "Urlaub.dat");
    EXPECT_EQ(store.dataFile("Urlaub"), dir / "Urlaub.dat1");
}

} // namespace
} // namespace kv::albums
