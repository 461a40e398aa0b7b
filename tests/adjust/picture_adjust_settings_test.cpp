#include "adjust/picture_adjust_settings.h"

#include "platform/profile.h"
#include "platform/recording_ui.h"
#include "support/german_locale.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace kv::adjust {
namespace {

namespace fs = std::filesystem;
using platform::Ui;

// Saving runs with a German process locale.
class SettingsSaving : public test::GermanLocaleTest {
  protected:
    test::TempDir m_home;
    test::TempDir m_system;
    platform::RecordingUi m_ui;
};

TEST(PictureAdjustSettings, FreshInstallGivesTheDefaults) {
    for (const bool tableShipped : {true, false}) {
        test::TempDir home;
        if (tableShipped)
            test::writeBytes(home / "Normal.CCT", "x");
        const PictureAdjustSettings s = loadPictureAdjustSettings(home.path());
        EXPECT_EQ(s.contrast, 0);
        EXPECT_EQ(s.saturation, 0);
        EXPECT_FLOAT_EQ(s.satValue, 1.3f);
        EXPECT_EQ(s.colorControl, 3);
        EXPECT_EQ(s.edge, 2);
        EXPECT_FLOAT_EQ(s.edgeEnhanceR, 0.4f);
        EXPECT_EQ(s.digitalCamera, 0);
        EXPECT_EQ(s.storedTonePoints, (TonePoints{30, 20, 210, 230}));
        EXPECT_EQ(s.tonePoints, s.storedTonePoints);
        if (tableShipped) {
            EXPECT_EQ(s.matchFile, "normal.cct");
            EXPECT_EQ(s.matchPath, home / "Normal.CCT");
        } else {
            EXPECT_EQ(s.matchFile, "");
            EXPECT_EQ(s.matchPath, fs::path());
        }
    }
}

TEST(PictureAdjustSettings, LoadsEveryKeyOfTheImageSection) {
    test::TempDir home;
    test::writeBytes(home / "table2.cct", "x");
    test::writeBytes(home / "KVX00.INI", "[image]\r\nMatchFile=table2.cct\r\nContrast=2\r\n"
                                         "ContrastLeft=40\r\nContrastBottom=10\r\n"
                                         "ContrastRight=200\r\nContrastTop=250\r\n"
                                         "Saturation=1\r\nSatValue=1.75\r\nColorControl=4\r\n"
                                         "Edge=4\r\nEdgeEnhanceR=0.65abc\r\nDigitalCamera=1\r\n");
    const PictureAdjustSettings s = loadPictureAdjustSettings(home.path());
    EXPECT_EQ(s.matchFile, "table2.cct");
    EXPECT_EQ(s.matchPath, home / "table2.cct");
    EXPECT_EQ(s.contrast, 2);
    EXPECT_EQ(s.storedTonePoints, (TonePoints{40, 10, 200, 250}));
    EXPECT_EQ(s.tonePoints, s.storedTonePoints);
    EXPECT_EQ(s.saturation, 1);
    EXPECT_FLOAT_EQ(s.satValue, 1.75f);
    EXPECT_EQ(s.colorControl, 4);
    EXPECT_EQ(s.edge, 4);
    EXPECT_FLOAT_EQ(s.edgeEnhanceR, 0.65f);
    EXPECT_TRUE(s.noiseFilterOn());

    // A table that is gone, or a name that reaches outside the program directory,
    // means no table at all.
    for (const char* name : {"gone.cct", "../table2.cct", "/etc/passwd"}) {
        test::writeBytes(home / "KVX00.INI", std::string("[Image]\r\nMatchFile=") + name + "\r\n");
        const PictureAdjustSettings t = loadPictureAdjustSettings(home.path());
        EXPECT_EQ(t.matchFile, "") << name;
        EXPECT_EQ(t.matchPath, fs::path()) << name;
    }
}

TEST_F(SettingsSaving, SavesInOrderWithDecimalPoints) {
    test::writeBytes(m_system / "KVX00.ini", "");
    PictureAdjustSettings s; // the defaults
    ASSERT_TRUE(savePictureAdjustSettings(s, m_home.path(), m_system.path(), m_ui));
    const std::string expected = "[Image]\r\nMatchFile=normal.cct\r\nContrast=0\r\nSaturation=0\r\n"
                                 "ColorControl=3\r\nDigitalCamera=0\r\nEdge=2\r\n"
                                 "EdgeEnhanceR=0.400000\r\nSatValue=1.300000\r\n";
    EXPECT_EQ(test::readBytes(m_home / "kvx00.ini"), expected);
    EXPECT_EQ(test::readBytes(m_system / "KVX00.ini"), expected);
    EXPECT_EQ(s.matchPath, m_home / "normal.cct"); // no existence test on saving
    EXPECT_TRUE(m_ui.prompts().empty());

    // The mirror is never created.
    test::TempDir otherSystem;
    ASSERT_TRUE(savePictureAdjustSettings(s, m_home.path(), otherSystem.path(), m_ui));
    EXPECT_TRUE(fs::is_empty(otherSystem.path()));
}

TEST_F(SettingsSaving, ToneKeysAreWrittenOnlyInManualMode) {
    const fs::path file = m_home / "kvx00.ini";
    const platform::Profile profile(file);
    test::writeBytes(file, "[Image]\r\nContrastLeft=40\r\nContrastBottom=10\r\n"
                           "ContrastRight=200\r\nContrastTop=250\r\n");
    PictureAdjustSettings s = loadPictureAdjustSettings(m_home.path());
    s.tonePoints = {50, 60, 70, 80};
    s.contrast = kToneFixed;
    s.satValue = 2.25f;
    ASSERT_TRUE(savePictureAdjustSettings(s, m_home.path(), m_system.path(), m_ui));
    EXPECT_EQ(profile.readString("Image", "Contrast", ""), "1");
    EXPECT_EQ(profile.readString("Image", "SatValue", ""), "2.250000");
    EXPECT_EQ(profile.readInt("Image", "ContrastLeft", 0), 40);
    EXPECT_EQ(profile.readInt("Image", "ContrastTop", 0), 250);
    EXPECT_EQ(s.storedTonePoints, (TonePoints{40, 10, 200, 250}));

    s.contrast = kToneManual;
    ASSERT_TRUE(savePictureAdjustSettings(s, m_home.path(), m_system.path(), m_ui));
    EXPECT_EQ(loadPictureAdjustSettings(m_home.path()).storedTonePoints,
              (TonePoints{50, 60, 70, 80}));
    EXPECT_EQ(s.storedTonePoints, s.tonePoints);
}

TEST(PictureAdjustSettings, UnwritableFileIsToldAndLeftAlone) {
    test::TempDir root;
    platform::RecordingUi ui;
    PictureAdjustSettings s;
    EXPECT_FALSE(savePictureAdjustSettings(s, root / "missing/", root / "system/", ui));
    ASSERT_EQ(ui.texts(), std::vector<std::string>{
                              "Die Bildeinstellungen können nicht in Kvx00.ini gespeichert "
                              "werden.\nDie bisherige Datei bleibt unverändert."});
}

TEST(PictureAdjustSettings, MissingTableAsksBeforePrinting) {
    test::TempDir home;
    const std::string question = "Farbzuordnungstabelle ist nicht zu finden.\n\n Möchten Sie das "
                                 "Drucken ohne Farbzuordnungstabelle fortsetzen?";
    PictureAdjustSettings s;
    s.matchPath = home / "normal.cct";

    struct Case {
        bool present;
        Ui::Answer answer;
        ColourMatchingChoice expected;
    };
    for (const Case c :
         {Case{true, Ui::Answer::No, {true, true}}, Case{false, Ui::Answer::Yes, {true, false}},
          Case{false, Ui::Answer::No, {false, false}}}) {
        if (c.present)
            test::writeBytes(s.matchPath, "x");
        else
            fs::remove(s.matchPath);
        platform::RecordingUi ui;
        ui.script(c.answer);
        EXPECT_EQ(confirmColourMatching(s, ui), c.expected);
        if (c.present) {
            EXPECT_TRUE(ui.prompts().empty());
        } else {
            ASSERT_EQ(ui.prompts().size(), 1u);
            EXPECT_EQ(ui.prompts()[0].text, question);
            EXPECT_EQ(ui.prompts()[0].buttons, Ui::Buttons::YesNo);
        }
    }
}

} // namespace
} // namespace kv::adjust
