#pragma once

#include "media/media_calibration.h"
#include "platform/ui.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kv::media {

inline constexpr std::string_view kGammaTableFile = "GammaTable.tbl";

// Rebuilds the 65-point curves and the 257-entry tables of all three channels
// from the selected densities and the base-media values (red: TDTC, RBase128,
// TDBC, the R ratios and RLimit; green and blue alike). A segment whose end point
// is zero or negative is filled linearly instead of geometrically.
void rebuildGammaCurves(const MediaCalibration& calibration, GammaCurves& gamma);

// The selected sensitivities sensC, sensM, sensY as the LED table's colour
// factors; the caller passes them to LedTable::setColourFactors with every rebuild.
std::array<double, 3> colourFactors(const MediaCalibration& calibration);

// The gamma editor's spread: from every fourth table entry (4k) recomputes the
// entries between, entry 4k + (entry 4k+4 - entry 4k) / 4 * j cut toward zero, and
// then refreshes the 65 points from the table.
void expandPointsCut(GammaCurves& gamma);

// GammaTable.tbl: 257 lines "%d  %d  %d  %d \n" (input, red, green, blue), LF only.
std::string formatGammaTable(const GammaCurves& gamma);
// The tables (and points) of a GammaTable.tbl text; nullopt unless it has 257
// lines of four integers (the first ignored, the others in the 16-bit range) and
// nothing but blank lines after them.
std::optional<GammaCurves> parseGammaTable(std::string_view text);

// Reads GammaTable.tbl into `gamma`. Missing, unreadable or malformed: gamma
// unchanged, a message (kMsgGammaTableMissing / kMsgGammaTableBad), false.
bool readGammaTable(const std::filesystem::path& programDir, GammaCurves& gamma, platform::Ui& ui);
// Writes GammaTable.tbl atomically; on failure kMsgGammaTableNotSaved, the old
// file unchanged, false.
bool writeGammaTable(const std::filesystem::path& programDir, const GammaCurves& gamma,
                     platform::Ui& ui);

} // namespace kv::media
