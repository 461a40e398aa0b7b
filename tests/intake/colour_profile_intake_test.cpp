// A picture with a colour profile comes in converted to sRGB, the same whether its
// copy is written row by row (JPEG) or whole; a damaged profile costs nothing but
// one notice.
#include "albums/album_store.h"
#include "imagelib/quadrant_picture.h"
#include "intake/picture_intake.h"
#include "intake/temp_bmp.h"
#include "platform/recording_ui.h"
#include "shell/app_state.h"
#include "support/jpeg_writer.h"
#include "support/temp_dir.h"
#include "support/tiff_writer.h"

#include <gtest/gtest.h>

#include <lcms2.h>

#include <string>
#include <vector>

namespace kv::intake {
namespace {

namespace fs = std::filesystem;

std::string jpegWith(std::vector<std::uint8_t> icc) {
    test::JpegSettings settings{3, 90, false, {}, std::move(icc)};
    return test::encodeJpeg(
        57, 33,
        [](int y, JSAMPLE* row) {
            for (int x = 0; x < 57 * 3; ++x)
                row[x] = JSAMPLE((x * 5 + y * 11) & 0xFF);
        },
        settings);
}

struct Case {
    std::string name;
    std::string bytes;
    bool notice;
};

TEST(ColourProfileIntake, ConvertedCopiesAndOneNoticeForADamagedProfile) {
    test::TempDir dir;
    const std::vector<std::uint8_t> garbage(300, 0x33);
    test::TiffPicture tiff;
    tiff.width = 3;
    tiff.values = {10, 200, 30, 250, 250, 250, 0, 90, 180};
    tiff.iccProfile = garbage;
    const std::vector<Case> cases{
        {"p3.jpg", jpegWith(test::rgbProfile(test::kP3Primaries)), false},
        {"plain.jpg", jpegWith({}), false},
        {"damaged.jpg", jpegWith(garbage), true},
        {"damaged.tif", test::encodeTiff(tiff, dir), true},
    };
    std::string p3Copy, plainCopy;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path source = dir / c.name;
        test::writeBytes(source, c.bytes);

        const fs::path whole = dir / ("whole-" + c.name + ".bmp");
        const Conversion before = convertPicture(source, whole);
        ASSERT_EQ(before.code, 1);
        EXPECT_EQ(before.profileIgnored, c.notice);

        shell::AppState state;
        platform::RecordingUi ui;
        test::TempDir home;
        albums::AlbumStore store(state.albums, ui, home.path());
        ASSERT_TRUE(store.readAlbumList("My_Album"));
        state.albums.pictures[0].displayName = c.name;
        const fs::path temp = dir / "kvtemp";
        ASSERT_EQ(addStagedPicture(state, store, ui, dir.path(), temp), AddResult::Added);
        const std::string copy = test::readBytes(temporaryBmpPath(temp, source.string(), c.name));
        EXPECT_TRUE(copy == test::readBytes(whole));
        const std::vector<std::string> notices =
            c.notice ? std::vector<std::string>{profileIgnoredMessage(source.string())}
                     : std::vector<std::string>{};
        EXPECT_EQ(ui.texts(), notices);
        fs::remove_all(temp);

        platform::RecordingUi copyUi;
        EXPECT_EQ(convertToTemporaryBmp(copyUi, source, dir / "again.bmp"), 1);
        EXPECT_EQ(copyUi.texts(), notices);
        if (c.name == "p3.jpg")
            p3Copy = copy;
        if (c.name == "plain.jpg")
            plainCopy = copy;
    }
    EXPECT_NE(p3Copy, plainCopy); // the profile was applied on the streamed path
    EXPECT_EQ(profileIgnoredMessage("/a/b.jpg"),
              "Das Farbprofil der Datei ist beschädigt; die Farben werden ohne es gezeigt.\n\n"
              "/a/b.jpg");
}

} // namespace
} // namespace kv::intake
