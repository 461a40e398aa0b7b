#include "adjust/quality_dialog_model.h"

#include "platform/profile.h"
#include "platform/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <climits>

namespace kv::adjust {
namespace {

namespace fs = std::filesystem;
using Kind = QualityDialogKind;

const std::string kToneRange = "Bitte geben Sie eine ganze Zahl zwischen 0 und 255 ein.";
const std::string kEnterInteger = "Bitte geben Sie eine ganze Zahl ein.";
const std::string kEnterNumber = "Bitte geben Sie eine Zahl ein.";

TEST(QualityDialogModel, ToneCurveRunsThroughTheModesKnees) {
    struct Case {
        platform::Rect frame;
        int mode;
        TonePoints stored;
        ToneCurveLine line;
    };
    // A 255-unit inner square puts every knee on its tone value; a 100-unit one
    // shows the cut: 105 - 100 x 25 / 255 = 95.2 gives 95.
    const Case cases[] = {
        {{0, 0, 265, 265}, 0, {30, 20, 210, 230}, {{{5, 260}, {5, 260}, {260, 5}, {260, 5}}}},
        {{0, 0, 265, 265}, 1, {30, 20, 210, 230}, {{{5, 260}, {30, 260}, {235, 5}, {260, 5}}}},
        {{0, 0, 265, 265}, 2, {30, 20, 210, 230}, {{{5, 260}, {35, 240}, {215, 30}, {260, 5}}}},
        {{0, 0, 110, 110}, 1, {}, {{{5, 105}, {14, 105}, {95, 5}, {105, 5}}}},
        {{10, 20, 120, 130}, 2, {30, 20, 210, 230}, {{{15, 125}, {26, 117}, {97, 34}, {115, 25}}}},
        // A mode the file should not hold draws the identity, as the pipeline uses it.
        {{0, 0, 265, 265}, 7, {}, {{{5, 260}, {5, 260}, {260, 5}, {260, 5}}}},
        // Points typed into the service dialog may be anywhere in the int range.
        {{0, 0, 265, 265},
         2,
         {INT_MIN, INT_MAX, -300, 300},
         {{{5, 260}, {-1'000'000, -1'000'000}, {-295, -40}, {260, 5}}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(toneCurveLine(c.frame, c.mode, c.stored), c.line) << c.mode;
}

TEST(QualityDialogModel, ColourSwitchesStandForColorControl) {
    for (int value = 1; value <= 4; ++value)
        EXPECT_EQ(colorControlFor(colourSwitchesFor(value)), value);
    EXPECT_EQ(colourSwitchesFor(2), (ColourSwitches{true, false}));
    EXPECT_EQ(colourSwitchesFor(3), (ColourSwitches{false, true}));
    // The boxes show what the pipeline runs for a value outside 1..4: both stages.
    EXPECT_EQ(colourSwitchesFor(0), (ColourSwitches{true, true}));
    EXPECT_EQ(colourSwitchesFor(9), (ColourSwitches{true, true}));
}

TEST(QualityDialogModel, TableListIsSortedAndSelectsTheStoredName) {
    test::TempDir home;
    for (const char* name : {"b.CCT", "normal2.cct", "A.cct", "Normal.cct", "c.txt", "cct"})
        test::writeBytes(home / name, "x");
    fs::create_directory(home / "folder.cct");
    const std::vector<std::string> names = {"A.cct", "b.CCT", "Normal.cct", "normal2.cct"};

    struct Case {
        const char* ini;
        int selected;
    };
    for (const Case c :
         {Case{nullptr, 2}, Case{"[Image]\r\nMatchFile=NORMAL2\r\n", 3},
          Case{"[image]\r\nmatchfile=B\r\n", 1}, Case{"[Image]\r\nMatchFile=zz.cct\r\n", -1}}) {
        if (c.ini)
            test::writeBytes(home / "Kvx00.ini", c.ini);
        const MatchTableList list = matchTableList(home.path());
        EXPECT_EQ(list.names, names);
        EXPECT_EQ(list.selected, c.selected) << (c.ini ? c.ini : "no file");
    }
    EXPECT_TRUE(matchTableList(home / "missing").names.empty());

    // MatchFile holds 255 bytes; a character is never split.
    EXPECT_EQ(matchFileFromText(std::string(300, 'x')).size(), 255u);
    EXPECT_EQ(matchFileFromText(std::string(254, 'x') + "\xc3\xa4"), std::string(254, 'x'));
    EXPECT_EQ(matchFileFromText("t\xc3\xa4.cct"), "t\xc3\xa4.cct");
}

struct EditorRig {
    test::TempDir home;
    test::TempDir system;
    platform::RecordingUi ui;
    PictureAdjustSettings settings;
    fs::path ini() const { return home / "kvx00.ini"; }
    std::string key(const char* name) const {
        return platform::Profile(ini()).readString("Image", name, "<none>");
    }
};

TEST(QualityDialogModel, OpeningShowsTheToneModesPoints) {
    EditorRig rig;
    rig.settings.storedTonePoints = {40, 10, 200, 250};
    rig.settings.tonePoints = {1, 2, 3, 4};
    struct Case {
        int mode;
        TonePoints edits;
        TonePoints active;
        bool editable;
    };
    for (const Case c : {Case{0, {0, 0, 255, 255}, {1, 2, 3, 4}, false},
                         Case{1, {25, 0, 230, 255}, {25, 0, 230, 255}, false},
                         Case{2, {40, 10, 200, 250}, {40, 10, 200, 250}, true}}) {
        PictureAdjustSettings s = rig.settings;
        s.contrast = c.mode;
        QualityEditor editor(s, Kind::PrintQuality, rig.home.path(), rig.system.path(), rig.ui);
        EXPECT_EQ(editor.toneEdits(), c.edits) << c.mode;
        EXPECT_EQ(s.tonePoints, c.active) << c.mode;
        EXPECT_EQ(editor.toneEditable(), c.editable) << c.mode;
    }
}

TEST(QualityDialogModel, ToneEditsAreCheckedByKind) {
    EditorRig rig;
    test::writeBytes(rig.ini(), "[Image]\r\nContrastLeft=40\r\nContrastTop=250\r\n");
    for (const Kind kind : {Kind::PrintQuality, Kind::ImageQuality}) {
        rig.ui.clear();
        PictureAdjustSettings s = rig.settings;
        QualityEditor editor(s, kind, rig.home.path(), rig.system.path(), rig.ui);
        // Only manual mode takes what the edits say.
        EXPECT_EQ(editor.takeToneEdits({"1", "2", "3", "4"}), std::nullopt);
        EXPECT_EQ(s.storedTonePoints, (TonePoints{30, 20, 210, 230}));

        s.storedTonePoints = {1, 1, 1, 1}; // unsaved manual values give way to the file's
        editor.chooseTone(kToneManual);
        EXPECT_EQ(editor.toneEdits(), (TonePoints{40, 20, 210, 250}));
        EXPECT_EQ(s.storedTonePoints, (TonePoints{40, 20, 210, 250}));

        const bool image = kind == Kind::ImageQuality;
        EXPECT_EQ(editor.takeToneEdits({"1", "abc", "3", "4"}), QualityField::ToneBottom);
        EXPECT_EQ(editor.takeToneEdits({"1", "2", "3", "4x"}), QualityField::ToneTop);
        EXPECT_EQ(editor.takeToneEdits({"", "2", "3", "4"}), QualityField::ToneLeft);
        const auto outside = editor.takeToneEdits({"0", "-1", "256", " 255 "});
        const std::string refused = image ? kEnterInteger : kToneRange;
        EXPECT_EQ(rig.ui.texts(),
                  std::vector<std::string>(image ? 3 : 4, refused)); // one message per try
        if (image) {
            EXPECT_EQ(outside, std::nullopt);
            EXPECT_EQ(s.storedTonePoints, (TonePoints{0, -1, 256, 255}));
        } else {
            EXPECT_EQ(outside, QualityField::ToneBottom);
            EXPECT_EQ(s.storedTonePoints, (TonePoints{40, 20, 210, 250}));
            EXPECT_EQ(editor.takeToneEdits({"0", "1", "254", " 255 "}), std::nullopt);
            EXPECT_EQ(s.storedTonePoints, (TonePoints{0, 1, 254, 255}));
        }
        EXPECT_EQ(editor.toneEdits(), s.storedTonePoints);
    }
}

TEST(QualityDialogModel, AcceptTakesEveryFieldAndSaves) {
    EditorRig rig;
    test::writeBytes(rig.ini(), "[Image]\r\nContrastLeft=40\r\nColorControl=2\r\n");
    rig.settings = loadPictureAdjustSettings(rig.home.path());
    QualityEditor editor(rig.settings, Kind::PrintQuality, rig.home.path(), rig.system.path(),
                         rig.ui);
    editor.chooseTone(kToneFixed);
    editor.chooseSaturation(kSaturationManual);
    EXPECT_EQ(editor.chooseEdge(kEdgeSharp), 0.8f);
    EXPECT_EQ(editor.chooseEdge(kEdgeManual), std::nullopt);
    editor.toggleCamera();

    QualityFields fields{{"25", "0", "230", "255"}, "1.5 ", "0.8", "mine.cct"};
    // Refused numbers in the editable float edits keep the dialog open.
    for (const char* bad : {"", "1,5", "inf", "nan", "1e39"}) {
        fields.satValue = bad;
        EXPECT_EQ(editor.accept(fields), QualityField::SatValue) << bad;
    }
    fields.satValue = "1.5 ";
    fields.edgeRatio = "x";
    EXPECT_EQ(editor.accept(fields), QualityField::EdgeRatio);
    EXPECT_EQ(rig.ui.texts(), std::vector<std::string>(6, kEnterNumber));
    EXPECT_FALSE(editor.saved());
    EXPECT_EQ(rig.key("Contrast"), "<none>");

    fields.edgeRatio = "0.8";
    EXPECT_EQ(editor.accept(fields), std::nullopt);
    EXPECT_TRUE(editor.saved());
    EXPECT_EQ(rig.key("Contrast"), "1");
    EXPECT_EQ(rig.key("ContrastLeft"), "40"); // tone keys only in manual mode
    EXPECT_EQ(rig.key("Saturation"), "1");
    EXPECT_EQ(rig.key("SatValue"), "1.500000");
    EXPECT_EQ(rig.key("ColorControl"), "2"); // the print-quality dialog leaves it
    EXPECT_EQ(rig.key("MatchFile"), "mine.cct");
    EXPECT_EQ(rig.settings.matchPath, rig.home / "mine.cct");
    EXPECT_EQ(rig.settings.tonePoints, kFixedTonePoints);
    EXPECT_EQ(rig.ui.waitCount(), 1);
}

TEST(QualityDialogModel, GreyedFloatEditsAreNeverRefused) {
    EditorRig rig;
    rig.settings.satValue = 2.5f;
    rig.settings.edge = kEdgeNone;
    QualityEditor editor(rig.settings, Kind::ImageQuality, rig.home.path(), rig.system.path(),
                         rig.ui);
    editor.setColourSwitches({false, false});
    EXPECT_EQ(editor.accept({{"0", "0", "255", "255"}, "inf", "0.2", ""}), std::nullopt);
    EXPECT_TRUE(rig.ui.texts().empty());
    EXPECT_EQ(rig.settings.satValue, 2.5f);
    EXPECT_EQ(rig.settings.edgeEnhanceR, 0.2f);
    EXPECT_EQ(rig.key("ColorControl"), "4");
    // No table typed: no table in use, and the print commands will ask.
    EXPECT_EQ(rig.key("MatchFile"), "");
    EXPECT_EQ(rig.settings.matchPath, fs::path());
}

TEST(QualityDialogModel, AFailedSaveIsToldAndCanStillBeDropped) {
    EditorRig rig;
    rig.settings.contrast = kToneManual;
    rig.settings.tonePoints = {9, 9, 9, 9}; // as the pipeline may hold them
    const PictureAdjustSettings before = rig.settings;
    QualityEditor editor(rig.settings, Kind::PrintQuality, rig.home / "missing/", rig.system.path(),
                         rig.ui);
    editor.toggleCamera();
    EXPECT_EQ(editor.accept({{"40", "20", "210", "230"}, "1.3", "0.4", "normal.cct"}),
              std::nullopt);
    EXPECT_FALSE(editor.saved());
    EXPECT_EQ(rig.ui.texts(), std::vector<std::string>{
                                  "Die Bildeinstellungen können nicht in Kvx00.ini gespeichert "
                                  "werden.\nDie bisherige Datei bleibt unverändert."});
    editor.cancel();
    EXPECT_EQ(rig.settings.digitalCamera, before.digitalCamera);
    EXPECT_EQ(rig.settings.tonePoints, before.tonePoints);
    EXPECT_EQ(rig.settings.storedTonePoints, before.storedTonePoints);
    // No kvx00.ini there, so no table of the default name either.
    EXPECT_EQ(rig.settings.matchFile, "");
    EXPECT_EQ(rig.settings.matchPath, fs::path());
}

TEST(QualityDialogModel, CancelTakesUpATableThatAppearedSinceTheStart) {
    EditorRig rig;
    test::writeBytes(rig.ini(), "[Image]\r\nMatchFile=Studio.cct\r\n");
    rig.settings = loadPictureAdjustSettings(rig.home.path());
    ASSERT_EQ(rig.settings.matchPath, fs::path()); // not there at the start
    test::writeBytes(rig.home / "studio.CCT", "table");
    QualityEditor editor(rig.settings, Kind::ImageQuality, rig.home.path(), rig.system.path(),
                         rig.ui);
    editor.cancel();
    EXPECT_EQ(rig.settings.matchFile, "Studio.cct");
    EXPECT_EQ(rig.settings.matchPath, rig.home / "studio.CCT");
    EXPECT_TRUE(rig.ui.prompts().empty());
}

} // namespace
} // namespace kv::adjust
