#pragma once

#include <string_view>

// The album store's German texts, exactly as the program shows them.
namespace kv::albums::msg {

inline constexpr std::string_view kNameExists =
    "Dieser Name existiert bereits! Geben Sie dem Album bitte einen anderen Namen.";
inline constexpr std::string_view kNameReserved =
    "Dieser Name wird von der Anwendung verwendet! Bitte verwenden Sie einen anderen Namen!";
inline constexpr std::string_view kCannotRenameDefault =
    "Das Standardalbum kann nicht umbenannt werden!";
inline constexpr std::string_view kCannotDeleteDefault =
    "Das Standardalbum kann nicht gelöscht werden!";
inline constexpr std::string_view kAskDeletePrefix = "Wollen Sie folgendes Album löschen: ";
inline constexpr std::string_view kAskDeleteSuffix = " ? ";
inline constexpr std::string_view kAlbumNotLoaded = "Das Album kann nicht geladen werden.";
inline constexpr std::string_view kListNotOpened =
    "Die Datei album.dat kann nicht geöffnet werden.";
inline constexpr std::string_view kNameFileNotSaved =
    "Die Namendatei kann nicht gespeichert werden.";
inline constexpr std::string_view kDataFileNotSaved =
    "Die Datendatei kann nicht gespeichert werden.";
inline constexpr std::string_view kDataFileNotUpdated = "Fehler beim Aktualisieren der Datendatei.";
inline constexpr std::string_view kNoPictureToRotate = "Kein Foto zum Drehen ausgewählt!";
inline constexpr std::string_view kCannotMove = "Kann nicht in dieses Album verschieben.";
inline constexpr std::string_view kAlbumFull =
    "Maximale Bildanzahl pro Album ist 99.\n\n Erstellen Sie ein neues Album, um die anderen "
    "Bilder zu laden.";

// Refusals and warnings of our own, in the same style.
inline constexpr std::string_view kNameEmpty = "Bitte geben Sie dem Album einen Namen!";
inline constexpr std::string_view kNameTooLong =
    "Dieser Name ist zu lang! Ein Albumname darf höchstens 49 Zeichen haben.";
inline constexpr std::string_view kNameBadCharacter =
    "Dieser Name kann nicht verwendet werden! Ein Albumname darf keines der Zeichen "
    "\\ / : * ? \" < > | und keine Steuerzeichen enthalten und nicht nur aus Punkten bestehen.";
inline constexpr std::string_view kTooManyAlbums =
    "Es können höchstens 100 Alben angelegt werden! Bitte löschen Sie zuerst ein anderes Album.";
inline constexpr std::string_view kPathTooLong =
    "Pfad oder Name dieses Bildes sind länger als 127 Zeichen. Das Bild kann nicht in das Album "
    "aufgenommen werden.";
inline constexpr std::string_view kPathLineBreak =
    "Pfad oder Name dieses Bildes enthalten einen Zeilenumbruch. Das Bild kann nicht in das "
    "Album aufgenommen werden.";
inline constexpr std::string_view kAlbumFileDamaged =
    "Die Albumdatei ist beschädigt. Es werden nur die lesbaren Bilder geladen.";
inline constexpr std::string_view kAlbumListDamaged =
    "Die Datei album.dat ist beschädigt. Es werden nur die lesbaren Albumnamen geladen.";

inline constexpr std::string_view kAlbumsBusy =
    "Die Alben werden gerade von einem anderen Programm geändert. Bitte versuchen Sie es gleich "
    "noch einmal.";
inline constexpr std::string_view kChangeUnfinished =
    "Eine frühere Änderung der Alben konnte nicht abgeschlossen werden. Bitte prüfen Sie, ob der "
    "Programmordner beschreibbar ist und freien Platz hat.";
inline constexpr std::string_view kPictureGone =
    "Dieses Foto ist nicht mehr im Album. Die Ansicht wird aktualisiert.";
inline constexpr std::string_view kAlbumGone =
    "Dieses Album gibt es nicht mehr. Die Ansicht wird aktualisiert.";

} // namespace kv::albums::msg
