// HEIC, AVIF and JPEG XL pictures dropped on the window: added upright under any
// file name, refused with the program's reason when damaged, too large or
// bilevel; and the open-files dialog's type list finds them.
#include "imagelib/heif_file.h"
#include "imagelib/jxl_file.h"
#include "intake/intake_messages.h"
#include "intake/open_files.h"
#include "intake/picture_intake.h"
#include "intake/temp_bmp.h"
#include "platform/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kv::intake {
namespace {

namespace fs = std::filesystem;
using test::writeBytes;

class HeifJxlIntake : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_store.readAlbumList("My_Album")); }

    int drop(const fs::path& file) {
        const std::vector<fs::path> files{file};
        return addDroppedFiles(m_state, m_store, m_ui, files, m_temp);
    }

    test::ScopedProgramFolders m_folders;
    test::TempDir m_dir;
    fs::path m_temp = m_dir / "kvtemp";
    shell::AppState m_state;
    platform::RecordingUi m_ui;
    albums::AlbumStore m_store{m_state.albums, m_ui, m_dir.path()};
};

TEST_F(HeifJxlIntake, PicturesAreAddedUprightOrRefusedWithTheirReason) {
    const std::string heic =
        test::heifFile({{.width = 64, .height = 32, .orientation = heif_orientation_rotate_90_cw}});
    std::string hugeHeic = heic;
    for (std::size_t at = hugeHeic.find("ispe"); at != std::string::npos;
         at = hugeHeic.find("ispe", at + 1))
        hugeHeic.replace(at + 8, 8, std::string("\0\0\x4E\x20\0\0\x4E\x20", 8));
    const test::Quads blackWhite{
        test::Rgba{0, 0, 0, 255}, {255, 0, 0, 255}, {255, 0, 0, 255}, {0, 0, 0, 255}};
    const struct {
        const char* name;
        std::string bytes;
        std::string_view reason; // empty: added
        const char* size;        // of the temporary BMP copy, upright
    } cases[] = {
        {"IMG_0001.HEIC", heic, {}, "32X64"},
        {"bild.avif",
         test::heifFile({{.codec = heif_compression_AV1, .width = 40, .height = 24}}),
         {},
         "40X24"},
        {"foto.jxl", test::jxlFile({.width = 48, .height = 20, .orientation = 8}), {}, "20X48"},
        {"named.jpg", test::jxlFile({.width = 8, .height = 6}), {}, "8X6"},
        {"cut.heic", heic.substr(0, heic.size() / 2), msg::kDamaged, ""},
        {"huge.heic", hugeHeic, msg::kTooLarge, ""},
        {"huge.jxl", test::jxlHeaderOnly(20000, 20000), msg::kTooLarge, ""},
        {"bilevel.jxl", test::jxlFile({.quads = blackWhite, .grey = true, .bits = 1}),
         msg::kBlackAndWhite, ""},
    };
    int added = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_ui.clear();
        const fs::path path = m_dir / c.name;
        writeBytes(path, c.bytes);
        if (c.reason.empty()) {
            EXPECT_EQ(drop(path), 1);
            EXPECT_TRUE(m_ui.prompts().empty());
            const albums::PictureRow& row = m_state.albums.pictures[std::size_t(added)];
            const std::string copy =
                test::readBytes(temporaryBmpPath(m_temp, row.fullPath, c.name));
            ASSERT_GE(copy.size(), 26u);
            const auto le32 = [&](std::size_t at) {
                return std::to_string(std::uint8_t(copy[at]) | std::uint8_t(copy[at + 1]) << 8);
            };
            EXPECT_EQ(le32(18) + "X" + le32(22), c.size);
            ++added;
        } else {
            EXPECT_EQ(drop(path), 0);
            ASSERT_EQ(m_ui.prompts().size(), 1u);
            EXPECT_EQ(m_ui.prompts()[0].text, std::string(c.reason) + "\n\n" + path.string() +
                                                  "Kann nicht geöffnet werden.");
        }
        EXPECT_EQ(m_state.albums.pictureCount, added);
    }
}

TEST(HeifJxlOpenFiles, TypeListFindsTheNewFormats) {
    test::TempDir dir;
    for (const char* name : {"a.heic", "B.HEIF", "c.hif", "d.avif", "e.JXL", "f.jpg", "g.txt"})
        writeBytes(dir / name, "x");
    const auto filter = [](std::string_view entry) {
        for (const TypeFilter& f : kTypeFilters)
            if (f.entry == entry)
                return f.patterns;
        ADD_FAILURE() << "no entry " << entry;
        return std::string_view{};
    };
    using Texts = std::vector<std::string>;
    EXPECT_EQ(matchingFiles(dir.path(), filter("Supported Format")),
              (Texts{"a.heic", "B.HEIF", "c.hif", "d.avif", "e.JXL", "f.jpg"}));
    EXPECT_EQ(matchingFiles(dir.path(), filter("*.HEIC")), (Texts{"a.heic", "B.HEIF", "c.hif"}));
    EXPECT_EQ(matchingFiles(dir.path(), filter("*.AVIF")), (Texts{"d.avif"}));
    EXPECT_EQ(matchingFiles(dir.path(), filter("*.JXL")), (Texts{"e.JXL"}));
}

} // namespace
} // namespace kv::intake
