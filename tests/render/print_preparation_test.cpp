#include "render/print_preparation.h"

#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "render/layout_composition.h"
#include "render/layout_messages.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kv::render {
namespace {

namespace fs = std::filesystem;
using platform::Bitmap24;

fs::path solidBmp(const fs::path& file, int width, int height, std::uint8_t blue) {
    Bitmap24 b = Bitmap24::make(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = b.at(x, y);
            p[0] = blue;
            p[1] = 40;
            p[2] = 200;
        }
    EXPECT_TRUE(platform::imagelib::WriteBmpFile(file, b));
    return file;
}

// The blue byte at the middle of a 4-in-1 quarter (rows of the sheet from the bottom).
int quarterMiddleBlue(const Bitmap24& sheet, int quarter) {
    const Rect cell = kFourUpGrid.cell(quarter);
    const int x = (cell.left + cell.right) / 2;
    const int yFromTop = (cell.top + cell.bottom) / 2;
    return sheet.at(x, sheet.height - 1 - yFromTop)[0];
}

TEST(LayoutComposition, FourUpFromFilesTakesOneAQuarter) {
    test::TempDir dir;
    const fs::path a = solidBmp(dir / "a.bmp", 40, 30, 10);
    const fs::path b = solidBmp(dir / "b.bmp", 40, 30, 20);
    const fs::path gone = dir / "gone.bmp";
    const auto picture = [](const fs::path& p) {
        return shell::SheetPicture{p.string(), p.filename().string()};
    };
    const struct {
        std::vector<shell::SheetPicture> pictures;
        bool placed;
        std::array<int, 4> blue; // 255: the quarter stayed white
        std::size_t messages;
    } cases[] = {
        {{picture(a)}, true, {10, 10, 10, 10}, 0},
        {{picture(a), picture(b)}, true, {10, 20, 255, 255}, 0},
        {{picture(b), picture(a), picture(b), picture(a)}, true, {20, 10, 20, 10}, 0},
        {{picture(a), picture(gone), picture(b)}, false, {10, 255, 20, 255}, 1},
        {{picture(gone)}, false, {255, 255, 255, 255}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pictures.size());
        shell::AppState state;
        platform::RecordingUi ui;
        EXPECT_EQ(composeFourUpSheet(state, ui, c.pictures, dir / "kvtemp"), c.placed);
        EXPECT_EQ(state.layout, shell::Layout::FourUp);
        for (int q = 0; q < 4; ++q)
            EXPECT_EQ(quarterMiddleBlue(state.sheet, q), c.blue[std::size_t(q)]) << q;
        EXPECT_EQ(ui.texts(),
                  std::vector<std::string>(c.messages, std::string(kMsgNoPhotoForFourUp)));
        const std::string& second =
            c.pictures.size() == 1 ? c.pictures[0].fullPath : c.pictures[1].fullPath;
        EXPECT_EQ(state.fourUpSlots[1].fullPath, second);
    }
}

// The status strip as the job engine's would record it.
class RecordingProgress : public platform::ProgressDisplay {
  public:
    void showProgress(int value) override {
        values.push_back(value);
        shownWhileStagesRan = shownWhileStagesRan && flags.colourStagesRunning;
    }
    void redraw() override {}

    std::vector<int> values;
    bool shownWhileStagesRan = true;
};

TEST(PrintPreparation, SheetFileToLevelsWithTheStatusStripsValues) {
    test::TempDir dir;
    platform::RecordingUi ui;
    adjust::PictureAdjustSettings settings;
    settings.colorControl = 4; // plain levels 4 x v: no calibration needed
    settings.edge = adjust::kEdgeNone;
    const media::MediaCalibration calibration;
    media::GammaCurves gamma;
    for (auto& curve : gamma.table)
        curve[256] = 1020;
    const PrintInputs inputs{settings, false, calibration, gamma, dir.path()};
    auto images = std::make_unique<JobImages>();
    RecordingProgress progress;

    // 300 x 200 is loaded as it is, centred on white and flipped to the top row first.
    ASSERT_TRUE(
        preparePrintLevels(solidBmp(dir / "s.bmp", 300, 200, 60), inputs, *images, ui, &progress));
    EXPECT_TRUE(ui.prompts().empty());
    EXPECT_EQ(progress.values, (std::vector<int>{100, 300, 500, 650, 750}));
    EXPECT_TRUE(progress.shownWhileStagesRan);
    EXPECT_FALSE(progress.flags.colourStagesRunning);
    EXPECT_EQ(images->exposure.at(240, 320), (Levels{240, 160, 800}));
    EXPECT_EQ(images->exposure.at(0, 0), (Levels{1020, 1020, 1020}));
    EXPECT_EQ(images->exposure.at(0, kFrameWidth),
              (Levels{kMarginLevel, kMarginLevel, kMarginLevel}));

    // A file that cannot be opened ends the job with the loader's message.
    ui.clear();
    EXPECT_FALSE(preparePrintLevels(dir / "gone.bmp", inputs, *images, ui));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{std::string(kMsgSheetCannotOpen)});

    // The BMX file: written whole, or told.
    ui.clear();
    EXPECT_TRUE(writeSheetBmx(images->exposure, ui, dir / "out.bmx"));
    EXPECT_EQ(fs::file_size(dir / "out.bmx"), 7074496u);
    EXPECT_FALSE(writeSheetBmx(images->exposure, ui, dir / "missing" / "out.bmx"));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{std::string(kMsgBmxNotWritten)});
}

} // namespace
} // namespace kv::render
