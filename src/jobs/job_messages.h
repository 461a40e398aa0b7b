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
// Our own: the bar fills as the wait for a port kept by another program runs out.
// Short enough for the strip of the smallest window, ESC included.
inline constexpr std::string_view kWaitingForPort = "Drucker belegt – warte … (ESC bricht ab)";

// The print job's prompts and messages.
inline constexpr std::string_view kNoPhotoToPrint = "Kein Foto für den Druck ausgewählt!";
inline constexpr std::string_view kAskBatchPrint =
    "Der Stapeldruck druckt alle Fotos in Ihrem aktuellen Album,\n\n das kann ein paar Minuten "
    "dauern. Möchten Sie fortfahren?";
inline constexpr std::string_view kNoDataExchange =
    "Kein Datenaustausch mit Drucker möglich.\nÜberprüfen Sie den Druckeranschluß\noder die "
    "Stromversorgung des Druckers.";
// "Die Datei: " + path + " kann nicht geladen werden!"
inline constexpr std::string_view kFileCannotLoadHead = "Die Datei: ";
inline constexpr std::string_view kFileCannotLoadTail = " kann nicht geladen werden!";
inline constexpr std::string_view kAskContinue = "Wollen Sie fortsetzen?";
inline constexpr std::string_view kPrinterFault =
    "Druckerfehler oder Papierstau.\n\nWeitere Informationen finden Sie im Benutzerhandbuch!";
inline constexpr std::string_view kAskNoPaper =
    "Kein Papier im Behälter\n\nWollen Sie mit dem Drucken fortfahren?";
inline constexpr std::string_view kAskStopPrinting = "Wollen Sie den Druckvorgang anhalten?";
inline constexpr std::string_view kAskContinuePrinting = "Wollen Sie den Druckvorgang fortsetzen?";

} // namespace kv::jobs::msg
