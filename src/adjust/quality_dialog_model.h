#pragma once

#include "adjust/picture_adjust_settings.h"
#include "platform/rect.h"
#include "platform/ui.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::adjust {

// The two twins that edit the picture adjustment settings. The print-quality
// dialog keeps the tone points within 0..255; the service dialog takes any
// integer and has the two colour-control switches in addition.
enum class QualityDialogKind { PrintQuality, ImageQuality };

// What the tone edits show in modes 0 and 1.
inline constexpr TonePoints kIdentityTonePoints{0, 0, 255, 255};
inline constexpr TonePoints kFixedTonePoints{25, 0, 230, 255};

// The four tone edits, in the order the settings keep them.
enum class ToneEdit { Left, Bottom, Right, Top };

// The tone curve as the dialogs draw it: a line through four points.
struct CurvePoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const CurvePoint&, const CurvePoint&) = default;
};
using ToneCurveLine = std::array<CurvePoint, 4>;

// The line for `toneMode` inside `frame` shrunk by 5 on every side; mode 2
// draws `stored`. Coordinates are cut toward zero.
ToneCurveLine toneCurveLine(const platform::Rect& frame, int toneMode, const TonePoints& stored);

// The check boxes "FarbKompensieren" and "FarbKorrektur" and the ColorControl
// value they stand for (1 both, 2 compensation, 3 correction, 4 neither).
struct ColourSwitches {
    bool compensation = false;
    bool correction = false;
    friend bool operator==(const ColourSwitches&, const ColourSwitches&) = default;
};
int colorControlFor(ColourSwitches switches);
// A value outside 1..4 shows the stages the colour pipeline actually runs for it.
ColourSwitches colourSwitchesFor(int colorControl);

// The ratio a preset edge mode puts into the ratio edit; none for modes 0 and 4.
std::optional<float> edgeRatioPreset(int edgeMode);

// How the float edits show a gain or ratio ("1.3", "0.8").
std::string floatEditText(float value);

// The colour-matching tables offered in the combo box: every ordinary file of the
// program directory whose name ends in ".cct" (any case), sorted without regard
// to case, and the first entry that begins with MatchFile of kvx00.ini (the raw
// key, default "normal.cct"; case ignored); -1 when none does.
struct MatchTableList {
    std::vector<std::string> names;
    int selected = -1;
};
MatchTableList matchTableList(const std::filesystem::path& programDir);

// The table name as the combo text gives it, cut to what MatchFile can hold
// without splitting a character.
std::string matchFileFromText(std::string_view text);

// The text of the four tone edits and the two float edits when "OK" takes them.
struct QualityFields {
    std::array<std::string, 4> tone; // left, bottom, right, top
    std::string satValue;
    std::string edgeRatio;
    std::string matchFile;
};

// Which edit a refused value came from, so the dialog can put the focus back.
enum class QualityField { ToneLeft, ToneBottom, ToneRight, ToneTop, SatValue, EdgeRatio };

// The live editing of one dialog opening. Every change goes straight into the
// settings; cancel() puts back the record as it was at opening. The dialog shows
// what this says and passes on what the user does; nothing else.
class QualityEditor {
  public:
    // Takes the saved copy and makes the active tone points those the tone mode shows.
    QualityEditor(PictureAdjustSettings& settings, QualityDialogKind kind,
                  std::filesystem::path programDir, std::filesystem::path systemDir,
                  platform::Ui& ui);

    QualityDialogKind kind() const { return m_kind; }
    const std::filesystem::path& programDir() const { return m_programDir; }
    const PictureAdjustSettings& settings() const { return m_settings; }

    // The tone edits: their values and whether they take input (manual mode only).
    const TonePoints& toneEdits() const { return m_toneEdits; }
    bool toneEditable() const { return m_settings.contrast == kToneManual; }
    bool satValueEditable() const { return m_settings.saturation == kSaturationManual; }
    bool edgeRatioEditable() const { return m_settings.edge == kEdgeManual; }
    ColourSwitches colourSwitches() const { return colourSwitchesFor(m_settings.colorControl); }
    ToneCurveLine curve(const platform::Rect& frame) const {
        return toneCurveLine(frame, m_settings.contrast, m_settings.storedTonePoints);
    }

    // A tone radio button. Manual mode reads the saved points from kvx00.ini again.
    void chooseTone(int toneMode);
    // The user left a tone edit: takes all four. A refused value is told and
    // changes nothing; the result names the edit to go back to.
    std::optional<QualityField> takeToneEdits(const std::array<std::string, 4>& texts);
    void chooseSaturation(int mode) { m_settings.saturation = mode; }
    // An edge radio button; the preset ratio to show, if the mode has one.
    std::optional<float> chooseEdge(int edgeMode);
    void toggleCamera() { m_settings.digitalCamera = m_settings.digitalCamera == 1 ? 0 : 1; }
    void setColourSwitches(ColourSwitches switches) {
        m_settings.colorControl = colorControlFor(switches);
    }

    // "OK": checks and takes every field, then saves kvx00.ini. A refused field
    // is told and named; a failed save is told and returns nullopt with saved()
    // false, so the dialog stays open and nothing is lost.
    std::optional<QualityField> accept(const QualityFields& fields);
    bool saved() const { return m_saved; }

    // "Abbrechen" or any other close without "OK": the record as it was at opening,
    // its table derived again from the MatchFile read then (the file may have
    // appeared or gone since the program started).
    void cancel();

  private:
    std::optional<int> readToneEdit(const std::string& text);
    std::optional<float> readFloatEdit(const std::string& text);

    PictureAdjustSettings& m_settings;
    const PictureAdjustSettings m_savedCopy;
    const std::string m_openedMatchFile;
    QualityDialogKind m_kind;
    std::filesystem::path m_programDir;
    std::filesystem::path m_systemDir;
    platform::Ui& m_ui;
    TonePoints m_toneEdits;
    bool m_saved = false;
};

} // namespace kv::adjust
