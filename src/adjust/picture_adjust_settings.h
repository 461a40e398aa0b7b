#pragma once

#include "platform/ui.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kv::adjust {

// Section [Image] of kvx00.ini in the program directory.
inline constexpr std::string_view kSettingsFile = "kvx00.ini";
inline constexpr std::string_view kImageSection = "Image";
inline constexpr std::string_view kDefaultMatchFile = "normal.cct";
inline constexpr std::size_t kMaxMatchFileBytes = 255;

// Values of the settings as the dialogs offer them.
enum ToneMode : int { kToneNone = 0, kToneFixed = 1, kToneManual = 2 };
enum SaturationMode : int { kSaturationNone = 0, kSaturationManual = 1 };
enum EdgeMode : int {
    kEdgeNone = 0,
    kEdgeSoft = 1,
    kEdgeNormal = 2,
    kEdgeSharp = 3,
    kEdgeManual = 4
};
inline constexpr float kEdgeRatioSoft = 0.2f;
inline constexpr float kEdgeRatioNormal = 0.4f;
inline constexpr float kEdgeRatioSharp = 0.8f;
inline constexpr int kMinColorControl = 1; // 1 both stages, 2 compensation, 3 correction, 4 none
inline constexpr int kMaxColorControl = 4;
inline constexpr int kMaxTonePoint = 255; // each tone point coordinate is 0..255

// The manual tone curve's two knees: (left, bottom) and (right, top), input first.
struct TonePoints {
    int left = 30;
    int bottom = 20;
    int right = 210;
    int top = 230;
    friend bool operator==(const TonePoints&, const TonePoints&) = default;
};

// How every picture is treated on its way to the printer. One record for the run;
// the quality dialogs change it live and save it, the colour stages read it.
struct PictureAdjustSettings {
    int contrast = kToneNone;              // Contrast: tone mode 0, 1 or 2
    TonePoints storedTonePoints;           // ContrastLeft/Bottom/Right/Top as in the file
    TonePoints tonePoints;                 // the points manual mode uses (not stored)
    int saturation = kSaturationNone;      // Saturation
    float satValue = 1.3f;                 // SatValue
    int colorControl = 3;                  // ColorControl
    int edge = kEdgeNormal;                // Edge
    float edgeEnhanceR = kEdgeRatioNormal; // EdgeEnhanceR
    int digitalCamera = 0;                 // DigitalCamera: 1 runs the camera-noise filter
    std::string matchFile = std::string(kDefaultMatchFile); // MatchFile
    std::filesystem::path matchPath; // program directory + matchFile; empty: no table

    // Hue-sector compensation runs unless ColorControl is 3 or 4; the full
    // exposure conversion unless it is 2 or 4 (then levels are 4 x v).
    bool hueSectorOn() const { return colorControl != 3 && colorControl != 4; }
    bool plainExposure() const { return colorControl == 2 || colorControl == 4; }
    bool noiseFilterOn() const { return digitalCamera == 1; }
};

// Where a colour-matching table of that name lives: the program directory, the
// name matched without regard to case. Names with a folder part are not tables.
std::filesystem::path matchPathFor(const std::filesystem::path& programDir, std::string_view name);

// Sets the record's table from a MatchFile value: the name (cut to what MatchFile
// holds) and its path, or both empty when no table file of that name exists.
void applyMatchFile(PictureAdjustSettings& settings, const std::filesystem::path& programDir,
                    std::string_view name);

// Reads MatchFile of kvx00.ini as it stands ("normal.cct" when missing).
std::string readMatchFile(const std::filesystem::path& programDir);

// Loads [Image] of kvx00.ini (found without regard to case); missing file or keys
// give the defaults. When no table file of the MatchFile name exists, both the
// name and the path are empty. Called once when the main window is created.
PictureAdjustSettings loadPictureAdjustSettings(const std::filesystem::path& programDir);

// The quality dialogs' "OK": writes MatchFile, the four tone points (only in
// manual tone mode, then from the active points), Contrast, Saturation,
// ColorControl, DigitalCamera, Edge, EdgeEnhanceR and SatValue, in that order and
// in one atomic rewrite, mirrored into systemDir's kvx00.ini when that copy
// exists. The path becomes program directory + name. On failure shows
// kMsgSettingsNotSaved, leaves the file as it was and returns false.
bool savePictureAdjustSettings(PictureAdjustSettings& settings,
                               const std::filesystem::path& programDir,
                               const std::filesystem::path& systemDir, platform::Ui& ui);

// The colour-matching check of the print commands. When no table file exists at
// the settings' path, asks kAskPrintWithoutMatchTable: Yes prints without the
// table, No abandons the command.
struct ColourMatchingChoice {
    bool print = true;     // go on with the job
    bool useTable = false; // apply the colour-matching table in this job
    friend bool operator==(const ColourMatchingChoice&, const ColourMatchingChoice&) = default;
};
ColourMatchingChoice confirmColourMatching(const PictureAdjustSettings& settings, platform::Ui& ui);

} // namespace kv::adjust
