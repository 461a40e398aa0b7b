// Adding a camera raw streams its embedded preview from the file into the
// temporary copy; copy, thumbnail and status must come out byte for byte as when
// the whole file was read and decoded, and every raw that has no such preview
// falls back to that path.
#include "intake/bmp_thumbnail.h"
#include "intake/intake_messages.h"
#include "intake/picture_intake.h"
#include "intake/temp_bmp.h"
#include "platform/recording_ui.h"
#include "support/dng_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <lcms2.h>

#include <filesystem>
#include <string>

namespace kv::intake {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;
using test::dng::Dng;
using test::dng::dngFile;

struct Added {
    AddResult result;
    std::string copy; // empty when none was left
    platform::Bitmap24 thumbnail;
    std::string status;
    std::vector<std::string> texts;
};

Added add(const fs::path& dir, const fs::path& source) {
    shell::AppState state;
    platform::RecordingUi ui;
    test::TempDir home;
    albums::AlbumStore store(state.albums, ui, home.path());
    EXPECT_TRUE(store.readAlbumList("My_Album"));
    const std::string name = source.filename().string();
    state.albums.pictures[0].displayName = name;
    const fs::path temp = dir / "kvtemp";
    Added added{addStagedPicture(state, store, ui, dir, temp), {}, {}, state.statusText, {}};
    const fs::path copy = temporaryBmpPath(temp, source.string(), name);
    if (fs::exists(copy))
        added.copy = readBytes(copy);
    // Nothing but the copy stays in the temporary folder.
    if (fs::exists(temp))
        EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()),
                  added.copy.empty() ? 0 : 1);
    added.thumbnail = state.albums.pictures[0].thumbnail;
    added.texts = ui.texts();
    fs::remove_all(temp);
    return added;
}

// Display P3 (sRGB's curve, wider primaries), saved as an ICC profile.
std::vector<std::uint8_t> displayP3() {
    const cmsCIExyY white{0.3127, 0.3290, 1};
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    const cmsFloat64Number srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

TEST(StreamedRawCopy, CopyAndThumbnailAreThoseOfTheWholeFilesDecode) {
    const std::string whole = dngFile({.jpegPreview = true});
    const struct {
        const char* name;
        std::string bytes;
        int width, height; // of the copy
    } cases[] = {
        {"jpeg.dng", whole, 640, 480},
        {"turned-right.dng", dngFile({.orientation = 6, .jpegPreview = true, .previewExif = 3}),
         480, 640},
        {"turned-left.dng", dngFile({.orientation = 8, .jpegPreview = true}), 480, 640},
        {"upside-down.dng", dngFile({.orientation = 3, .jpegPreview = true}), 640, 480},
        {"large-preview.dng",
         dngFile({.width = 1200,
                  .height = 900,
                  .previewWidth = 1030,
                  .previewHeight = 770,
                  .jpegPreview = true}),
         1030, 770},
        {"rgb-preview.dng", dngFile({.orientation = 6}), 480, 640},
        {"small-preview.dng",
         dngFile({.previewWidth = 160, .previewHeight = 120, .jpegPreview = true}), 352, 264},
        {"sensor-cut.dng", whole.substr(0, whole.size() - 5000), 640, 480},
        {"p3-preview.dng", dngFile({.jpegPreview = true, .previewIcc = displayP3()}), 640, 480},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path source = dir / c.name;
        writeBytes(source, c.bytes);

        const fs::path wholeCopy = dir / "whole.bmp";
        ASSERT_EQ(convertPicture(source, wholeCopy).code, 1);
        const std::string wholeBytes = readBytes(wholeCopy);
        const std::vector<std::uint8_t> fileBytes(wholeBytes.begin(), wholeBytes.end());
        BmpPicture picture;
        ASSERT_EQ(readBmpForThumbnail(fileBytes, picture), BmpReadStatus::Ok);
        EXPECT_EQ(picture.width, c.width);
        EXPECT_EQ(picture.height, c.height);
        const platform::Bitmap24 thumbnail = makeThumbnail(picture);

        const Added added = add(dir.path(), source);
        EXPECT_EQ(added.result, AddResult::Added);
        EXPECT_TRUE(added.copy == wholeBytes);
        EXPECT_EQ(added.thumbnail.width, thumbnail.width);
        EXPECT_EQ(added.thumbnail.height, thumbnail.height);
        EXPECT_TRUE(added.thumbnail.pixels == thumbnail.pixels);
        EXPECT_EQ(added.status, std::string(c.name) + " [" + std::to_string(c.width) + "X" +
                                    std::to_string(c.height) + "]");
        EXPECT_TRUE(added.texts.empty());
    }

    // A preview in its own colour space comes into the copy converted to sRGB.
    writeBytes(dir / "plain.dng", whole);
    writeBytes(dir / "p3.dng", dngFile({.jpegPreview = true, .previewIcc = displayP3()}));
    const std::string plain = add(dir.path(), dir / "plain.dng").copy;
    const std::string p3 = add(dir.path(), dir / "p3.dng").copy;
    ASSERT_EQ(p3.size(), plain.size());
    EXPECT_FALSE(p3 == plain);

    // A file cut before its sensor data is refused as damaged, whole preview or not.
    const std::size_t sensorBytes = 704 * 528 * 2;
    const fs::path cut = dir / "cut.dng";
    writeBytes(cut, whole.substr(0, whole.size() - sensorBytes));
    const Added refused = add(dir.path(), cut);
    EXPECT_EQ(refused.result, AddResult::NotAdded);
    EXPECT_TRUE(refused.copy.empty());
    ASSERT_EQ(refused.texts.size(), 1u);
    EXPECT_NE(refused.texts[0].find(msg::kDamaged), std::string::npos) << refused.texts[0];
}

} // namespace
} // namespace kv::intake
