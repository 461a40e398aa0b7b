#pragma once

#include <string_view>

// The colour adjustment dialog's German texts, exactly as the user sees them.
namespace kv::adjust::colour_text {

inline constexpr std::string_view kTitle = "Farbeinstellung";
inline constexpr std::string_view kSave = "Speichern";
inline constexpr std::string_view kApply = "Anwenden";
inline constexpr std::string_view kCancel = "Abbrechen";
inline constexpr std::string_view kBrightness = "Helligkeit";
inline constexpr std::string_view kContrast = "Kontrast";

inline constexpr std::string_view kOutOfRange = "Wert eingeben (-100, +100).\n";
inline constexpr std::string_view kCannotOpen = "Diese Datei kann nicht geöffnet werden!";
// Of our own, in the same style: the adjusted copy cannot be written to drive C:.
inline constexpr std::string_view kNotWritten =
    "Das angepasste Foto kann nicht gespeichert werden!";

} // namespace kv::adjust::colour_text
