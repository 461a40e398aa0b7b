#pragma once

#include <string_view>

// The German texts of the album tab bar, its dialogs, the thumbnail window and
// the picture properties sheet, exactly as the program shows them.
namespace kv::albums::text {

inline constexpr std::string_view kNewAlbumButton = "Neu";
inline constexpr std::string_view kDeleteAlbumButton = "Löschen";
inline constexpr std::string_view kAlbumListButton = "Alle Alben";

inline constexpr std::string_view kNewAlbumTitle = "Hinzufuegen eines neuen Albums";
inline constexpr std::string_view kNewAlbumLabel = "Albumname";
inline constexpr std::string_view kRenameAlbumTitle = "Umbenennen des Albums";
inline constexpr std::string_view kRenameAlbumLabel = "Der neue Name :";
inline constexpr std::string_view kOk = "OK";
inline constexpr std::string_view kCancel = "Abbrechen";

inline constexpr std::string_view kAskCopyToAlbum =
    "Wollen Sie die aktuelle Datei in dieses Album kopieren?";
inline constexpr std::string_view kAskMoveToAlbum =
    "Wollen Sie die aktuelle Datei in dieses Album verschieben?";

inline constexpr std::string_view kPropertiesTitlePrefix = "Fotodatei (";
inline constexpr std::string_view kPropertiesTitleSuffix = ") Eigenschaften:";
inline constexpr std::string_view kPropertiesPage = "Allgemein";
inline constexpr std::string_view kPathLabel = "Originalstandort :";
inline constexpr std::string_view kStatusLabel = "Status :";
inline constexpr std::string_view kSizeLabel = "Groesse :";
inline constexpr std::string_view kDateLabel = "Geaendert Datum :";
inline constexpr std::string_view kFileOpened = "Datei einwandfrei geöffnet.";
inline constexpr std::string_view kFileMissing = "Datei existiert nicht!";
inline constexpr std::string_view kNoValue = "----";
inline constexpr const char* kSizeFormat = "%ld bytes";
inline constexpr const char* kDateFormat = "%.2d/%.2d/%d  %d:%.2d:%.2d";

} // namespace kv::albums::text
