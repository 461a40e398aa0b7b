#include "adjust/colour_adjust.h"
#include "adjust/colour_adjust_picture.h"
#include "adjust/colour_adjust_texts.h"
#include "albums/album_files.h"
#include "intake/picture_intake.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace kv::adjust {
namespace {

namespace fs = std::filesystem;
using Pixel = std::array<std::uint8_t, 3>; // blue, green, red

Pixel adjust(Pixel bgr, ColourAdjustValues values, double mean = 128) {
    return adjustPixel(bgr, values, mean);
}

TEST(ColourAdjust, PixelReferenceValues) {
    struct Case {
        ColourAdjustValues values;
        double mean;
        Pixel in;
        Pixel out;
    };
    const std::vector<Case> cases = {
        // Brightness +100: exponent 0, everything white, black included.
        {{.brightness = 100}, 128, {0, 77, 254}, {255, 255, 255}},
        // Brightness -100: exponent 100; 255 * (254/255)^100 = 172.15.
        {{.brightness = -100}, 128, {254, 128, 255}, {172, 0, 255}},
        // Cyan-red +50 raises red only: 255 * (64/255)^0.5 = 127.75.
        {{.cyanRed = 50}, 128, {64, 64, 64}, {64, 64, 127}},
        // Magenta-green -50: exponent 2 on green only; 255 * (64/255)^2 = 16.06.
        {{.magentaGreen = -50}, 128, {64, 64, 64}, {64, 16, 64}},
        // Yellow-blue acts on blue, the first byte.
        {{.yellowBlue = 50}, 128, {64, 200, 10}, {127, 200, 10}},
        // Contrast +100 around mean 100: Q = 99; at Q 0, above it far up.
        {{.contrast = 100}, 100, {99, 100, 102}, {0, 100, 255}},
        {{.contrast = 100}, 100, {98, 255, 0}, {0, 255, 0}},
        // Contrast +50: Q = 50, factor 2.
        {{.contrast = 50}, 100, {60, 200, 100}, {20, 255, 100}},
        // Contrast -50: Q = -50, 0.5 * c + 50; -100 pulls everything onto the mean.
        {{.contrast = -50}, 100, {200, 0, 100}, {150, 50, 100}},
        {{.contrast = -100}, 100, {0, 255, 37}, {100, 100, 100}},
        // Brightness runs before the balance, contrast last.
        {{.cyanRed = 50, .brightness = 50, .contrast = 50}, 100, {64, 64, 64}, {154, 154, 255}},
        // A black thumbnail has mean 0: the limits of the factors, never 0 / 0.
        {{.contrast = 50}, 0, {10, 0, 200}, {20, 0, 255}},
        {{.contrast = -50}, 0, {10, 0, 200}, {5, 0, 100}},
        {{.contrast = 100}, 0, {2, 0, 3}, {200, 0, 255}},
    };
    for (const Case& c : cases) {
        const Pixel out = adjust(c.in, c.values, c.mean);
        EXPECT_EQ(out, c.out) << "in " << int(c.in[0]) << "," << int(c.in[1]) << "," << int(c.in[2])
                              << " mean " << c.mean;
    }
}

TEST(ColourAdjust, BitmapKeepsRowPaddingAndMatchesEachPixel) {
    // Width 3: 9 pixel bytes and 3 padding bytes per row; the mean counts padding.
    platform::Bitmap24 bitmap = platform::Bitmap24::make(3, 2);
    ASSERT_EQ(bitmap.stride(), 12);
    for (std::size_t i = 0; i < bitmap.pixels.size(); ++i)
        bitmap.pixels[i] = static_cast<std::uint8_t>(i % 12 >= 9 ? 0xAB : 20 * i);
    const std::vector<std::uint8_t> before = bitmap.pixels;
    const double mean = thumbnailMean(bitmap.pixels);
    double sum = 0;
    for (std::uint8_t b : before)
        sum += b;
    EXPECT_DOUBLE_EQ(mean, sum / 24);

    const ColourAdjustValues values{
        .cyanRed = -30, .yellowBlue = 70, .brightness = 10, .contrast = 40};
    adjustBitmap(bitmap, makeColourTables(values, mean));
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            const std::uint8_t* in = before.data() + y * 12 + x * 3;
            const Pixel expected = adjustPixel({in[0], in[1], in[2]}, values, mean);
            const std::uint8_t* out = bitmap.at(x, y);
            EXPECT_EQ((Pixel{out[0], out[1], out[2]}), expected) << x << "," << y;
        }
        for (int p = 9; p < 12; ++p)
            EXPECT_EQ(bitmap.pixels[std::size_t(y * 12 + p)], 0xAB);
    }
}

TEST(ColourAdjust, EditTextsAndSpinArrows) {
    for (const char* text : {"", "+", "-"})
        EXPECT_EQ(readColourEdit(text).meaning, EditMeaning::Typing) << text;
    for (const char* text : {"150", "-101", "101", "abc", "1-", "--1", "+-5", " 5", "5 ", "-x"})
        EXPECT_EQ(readColourEdit(text).meaning, EditMeaning::OutOfRange) << text;
    const std::vector<std::pair<const char*, int>> values = {
        {"0", 0}, {"-100", -100}, {"+100", 100}, {"42", 42}, {"-7", -7}, {"007", 7}};
    for (const auto& [text, value] : values) {
        const EditReading reading = readColourEdit(text);
        EXPECT_EQ(reading.meaning, EditMeaning::Value) << text;
        EXPECT_EQ(reading.value, value) << text;
    }
    EXPECT_EQ(spinColourValue(100, 1), 100);
    EXPECT_EQ(spinColourValue(-100, -1), -100);
    EXPECT_EQ(spinColourValue(5, -1), 4);
}

// An album picture on disk, its thumbnail file and the application state.
struct Album {
    test::TempDir dir;
    shell::AppState state;
    platform::RecordingUi ui;
    platform::Bitmap24 picture = platform::Bitmap24::make(4, 2);

    Album() {
        for (std::size_t i = 0; i < picture.pixels.size(); ++i)
            picture.pixels[i] = static_cast<std::uint8_t>(10 + 7 * i);
        EXPECT_TRUE(platform::imagelib::WriteBmpFile(dir / "pic.bmp", picture));
        albums::PictureRow& row = state.albums.pictures[0];
        row.fullPath = (dir / "pic.bmp").string();
        row.displayName = "pic.bmp";
        row.rotation = 1;
        state.albums.pictureCount = 1;
        state.albums.select(0);
        state.albums.albumJustChanged = true;
    }
    fs::path temp() const { return dir / "kvtemp"; }
    fs::path copy() const { return temp() / "Prefile.bmp"; }
    platform::Bitmap24 read(const fs::path& file) const {
        platform::Bitmap24 out;
        int w = 0, h = 0, bits = 0;
        EXPECT_EQ(platform::imagelib::CD(file, out, w, h, bits), 1);
        return out;
    }
};

TEST(ColourAdjust, ThumbnailOfTheSelectedPicture) {
    test::TempDir dir;
    std::string bytes;
    platform::Bitmap24 first = platform::Bitmap24::make(2, 2);
    platform::Bitmap24 second = platform::Bitmap24::make(3, 1);
    second.pixels.assign(second.pixels.size(), 9);
    albums::appendRecord(bytes, first, 0);
    albums::appendRecord(bytes, second, 0);
    test::writeBytes(dir / "a.dat1", bytes);

    const auto thumbnail = readColourThumbnail(dir / "a.dat1", 1);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->width, 3);
    EXPECT_EQ(thumbnail->pixels, second.pixels);
    EXPECT_FALSE(readColourThumbnail(dir / "a.dat1", 2));
    EXPECT_FALSE(readColourThumbnail(dir / "missing.dat1", 0));
}

TEST(ColourAdjust, ApplyWritesTheCopyAndShowsItTurned) {
    Album album;
    const ColourAdjustValues values{.magentaGreen = 40, .contrast = -20};
    EXPECT_EQ(applyColourAdjustment(album.state, album.ui, values, 90.0, album.temp()),
              ApplyResult::Applied);
    EXPECT_TRUE(album.ui.prompts().empty());
    EXPECT_GT(album.ui.waitCount(), 0);

    platform::Bitmap24 expected = album.picture;
    adjustBitmap(expected, makeColourTables(values, 90.0));
    EXPECT_EQ(album.read(album.copy()).pixels, expected.pixels);
    EXPECT_TRUE(album.state.adjustedPicturePresent);
    ASSERT_TRUE(album.state.displayedPicture);
    EXPECT_EQ(album.state.displayedPicture->pixels, platform::turnBitmap(expected, 1).pixels);
    EXPECT_EQ(album.state.statusText, "pic.bmp [2X4]");
    EXPECT_EQ(album.state.albums.loadedPicture(), 0);
    EXPECT_FALSE(album.state.albums.albumJustChanged);
}

TEST(ColourAdjust, ApplyOnAPictureThatCannotBeOpenedChangesNothing) {
    Album album;
    test::writeBytes(album.dir / "pic.bmp", "not a picture");
    album.state.statusText = "before";
    EXPECT_EQ(applyColourAdjustment(album.state, album.ui, {.brightness = 10}, 90, album.temp()),
              ApplyResult::CannotOpen);
    EXPECT_EQ(album.ui.texts(), std::vector<std::string>{std::string(colour_text::kCannotOpen)});
    EXPECT_FALSE(fs::exists(album.copy()));
    EXPECT_FALSE(album.state.adjustedPicturePresent);
    EXPECT_FALSE(album.state.displayedPicture);
    EXPECT_EQ(album.state.statusText, "before");

    // Nothing selected (the 4-in-1 layout opens the dialog without a selection).
    album.ui.clear();
    album.state.albums.select(-1);
    EXPECT_EQ(applyColourAdjustment(album.state, album.ui, {.brightness = 10}, 90, album.temp()),
              ApplyResult::CannotOpen);
    EXPECT_EQ(album.ui.texts().size(), 1u);
}

TEST(ColourAdjust, SaveGoesThroughTheSaveAsCommand) {
    Album album;
    // All values 0: nothing to save, no copy made.
    int calls = 0;
    EXPECT_TRUE(
        saveColourAdjustment(album.state, album.ui, {}, 90, album.temp(), [&] { ++calls; }));
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(fs::exists(album.copy()));

    // The intake's save-as takes the copy while the dialog saves.
    const fs::path target = album.dir / "out.bmp";
    EXPECT_TRUE(saveColourAdjustment(album.state, album.ui, {.cyanRed = 30}, 90, album.temp(), [&] {
        ++calls;
        EXPECT_TRUE(album.state.colourDialogSaving);
        EXPECT_TRUE(intake::saveAs(album.state, album.ui, target, album.temp()));
    }));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(test::readBytes(target), test::readBytes(album.copy()));
    EXPECT_FALSE(album.state.colourDialogSaving);
    EXPECT_FALSE(album.state.adjustedPicturePresent);
    // The displayed picture is not touched by saving.
    EXPECT_FALSE(album.state.displayedPicture);

    // A picture that cannot be opened: no save dialog, the dialog stays open.
    fs::remove(album.dir / "pic.bmp");
    EXPECT_FALSE(saveColourAdjustment(album.state, album.ui, {.cyanRed = 30}, 90, album.temp(),
                                      [&] { ++calls; }));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(album.state.colourDialogSaving);
    EXPECT_EQ(album.ui.texts(), std::vector<std::string>{std::string(colour_text::kCannotOpen)});
}

} // namespace
} // namespace kv::adjust
