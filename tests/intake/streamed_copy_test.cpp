// The temporary copy of a JPEG is written row by row as it is decoded, and its
// thumbnail made from the rows on the way; both must come out byte for byte as
// when the picture was decoded whole, written, and read back.
#include "intake/bmp_thumbnail.h"
#include "intake/picture_intake.h"
#include "intake/temp_bmp.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "support/jpeg_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <jpeglib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace kv::intake {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;

// A w x h JPEG of busy pixels, so that any misplaced row or column shows.
std::string makeJpeg(int w, int h, int components, bool progressive) {
    return test::encodeJpeg(w, h,
                            [w, components](int y, JSAMPLE* row) {
                                for (int x = 0; x < w * components; ++x)
                                    row[std::size_t(x)] =
                                        JSAMPLE((x * 7 + y * 13 + (x * y) % 29) & 0xFF);
                            },
                            {components, 85, progressive, {}});
}

// `jpeg` with an Exif APP1 segment whose IFD0 holds only the Orientation tag.
std::string withExif(const std::string& jpeg, int orientation) {
    std::string exif("\xFF\xE1\0\x22"
                     "Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0"
                     "\0\0\0\0\0\0\0\0",
                     36);
    exif[28] = char(orientation);
    return jpeg.substr(0, 2) + exif + jpeg.substr(2);
}

struct Case {
    std::string name;
    std::string bytes;
};

TEST(StreamedCopy, CopyAndThumbnailAreThoseOfTheWholePicture) {
    const std::string data = KV_IMAGELIB_DATA "codecs/";
    const std::string wide = makeJpeg(2001, 603, 3, false); // several bands of rows
    const std::string odd = makeJpeg(37, 23, 3, false);
    const std::string progressive = makeJpeg(203, 117, 3, true);
    std::vector<Case> cases{
        {"quad.jpg", readBytes(data + "quad.jpg")},
        {"grey.jpg", readBytes(data + "grey.jpg")},
        {"cmyk.jpg", readBytes(data + "cmyk.jpg")},
        {"odd.jpg", odd},
        {"thin.jpg", makeJpeg(1, 301, 3, false)},
        {"greyodd.jpg", makeJpeg(45, 31, 1, false)},
        {"wide.jpg", wide},
        {"cut.jpg", wide.substr(0, wide.size() / 2)},
        {"cutcmyk.jpg",
         [] {
             const std::string cmyk = makeJpeg(301, 211, 4, false);
             return cmyk.substr(0, cmyk.size() / 2);
         }()},
        {"cutprogressive.jpg", progressive.substr(0, progressive.size() * 2 / 3)},
        {"rgb.tif", readBytes(data + "rgb_none.tif")},
    };
    for (int orientation = 2; orientation <= 8; ++orientation)
        cases.push_back(
            {"turned" + std::to_string(orientation) + ".jpg", withExif(wide, orientation)});
    cases.push_back({"turnedcut.jpg", withExif(odd.substr(0, odd.size() - 30), 6)});

    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path source = dir / c.name;
        writeBytes(source, c.bytes);

        // The whole-picture path: decoded, written, read back.
        const fs::path whole = dir / ("whole-" + c.name + ".bmp");
        const Conversion before = convertPicture(source, whole);
        ASSERT_EQ(before.code, 1);
        const std::string wholeBytes = readBytes(whole);
        const std::vector<std::uint8_t> fileBytes(wholeBytes.begin(), wholeBytes.end());
        BmpPicture picture;
        ASSERT_EQ(readBmpForThumbnail(fileBytes, picture), BmpReadStatus::Ok);
        const platform::Bitmap24 thumbnail = makeThumbnail(picture);

        // The intake's own.
        shell::AppState state;
        platform::RecordingUi ui;
        test::TempDir home;
        albums::AlbumStore store(state.albums, ui, home.path());
        ASSERT_TRUE(store.readAlbumList("My_Album"));
        state.albums.pictures[0].displayName = c.name;
        const fs::path temp = dir / "kvtemp";
        ASSERT_EQ(addStagedPicture(state, store, ui, dir.path(), temp), AddResult::Added);
        const fs::path copy = temporaryBmpPath(temp, source.string(), c.name);
        EXPECT_TRUE(readBytes(copy) == wholeBytes);
        const albums::PictureRow& row = state.albums.pictures[0];
        EXPECT_EQ(row.thumbnail.width, thumbnail.width);
        EXPECT_EQ(row.thumbnail.height, thumbnail.height);
        EXPECT_TRUE(row.thumbnail.pixels == thumbnail.pixels);
        EXPECT_EQ(state.statusText, c.name + " [" + std::to_string(picture.width) + "X" +
                                        std::to_string(picture.height) + "]");
        EXPECT_EQ(ui.texts().empty(), !before.incomplete);
        // Nothing but the copy stays in the temporary folder.
        EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 1);
        fs::remove_all(temp);
    }
}

} // namespace
} // namespace kv::intake
