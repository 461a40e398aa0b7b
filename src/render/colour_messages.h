#pragma once

#include <string>
#include <string_view>

namespace kv::render {

// The colour stages' texts exactly as the user sees them.

// Reading the colour-matching table (*.cct); the stage is skipped, the job goes on.
inline constexpr std::string_view kMsgMatchTableNotFound =
    "Die Farbanpassungstabelle kann nicht gefunden werden.";
inline constexpr std::string_view kMsgMatchTableNoMemory = "Speicherkapazität erschöpft.";
inline constexpr std::string_view kMsgMatchTableLoadError = "Fehler beim Laden der Datei!";

// Our own: the calibration makes the exposure conversion undefined; the job is
// printed with the plain levels 4 x v. `what` names the wrong value
// ("RBase32 = 0.0").
inline std::string calibrationInvalidMessage(std::string_view what) {
    return "Die Kalibrierung ist ungültig (" + std::string(what) +
           "). Es wird ohne Farbkorrektur gedruckt.";
}

// How the exposure message names the three gamma curves.
inline constexpr std::string_view kGammaCurveNames[3] = {"Gammakurve Rot", "Gammakurve Grün",
                                                         "Gammakurve Blau"};

} // namespace kv::render
