// The colour dialog's copy of a camera raw is what prints: it is made from the
// developed sensor data, not from the preview the window shows.
#include "adjust/colour_adjust.h"
#include "adjust/colour_adjust_picture.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "support/dng_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace kv::adjust {
namespace {

namespace lib = platform::imagelib;

TEST(ColourAdjustRaw, TheCopyOfARawIsItsDevelopedPictureAdjusted) {
    test::TempDir dir;
    const std::string raw = test::dng::dngFile({.orientation = 8});
    test::writeBytes(dir / "kamera.dng", raw);
    shell::AppState state;
    state.albums.pictures[0].fullPath = (dir / "kamera.dng").string();
    state.albums.pictures[0].displayName = "kamera.dng";
    state.albums.pictureCount = 1;
    state.albums.select(0);
    platform::RecordingUi ui;

    const ColourAdjustValues values{.brightness = 20};
    ASSERT_EQ(applyColourAdjustment(state, ui, values, 100.0, dir / "kvtemp", false),
              ApplyResult::Applied);
    lib::DecodedImage developed;
    platform::Bitmap24 expected, copy;
    ASSERT_EQ(
        lib::developRaw({reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()}, developed),
        lib::DecodeResult::Ok);
    ASSERT_TRUE(lib::ConvertTo24(developed, expected));
    adjustBitmap(expected, makeColourTables(values, 100.0));
    int width = 0, height = 0, bits = 0;
    ASSERT_EQ(lib::CD(dir / "kvtemp/Prefile.bmp", copy, width, height, bits), 1);
    EXPECT_EQ(width, expected.width);
    EXPECT_TRUE(copy.pixels == expected.pixels);
}

} // namespace
} // namespace kv::adjust
