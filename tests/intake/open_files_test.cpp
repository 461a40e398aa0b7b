#include "intake/intake_messages.h"
#include "intake/open_files.h"
#include "intake/open_files_texts.h"
#include "intake/temp_bmp.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "support/album_fill.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kv::intake {
namespace {

namespace fs = std::filesystem;
using Answer = platform::Ui::Answer;
using test::readBytes;
using test::writeBytes;
using Texts = std::vector<std::string>;

// Pixel (x, y) is blue x, green y, red `tag`: every pixel shows where it came from.
platform::Bitmap24 picture(int w, int h, int tag = 0) {
    platform::Bitmap24 b = platform::Bitmap24::make(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            b.at(x, y)[0] = std::uint8_t(x);
            b.at(x, y)[1] = std::uint8_t(y);
            b.at(x, y)[2] = std::uint8_t(tag);
        }
    return b;
}

platform::Bitmap24 decode(const fs::path& file) {
    platform::Bitmap24 b;
    int w = 0, h = 0, bits = 0;
    EXPECT_EQ(platform::imagelib::CD(file, b, w, h, bits), 1) << file;
    return b;
}

TEST(OpenFilesLists, TypeFiltersMatchWithoutRegardToCase) {
    ASSERT_EQ(kTypeFilters.front().entry, "*.*");
    EXPECT_EQ(kTypeFilters[kDefaultTypeFilter].entry, "Supported Format");
    EXPECT_EQ(OpenFilesMemory{}.typeFilter, 13);

    for (auto [name, pattern, match] :
         std::vector<std::tuple<const char*, const char*, bool>>{{"a.jpg", "*.JPG", true},
                                                                 {"A.JpG", "*.jpg", true},
                                                                 {"a.jpeg", "*.JPG", false},
                                                                 {"a.jpg.txt", "*.JPG", false},
                                                                 {"README", "*.*", true},
                                                                 {"ab.c", "a?.C", true},
                                                                 {"a.c", "a?.c", false}})
        EXPECT_EQ(matchesPattern(name, pattern), match) << name << " " << pattern;

    test::TempDir dir;
    for (const char* name :
         {"e.tif", "B.JPG", "a.jpg", "c.Bmp", "d.txt", "README", ".h.jpg", "f.png", "g.WebP"})
        writeBytes(dir / name, "x");
    fs::create_directories(dir / "sub.jpg");
    EXPECT_EQ(matchingFiles(dir.path(), kTypeFilters[kDefaultTypeFilter].patterns),
              (Texts{"a.jpg", "B.JPG", "c.Bmp", "e.tif", "f.png", "g.WebP"}));
    EXPECT_EQ(matchingFiles(dir.path(), kTypeFilters[3].patterns), (Texts{"a.jpg", "B.JPG"}));
    EXPECT_EQ(matchingFiles(dir.path(), kTypeFilters[0].patterns),
              (Texts{"a.jpg", "B.JPG", "c.Bmp", "d.txt", "e.tif", "f.png", "g.WebP", "README"}));
    EXPECT_TRUE(matchingFiles(dir / "gone", "*.*").empty());
}

TEST(OpenFilesLists, FolderLinesFromTheRootThenSubfolders) {
    test::TempDir dir;
    const fs::path folder = dir / "x/y";
    for (const char* sub : {"Zeta", "alpha", ".dot", "beta"})
        fs::create_directories(folder / sub);
    writeBytes(folder / "file.jpg", "x");

    const std::vector<FolderLine> lines = folderLines(dir.path().string() + "/x/./y/");
    std::vector<std::string> parts{"/"};
    for (const fs::path& part : folder.relative_path())
        parts.push_back(part.string());
    ASSERT_EQ(lines.size(), parts.size() + 3);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        EXPECT_EQ(lines[i].text, parts[i]);
        EXPECT_EQ(lines[i].level, int(i));
        EXPECT_TRUE(lines[i].onPath);
    }
    EXPECT_EQ(lines[parts.size() - 1].path, folder);
    const std::size_t first = parts.size();
    EXPECT_EQ(lines[first].text + lines[first + 1].text + lines[first + 2].text, "alphabetaZeta");
    EXPECT_EQ(lines[first + 2].path, folder / "Zeta");
    EXPECT_EQ(lines[first].level, int(parts.size()));
    EXPECT_FALSE(lines[first].onPath);
}

TEST(OpenFilesLists, DrivesFromTheMountTable) {
    const std::string mounts = "overlay / overlay rw,relatime 0 0\n"
                               "proc /proc proc rw 0 0\n"
                               "sysfs /sys sysfs rw 0 0\n"
                               "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
                               "devpts /dev/pts devpts rw 0 0\n"
                               "tmpfs /run tmpfs rw 0 0\n"
                               "tmpfs /run/user/1000 tmpfs rw 0 0\n"
                               "/dev/sdb1 /media/usb vfat rw 0 0\n"
                               "/dev/sdc1 /run/media/anna/STICK exfat rw 0 0\n"
                               "/dev/sr0 /mnt/cd iso9660 ro 0 0\n"
                               "nas:/photos /mnt/nas nfs4 rw 0 0\n"
                               "anna@host: /mnt/ssh fuse.sshfs rw 0 0\n"
                               "/dev/sda2 /home ext4 rw 0 0\n"
                               "/dev/sda3 /mnt/my\\040disk ext4 rw 0 0\n"
                               "/dev/loop0 /snap/core/1 squashfs ro 0 0\n"
                               "broken line\n"
                               "/dev/sr0 /home iso9660 ro 0 0\n";
    using I = DriveIcon;
    const std::vector<Drive> drives = parseMounts(mounts);
    EXPECT_EQ(drives, (std::vector<Drive>{{"/", I::Fixed},
                                          {"/home", I::CdRom}, // mounted over: the last one counts
                                          {"/media/usb", I::Removable},
                                          {"/mnt/cd", I::CdRom},
                                          {"/mnt/my disk", I::Fixed},
                                          {"/mnt/nas", I::Remote},
                                          {"/mnt/ssh", I::Remote},
                                          {"/run/media/anna/STICK", I::Removable}}));
    EXPECT_EQ(parseMounts(""), (std::vector<Drive>{{"/", I::Fixed}}));
    EXPECT_EQ(driveOf(drives, "/media/usb/fotos/2024"), 2u);
    EXPECT_EQ(driveOf(drives, "/media/usbstick"), 0u);
    EXPECT_EQ(driveOf(drives, "/mnt/my disk"), 4u);

    // A drive that is not ready: OK asks again, Cancel goes back to the root.
    const std::vector<Drive> gone{{"/", I::Fixed}, {"/no/such/kv-drive", I::Removable}};
    platform::RecordingUi ui;
    ui.script({Answer::Ok, Answer::Cancel});
    const FolderPick pick = changeDrive(gone, 1, ui);
    EXPECT_EQ(pick.folder, "/");
    EXPECT_EQ(pick.drive, 0u);
    EXPECT_EQ(ui.texts(), (Texts(2, std::string(open_text::kDriveNotReady))));
    EXPECT_EQ(ui.prompts()[0].buttons, platform::Ui::Buttons::OkCancel);
}

TEST(OpenFilesLists, PreviewReducesButNeverEnlarges) {
    // Client 108 x 88: inside the border 104 x 84, of which 100 x 80 may be used.
    EXPECT_EQ(previewPlacement(50, 40, 108, 88), (platform::Rect{29, 24, 79, 64}));
    EXPECT_EQ(previewPlacement(400, 80, 108, 88), (platform::Rect{4, 34, 104, 54}));
    EXPECT_EQ(previewPlacement(100, 400, 108, 88), (platform::Rect{44, 4, 64, 84}));
    EXPECT_TRUE(previewPlacement(10, 10, 8, 8).isEmpty());
}

class OpenFilesTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_store.readAlbumList("My_Album")); }

    OpenFilesEnvironment environment() {
        return {m_temp, [this] { return std::optional<std::uint64_t>(m_free); }, {}};
    }
    fs::path write(const std::string& name, const platform::Bitmap24& b) {
        EXPECT_TRUE(platform::imagelib::WriteBmpFile(m_dir / name, b));
        return m_dir / name;
    }
    fs::path copyData(const std::string& data, const std::string& name) {
        fs::copy_file(fs::path(KV_IMAGELIB_DATA) / data, m_dir / name);
        return m_dir / name;
    }
    void fillAlbum(int count) {
        test::fillAlbum(m_state.albums, m_store, count);
        m_ui.clear();
    }
    int add(OpenFilesModel& model) {
        return addOpenedFiles(m_state, m_store, m_ui, m_dir.path(), environment(),
                              model.takePreview());
    }
    fs::path copyOf(const std::string& name) {
        return temporaryBmpPath(m_temp, (m_dir / name).string(), name);
    }

    test::ScopedProgramFolders m_folders;
    test::TempDir m_dir;
    fs::path m_temp = m_dir / "kvtemp";
    std::uint64_t m_free = 1'000'000'000;
    shell::AppState m_state;
    platform::RecordingUi m_ui;
    albums::AlbumStore m_store{m_state.albums, m_ui, m_dir.path()};
};

TEST_F(OpenFilesTest, SeveralFilesStopWhenTheAlbumHoldsNinetyNine) {
    fillAlbum(97);
    Texts names;
    for (int i = 0; i < 5; ++i)
        names.push_back(write("m" + std::to_string(i) + ".bmp", picture(3, 3, i)).filename());
    m_state.rotationForNextPicture = 2;
    OpenFilesModel model(m_state, m_ui, environment());
    model.selectionChanged(m_dir.path(), names);
    EXPECT_TRUE(model.loadEnabled());
    EXPECT_FALSE(model.rotateEnabled());
    EXPECT_TRUE(model.preview().empty());
    ASSERT_TRUE(model.load(m_dir.path(), names));
    EXPECT_EQ(m_state.multiFileCount, 2);
    EXPECT_EQ(m_state.albums.pictureCount, 99);
    EXPECT_EQ(m_state.albums.pictures[98].fullPath, (m_dir / "m1.bmp").string());
    EXPECT_EQ(m_state.rotationForNextPicture, 0);

    EXPECT_EQ(add(model), 2);
    EXPECT_EQ(m_state.albums.pictureCount, 99);
    EXPECT_EQ(m_state.albums.pictures[98].displayName, "m1.bmp");
    EXPECT_EQ(m_state.albums.pictures[98].thumbnail.at(0, 0)[2], 1);
    EXPECT_EQ(m_ui.texts(), Texts{std::string(msg::kAlbumFull)});
}

TEST_F(OpenFilesTest, SeveralFilesStopWhenDriveCRunsShort) {
    const Texts names{write("a.bmp", picture(3, 3)).filename(),
                      write("b.bmp", picture(3, 3)).filename()};
    OpenFilesModel model(m_state, m_ui, environment());
    model.selectionChanged(m_dir.path(), names);
    ASSERT_TRUE(model.load(m_dir.path(), names));
    m_free = 10'239'999;
    EXPECT_EQ(add(model), 0);
    EXPECT_EQ(m_state.albums.pictureCount, 0);
    EXPECT_EQ(m_ui.texts(), Texts{std::string(msg::kLowDiskSpace)});

    // The preview refuses at once, and nothing can be loaded.
    m_ui.clear();
    OpenFilesModel again(m_state, m_ui, environment());
    again.selectionChanged(m_dir.path(), {"a.bmp"});
    EXPECT_FALSE(again.loadEnabled());
    EXPECT_TRUE(again.preview().empty());
    EXPECT_EQ(m_ui.texts(), Texts{std::string(msg::kLowDiskSpace)});
}

TEST_F(OpenFilesTest, JpegPreviewedAgainUsesItsConvertedCopy) {
    copyData("codecs/quad.jpg", "q.jpg");
    OpenFilesModel model(m_state, m_ui, environment());
    model.selectionChanged(m_dir.path(), {"q.jpg"});
    EXPECT_EQ(model.info(), "q.jpg\n[32 X 16]");
    ASSERT_TRUE(model.load(m_dir.path(), {"q.jpg"}));
    EXPECT_EQ(model.selectedFile(), copyOf("q.jpg").filename().string());
    ASSERT_TRUE(fs::exists(copyOf("q.jpg")));

    // The copy is what the preview shows and what "Laden" keeps.
    ASSERT_TRUE(platform::imagelib::WriteBmpFile(copyOf("q.jpg"), picture(4, 2, 0x77)));
    const std::string copy = readBytes(copyOf("q.jpg"));
    OpenFilesModel second(m_state, m_ui, environment());
    second.selectionChanged(m_dir.path(), {"q.jpg"});
    EXPECT_EQ(second.preview().at(0, 0)[2], 0x77);
    ASSERT_TRUE(second.load(m_dir.path(), {"q.jpg"}));
    EXPECT_EQ(readBytes(copyOf("q.jpg")), copy);
    EXPECT_EQ(add(second), 1);
    EXPECT_EQ(m_state.albums.pictures[0].thumbnail.at(0, 0)[2], 0x77);
    EXPECT_TRUE(m_ui.texts().empty());
}

TEST_F(OpenFilesTest, TurnedPreviewIsHandedOverAndTheCopyStaysUpright) {
    copyData("codecs/quad.jpg", "q.jpg");
    OpenFilesModel model(m_state, m_ui, environment());
    model.selectionChanged(m_dir.path(), {"q.jpg"});
    ASSERT_TRUE(model.rotateEnabled());
    const platform::Bitmap24 upright = model.preview();
    for (int i = 0; i < 3; ++i)
        model.rotate();
    ASSERT_TRUE(model.load(m_dir.path(), {"q.jpg"}));
    EXPECT_EQ(decode(copyOf("q.jpg")).width, 32);
    EXPECT_EQ(model.preview().pixels, platform::turnBitmap(upright, 3).pixels);

    EXPECT_EQ(add(model), 1);
    ASSERT_TRUE(m_state.displayedPicture);
    EXPECT_EQ(m_state.displayedPicture->width, 16);
    EXPECT_EQ(m_state.albums.pictures[0].rotation, 3);
    EXPECT_EQ(m_state.albums.pictures[0].thumbnail.height, 32);
    EXPECT_EQ(m_state.statusText, "q.jpg [32X16]");
}

TEST_F(OpenFilesTest, FilesThatCannotBePreviewedAreTold) {
    copyData("mono1.bmp", "bw.bmp");
    const std::string jpeg = readBytes(KV_IMAGELIB_DATA "codecs/quad.jpg");
    writeBytes(m_dir / "junk.bmp", "no picture");
    writeBytes(m_dir / "junk.jpg", "no picture");
    writeBytes(m_dir / "half.jpg", jpeg.substr(0, jpeg.size() / 2));
    std::string tiff = readBytes(KV_IMAGELIB_DATA "codecs/grey.tif");
    tiff[4] = '\xF0'; // the first directory lies past the end
    writeBytes(m_dir / "bad.tif", tiff);
    const std::string other(msg::kUnsupportedFormat), failed(open_text::kLoadError);
    const struct {
        const char* name;
        Texts texts;
    } cases[] = {
        {"bw.bmp", {std::string(msg::kBlackAndWhite)}},
        {"junk.bmp", {other, failed}},
        {"junk.jpg", {other}},
        {"half.jpg", {failed}},
        {"bad.tif", {std::string(msg::kNotTiff)}},
        {"gone.tga", {failed}},
    };
    for (const auto& c : cases) {
        m_ui.clear();
        OpenFilesModel model(m_state, m_ui, environment());
        model.selectionChanged(m_dir.path(), {c.name});
        EXPECT_FALSE(model.loadEnabled()) << c.name;
        EXPECT_FALSE(model.rotateEnabled()) << c.name;
        EXPECT_EQ(model.info(), "") << c.name;
        EXPECT_EQ(m_ui.texts(), c.texts) << c.name;
    }
}

} // namespace
} // namespace kv::intake
