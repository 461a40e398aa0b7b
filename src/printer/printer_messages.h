#pragma once

#include <string_view>

namespace kv::printer {

// The printer link's texts exactly as the user sees them.

// Binding the port library.
inline constexpr std::string_view kMsgLibraryNotLoaded = "Dll kann nicht geladen werden.";
inline constexpr std::string_view kMsgResetFunctionMissing =
    "Die Funktion Zurücksetzen kann nicht geladen werden.";
inline constexpr std::string_view kMsgFunctionMissing = "Die Funktion kann nicht geladen werden.";

// Reset and port search.
inline constexpr std::string_view kMsgResetFailed = "Fehler beim Zurücksetzen.";
inline constexpr std::string_view kMsgPrinterNotFound =
    "Kann nicht mit dem Drucker kommunizieren.\n Bitte überprüfen Sie den Druckeranschluß oder "
    "die Stromversorgung des Druckers.";

// Our own: the line that names the port backend (standard error at start, Info box).
inline constexpr std::string_view kBackendLinePrefix = "Druckeranschluss: ";
inline constexpr std::string_view kBackendSim = "virtueller Drucker (sim)";
inline constexpr std::string_view kBackendPpdev = "ppdev";
inline constexpr std::string_view kBackendNoPorts = " (kein Parallelport gefunden)";
inline constexpr std::string_view kBackendTraceSuffix = ", Mitschrift in ";
// Our own: a parallel-port device the user may not open.
inline constexpr std::string_view kMsgPpdevNoPermission =
    "Kein Zugriff auf den Druckeranschluss %s. Der Benutzer muss zur Gruppe lp gehören "
    "(sudo usermod -aG lp BENUTZER, danach neu anmelden).";
inline constexpr std::string_view kMsgPpdevOpenFailed =
    "Der Druckeranschluss %s kann nicht geöffnet werden: %s";
inline constexpr std::string_view kMsgPpdevClaimFailed =
    "Der Druckeranschluss %s ist belegt (ein anderes Programm benutzt ihn): %s";
inline constexpr std::string_view kMsgUnknownBackend =
    "Unbekannter Druckeranschluss in KVPR_PORT: %s (erlaubt: ppdev, sim); virtueller Drucker "
    "wird benutzt.";
// Our own: a KVPR_PORT_TRACE file that cannot be opened (the run goes on without a trace),
// and a page the virtual printer cannot put into its output folder.
inline constexpr std::string_view kMsgTraceNotOpened =
    "Die Mitschrift des Druckeranschlusses %s (KVPR_PORT_TRACE) kann nicht angelegt werden: "
    "%s. Es wird ohne Mitschrift weitergearbeitet.";
inline constexpr std::string_view kMsgSimPageNotWritten =
    "Der virtuelle Drucker kann die Seite nicht im Ordner %s (KVPR_SIM_OUT) ablegen; die Seite "
    "ist verloren, der Drucker meldet einen Fehler.";

// Our own: the port lock. Another program (window, command line, print server) is in a
// conversation with the printer; and a lock file that cannot be used (standard error).
inline constexpr std::string_view kMsgPortInUse =
    "Der Drucker wird gerade von einem anderen Programm benutzt.";
inline constexpr std::string_view kMsgPortLockUnavailable =
    "Die Sperrdatei des Druckeranschlusses %s kann nicht benutzt werden; es wird ohne Sperre "
    "weitergearbeitet.";
inline constexpr std::string_view kMsgPortLockFolderUnfit =
    "%s Es wird ohne Sperre des Druckeranschlusses weitergearbeitet.";
// Our own: a line of the virtual printer's control file it does not understand (standard
// error).
inline constexpr std::string_view kMsgSimUnknownInstruction =
    "Der virtuelle Drucker ignoriert die unbekannte Anweisung in %s: %s";
// Our own: the virtual printer's files (control, state, memory) that are not regular
// files, cannot be read or written, or are damaged (standard error, once each).
inline constexpr std::string_view kMsgSimNotAFile =
    "Der virtuelle Drucker benutzt %s nicht: es ist keine gewöhnliche Datei.";
inline constexpr std::string_view kMsgSimCannotRead = "Der virtuelle Drucker kann %s nicht lesen.";
inline constexpr std::string_view kMsgSimCannotWrite =
    "Der virtuelle Drucker kann %s nicht schreiben.";
inline constexpr std::string_view kMsgSimDamagedMemory =
    "Die Speicherdatei %s des virtuellen Druckers ist beschädigt; sie bleibt als %s erhalten, "
    "der Drucker beginnt mit den Werkseinstellungen.";

// Command set: single commands, print preparation, LED table upload.
inline constexpr std::string_view kMsgPrinterNotReady = "Fotodrucker ist nicht bereit.";
inline constexpr std::string_view kMsgSendFailed = "Fehler beim Absenden des Befehls.";
inline constexpr std::string_view kMsgUnableToHeatUp = "Printer Unable to Heat Up";
inline constexpr std::string_view kMsgCannotOpenFile = "Diese Datei kann nicht geöffnet werden!";
// Our own: a TEMPERA.TUR that cannot give a table, and a temperature index past the curves.
inline constexpr std::string_view kMsgTemperaDamaged =
    "Die Datei TEMPERA.TUR ist beschädigt. Die LED-Tabelle des Druckers bleibt unverändert.";
inline constexpr std::string_view kMsgTemperatureIndexOutOfRange =
    "Der Temperaturindex muss zwischen 0 und 70 liegen. Die LED-Tabelle des Druckers bleibt "
    "unverändert.";

} // namespace kv::printer
