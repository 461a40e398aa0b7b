#pragma once

#include <string_view>

// The open-files dialog's German texts, exactly as the program shows them. The
// texts it shares with the intake stand in intake_messages.h.
namespace kv::intake::open_text {

inline constexpr std::string_view kTitle = "Dateien öffnen";
inline constexpr std::string_view kFileList = "Quellenliste";
inline constexpr std::string_view kFolderList = "Verzeichnis";
inline constexpr std::string_view kFileType = "Dateityp";
inline constexpr std::string_view kDrive = "Laufwerk";
inline constexpr std::string_view kPreview = "Vorschaufenster";
inline constexpr std::string_view kRotate = "&Rotieren";
inline constexpr std::string_view kLoad = "Laden";
inline constexpr std::string_view kCancel = "Abbrechen";

inline constexpr std::string_view kLoadError = "Fehler beim Laden der Datei!";
inline constexpr std::string_view kDriveNotReady =
    "Das Laufwerk ist nicht bereit, bitte prüfen.\nWählen Sie OK, um fortzufahren! ";
// The preview names the TIFF pixel format a little differently from the intake.
inline constexpr std::string_view kTiffPixelFormat =
    "Dieses TIFF-Pixelformat wird nicht unterstützt.";

// The info window under the preview: file name, then width and height.
inline constexpr const char* kInfoFormat = "%s\n[%d X %d]";

} // namespace kv::intake::open_text
