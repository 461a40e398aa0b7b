#pragma once

#include <string_view>

namespace kv::shell {

// The shell's texts exactly as the user sees them.
inline constexpr std::string_view kWindowTitle = "Kelvor Photo Viewer";
inline constexpr std::string_view kWindowClass = "PhotoPrinter";
inline constexpr std::string_view kDefaultAlbumName = "My_Album";

inline constexpr std::string_view kMsgReducedColours =
    "Die Systemfarbeinstellung entspricht nicht den Echtfarben. \n Die Farben des angezeigten "
    "Bildes sind verfälscht.";
inline constexpr std::string_view kMsgUnsupportedColours =
    "Die Systemfarbeinstellung wird nicht unterstützt! \n Bitte ändern Sie Ihre "
    "Farbeinstellung zu Echtfarbe oder 256 Farben.";

inline constexpr std::string_view kMsgPrintBufferReserve =
    "Kann Speicher für Druckerpuffer nicht zuweisen.";
inline constexpr std::string_view kMsgPrintBufferDecommit =
    "Speicherzuweisung an Druckpuffer kann nicht storniert werden.";
inline constexpr std::string_view kMsgPrintBufferRelease =
    "Speicher für Druckpuffer kann nicht freigegeben werden.";

inline constexpr std::string_view kMsgTempKeptOnDestroy = "Kann die Datei nicht löschen.";
inline constexpr std::string_view kMsgTempKeptOnSessionEnd =
    "Die Datei kann nicht gelöscht werden.";

} // namespace kv::shell
