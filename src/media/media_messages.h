#pragma once

#include <string_view>

namespace kv::media {

// The media and calibration texts exactly as the user sees them.

// Media rank table (Media.rtb, media.txt) and its rebuilds.
inline constexpr std::string_view kMsgRankTableMissing = "MEDIA.RTB existiert NICHT.";
inline constexpr std::string_view kMsgRankTableShort = "Read Media.rtb Data Error.";
inline constexpr std::string_view kMsgMediaTxtSaved = "Rangtabelle in Datei MEDIA.TXT gespeichert.";
inline constexpr std::string_view kMsgSensRebuildDone = "Beende SensRebuild";
inline constexpr std::string_view kMsgDensRebuildDone = "Beende DensRebuild";
// Our own: files that cannot be written, or a gamma table that cannot be used.
inline constexpr std::string_view kMsgRankTableNotSaved =
    "Die Rangordnungs-Tabelle kann nicht in Media.rtb gespeichert werden.\n"
    "Die bisherige Datei bleibt unverändert.";
inline constexpr std::string_view kMsgMediaTxtNotSaved =
    "Die Rangtabelle kann nicht in Datei MEDIA.TXT gespeichert werden.";
inline constexpr std::string_view kMsgBaseMediaNotSaved =
    "Die Base-Medien-Werte können nicht in BasMedia.ini gespeichert werden.\n"
    "Die bisherige Datei bleibt unverändert.";
inline constexpr std::string_view kMsgGammaTableMissing =
    "GammaTable.tbl existiert nicht oder kann nicht gelesen werden.\n"
    "Die Gamma-Tabellen bleiben unverändert.";
inline constexpr std::string_view kMsgGammaTableBad =
    "GammaTable.tbl ist fehlerhaft (erwartet: 257 Zeilen mit je vier ganzen Zahlen).\n"
    "Die Gamma-Tabellen bleiben unverändert.";
inline constexpr std::string_view kMsgGammaTableNotSaved =
    "Die Gamma-Tabellen können nicht in GammaTable.tbl gespeichert werden.\n"
    "Die bisherige Datei bleibt unverändert.";

// Media identification ("Medientyp einstellen").
inline constexpr std::string_view kMsgMediaIdLength =
    "Die Medienbezeichnung muß exakt 10 Zeichen enthalten.";
inline constexpr std::string_view kMsgMediaIdVersion =
    "Die Anwendung kann mit dieser Medienversion nicht arbeiten.\n\n Die neueste Anwendung "
    "erhalten Sie bei Ihrem Anbieter. ";
inline constexpr std::string_view kMsgMediaIdRange = "Medienbezeichnung überschreitet Bereich.";
// The media type dialog's captions.
inline constexpr std::string_view kMediaTypeTitle = "Medientyp einstellen";
inline constexpr std::string_view kMediaTypeIdLabel = "Medienbezeichnung";
inline constexpr std::string_view kMediaTypeCheckId =
    "Prüfen Sie die Material-ID (in der Datei README.TXT oder auf der Materialkassette).Die ID "
    "muß mit der obigen ID übereinstimmen.";
inline constexpr std::string_view kMediaTypeCheckOnChange =
    "Prüfen Sie die Medienbezeichnung bei jedem Medienwechsel!";
inline constexpr std::string_view kMediaTypeAtStartup =
    "Diese Meldung beim nächsten Programmstart einblenden.";
inline constexpr std::string_view kMediaTypeOk = "OK";
inline constexpr std::string_view kMediaTypeCancel = "Abbrechen";
// Our own: Kvx00.ini cannot take the new identification.
inline constexpr std::string_view kMsgMediaIdNotStored =
    "Die Medienbezeichnung kann nicht in Kvx00.ini gespeichert werden.\n"
    "Die bisherige Einstellung bleibt unverändert.";

// Our own: numbers typed into the rank table and printer setup dialogs that do not
// fit their fields; nothing is taken.
inline constexpr std::string_view kMsgSensitivityOutOfRange =
    "Der Empfindlichkeitswert ist zu groß.\nEs wurde nichts übernommen.";
inline constexpr std::string_view kMsgDensityOutOfRange =
    "Die Dichtewerte müssen zwischen -32768 und 32767 liegen.\nEs wurde nichts übernommen.";
inline constexpr std::string_view kMsgGammaValueOutOfRange =
    "Die Werte R', G' und B' müssen zwischen -32768 und 32767 liegen.\n"
    "Es wurde nichts übernommen.";
// Our own: the printer setup dialog cannot store the rank letters in Kvx00.ini.
inline constexpr std::string_view kMsgRanksNotStored =
    "Die Medienrangordnung kann nicht in Kvx00.ini gespeichert werden.";

} // namespace kv::media
