#pragma once

#include <string_view>

namespace kv::printer_app {

// The server's own texts on standard error (and so in the user unit's journal).
// "%s" and "%d" stand for what the line names, in order.
inline constexpr std::string_view kMsgAddressTaken =
    "Port %d auf %s ist schon belegt (läuft dort ein anderer Server?); der Server startet nicht.";
inline constexpr std::string_view kMsgCannotListen =
    "Auf %s Port %d kann nicht gehört werden (%s); der Server startet nicht.";
inline constexpr std::string_view kMsgUnknownHost =
    "Die Adresse %s (listen-hostname) ist unbekannt; der Server startet nicht.";
inline constexpr std::string_view kMsgNoFreePort =
    "Kein freier Port für %s gefunden; der Server startet nicht.";
inline constexpr std::string_view kMsgControlSocketTaken =
    "Ein anderer Server antwortet schon auf %s; dieser Server ist nur über IPP erreichbar "
    "(submit, status und die anderen Befehle erreichen den anderen).";
inline constexpr std::string_view kMsgControlSocketUnusable =
    "Der Steuer-Socket %s kann nicht angelegt werden; dieser Server ist nur über IPP "
    "erreichbar.";
inline constexpr std::string_view kMsgServerOptions =
    "Der Befehl server nimmt nur Einstellungen als -o NAME=WERT an.";
inline constexpr std::string_view kMsgNoServer = "Der Server kann nicht gestartet werden.";

// A job's proof: the link on the Jobs page, and the job's log lines.
inline constexpr const char* kProofLink = "Vorschau";
inline constexpr const char* kLogProofKept = "Vorschau %s (%s)";
inline constexpr const char* kLogProofNotKept = "Die Vorschau kann nicht gespeichert werden: %s";

} // namespace kv::printer_app
