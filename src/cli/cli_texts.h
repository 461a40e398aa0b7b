#pragma once

#include <string_view>

// The command-line tool's own texts. The program's messages keep their German
// wording and come from the subsystems; what the tool itself says about its
// command line is English, like its manual page, and starts with the tool's name
// so that a script can tell the two apart.
namespace kv::cli::text {

inline constexpr std::string_view kToolName = "kvphoto-cli";

inline constexpr std::string_view kUsage =
    "Usage: kvphoto-cli [--home DIR] [--yes | --no] COMMAND ...\n";

inline constexpr std::string_view kOverview =
    "Albums, pictures, media calibration, the printer and the raster file of a sheet\n"
    "of Kelvor Photo Viewer, without windows. The commands change the same files as\n"
    "the program does.\n"
    "\n"
    "Options (before COMMAND):\n"
    "  --home DIR  the program directory, as KVPR_HOME sets it\n"
    "  --yes       answer every question of the program with Yes\n"
    "  --no        answer every question with No (also the answer when neither\n"
    "              is given; the tool then says so, except that print asks on\n"
    "              the terminal when standard input is one)\n"
    "  --help      this text; COMMAND --help describes one command\n"
    "  --version   the program's version\n"
    "\n"
    "Commands:\n";

inline constexpr std::string_view kCommandList =
    "  album list                          one album name a line, in album.dat order\n"
    "  album add NAME | album rename OLD NEW | album delete NAME\n"
    "  album show NAME                     one picture a line: \"INDEX<TAB>ROTATION<TAB>WxH<TAB>"
    "FULL PATH<TAB>DISPLAY NAME\" (WxH of the stored thumbnail; \\, tab and line breaks "
    "escaped as \\\\, \\t, \\n, \\r)\n"
    "  picture add ALBUM FILE...           the program's own intake: conversion, thumbnail, "
    "album files\n"
    "  picture delete ALBUM INDEX | picture rotate ALBUM INDEX\n"
    "  picture copy ALBUM INDEX TARGET | picture move ALBUM INDEX TARGET\n"
    "  picture save ALBUM INDEX TARGET.bmp the Save-as of one picture\n"
    "  media id                            prints the current media identification\n"
    "  media id ID                         validates and stores it as the media type dialog's "
    "\"OK\" does (printer found, bracket, rebuild, upload)\n"
    "  media gamma                         prints the 257 lines of the gamma tables in the "
    "GammaTable.tbl format from the current calibration (start-up order: rank table, media "
    "selection, base media, rebuild)\n"
    "  media gamma --write                 writes GammaTable.tbl\n"
    "  media rank-table [--sens-rebuild] [--dens-rebuild] [--save] [--txt]\n"
    "  printer find | printer reset | printer state\n"
    "  printer read PARAM [N] | printer read-stored ADDR | printer write PARAM BYTE... | "
    "printer upload-led\n"
    "  render [--layout 1|4|16] [--album NAME] [FILE...] [--bmx OUT] [--proof OUT.png]\n"
    "                                      the BMX raster file of a sheet, as a print job "
    "makes it, and its proof: the colours those levels print\n"
    "  print [--layout 1|4|16] [--album NAME] [FILE...] | print --album NAME --picture INDEX\n"
    "  print --batch ALBUM                 print a sheet or every picture of an album on the "
    "printer, as the program does\n";

inline constexpr std::string_view kClosing =
    "\n"
    "INDEX counts the pictures of an album from 0, as \"album show\" lists them.\n"
    "Numbers are decimal or hexadecimal with 0x.\n"
    "Exit status: 0 done, 1 stopped on a message, 2 usage error.\n"
    "See kvphoto-cli(1).\n";

// What the tool says of itself on standard error.
inline constexpr std::string_view kAnsweredNo = "no --yes or --no given: answered No";
inline constexpr std::string_view kAnsweredCancel = "no --yes or --no given: answered Cancel";
inline constexpr std::string_view kNoSuchAlbum = "no album named ";
inline constexpr std::string_view kNoScratchFolder = "cannot create a temporary folder in ";
inline constexpr std::string_view kUnknownCommand = "unknown command: ";
inline constexpr std::string_view kMissingCommand = "no command given";
inline constexpr std::string_view kUnknownOption = "unknown option: ";
inline constexpr std::string_view kYesAndNo = "--yes and --no exclude each other";
inline constexpr std::string_view kMissingHome = "--home needs a folder";
inline constexpr std::string_view kNeedsValue = " needs a value";
inline constexpr std::string_view kTooFewArguments = "missing arguments";
inline constexpr std::string_view kTooManyArguments = "too many arguments";
inline constexpr std::string_view kEmptyTarget = "the target file name is empty";
inline constexpr std::string_view kTargetIsFolder = "the target names a folder, not a file: ";
inline constexpr std::string_view kNotANumber = " is not a number (decimal or 0x hex)";
inline constexpr std::string_view kOutOfRange = " is out of range ";
inline constexpr std::string_view kCountZero = "N must be at least 1";
inline constexpr std::string_view kMissingBmx = "--bmx OUT or --proof OUT.png is required";
inline constexpr std::string_view kProofNotWritten = "the proof could not be written: ";
inline constexpr std::string_view kBadLayout = "--layout takes 1, 4 or 16";
inline constexpr std::string_view kOneUpFiles = "1 in 1 takes exactly one FILE";
inline constexpr std::string_view kFourUpFiles = "4 in 1 takes one to four FILEs";
inline constexpr std::string_view kSixteenUpFiles =
    "16 in 1 takes no FILE; its pictures come from --album";
inline constexpr std::string_view kAlbumOnlySixteenUp = "--album goes with --layout 16";
inline constexpr std::string_view kSheetNotLoaded = "the sheet could not be loaded: ";
inline constexpr std::string_view kBatchAlone =
    "--batch takes no FILE, --layout, --album or --picture";
inline constexpr std::string_view kPictureNeedsAlbum = "--picture goes with --album";
inline constexpr std::string_view kPictureAlone = "--picture takes no FILE and no --layout";
inline constexpr std::string_view kNoSuchPicture = "no picture with that INDEX in album ";
inline constexpr std::string_view kPrintCancelled = "printing cancelled, the page was dropped";
inline constexpr std::string_view kNothingPrinted = "nothing was printed";
inline constexpr std::string_view kPrintStopped = "printing stopped";
inline constexpr std::string_view kWaitingForPort =
    "waiting for the printer port, another program is using it (Ctrl+C twice stops)";
inline constexpr std::string_view kSheetNotPrinted = "the sheet was not printed";
// "<printed> of <total> sheets printed"
inline constexpr std::string_view kSheetsPrintedOf = " of ";
inline constexpr std::string_view kSheetsPrintedTail = " sheets printed";
// "picture <n> of <total>: <display name>"
inline constexpr std::string_view kBatchPictureHead = "picture ";
inline constexpr std::string_view kInterruptedYes = "interrupted: answered Yes";
inline constexpr std::string_view kInterruptedNo = "interrupted: answered No";
inline constexpr std::string_view kTryHelp = "Try 'kvphoto-cli --help'.";

// The choices after a question asked on the terminal: the first letters of the
// German buttons (Ja/Nein, Wiederholen/Abbrechen, OK/Abbrechen).
inline constexpr std::string_view kChoicesYesNo = "[j/n]";
inline constexpr std::string_view kChoicesRetryCancel = "[w/a]";
inline constexpr std::string_view kChoicesOkCancel = "[o/a]";

// The phases of a print job on the progress line, after the status strip's texts.
inline constexpr std::string_view kPhaseSearch = "Druckersuche";
inline constexpr std::string_view kPhasePreparing = "Daten";
inline constexpr std::string_view kPhaseWarmUp = "Aufwärmen";
inline constexpr std::string_view kPhaseBmx = "BMX-Datei";
inline constexpr std::string_view kPhasePaper = "Papier";
inline constexpr std::string_view kPhaseTransfer = "Übertragung";

// A question of our own, asked as the save dialog asks it.
inline constexpr std::string_view kAskReplaceSuffix =
    " existiert bereits.\nSoll die Datei ersetzt werden?";

} // namespace kv::cli::text
