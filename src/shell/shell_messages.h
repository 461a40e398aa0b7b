#pragma once

#include <string_view>

namespace kv::shell {

// The shell's texts exactly as the user sees them.
inline constexpr std::string_view kWindowTitle = "Kelvor Photo Viewer";
inline constexpr std::string_view kWindowClass = "PhotoPrinter";
// The desktop entry's name without ".desktop": the window names it (Wayland's app id),
// so the window, the menu entry and the dock are one application.
inline constexpr std::string_view kDesktopFileName = "de.kelvor.kvphoto";
inline constexpr std::string_view kDefaultAlbumName = "My_Album";

inline constexpr std::string_view kMsgReducedColours =
    "Die Systemfarbeinstellung entspricht nicht den Echtfarben. \n Die Farben des angezeigten "
    "Bildes sind verfälscht.";
inline constexpr std::string_view kMsgUnsupportedColours =
    "Die Systemfarbeinstellung wird nicht unterstützt! \n Bitte ändern Sie Ihre "
    "Farbeinstellung zu Echtfarbe oder 256 Farben.";

// Our own: what "kvphoto --help" prints.
inline constexpr std::string_view kCommandLineHelp =
    "Aufruf: kvphoto [/debug] [DATEI|file:///URL ...]\n"
    "\n"
    "Kelvor Photo Viewer: Bilder in Alben sammeln, ansehen, anpassen und drucken.\n"
    "Die genannten Bilder kommen ins aktuelle Album, als wären sie auf das Fenster\n"
    "gezogen worden; läuft das Programm schon, nimmt sein Fenster sie auf.\n"
    "\n"
    "  /debug      Service-Modus (nur allein angegeben)\n"
    "  --help      diese Hilfe\n"
    "  --version   die Version des Programms\n"
    "\n"
    "Ein Bild, dessen Name mit \"--\" beginnt, wird nach \"--\" oder als ./NAME angegeben.\n"
    "Siehe kvphoto(1) und kvphoto-cli(1).\n";

// Our own: the program cannot start without its album list.
inline constexpr std::string_view kMsgAlbumListUnusable =
    "Die Albumliste kann weder gelesen noch angelegt werden:\n";
inline constexpr std::string_view kMsgAlbumListUnusableTail =
    "\n\nBitte prüfen Sie, ob der Programmordner beschreibbar ist und Platz frei ist. Das "
    "Programm wird beendet.";
inline constexpr std::string_view kMsgPrintBufferReserve =
    "Kann Speicher für Druckerpuffer nicht zuweisen.";
inline constexpr std::string_view kMsgPrintBufferDecommit =
    "Speicherzuweisung an Druckpuffer kann nicht storniert werden.";
inline constexpr std::string_view kMsgPrintBufferRelease =
    "Speicher für Druckpuffer kann nicht freigegeben werden.";

inline constexpr std::string_view kMsgTempKeptOnDestroy = "Kann die Datei nicht löschen.";
inline constexpr std::string_view kMsgTempKeptOnSessionEnd =
    "Die Datei kann nicht gelöscht werden.";

// Command messages of the main window.
inline constexpr std::string_view kMsgNoPhotoToDelete = "Kein Foto zum Löschen ausgewählt!";
inline constexpr std::string_view kAskDeletePhoto =
    "Wollen Sie das hervorgehobene Foto im aktuellen Album löschen?";
inline constexpr std::string_view kMsgNoPhotoToAdjust = "Kein zu verarbeitendes Foto ausgewählt!";
inline constexpr std::string_view kMsgNoPhotoToPreview =
    "Kein Foto für die Druckvorschau ausgewählt!";
inline constexpr std::string_view kMsgCannotReachPrinter =
    "Kann nicht mit dem Drucker kommunizieren.\n Bitte überprüfen Sie den Druckeranschluß oder "
    "die Stromversorgung des Druckers.";
// Our own: the help window has nothing to show.
inline constexpr std::string_view kMsgHelpMissing =
    "Die Hilfedatei kann nicht geöffnet werden. Bitte installieren Sie das Programm neu.";
inline constexpr std::string_view kHelpTitle = "Kelvor Photo Viewer - Hilfe";
// The about box; the version follows on its own line.
inline constexpr std::string_view kAboutVersionPrefix = "Version ";

// Menu captions; "&" marks the access key.
inline constexpr std::string_view kMenuFile = "&Datei";
inline constexpr std::string_view kMenuOpen = "&Offnen";
inline constexpr std::string_view kMenuDelete = "&Loeschen";
inline constexpr std::string_view kMenuSaveAs = "&Speichern unter";
inline constexpr std::string_view kMenuImport = "&Importieren";
inline constexpr std::string_view kMenuAcquire = "&Einlesen...";
inline constexpr std::string_view kMenuSelectSource = "&Quelle auswaehlen...";
inline constexpr std::string_view kMenuExit = "&Beenden";
inline constexpr std::string_view kMenuTools = "&Werkzeuge";
inline constexpr std::string_view kMenuOneUp = "&1  in  1 (1 X 1)";
inline constexpr std::string_view kMenuFourUp = "&4  in  1 (2 X 2)";
inline constexpr std::string_view kMenuSixteenUp = "1&6 in 1 (4 X 4)";
inline constexpr std::string_view kMenuPrintCurrent = "&Aktuelles Photo drucken";
inline constexpr std::string_view kMenuBatchPrint = "&Stapeldruck";
inline constexpr std::string_view kMenuColour = "Farbe &einstellen";
inline constexpr std::string_view kMenuPrintQuality = "Druck&qualität einstellen";
inline constexpr std::string_view kMenuMediaType = "&Medientyp einstellen";
inline constexpr std::string_view kMenuView = "An&sicht";
inline constexpr std::string_view kMenuToolbar = "&Werkzeugleiste";
inline constexpr std::string_view kMenuStatusBar = "S&tatusleiste";
inline constexpr std::string_view kMenuRotate = "Um &90 Grad rotieren";
inline constexpr std::string_view kMenuFitToWindow = "&An Fenster anpassen";
inline constexpr std::string_view kMenuPreview = "&Vorschau";
// Our own: the sheet as the printer's levels show it, and its colours out of reach.
inline constexpr std::string_view kMenuProofView = "&Druckansicht (Proof)";
inline constexpr std::string_view kMenuMarkUnprintable = "Nicht druckbare &Farben markieren";
inline constexpr std::string_view kMenuHelp = "&Hilfe";
inline constexpr std::string_view kMenuHelpTopics = "&Hilfethemen";
inline constexpr std::string_view kMenuAbout = "Inf&o ...";

// Our own: a start argument that is a URL of another computer or protocol. Shown
// like the intake's refusals: reason, a blank line, the URL, then on a line of its own
// "Kann nicht geöffnet werden.".
inline constexpr std::string_view kMsgNotLocalFile =
    "Nur Dateien auf diesem Computer können geöffnet werden.";

// Toolbar tooltips.
inline constexpr std::string_view kTipOpen = "Datei offnen";
inline constexpr std::string_view kTipSave = "Aktuelle Datei speichern";
inline constexpr std::string_view kTipRotate = "Um 90 Grad drehen";
inline constexpr std::string_view kTipColour = "Farbeinstellung";
inline constexpr std::string_view kTipSixteenUp = "Foto drucken (16 in 1)";
inline constexpr std::string_view kTipFourUp = "Foto drucken (4 in 1)";
inline constexpr std::string_view kTipOneUp = "Foto drucken(1)";
inline constexpr std::string_view kTipPreview = "Vorschau des aktuellen Fotos";
inline constexpr std::string_view kTipPrintCurrent = "Aktuelles Foto drucken";
inline constexpr std::string_view kTipBatchPrint = "Stapeldruck";
inline constexpr std::string_view kTipHelp = "Hilfe";

} // namespace kv::shell
