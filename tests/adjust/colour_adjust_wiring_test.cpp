#include "adjust/colour_adjust_dialog.h"

#include "media/media_rank_table.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "shell/main_window.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QSlider>
#include <QTimer>

#include <functional>

namespace kv::adjust {
namespace {

// Runs the colour command; `act` works in the dialog it opens. False when none opened.
bool run(shell::MainWindow& window, const std::function<void(ColourAdjustDialog&)>& act) {
    bool opened = false;
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<ColourAdjustDialog*>(QApplication::activeModalWidget())) {
            opened = true;
            act(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        }
    });
    window.dispatch(shell::CommandId::ColourAdjust);
    QApplication::processEvents();
    return opened;
}

TEST(ColourAdjustWiring, ApplyShowsTheAdjustedPictureInTheMainWindow) {
    test::ScopedProgramFolders folders;
    test::TempDir shipped;
    test::writeBytes(shipped / "Media.rtb", media::MediaRankTable::defaults().toBytes());
    test::TempDir pictures;
    platform::Bitmap24 picture = platform::Bitmap24::make(8, 6);
    picture.pixels.assign(picture.pixels.size(), 100);
    ASSERT_TRUE(platform::imagelib::WriteBmpFile(pictures / "a.bmp", picture));

    shell::AppState state;
    platform::RecordingUi ui;
    shell::MainWindow window(state, &ui);
    ASSERT_TRUE(window.create(shipped.path()));
    window.show();
    albums::PictureRow& row = state.albums.pictures[0];
    row.fullPath = (pictures / "a.bmp").string();
    row.displayName = "a.bmp";
    row.thumbnail = platform::imagelib::ScaleImage(picture, 4, 3);
    state.albums.pictureCount = 1;
    ASSERT_EQ(window.session().albumStore()->appendPicture(), albums::StoreResult::Done);
    state.albums.select(0);
    window.updateCommandStates();

    EXPECT_TRUE(run(window, [](ColourAdjustDialog& dialog) {
        // The preview comes from the album's thumbnail file.
        EXPECT_TRUE(dialog.hasPreview());
        dialog.findChild<QSlider*>("SliderBrightness")->setValue(100);
        dialog.findChild<QAbstractButton*>("ApplyButton")->click();
    }));
    EXPECT_TRUE(ui.prompts().empty());
    EXPECT_TRUE(state.adjustedPicturePresent);
    EXPECT_TRUE(std::filesystem::exists(folders.driveC() / "kvtemp" / "Prefile.bmp"));
    ASSERT_TRUE(state.displayedPicture);
    EXPECT_EQ(state.displayedPicture->at(0, 0)[0], 255);
    EXPECT_EQ(state.statusText, "a.bmp [8X6]");
}

} // namespace
} // namespace kv::adjust
