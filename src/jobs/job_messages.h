#pragma once

#include <string_view>

// The print job's German texts, exactly as the program shows them.
namespace kv::jobs::msg {

inline constexpr std::string_view kWarmingUp = "Drucker ist in der Aufwärmphase...";
inline constexpr std::string_view kSearchingPrinter = "Photo-Drucker suchen...";
inline constexpr std::string_view kPreparingData = "Daten vorbereiten...";
inline constexpr std::string_view kWritingBmx = "Erstelle BMX-Datei...";
inline constexpr std::string_view kLoadingPaper = "Papier laden...";
inline constexpr std::string_view kPressEscToStop = "Drücken Sie ESC, um den Druck anzuhalten";

} // namespace kv::jobs::msg
