#pragma once

#include "media/media_calibration.h"
#include "media/media_rank_table.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The captions and list rows of the rank table and printer setup dialogs, and the
// reading of the numbers typed into them. No Qt: the rows are checked headless.
namespace kv::media {

namespace text {
inline constexpr std::string_view kRankTableTitle = "Rangordnungs-Tabelle";
inline constexpr std::string_view kSensHeading = "RANK sens.C   sens.M   sens.Y";
inline constexpr std::string_view kDensHeading = "RANK TDTC   TDBC   TDTM   TDBM   TDTY    TDBY";
inline constexpr std::string_view kRankFileGroup = "Datei Rangordnungs-Tabelle";
inline constexpr std::string_view kLoad = "Laden";
inline constexpr std::string_view kSave = "Speichern";
inline constexpr std::string_view kClose = "Beenden";
inline constexpr std::string_view kSensRebuild = "Sens neu erstellen";
inline constexpr std::string_view kDensRebuild = "Dens neu erstellen";
inline constexpr std::string_view kSaveTxt = "Als .TXT speichern";

inline constexpr std::string_view kPrinterSetupTitle = "Drucker-Setup";
inline constexpr std::string_view kGammaTableGroup = "Gamma-Tabelle";
inline constexpr std::string_view kGammaEditGroup = "Gamma bearbeiten";
inline constexpr std::string_view kRankGroup = "Medienrangordnung";
inline constexpr std::string_view kBaseMediaGroup = "Base-Medien";
inline constexpr std::string_view kGammaHeading = "   In     R'    G'    B'";
inline constexpr std::string_view kGammaIn = "Ein";
inline constexpr std::string_view kGammaR = "R'";
inline constexpr std::string_view kGammaG = "G'";
inline constexpr std::string_view kGammaB = "B'";
inline constexpr std::string_view kGammaSave = "Gamma speichern";
inline constexpr std::string_view kRebuild = "Wiederaufbauen";
inline constexpr std::string_view kPrinter = "Drucker";
} // namespace text

inline constexpr const char* kSensRowFormat = "%c  %3.3f %3.3f %3.3f";
inline constexpr const char* kDensRowFormat = " %c  %8d %8d %8d %8d %8d %8d";
inline constexpr const char* kSensRowSavedFormat = "%c %3.3f %3.3f %3.3f";
inline constexpr const char* kDensRowSavedFormat = " %c %8d %8d %8d %8d %8d %8d";
inline constexpr const char* kGammaRowFormat = "%03d  %3d  %3d  %3d";
inline constexpr std::size_t kRankFileLabelMax = 128;

// After "Speichern" the lists are refilled with single blanks after the letter.
enum class RowSpacing { Double, Single };

std::string sensRowText(const MediaRankTable& table, int row, RowSpacing spacing);
std::string densRowText(const MediaRankTable& table, int row, RowSpacing spacing);
// Row k of the gamma list: input 4k and point k of the red, green and blue curves.
std::string gammaRowText(const GammaCurves& gamma, int k);

// Static labels of the printer setup dialog: the key names, ratios in upper case
// ("R4RATIO"), the cross-colour coefficients by their last two letters ("rg").
std::string baseMediaLabel(std::string_view key);
// The selected values' labels: "SensC", "SensM", "SensY", "TDTC" … as the keys.
std::string selectedValueLabel(RankColumn column);

// A sensitivity as the shortest text that reads back as the same float, so that
// showing a row and saving it again never rounds it.
std::string sensitivityText(float value);
// A selected value of the calibration for display: sensitivities to three decimals.
std::string selectedValueText(const MediaCalibration& calibration, RankColumn column);
double selectedValue(const MediaCalibration& calibration, RankColumn column);

// Typed numbers read as far as they read ("12x" is 12, "x" is 0). nullopt when the
// number does not fit: beyond a float's range, or outside -32768..32767.
std::optional<float> readSensitivity(std::string_view text);
std::optional<std::int16_t> readInt16(std::string_view text);

// The path shown in the rank table dialog, cut to at most 128 bytes without
// splitting a UTF-8 character.
std::string rankFileLabel(const std::filesystem::path& file);

} // namespace kv::media
