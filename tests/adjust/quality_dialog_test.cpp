#include "adjust/quality_dialog.h"

#include "platform/profile.h"
#include "platform/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <functional>
#include <tuple>

namespace kv::adjust {
namespace {

namespace fs = std::filesystem;
using Kind = QualityDialogKind;

const std::string kToneRange = "Bitte geben Sie eine ganze Zahl zwischen 0 und 255 ein.";

template <typename T> T* child(QWidget& parent, const char* name) {
    T* widget = parent.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

QLineEdit* lineEdit(QWidget& dialog, const char* name) {
    return child<QLineEdit>(dialog, name);
}

std::string text(QWidget& dialog, const char* name) {
    return lineEdit(dialog, name)->text().toStdString();
}

void click(QWidget& dialog, const char* name) {
    child<QAbstractButton>(dialog, name)->click();
}

bool checked(QWidget& dialog, const char* name) {
    return child<QAbstractButton>(dialog, name)->isChecked();
}

bool hasGroup(QWidget& dialog, std::string_view title) {
    for (const QGroupBox* group : dialog.findChildren<QGroupBox*>())
        if (group->title().toStdString() == title)
            return true;
    return false;
}

// Whether the tone curve's frame shows a dark pixel at (x, y).
bool curveDarkAt(QWidget& dialog, int x, int y) {
    const QImage image = child<QWidget>(dialog, "ToneCurveFrame")->grab().toImage();
    return image.pixelColor(x, y).lightness() < 64;
}

auto fields(const PictureAdjustSettings& s) {
    return std::tuple(s.contrast, s.storedTonePoints, s.tonePoints, s.saturation, s.satValue,
                      s.colorControl, s.edge, s.edgeEnhanceR, s.digitalCamera, s.matchFile,
                      s.matchPath);
}

struct Rig {
    test::TempDir home;
    test::TempDir system;
    platform::RecordingUi ui;
    PictureAdjustSettings settings;
    const std::string file = "[Image]\r\nContrastLeft=40\r\nColorControl=2\r\n";

    Rig() {
        test::writeBytes(home / "normal.cct", "x");
        test::writeBytes(home / "Bright.CCT", "x");
        test::writeBytes(ini(), file);
        settings = loadPictureAdjustSettings(home.path());
    }
    fs::path ini() const { return home / "kvx00.ini"; }
    std::string key(const char* name) const {
        return platform::Profile(ini()).readString("Image", name, "<none>");
    }
    std::unique_ptr<QualityDialog> open(Kind kind) {
        auto dialog =
            std::make_unique<QualityDialog>(settings, kind, home.path(), system.path(), ui);
        dialog->show();
        return dialog;
    }
};

TEST(QualityDialog, PrintQualityOpensWithTheRecord) {
    Rig rig;
    rig.settings.contrast = kToneFixed;
    rig.settings.edge = kEdgeSharp;
    rig.settings.edgeEnhanceR = 0.8f;
    rig.settings.digitalCamera = 1;
    auto dialog = rig.open(Kind::PrintQuality);

    EXPECT_EQ(dialog->windowTitle().toStdString(), "Druckqualität");
    for (const char* group :
         {"Farbtoneinstellung", "Sättigung ", "Kantenanpassung", "Farbanpassungstabelle"})
        EXPECT_TRUE(hasGroup(*dialog, group)) << group;
    EXPECT_FALSE(hasGroup(*dialog, "Farbfeineinstellung"));
    EXPECT_EQ(dialog->findChild<QCheckBox*>("CompensationBox"), nullptr);
    EXPECT_EQ(child<QCheckBox>(*dialog, "DigitalCameraBox")->text().toStdString(),
              "Digital  Camera  Image  Noise  Reduction");
    EXPECT_TRUE(checked(*dialog, "DigitalCameraBox"));
    EXPECT_TRUE(child<QPushButton>(*dialog, "CancelButton")->isDefault());

    // Fixed tone: the 20 % points, not editable, drawn from (25, 0) to (230, 255).
    EXPECT_TRUE(checked(*dialog, "ToneFixed"));
    const char* toneEdits[] = {"ToneLeftEdit", "ToneBottomEdit", "ToneRightEdit", "ToneTopEdit"};
    const char* fixed[] = {"25", "0", "230", "255"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(text(*dialog, toneEdits[i]), fixed[i]);
        EXPECT_FALSE(lineEdit(*dialog, toneEdits[i])->isEnabled());
    }
    // The 140-pixel frame: the flat start runs along the bottom to x = 5 + 130 x 25 / 255.
    EXPECT_TRUE(curveDarkAt(*dialog, 11, 135));
    click(*dialog, "ToneNone");
    EXPECT_FALSE(curveDarkAt(*dialog, 11, 135));
    EXPECT_TRUE(curveDarkAt(*dialog, 11, 129)); // the diagonal
    EXPECT_EQ(text(*dialog, "ToneRightEdit"), "255");

    EXPECT_EQ(text(*dialog, "SatValueEdit"), "1.3");
    EXPECT_FALSE(lineEdit(*dialog, "SatValueEdit")->isEnabled());
    click(*dialog, "SaturationManual");
    EXPECT_TRUE(lineEdit(*dialog, "SatValueEdit")->isEnabled());
    EXPECT_TRUE(checked(*dialog, "EdgeSharp"));
    EXPECT_FALSE(lineEdit(*dialog, "EdgeRatioEdit")->isEnabled());

    auto* combo = child<QComboBox>(*dialog, "MatchFileCombo");
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(0).toStdString(), "Bright.CCT");
    EXPECT_EQ(combo->currentText().toStdString(), "normal.cct");
    EXPECT_TRUE(combo->isEditable());
}

TEST(QualityDialog, SharpThenManualKeepsTheRatioAndOkSavesIt) {
    Rig rig;
    auto dialog = rig.open(Kind::PrintQuality);
    click(*dialog, "EdgeSharp");
    EXPECT_EQ(text(*dialog, "EdgeRatioEdit"), "0.8");
    EXPECT_FALSE(lineEdit(*dialog, "EdgeRatioEdit")->isEnabled());
    click(*dialog, "EdgeManual");
    EXPECT_EQ(text(*dialog, "EdgeRatioEdit"), "0.8");
    EXPECT_TRUE(lineEdit(*dialog, "EdgeRatioEdit")->isEnabled());
    child<QComboBox>(*dialog, "MatchFileCombo")->setEditText("Bright.CCT");
    click(*dialog, "OkButton");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(rig.key("Edge"), "4");
    EXPECT_EQ(rig.key("EdgeEnhanceR"), "0.800000");
    EXPECT_EQ(rig.key("ColorControl"), "2");
    EXPECT_EQ(rig.key("MatchFile"), "Bright.CCT");
    EXPECT_EQ(rig.settings.matchPath, rig.home / "Bright.CCT");
    EXPECT_TRUE(rig.ui.texts().empty());
}

TEST(QualityDialog, ImageQualityHasTheColourSwitchesAndTakesAnyToneValue) {
    Rig rig;
    rig.settings.colorControl = 3;
    auto dialog = rig.open(Kind::ImageQuality);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Bildqualität");
    EXPECT_TRUE(hasGroup(*dialog, "Kantenerweiterung"));
    EXPECT_TRUE(hasGroup(*dialog, "Farbfeineinstellung"));
    EXPECT_EQ(child<QCheckBox>(*dialog, "DigitalCameraBox")->text().toStdString(),
              "Reduktion von Bildfehlern der digitalen Kamera");
    EXPECT_FALSE(checked(*dialog, "CompensationBox"));
    EXPECT_TRUE(checked(*dialog, "CorrectionBox"));

    click(*dialog, "CorrectionBox");
    EXPECT_EQ(rig.settings.colorControl, 4);
    click(*dialog, "ToneManual");
    EXPECT_EQ(text(*dialog, "ToneLeftEdit"), "40"); // from the file
    EXPECT_TRUE(lineEdit(*dialog, "ToneLeftEdit")->isEnabled());
    lineEdit(*dialog, "ToneLeftEdit")->setText("300");
    click(*dialog, "OkButton");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(rig.key("ColorControl"), "4");
    EXPECT_EQ(rig.key("Contrast"), "2");
    EXPECT_EQ(rig.key("ContrastLeft"), "300");
    EXPECT_TRUE(rig.ui.texts().empty());
}

TEST(QualityDialog, EveryWayOutButOkPutsEverythingBack) {
    const std::vector<std::pair<const char*, std::function<void(QualityDialog&)>>> ways = {
        {"Abbrechen", [](QualityDialog& d) { click(d, "CancelButton"); }},
        {"Esc", [](QualityDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        // Abbrechen is the default button.
        {"Enter",
         [](QualityDialog& d) { QTest::keyClick(lineEdit(d, "SatValueEdit"), Qt::Key_Return); }},
        {"close", [](QualityDialog& d) { d.close(); }},
    };
    for (const auto& [name, leave] : ways) {
        Rig rig;
        const PictureAdjustSettings before = rig.settings;
        auto dialog = rig.open(Kind::ImageQuality);
        click(*dialog, "ToneManual");
        lineEdit(*dialog, "ToneLeftEdit")->setText("7");
        click(*dialog, "SaturationManual");
        lineEdit(*dialog, "SatValueEdit")->setText("2");
        click(*dialog, "EdgeSoft");
        click(*dialog, "DigitalCameraBox");
        click(*dialog, "CompensationBox");
        child<QComboBox>(*dialog, "MatchFileCombo")->setEditText("Bright.CCT");
        EXPECT_NE(rig.settings.contrast, before.contrast);

        leave(*dialog);
        EXPECT_EQ(dialog->result(), QDialog::Rejected) << name;
        EXPECT_FALSE(dialog->isVisible()) << name;
        EXPECT_EQ(fields(rig.settings), fields(before)) << name;
        EXPECT_EQ(test::readBytes(rig.ini()), rig.file) << name;
        EXPECT_TRUE(rig.ui.texts().empty()) << name;
    }
}

TEST(QualityDialog, PrintQualityRefusesAToneValueOutside0To255) {
    Rig rig;
    rig.settings.contrast = kToneManual;
    auto dialog = rig.open(Kind::PrintQuality);
    QApplication::setActiveWindow(dialog.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    QLineEdit* left = lineEdit(*dialog, "ToneLeftEdit");
    QLineEdit* bottom = lineEdit(*dialog, "ToneBottomEdit");
    left->setFocus();
    EXPECT_TRUE(left->hasFocus());

    // Leaving the edit checks it; the focus comes back and nothing changes.
    left->setText("256");
    QTest::keyClick(left, Qt::Key_Tab);
    QApplication::processEvents();
    EXPECT_EQ(rig.ui.texts(), std::vector<std::string>{kToneRange});
    EXPECT_TRUE(left->hasFocus());
    EXPECT_EQ(rig.settings.storedTonePoints, (TonePoints{40, 20, 210, 230}));

    left->setText(" 100");
    QTest::keyClick(left, Qt::Key_Tab);
    QApplication::processEvents();
    EXPECT_TRUE(bottom->hasFocus());
    EXPECT_EQ(rig.settings.storedTonePoints, (TonePoints{100, 20, 210, 230}));
    EXPECT_EQ(left->text(), "100");
    EXPECT_EQ(rig.ui.texts().size(), 1u);

    // "OK" checks once, and stays open; Abbrechen drops the bad value unasked.
    bottom->setText("-1");
    QTest::mouseClick(child<QPushButton>(*dialog, "OkButton"), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(rig.ui.texts(), (std::vector<std::string>{kToneRange, kToneRange}));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(bottom->hasFocus());
    EXPECT_EQ(rig.key("Contrast"), "<none>");

    QTest::mouseClick(child<QPushButton>(*dialog, "CancelButton"), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(rig.ui.texts().size(), 2u);
    EXPECT_EQ(rig.settings.storedTonePoints, (TonePoints{40, 20, 210, 230}));
}

} // namespace
} // namespace kv::adjust
