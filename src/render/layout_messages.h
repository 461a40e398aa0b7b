#pragma once

#include <string_view>

namespace kv::render {

// The layout composition's and sheet loader's texts exactly as the user sees them.
inline constexpr std::string_view kMsgNoPhotoForFourUp =
    "Kein Foto für die Erstellung des 4in1-Bildes ausgewählt!";
inline constexpr std::string_view kMsgResizeFailed = "Fehler bei der Größenanpassung des Fotos!";
inline constexpr std::string_view kMsgSheetCannotOpen = "Diese Datei kann nicht geöffnet werden!";
inline constexpr std::string_view kMsgSheetNoMemory = "Nicht genügend Arbeitsspeicher.";
inline constexpr std::string_view kMsgSheetShort = "Fehler beim Skalieren Ihrer Bitmap.";

// Our own, in the same style: a sheet or raster file that could not be written must
// not pass for a printed or saved one.
inline constexpr std::string_view kMsgSheetNotWritten =
    "Die Druckdatei kann nicht geschrieben werden!";
// The print command's own text, for a loaded picture that is gone by the time the
// job takes it.
inline constexpr std::string_view kMsgNothingLoaded = "Kein Foto für den Druck ausgewählt!";
inline constexpr std::string_view kMsgBmxNotWritten =
    "Die BMX-Datei kann nicht geschrieben werden!";

} // namespace kv::render
