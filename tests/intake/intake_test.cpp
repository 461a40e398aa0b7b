#include "imagelib/picture_bytes.h"
#include "intake/acquisition.h"
#include "intake/bmp_thumbnail.h"
#include "intake/intake_messages.h"
#include "intake/picture_intake.h"
#include "intake/temp_bmp.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "support/album_fill.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kv::intake {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Icon = platform::Ui::Icon;
using test::readBytes;
using test::writeBytes;

std::string le(std::uint32_t v, int bytes = 4) {
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s += char((v >> (8 * i)) & 0xFF);
    return s;
}

// A BMP with a 40-byte info header; `pixels` are the rows as they stand in the file.
std::string bmp(int w, int h, int bits, const std::string& palette, const std::string& pixels,
                std::uint32_t compression = 0) {
    const std::uint32_t offset = 14 + 40 + std::uint32_t(palette.size());
    return "BM" + le(offset + std::uint32_t(pixels.size())) + le(0) + le(offset) + le(40) +
           le(std::uint32_t(w)) + le(std::uint32_t(h)) + le(1, 2) + le(std::uint32_t(bits), 2) +
           le(compression) + le(std::uint32_t(pixels.size())) + le(0) + le(0) + le(0) + le(0) +
           palette + pixels;
}

// Pixel (x, y) is blue x, green y, red `tag`: every sample shows where it came from.
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

BmpPicture rows24(int w, int h, std::span<const std::uint8_t> pixels) {
    BmpPicture p;
    p.width = w;
    p.height = h;
    p.bitsPerPixel = 24;
    p.stride = platform::Bitmap24::strideFor(w);
    p.pixels = pixels;
    return p;
}

std::string pixel(const platform::Bitmap24& b, int x, int y) {
    return std::string(b.at(x, y), b.at(x, y) + 3);
}

class IntakeTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_store.readAlbumList("My_Album")); }

    fs::path write(const std::string& name, const std::string& bytes) {
        fs::create_directories((m_dir / name).parent_path());
        writeBytes(m_dir / name, bytes);
        return m_dir / name;
    }
    fs::path write(const std::string& name, const platform::Bitmap24& b) {
        fs::create_directories((m_dir / name).parent_path());
        EXPECT_TRUE(platform::imagelib::WriteBmpFile(m_dir / name, b));
        return m_dir / name;
    }
    // As the open-files dialog leaves it: a display name, the folder beside it.
    AddResult open(const fs::path& file) {
        albums::PictureRow& row = m_state.albums.pictures[std::size_t(m_state.albums.pictureCount)];
        row.displayName = file.filename().string();
        return addStagedPicture(m_state, m_store, m_ui, file.parent_path(), m_temp);
    }
    int drop(const std::vector<fs::path>& files) {
        return addDroppedFiles(m_state, m_store, m_ui, files, m_temp);
    }
    const albums::PictureRow& row(int i) const { return m_state.albums.pictures[std::size_t(i)]; }
    void fillAlbum(int count) {
        test::fillAlbum(m_state.albums, m_store, count);
        m_ui.clear();
    }

    test::ScopedProgramFolders m_folders;
    test::TempDir m_dir;
    fs::path m_temp = m_dir / "kvtemp";
    shell::AppState m_state;
    platform::RecordingUi m_ui;
    albums::AlbumStore m_store{m_state.albums, m_ui, m_dir.path()};
};

TEST(TemporaryBmp, BmpNamesAndCopyNames) {
    for (auto [name, isBmp] : std::vector<std::pair<std::string, bool>>{{"a.bmp", true},
                                                                        {"A.BMPX", true},
                                                                        {"a.Bmp x", true},
                                                                        {".bmp", true},
                                                                        {"a.b.bmp", false},
                                                                        {"a.bm", false},
                                                                        {"bmp", false},
                                                                        {"a.jpg", false}})
        EXPECT_EQ(isBmpName(name), isBmp) << name;

    const fs::path t = "/tmp/kvtemp";
    const fs::path a = temporaryBmpPath(t, "/a/p.jpg", "p.jpg");
    EXPECT_EQ(a.parent_path(), t);
    EXPECT_TRUE(a.filename().string().starts_with("p_jpg_")) << a;
    EXPECT_EQ(a.filename().string().size(), "p_jpg_12345678.bmp"s.size());
    EXPECT_EQ(a, temporaryBmpPath(t, "/a/p.jpg", "p.jpg"));
    EXPECT_EQ(temporaryBmpPath(t, "/a/p.jpg x", "p.jpg x").filename().string().substr(0, 6),
              "p_jpg_");
    // One display name from two folders, and names without "." next to look-alikes.
    EXPECT_NE(a, temporaryBmpPath(t, "/b/p.jpg", "p.jpg"));
    const fs::path bare = temporaryBmpPath(t, "/a/p_jpg", "p_jpg");
    EXPECT_NE(bare, a);
    EXPECT_NE(bare, temporaryBmpPath(t, "/a/p_jpg.", "p_jpg."));
    EXPECT_EQ(temporaryBmpPath(t, "/a/x", "../x").parent_path(), t);
}

TEST(Thumbnail, SizeAndSampling) {
    struct Case {
        int w, h, tw, th;
    };
    for (Case c : {Case{640, 480, 100, 75},
                   {480, 640, 75, 100},
                   {60, 40, 60, 40},
                   {100, 100, 75, 75},
                   {300, 75, 100, 25},
                   {1000, 1, 100, 1}}) {
        std::vector<std::uint8_t> rows(std::size_t(platform::Bitmap24::strideFor(c.w) * c.h));
        const platform::Bitmap24 t = makeThumbnail(rows24(c.w, c.h, rows));
        EXPECT_EQ(t.width, c.tw) << c.w << "x" << c.h;
        EXPECT_EQ(t.height, c.th) << c.w << "x" << c.h;
    }
    // s = 2.5: column 1 samples 2.5 -> 3, column 99 samples 247.5 -> 248; row 1 -> 3.
    const platform::Bitmap24 src = picture(250, 150);
    const platform::Bitmap24 t = makeThumbnail(rows24(250, 150, src.pixels));
    ASSERT_EQ(t.width, 100);
    ASSERT_EQ(t.height, 60);
    EXPECT_EQ(pixel(t, 1, 1), pixel(src, 3, 3));
    EXPECT_EQ(pixel(t, 99, 59), pixel(src, 248, 148));
}

TEST_F(IntakeTest, FourBitWidthNineReadsRowsOfEightBytes) {
    std::string palette;
    for (int i = 0; i < 16; ++i)
        palette += std::string{char(i), char(0x10 + i), char(0x20 + i), 0};
    // Row 0 holds indexes 0..8, row 1 holds 8..0; the pad bytes hold index 15.
    const std::string rows = "\x01\x23\x45\x67\x8F\xFF\xFF\xFF"
                             "\x87\x65\x43\x21\x0F\xFF\xFF\xFF"s;
    ASSERT_EQ(open(write("nine.bmp", bmp(9, 2, 4, palette, rows))), AddResult::Added);
    const platform::Bitmap24& t = row(0).thumbnail;
    ASSERT_EQ(t.width, 9);
    for (int x = 0; x < 9; ++x) {
        EXPECT_EQ(pixel(t, x, 0), (std::string{char(x), char(0x10 + x), char(0x20 + x)}));
        EXPECT_EQ(pixel(t, x, 1)[0], char(8 - x));
    }
}

TEST_F(IntakeTest, CompressedAndSixteenBitBmpsAreReadThroughTheImageLibrary) {
    fs::copy_file(KV_IMAGELIB_DATA "rle8.bmp", m_dir / "rle.bmp");
    ASSERT_EQ(open(m_dir / "rle.bmp"), AddResult::Added);
    platform::Bitmap24 decoded;
    int w = 0, h = 0, bits = 0;
    ASSERT_EQ(platform::imagelib::CD(m_dir / "rle.bmp", decoded, w, h, bits), 1);
    EXPECT_EQ(row(0).thumbnail.width, w);
    EXPECT_EQ(row(0).thumbnail.pixels, decoded.pixels);

    // 5-5-5 bits: pure red and pure blue.
    ASSERT_EQ(open(write("deep.bmp", bmp(2, 1, 16, "", "\x00\x7C\x1F\x00"s))), AddResult::Added);
    EXPECT_EQ(pixel(row(1).thumbnail, 0, 0), "\x00\x00\xFF"s);
    EXPECT_EQ(pixel(row(1).thumbnail, 1, 0), "\xFF\x00\x00"s);
    EXPECT_EQ(m_state.albums.pictureCount, 2);
    EXPECT_TRUE(m_ui.texts().empty());
}

TEST_F(IntakeTest, AddsBmpWithRotationAndWritesAlbum) {
    m_state.rotationForNextPicture = 1;
    const fs::path file = write("pics/p.BMPX", picture(640, 480));
    ASSERT_EQ(open(file), AddResult::Added);
    EXPECT_EQ(m_state.albums.pictureCount, 1);
    EXPECT_EQ(m_state.albums.selectedPicture(), 0);
    EXPECT_EQ(row(0).fullPath, file.string());
    EXPECT_EQ(row(0).rotation, 1);
    EXPECT_EQ(row(0).thumbnail.width, 75); // stored turned
    EXPECT_EQ(m_state.statusText, "p.BMPX [640X480]");
    EXPECT_TRUE(!fs::exists(m_temp) || fs::is_empty(m_temp)); // read directly
    EXPECT_NE(readBytes(m_store.nameFile("My_Album")).find("p.BMPX"), std::string::npos);

    // A file dropped afterwards starts unturned and leaves nothing selected.
    EXPECT_EQ(drop({write("pics/q.bmp", picture(640, 480))}), 1);
    EXPECT_EQ(row(1).rotation, 0);
    EXPECT_EQ(row(1).thumbnail.width, 100);
    EXPECT_EQ(m_state.albums.selectedPicture() + m_state.albums.loadedPicture(), -3);
    EXPECT_EQ(m_state.statusText, "");
    EXPECT_TRUE(m_ui.texts().empty());
}

TEST_F(IntakeTest, ConvertsOtherFormatsPerFullPath) {
    // Same display name in two folders (BMP bytes under another name are converted too).
    ASSERT_EQ(open(write("a/same.pic", picture(4, 4, 0xAA))), AddResult::Added);
    ASSERT_EQ(open(write("b/same.pic", picture(4, 4, 0xBB))), AddResult::Added);
    EXPECT_EQ(row(0).thumbnail.at(0, 0)[2], 0xAA);
    EXPECT_EQ(row(1).thumbnail.at(0, 0)[2], 0xBB);

    fs::copy_file(KV_IMAGELIB_DATA "codecs/quad.jpg", m_dir / "q.jpg");
    ASSERT_EQ(open(m_dir / "q.jpg"), AddResult::Added);
    EXPECT_EQ(readBytes(temporaryBmpPath(m_temp, row(2).fullPath, "q.jpg")).substr(0, 2), "BM");
    EXPECT_EQ(m_state.statusText, "q.jpg [32X16]");
    EXPECT_TRUE(m_ui.texts().empty());
}

TEST_F(IntakeTest, RefusedFilesLeaveAlbumUnchanged) {
    const std::string good = bmp(2, 2, 24, "", std::string(16, '\x7F'));
    std::string hugePalette = bmp(2, 2, 8, "", std::string(8, 0));
    hugePalette.replace(46, 4, le(200)); // 200 colours announced, none present
    std::string badOffset = good;
    badOffset.replace(10, 4, le(0x7FFFFFFF));
    fs::copy_file(KV_IMAGELIB_DATA "mono1.bmp", m_dir / "mono.bmp");
    fs::copy_file(KV_IMAGELIB_DATA "mono1.bmp", m_dir / "bw.pic");
    const std::string mono = (m_dir / "mono.bmp").string();
    const std::string bw = (m_dir / "bw.pic").string();
    const std::string cannotOpen = std::string(msg::kCannotOpenFile);

    struct Case {
        std::string name;
        std::string bytes; // empty: the file is already there or missing
        std::string text;
        Icon icon;
    };
    const std::vector<Case> cases{
        {"mono.bmp", "", std::string(msg::kBlackAndWhite) + mono + "Kann nicht geöffnet werden.",
         Icon::None},
        {"bw.pic", "",
         std::string(msg::kBlackAndWhite) + "\n\n" + bw + "Kann nicht geöffnet werden.",
         Icon::None},
        {"x.xyz", "no picture", conversionMessage(-5, (m_dir / "x.xyz").string()), Icon::None},
        {"gone.bmp", "", cannotOpen, Icon::Stop},
        {"short.bmp", good.substr(0, good.size() - 1), std::string(msg::kScalingError),
         Icon::Information},
        {"head.bmp", good.substr(0, 20), cannotOpen, Icon::Stop},
        {"pal.bmp", hugePalette, cannotOpen, Icon::Stop},
        {"offset.bmp", badOffset, cannotOpen, Icon::Stop},
        {"wide.bmp", bmp(-2, 2, 24, "", std::string(16, 0)), cannotOpen, Icon::Stop},
        {"deep.bmp", bmp(2, 2, 7, "", std::string(8, 0)),
         conversionMessage(-5, (m_dir / "deep.bmp").string()), Icon::None},
        {"", "", std::string(msg::kCannotLoad), Icon::Stop},
    };
    for (const Case& c : cases) {
        m_ui.clear();
        if (!c.bytes.empty())
            write(c.name, c.bytes);
        EXPECT_EQ(open(m_dir / c.name), AddResult::NotAdded) << c.name;
        ASSERT_EQ(m_ui.prompts().size(), 1u) << c.name;
        EXPECT_EQ(m_ui.prompts()[0].text, c.text) << c.name;
        EXPECT_EQ(m_ui.prompts()[0].icon, c.icon) << c.name;
        EXPECT_EQ(m_state.albums.pictureCount, 0) << c.name;
        EXPECT_TRUE(row(0).displayName.empty()) << c.name;
    }
    EXPECT_FALSE(fs::exists(m_store.nameFile("My_Album")));
}

// Whatever the image library refuses is told with its reason, in the shape of the
// library's own reasons, and leaves the album and the temporary directory as they were.
TEST_F(IntakeTest, EveryRefusedPictureSaysWhy) {
    using test::gifFile, test::tiffFile;
    const std::string quad = readBytes(KV_IMAGELIB_DATA "codecs/quad.jpg");
    const std::string noData(16, '\0');
    const test::GifColour black{0, 0, 0}, white{255, 255, 255};
    enum class Make { Bytes, Nothing, Folder, TempBlocked };
    struct Case {
        std::string name;
        Make make;
        std::string bytes;
        std::string_view reason;
    };
    // 11990 x 10000 is just within the pixel bound; 65535 x 65535 is far past it.
    const std::vector<Case> cases{
        {"missing.jpg", Make::Nothing, "", msg::kCannotRead},
        {"dir.jpg", Make::Folder, "", msg::kCannotRead},
        {"junk.jpg", Make::Bytes, "\xFF\xD8\xFF\xE0 not really JPEG", msg::kDamaged},
        {"claims.jpg", Make::Bytes, test::jpegClaiming(quad, 11990, 10000), msg::kDamaged},
        {"claims.tif", Make::Bytes, tiffFile(11990, 10000, 8, 1, 1, noData), msg::kDamaged},
        {"claims.gif", Make::Bytes,
         gifFile(11990, 10000, {black, white}, 0, 0, 11990, 10000, {0, 1}), msg::kDamaged},
        {"claims.pcx", Make::Bytes, test::pcxFile(11990, 10000, noData), msg::kDamaged},
        {"claims.tga", Make::Bytes, test::tgaFile(11990, 10000, noData), msg::kDamaged},
        {"huge.jpg", Make::Bytes, test::jpegClaiming(quad, 65535, 65535), msg::kTooLarge},
        {"huge.tif", Make::Bytes, tiffFile(65535, 65535, 8, 1, 1, noData), msg::kTooLarge},
        {"huge.gif", Make::Bytes, gifFile(65535, 65535, {black, white}, 0, 0, 1, 1, {0}),
         msg::kTooLarge},
        {"huge.pcx", Make::Bytes, test::pcxFile(65535, 65535, noData), msg::kTooLarge},
        {"huge.tga", Make::Bytes, test::tgaFile(65535, 65535, noData), msg::kTooLarge},
        {"huge.bmp", Make::Bytes, test::bmpFile(20000, 20000, noData), msg::kTooLarge},
        {"bilevel.tif", Make::Bytes, readBytes(KV_IMAGELIB_DATA "codecs/bilevel.tif"),
         msg::kBlackAndWhite},
        {"g4.tif", Make::Bytes, tiffFile(16, 2, 1, 4, 0, test::whiteG4Strip(2)),
         msg::kBlackAndWhite},
        {"two.gif", Make::Bytes, gifFile(2, 1, {black, white}, 0, 0, 2, 1, {0, 1}),
         msg::kBlackAndWhite},
        {"good.jpg", Make::TempBlocked, quad, msg::kTempNotWritten},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_ui.clear();
        const fs::path path = m_dir / c.name;
        if (c.make == Make::Bytes || c.make == Make::TempBlocked)
            writeBytes(path, c.bytes);
        if (c.make == Make::Folder)
            fs::create_directory(path);
        if (c.make == Make::TempBlocked) {
            fs::remove_all(m_temp);
            writeBytes(m_temp, "a file where the temporary directory belongs");
        }
        EXPECT_EQ(drop({path}), 0);
        ASSERT_EQ(m_ui.prompts().size(), 1u);
        EXPECT_EQ(m_ui.prompts()[0].text,
                  std::string(c.reason) + "\n\n" + path.string() + "Kann nicht geöffnet werden.");
        EXPECT_EQ(m_ui.prompts()[0].icon, Icon::None);
        EXPECT_EQ(m_state.albums.pictureCount, 0);
        EXPECT_TRUE(row(0).displayName.empty());
        if (c.make != Make::TempBlocked) {
            EXPECT_TRUE(!fs::exists(m_temp) || fs::is_empty(m_temp));
        }
    }
    EXPECT_FALSE(fs::exists(m_store.nameFile("My_Album")));
}

TEST_F(IntakeTest, CutOffJpegIsAddedAndToldOnce) {
    const std::string quad = readBytes(KV_IMAGELIB_DATA "codecs/quad.jpg");
    const fs::path cut = write("cut.jpg", quad.substr(0, quad.size() - 8));
    const std::vector<std::string> notice{std::string(msg::kIncomplete) + "\n\n" + cut.string()};
    ASSERT_EQ(drop({cut}), 1);
    EXPECT_EQ(m_ui.texts(), notice);
    EXPECT_EQ(m_ui.prompts()[0].icon, Icon::Information);
    EXPECT_EQ(row(0).thumbnail.width, 32);

    // Its converted copy is what the program reads from then on: nothing more is told.
    ASSERT_EQ(drop({cut}), 1);
    m_state.albums.select(0);
    EXPECT_TRUE(saveAs(m_state, m_ui, m_dir / "copy.bmp", m_temp));
    EXPECT_EQ(displayPicture(m_state, m_ui, m_temp), DisplayResult::Shown);
    EXPECT_EQ(m_ui.texts(), notice);
    EXPECT_EQ(m_state.albums.pictureCount, 2);
}

// Converted ahead on every core, a drop of many files adds and tells exactly what
// adding them one at a time does.
TEST_F(IntakeTest, ManyFilesAtOnceAreAddedAsOneAtATime) {
    const std::string quad = readBytes(KV_IMAGELIB_DATA "codecs/quad.jpg");
    const fs::path a = write("a.jpg", quad);
    const std::vector<fs::path> files{a,
                                      write("junk.jpg", "\xFF\xD8\xFF\xE0 not really JPEG"),
                                      write("cut.jpg", quad.substr(0, quad.size() - 8)),
                                      a,
                                      write("b.bmp", picture(40, 30)),
                                      write("sub/a.jpg", quad)};
    const auto rows = [&] {
        std::vector<std::string> out;
        for (int i = 0; i < m_state.albums.pictureCount; ++i)
            out.push_back(
                row(i).fullPath + "|" + row(i).displayName + "|" +
                std::string(row(i).thumbnail.pixels.begin(), row(i).thumbnail.pixels.end()));
        return out;
    };
    for (const fs::path& file : files)
        drop({file});
    const std::vector<std::string> oneByOne = rows();
    const std::vector<std::string> told = m_ui.texts();
    ASSERT_EQ(oneByOne.size(), 5u);

    while (m_state.albums.pictureCount > 0)
        m_store.deletePicture(0);
    m_ui.clear();
    m_temp = m_dir / "kvtemp-again";
    EXPECT_EQ(drop(files), 5);
    EXPECT_EQ(rows(), oneByOne);
    EXPECT_EQ(m_ui.texts(), told);
}

// Opening a named pipe for reading waits for a writer; no picture path may.
TEST_F(IntakeTest, NamedPipesAreRefusedAtOnce) {
    for (const char* name : {"pipe.jpg", "pipe.bmp"})
        ASSERT_EQ(::mkfifo((m_dir / name).c_str(), 0600), 0);
    const std::string jpegPipe = (m_dir / "pipe.jpg").string();
    EXPECT_EQ(drop({m_dir / "pipe.jpg", m_dir / "pipe.bmp"}), 0);
    Acquisition acquisition;
    EXPECT_EQ(acquisition.addPage(m_state, m_store, m_ui, m_dir / "pipe.bmp", m_temp),
              Acquisition::PageResult::NotAdded);
    EXPECT_EQ(m_ui.texts(),
              (std::vector<std::string>{
                  std::string(msg::kCannotRead) + "\n\n" + jpegPipe + "Kann nicht geöffnet werden.",
                  std::string(msg::kCannotOpenFile),
                  std::string(msg::kCannotOpenFile),
              }));
    EXPECT_EQ(m_state.albums.pictureCount, 0);

    // A picture whose file became a pipe since it was added.
    m_ui.clear();
    m_state.albums.pictures[0] = {(m_dir / "pipe.bmp").string(), "pipe.bmp",
                                  platform::Bitmap24::make(1, 1), 0};
    m_state.albums.pictureCount = 1;
    m_state.albums.select(0);
    EXPECT_EQ(displayPicture(m_state, m_ui, m_temp), DisplayResult::Failed);
    EXPECT_EQ(m_ui.texts(), std::vector<std::string>{std::string(msg::kCannotLoad)});
}

TEST_F(IntakeTest, FailedFileMakesRoomForThePendingOne) {
    m_state.multiFileLoad = true;
    m_state.pendingFiles = 1;
    const fs::path good = write("good.bmp", picture(8, 8));
    m_state.albums.pictures[1].displayName = "good.bmp";
    m_state.albums.pictures[0].displayName = "missing.bmp";
    EXPECT_EQ(addStagedPicture(m_state, m_store, m_ui, m_dir.path(), m_temp), AddResult::NotAdded);
    EXPECT_EQ(row(0).displayName, "good.bmp");
    EXPECT_EQ(addStagedPicture(m_state, m_store, m_ui, m_dir.path(), m_temp),
              AddResult::AddedQuietly);
    EXPECT_EQ(row(0).fullPath, good.string());
}

TEST_F(IntakeTest, DropStopsAtNinetyNinePictures) {
    fillAlbum(97);
    std::vector<fs::path> files;
    for (int i = 0; i < 5; ++i)
        files.push_back(write("d" + std::to_string(i) + ".bmp", picture(3, 3)));
    EXPECT_EQ(drop(files), 2);
    EXPECT_EQ(m_state.albums.pictureCount, 99);
    EXPECT_EQ(m_ui.texts(), std::vector<std::string>{std::string(msg::kAlbumFull)});
    EXPECT_FALSE(m_state.addedByDrop);
}

TEST(FreeSpace, TenMillionBytesAtLeast) {
    for (auto [free, ok] : std::vector<std::pair<std::optional<std::uint64_t>, bool>>{
             {std::nullopt, false}, {10'239'999, false}, {10'240'000, true}}) {
        platform::RecordingUi ui;
        EXPECT_EQ(freeSpaceOk(ui, free), ok);
        EXPECT_EQ(ui.texts().size(), ok ? 0u : 1u);
    }
}

TEST_F(IntakeTest, DisplaysTurnedPictureAndNoticesMissingFile) {
    m_state.rotationForNextPicture = 1;
    const fs::path file = write("p.bmp", picture(64, 48));
    ASSERT_EQ(open(file), AddResult::Added);
    m_state.adjustedPicturePresent = true;
    ASSERT_EQ(displayPicture(m_state, m_ui, m_temp), DisplayResult::Shown);
    EXPECT_FALSE(m_state.adjustedPicturePresent);
    ASSERT_TRUE(m_state.displayedPicture);
    EXPECT_EQ(m_state.displayedPicture->width, 48);
    EXPECT_EQ(m_state.statusText, "p.bmp [48X64]");

    fs::remove(file);
    EXPECT_EQ(displayPicture(m_state, m_ui, m_temp), DisplayResult::Missing);
    EXPECT_EQ(m_ui.texts(), std::vector<std::string>{std::string(msg::kFileMissing)});
    EXPECT_EQ(m_state.albums.selectedPicture(), -1);
    EXPECT_EQ(m_state.statusText, "");
}

TEST_F(IntakeTest, SaveAsUsesAdjustedCopyOnceThenPicture) {
    EXPECT_FALSE(canSaveAs(m_state, m_ui));
    EXPECT_EQ(m_ui.texts(), std::vector<std::string>{std::string(msg::kNoPhotoToSave)});
    const fs::path file = write("p.bmp", picture(4, 4));
    ASSERT_EQ(open(file), AddResult::Added);
    fs::create_directories(m_temp);
    writeBytes(m_temp / "Prefile.bmp", "adjusted");
    m_state.adjustedPicturePresent = true;
    const fs::path target = m_dir / "out.bmp";
    ASSERT_TRUE(saveAs(m_state, m_ui, target, m_temp));
    EXPECT_EQ(readBytes(target), "adjusted");
    ASSERT_TRUE(saveAs(m_state, m_ui, target, m_temp));
    EXPECT_EQ(readBytes(target), readBytes(file));

    // Not a BMP: converted straight into the target.
    ASSERT_EQ(open(write("c.pic", picture(5, 3))), AddResult::Added);
    ASSERT_TRUE(saveAs(m_state, m_ui, m_dir / "c.bmp", m_temp));
    EXPECT_EQ(readBytes(m_dir / "c.bmp"), readBytes(write("c24.bmp", picture(5, 3))));

    // A layout sheet is saved as shown, whatever picture is selected.
    m_state.layout = shell::Layout::SixteenUp;
    m_state.sheet = picture(640, 480, 0x33);
    ASSERT_TRUE(saveAs(m_state, m_ui, target, m_temp));
    EXPECT_EQ(readBytes(target), readBytes(write("sheet.bmp", picture(640, 480, 0x33))));
}

TEST(AcquireTarget, NameOfFewerThanSixCharacters) {
    const std::pair<const char*, bool> targets[] = {
        {"/d/abcde.bmp", true},   {"/d/abcdef.bmp", false},          {"/d/äöüßé.bmp", true},
        {"/d/äöüßéa.bmp", false}, {"/long-folder-name/a.bmp", true}, {"/d/ab.c.bmp", true},
    };
    for (const auto& [target, ok] : targets) {
        platform::RecordingUi ui;
        EXPECT_EQ(acquireTargetOk(ui, target), ok) << target;
        EXPECT_EQ(ui.texts().size(), ok ? 0u : 1u) << target;
        if (!ok) {
            EXPECT_EQ(ui.prompts()[0].text, msg::kAcquireNameTooLong);
        }
    }
}

TEST_F(IntakeTest, AcquiredPagesStopAtNinetyNineAndAreToldOnce) {
    fillAlbum(95);
    using R = Acquisition::PageResult;
    const struct {
        std::string page; // empty: the event carried no path
        R result;
    } pages[] = {{"", R::NoFile},
                 {"scan001.bmp", R::Added},
                 {"scan002.BMP", R::Added},
                 {"scan003.bmp", R::Added},
                 {"scan004.bmp", R::Added},
                 {"scan005.bmp", R::AlbumFull},
                 {"scan006.bmp", R::AlbumFull}};
    Acquisition acquisition;
    for (const auto& p : pages) {
        const fs::path file = p.page.empty() ? fs::path() : write(p.page, picture(4, 3));
        EXPECT_EQ(acquisition.addPage(m_state, m_store, m_ui, file, m_temp), p.result) << p.page;
        EXPECT_FALSE(m_state.addedByAcquisition);
    }
    EXPECT_EQ(m_state.albums.pictureCount, 99);
    EXPECT_EQ(row(95).displayName, "scan001.bmp");
    EXPECT_EQ(row(96).fullPath, (m_dir / "scan002.BMP").string());
    EXPECT_EQ(row(98).displayName, "scan004.bmp");
    EXPECT_EQ(row(98).rotation, 0);
    EXPECT_EQ(m_state.albums.selectedPicture(), -1);
    EXPECT_EQ(m_ui.texts(), std::vector<std::string>{std::string(msg::kAlbumFull)});
    EXPECT_EQ(m_ui.prompts()[0].icon, Icon::None);

    // A new acquisition tells it again.
    Acquisition next;
    EXPECT_EQ(next.addPage(m_state, m_store, m_ui, write("more001.bmp", picture(2, 2)), m_temp),
              R::AlbumFull);
    EXPECT_EQ(m_ui.texts().size(), 2u);
}

} // namespace
} // namespace kv::intake
