#pragma once

#include <string_view>

namespace kv::adjust {

// The picture adjustment texts exactly as the user sees them.

// The camera-noise filter's planes cannot be allocated; the picture stays unfiltered.
inline constexpr std::string_view kMsgNotEnoughMemory = "Nicht genügend Arbeitsspeicher.";

// Before a print job, when the colour-matching table is missing (Yes/No).
inline constexpr std::string_view kAskPrintWithoutMatchTable =
    "Farbzuordnungstabelle ist nicht zu finden.\n\n Möchten Sie das Drucken ohne "
    "Farbzuordnungstabelle fortsetzen?";

// Our own: the quality dialogs cannot store the settings in kvx00.ini.
inline constexpr std::string_view kMsgSettingsNotSaved =
    "Die Bildeinstellungen können nicht in Kvx00.ini gespeichert werden.\n"
    "Die bisherige Datei bleibt unverändert.";

} // namespace kv::adjust
