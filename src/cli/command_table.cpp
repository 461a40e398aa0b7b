// The tool's commands: their words, usage lines and help texts, how many operands
// each takes, and the function that runs it.

#include "cli/commands.h"

#include <array>

namespace kv::cli {

namespace {

constexpr std::array<std::string_view, 1> kGammaFlags = {"--write"};
constexpr std::array<std::string_view, 4> kRankTableFlags = {"--sens-rebuild", "--dens-rebuild",
                                                             "--save", "--txt"};
constexpr std::array<std::string_view, 4> kRenderOptions = {"--layout", "--album", "--bmx",
                                                            "--proof"};
constexpr std::array<std::string_view, 1> kPrintFlags = {"--quiet"};
constexpr std::array<std::string_view, 4> kPrintOptions = {"--layout", "--album", "--picture",
                                                           "--batch"};

const CommandEntry kCommands[] = {
    {"album",
     "list",
     "album list",
     "Prints the names of all albums, one a line, in the order of album.dat.",
     0,
     0,
     {},
     albumList},
    {"album",
     "add",
     "album add NAME",
     "Adds an empty album at the end of the list; its files appear with its first\n"
     "picture. Refused as the program refuses it: a name already used (in any case),\n"
     "the reserved name ALBUM, an empty or unusable name, a 101st album.",
     1,
     1,
     {},
     albumAdd},
    {"album",
     "rename",
     "album rename OLD NEW",
     "Renames an album and its files. The default album (the first) keeps its name.",
     2,
     2,
     {},
     albumRename},
    {"album",
     "delete",
     "album delete NAME",
     "Deletes an album and its files after the program's question (answer it with\n"
     "--yes). The default album cannot be deleted. Picture files stay where they are.",
     1,
     1,
     {},
     albumDelete},
    {"album",
     "show",
     "album show NAME",
     "Lists the album's pictures, one a line:\n"
     "INDEX<TAB>ROTATION<TAB>WxH<TAB>FULL PATH<TAB>DISPLAY NAME\n"
     "INDEX counts from 0, ROTATION in quarter turns clockwise, WxH is the size of\n"
     "the stored thumbnail.",
     1,
     1,
     {},
     albumShow},
    {"picture",
     "add",
     "picture add ALBUM FILE...",
     "Adds picture files to the album as files dropped on the program's window are\n"
     "added: BMP files are read directly; JPEG, TIFF, GIF, PCX and TGA are converted\n"
     "first; each picture gets its thumbnail in the album's files. Files the program\n"
     "refuses are skipped with its message; a full album (99 pictures) stops the rest.",
     2,
     -1,
     {},
     pictureAdd},
    {"picture",
     "delete",
     "picture delete ALBUM INDEX",
     "Removes a picture from the album after the program's question (answer it with\n"
     "--yes). The picture file stays where it is.",
     2,
     2,
     {},
     pictureDelete},
    {"picture",
     "rotate",
     "picture rotate ALBUM INDEX",
     "Turns a picture a quarter turn clockwise: its rotation and its thumbnail in the\n"
     "album. The picture file is not changed.",
     2,
     2,
     {},
     pictureRotate},
    {"picture",
     "copy",
     "picture copy ALBUM INDEX TARGET",
     "Copies a picture into the album TARGET, after the program's question.",
     3,
     3,
     {},
     pictureCopy},
    {"picture",
     "move",
     "picture move ALBUM INDEX TARGET",
     "Moves a picture into the album TARGET, after the program's question.",
     3,
     3,
     {},
     pictureMove},
    {"picture",
     "save",
     "picture save ALBUM INDEX TARGET.bmp",
     "Saves a picture as a 24-bit BMP file, as \"Speichern unter\" does: a BMP picture\n"
     "is copied, any other converted; its rotation is not applied. A TARGET without\n"
     "an extension gets \".bmp\"; an existing file is replaced only after a question.",
     3,
     3,
     {},
     pictureSave},
    {"media",
     "id",
     "media id [ID]",
     "Without ID: prints the current media identification (\"A\" and the nine rank\n"
     "letters stored in Kvx00.ini).\n"
     "With ID: does what \"OK\" in the media type dialog does: finds the printer,\n"
     "checks ID (ten characters: \"A\", then nine ranks A to Y, in either case),\n"
     "stores it, rebuilds the gamma curves and uploads the LED table.",
     0,
     1,
     {},
     mediaId},
    {"media", "gamma", "media gamma [--write]",
     "Builds the gamma tables from the current calibration (rank table, media\n"
     "selection, base media, as at start) and prints their 257 lines in the\n"
     "GammaTable.tbl format. --write writes them to GammaTable.tbl instead.",
     0, 0, kGammaFlags, mediaGamma},
    {"media", "rank-table", "media rank-table [--sens-rebuild] [--dens-rebuild] [--save] [--txt]",
     "Loads Media.rtb as the rank table dialog does, then in this order: rebuilds the\n"
     "sensitivities (--sens-rebuild) and the densities (--dens-rebuild), writes the\n"
     "table to Media.rtb (--save) and the report media.txt (--txt). Prints the table\n"
     "as media.txt lists it.",
     0, 0, kRankTableFlags, mediaRankTable},
    {"printer",
     "find",
     "printer find",
     "Searches the printer's parallel port as the program does at start and stores\n"
     "the port in kvprn.ini.",
     0,
     0,
     {},
     printerFind},
    {"printer",
     "reset",
     "printer reset",
     "Resets the printer, as F4 in the program does.",
     0,
     0,
     {},
     printerReset},
    {"printer",
     "state",
     "printer state",
     "Prints the printer's state: Ready, Busy, NoPaper or Fault.",
     0,
     0,
     {},
     printerState},
    {"printer",
     "read",
     "printer read PARAM [N]",
     "Reads N bytes (1 when not given) of the printer's parameter PARAM and prints\n"
     "them in decimal, separated by blanks. The printer is searched first.",
     1,
     2,
     {},
     printerRead},
    {"printer",
     "read-stored",
     "printer read-stored ADDR",
     "Reads the byte the printer keeps at ADDR and prints it in decimal. The printer\n"
     "is searched first.",
     1,
     1,
     {},
     printerReadStored},
    {"printer",
     "write",
     "printer write PARAM BYTE...",
     "Writes the bytes to the printer's parameter PARAM. The printer is searched\n"
     "first.",
     2,
     -1,
     {},
     printerWrite},
    {"printer",
     "upload-led",
     "printer upload-led",
     "Computes the LED table from TEMPERA.TUR, the printer's PWM values and the\n"
     "current media's sensitivities and uploads it, as the media type dialog does.\n"
     "The printer is searched first.",
     0,
     0,
     {},
     printerUploadLed},
    {"render",
     "",
     "render [--layout 1|4|16] [--album NAME] [FILE...] [--bmx OUT] [--proof OUT.png]",
     "Makes the raster file of one sheet as a print job makes it, without a printer.\n"
     "1 in 1 (the default) takes one FILE and prepares it as a print job prepares\n"
     "the loaded picture; 4 in 1 takes one to four FILEs for the quarters (upper\n"
     "left, upper right, lower left, lower right; one FILE fills all four, as\n"
     "choosing the layout does; quarters without a FILE stay white); 16 in 1 takes\n"
     "the first sixteen pictures of the album NAME (default: the first album).\n"
     "The sheet goes through the colour stages with the picture adjustment settings,\n"
     "the calibration and the colour-matching table of the program directory; no\n"
     "question is asked, a missing table is skipped as when printing without it.\n"
     "The BMX file (773 lines of 9152 bytes) is written to OUT. --proof writes the\n"
     "proof of the same levels as a 640 x 480 PNG: the colours the exposure\n"
     "conversion of this calibration turns into them, what the sheet will look like\n"
     "on paper. At least one of the two is needed. A stage the program skips with a\n"
     "message is told on standard error; the files are still written.",
     0,
     -1,
     {},
     render,
     kRenderOptions},
    {"print", "",
     "print [--quiet] ([--layout 1|4|16] [--album NAME] [FILE...] | --album NAME --picture INDEX "
     "| --batch ALBUM)",
     "Prints on the printer what \"Aktuelles Photo drucken\" prints, through the same job:\n"
     "the printer is searched, the colour-matching table and the media checked, the\n"
     "printer reset, warmed up and given paper, and the sheet's 774 raster lines sent.\n"
     "FILE and --layout/--album make the sheet as render makes it. --album NAME\n"
     "--picture INDEX prints that picture of the album as the loaded picture, turned\n"
     "by its rotation in the album. --batch ALBUM is \"Stapeldruck\": every picture of\n"
     "the album in turn, after the program's question.\n"
     "Progress (phase and percentage) goes to standard error, one line redrawn on a\n"
     "terminal, else a line per phase and per 10 %; --quiet shows none.\n"
     "Questions are answered by --yes or --no; without either they are asked on the\n"
     "terminal (\"[j/n]\", \"[w/a]\") when standard input is one, else answered No.\n"
     "Ctrl+C is ESC: the program asks whether to stop; a second Ctrl+C or SIGTERM\n"
     "stops at once. A stopped page is dropped. Exit status 0 only when every sheet\n"
     "was printed.",
     0, -1, kPrintFlags, print, kPrintOptions},
};

} // namespace

std::span<const CommandEntry> commandTable() {
    return kCommands;
}

} // namespace kv::cli
