#include "adjust/colour_adjust_dialog.h"
#include "adjust/colour_adjust_texts.h"
#include "albums/album_files.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <string>
#include <vector>

namespace kv::adjust {
namespace {

namespace fs = std::filesystem;

// An album of one picture with its thumbnail file, the picture selected.
struct Scene {
    test::TempDir dir;
    shell::AppState state;
    platform::RecordingUi ui;

    Scene() {
        platform::Bitmap24 picture = platform::Bitmap24::make(6, 4);
        for (std::size_t i = 0; i < picture.pixels.size(); ++i)
            picture.pixels[i] = static_cast<std::uint8_t>(30 + 5 * i);
        EXPECT_TRUE(platform::imagelib::WriteBmpFile(dir / "pic.bmp", picture));
        std::string bytes;
        albums::appendRecord(bytes, platform::imagelib::ScaleImage(picture, 3, 2), 0);
        test::writeBytes(dir / "album.dat1", bytes);
        albums::PictureRow& row = state.albums.pictures[0];
        row.fullPath = (dir / "pic.bmp").string();
        row.displayName = "pic.bmp";
        state.albums.pictureCount = 1;
        state.albums.select(0);
    }
    std::unique_ptr<ColourAdjustDialog> open(const char* dataFile = "album.dat1") {
        auto dialog =
            std::make_unique<ColourAdjustDialog>(state, ui, dir / dataFile, dir / "kvtemp", [] {});
        dialog->show();
        return dialog;
    }
    bool copyWritten() const { return fs::exists(dir / "kvtemp" / "Prefile.bmp"); }
};

template <typename T> T* child(QWidget& parent, const QString& name) {
    T* widget = parent.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
}

void type(QWidget& dialog, const char* name, const char* text) {
    auto* edit = child<QLineEdit>(dialog, name);
    edit->clear();
    QTest::keyClicks(edit, text);
}

TEST(ColourAdjustDialog, OpensWithEveryValueAtZero) {
    Scene scene;
    auto dialog = scene.open();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Farbeinstellung"));
    for (const char* name : {"CyanRed", "MagentaGreen", "YellowBlue", "Brightness", "Contrast"}) {
        auto* slider = child<QSlider>(*dialog, QStringLiteral("Slider") + name);
        EXPECT_EQ(slider->minimum(), -100);
        EXPECT_EQ(slider->maximum(), 100);
        EXPECT_EQ(slider->value(), 0);
        auto* edit = child<QLineEdit>(*dialog, QStringLiteral("Edit") + name);
        EXPECT_EQ(edit->text(), "0");
        EXPECT_EQ(edit->maxLength(), 4);
    }
    EXPECT_TRUE(child<QPushButton>(*dialog, "CancelButton")->isDefault());
    EXPECT_EQ(child<QPushButton>(*dialog, "SaveButton")->text(), "Speichern");
    EXPECT_EQ(child<QPushButton>(*dialog, "ApplyButton")->text(), "Anwenden");
    EXPECT_TRUE(dialog->hasPreview());
    EXPECT_EQ(dialog->previewImage().size(), QSize(3, 2));
}

TEST(ColourAdjustDialog, SliderSpinAndEditKeepEachOtherInStep) {
    Scene scene;
    auto dialog = scene.open();
    const QImage unchanged = dialog->previewImage();
    auto* slider = child<QSlider>(*dialog, "SliderBrightness");
    auto* edit = child<QLineEdit>(*dialog, "EditBrightness");

    slider->setValue(100);
    EXPECT_EQ(edit->text(), "100");
    EXPECT_EQ(dialog->values().brightness, 100);
    // Brightness +100 whitens the whole preview.
    const QImage white = dialog->previewImage();
    for (int y = 0; y < white.height(); ++y)
        for (int x = 0; x < white.width(); ++x)
            EXPECT_EQ(white.pixel(x, y), qRgb(255, 255, 255));

    child<QToolButton>(*dialog, "SpinDownBrightness")->click();
    EXPECT_EQ(edit->text(), "99");
    EXPECT_EQ(slider->value(), 99);
    QTest::keyClick(edit, Qt::Key_Up);
    QTest::keyClick(edit, Qt::Key_Up);
    EXPECT_EQ(slider->value(), 100);

    type(*dialog, "EditBrightness", "0");
    EXPECT_EQ(dialog->previewImage(), unchanged);
    EXPECT_TRUE(scene.ui.prompts().empty());
}

TEST(ColourAdjustDialog, UnfinishedAndOutOfRangeInput) {
    Scene scene;
    auto dialog = scene.open();
    auto* slider = child<QSlider>(*dialog, "SliderContrast");
    type(*dialog, "EditContrast", "-");
    EXPECT_TRUE(scene.ui.prompts().empty());
    QTest::keyClicks(child<QLineEdit>(*dialog, "EditContrast"), "20");
    EXPECT_EQ(slider->value(), -20);

    type(*dialog, "EditContrast", "15");
    const QImage before = dialog->previewImage();
    QTest::keyClicks(child<QLineEdit>(*dialog, "EditContrast"), "0");
    EXPECT_EQ(scene.ui.texts(), std::vector<std::string>{"Wert eingeben (-100, +100).\n"});
    // The last good value stays on the slider, in the preview and for "Anwenden".
    EXPECT_EQ(slider->value(), 15);
    EXPECT_EQ(dialog->values().contrast, 15);
    EXPECT_EQ(dialog->previewImage(), before);
}

TEST(ColourAdjustDialog, ApplyShowsTheAdjustedPictureAndCloses) {
    Scene scene;
    auto dialog = scene.open();
    child<QSlider>(*dialog, "SliderCyanRed")->setValue(40);
    child<QPushButton>(*dialog, "ApplyButton")->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(scene.copyWritten());
    EXPECT_TRUE(scene.state.adjustedPicturePresent);
    ASSERT_TRUE(scene.state.displayedPicture);
    EXPECT_EQ(scene.state.statusText, "pic.bmp [6X4]");
    EXPECT_GT(scene.ui.waitCount(), 0);
}

TEST(ColourAdjustDialog, EscapeCancelsWithoutChangingThePicture) {
    Scene scene;
    auto dialog = scene.open();
    scene.state.colourDialogSaving = true;
    child<QSlider>(*dialog, "SliderYellowBlue")->setValue(-30);
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(scene.state.colourDialogSaving);
    EXPECT_FALSE(scene.copyWritten());
    EXPECT_FALSE(scene.state.displayedPicture);
}

TEST(ColourAdjustDialog, WithoutThumbnailFileTheValuesStillApply) {
    Scene scene;
    auto dialog = scene.open("missing.dat1");
    EXPECT_FALSE(dialog->hasPreview());
    type(*dialog, "EditBrightness", "30");
    EXPECT_EQ(child<QSlider>(*dialog, "SliderBrightness")->value(), 30);
    child<QPushButton>(*dialog, "ApplyButton")->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(scene.copyWritten());
}

} // namespace
} // namespace kv::adjust
