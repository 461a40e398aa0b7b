#include "render/layout_composition.h"
#include "render/print_window.h"

#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace kv::render {
namespace {

namespace lib = platform::imagelib;

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);

TEST(PrintWindowSheet, ShowsTheSixteenUpSheetAndTakesADropIntoAFourUpQuarter) {
    test::TempDir dir;
    platform::RecordingUi ui;
    shell::AppState state;
    platform::Bitmap24 red = lib::NewImage(300, 200, 255, 0, 0);
    ASSERT_TRUE(lib::WriteBmpFile(dir / "red.bmp", red));
    state.albums.pictures[0] = {(dir / "red.bmp").string(), "red.bmp", {}, 0};
    state.albums.pictureCount = 1;

    // 16 in 1, cell 5 blue: the sheet at its own size inside the 20-pixel margin.
    state.layout = shell::Layout::SixteenUp;
    state.sheet = lib::NewImage(640, 480, 255, 255, 255);
    lib::FillImageRect(state.sheet, kSixteenUpGrid.cell(5), 0, 0, 255);
    PrintWindow window(state);
    window.resize(680, 520);
    QImage shot = window.grab().toImage();
    EXPECT_EQ(shot.pixel(20 + 160 + 80, 20 + 120 + 60), kBlue);
    EXPECT_EQ(shot.pixel(20 + 80, 20 + 60), kWhite);
    EXPECT_NE(shot.pixel(10, 10), kWhite); // the margin shows the background
    EXPECT_EQ(window.sheetCellAt(QPoint(20 + 160 + 80, 20 + 120 + 60)), 5);

    // The preview puts the sheet on white landscape paper.
    state.previewMode = true;
    const Rect sheet = sheetPreview(680, 520).picture;
    shot = window.grab().toImage();
    const int cellWidth = sheet.width() / 4;
    const int cellHeight = sheet.height() / 4;
    EXPECT_EQ(
        shot.pixel(sheet.left + cellWidth + cellWidth / 2, sheet.top + cellHeight + cellHeight / 2),
        kBlue);
    EXPECT_EQ(shot.pixel(sheet.left - 2, sheet.top - 2), kWhite);

    // 4 in 1: a drop in the lower right goes into quarter 3 and is shown there.
    state.previewMode = false;
    state.layout = shell::Layout::FourUp;
    state.sheet = lib::NewImage(640, 480, 255, 255, 255);
    const int quarter = window.sheetCellAt(QPoint(500, 400));
    ASSERT_EQ(quarter, 3);
    ASSERT_TRUE(placeDroppedPicture(state, ui, quarter, 0, dir / "kvtemp"));
    shot = window.grab().toImage();
    EXPECT_EQ(shot.pixel(20 + 320 + 160, 20 + 240 + 120), kRed);
    EXPECT_EQ(shot.pixel(20 + 160, 20 + 120), kWhite);
    EXPECT_TRUE(ui.prompts().empty());
}

} // namespace
} // namespace kv::render
