#pragma once

#include <string_view>

// The picture intake's German texts, exactly as the program shows them.
namespace kv::intake::msg {

inline constexpr std::string_view kLowDiskSpace =
    "Zu wenig Speicherplatz auf Laufwerk C:. Geben Sie Speicherplatz frei!";
inline constexpr std::string_view kAlbumFull =
    "Maximale Bildanzahl pro Album ist 99.\n\n Erstellen Sie ein neues Album, um die anderen "
    "Bilder zu laden.";
inline constexpr std::string_view kAcquireNameTooLong =
    "Der Dateiname muß weniger als sechs Zeichen enthalten.";
inline constexpr std::string_view kNoScanner = "Es wurde kein Scanner gefunden.";
inline constexpr std::string_view kScanFailed = "Das Einlesen vom Scanner ist fehlgeschlagen.";
// Of our own: shown while the scanner works.
inline constexpr std::string_view kScanning = "Die Bilder werden vom Scanner eingelesen …";
inline constexpr std::string_view kScannerTitle = "Scanner";
inline constexpr std::string_view kChooseScanner = "Quelle:";
inline constexpr std::string_view kBitmapFilter = "Bitmap(*.BMP) (*.bmp)";
inline constexpr std::string_view kCannotLoad = "Die Datei kann nicht geladen werden!";
inline constexpr std::string_view kCannotOpenFile = "Diese Datei kann nicht geöffnet werden!";
inline constexpr std::string_view kNoMemory = "Nicht genügend Arbeitsspeicher.";
inline constexpr std::string_view kScalingError = "Fehler beim Skalieren Ihrer Bitmap.";
inline constexpr std::string_view kFileMissing = "Diese Datei existiert nicht!";
inline constexpr std::string_view kNoPhotoToSave = "Kein Foto zum Speichern ausgewählt!";
inline constexpr std::string_view kBlackAndWhite = "Schwarz-Weiß-Bild wird nicht unterstützt!";
inline constexpr std::string_view kCannotOpenSuffix = "Kann nicht geöffnet werden.";
inline constexpr std::string_view kReasonSeparator = "\n\n";

// Reasons for the image library's codes -1 .. -5.
inline constexpr std::string_view kTiffPixelFormat = "Das TIFF-Pixelformat wird nicht unterstützt.";
inline constexpr std::string_view kTiffCompressed =
    "Komprimierte TIFF-Datei wird nicht unterstützt.";
inline constexpr std::string_view kNotTiff = "Dies ist keine gültige TIFF-Datei!";
inline constexpr std::string_view kJpegColourSpace =
    "Der Farbraum dieser JPEG-Datei ist unbekannt.";
inline constexpr std::string_view kUnsupportedFormat = "Dieses Dateiformat wird nicht unterstützt.";

// Of our own, in the same style: the reasons for a picture the image library
// refuses without one of the codes above, and for a copy that cannot be written.
// Each is shown like those: reason, a blank line, path, "Kann nicht geöffnet werden.".
inline constexpr std::string_view kCannotRead =
    "Die Datei existiert nicht oder kann nicht gelesen werden.";
inline constexpr std::string_view kDamaged = "Die Datei ist beschädigt oder unvollständig.";
inline constexpr std::string_view kTooLarge = "Das Bild ist zu groß.";
inline constexpr std::string_view kTempNotWritten =
    "Die temporäre Datei auf Laufwerk C: kann nicht geschrieben werden.";
// Of our own: a picture taken from a file that ends early; then a blank line, the path.
inline constexpr std::string_view kIncomplete =
    "Die Datei ist unvollständig. Es wird nur der lesbare Teil des Bildes verwendet.";
// Of our own: a picture whose colour profile cannot be used; then a blank line, the path.
inline constexpr std::string_view kProfileIgnored =
    "Das Farbprofil der Datei ist beschädigt; die Farben werden ohne es gezeigt.";

// Of our own, in the same style: a copy for "Speichern unter" could not be written.
inline constexpr std::string_view kNotSaved = "Das Bild kann nicht gespeichert werden!";

// The save dialog.
inline constexpr std::string_view kSaveTitle = "File - Save As";
inline constexpr std::string_view kSaveFilter = "24-bit Bitmap";
inline constexpr std::string_view kSaveExtension = "bmp";

} // namespace kv::intake::msg
