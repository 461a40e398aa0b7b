#pragma once

#include "media/media_state.h"
#include "platform/ui.h"
#include "printer/led_table.h"
#include "printer/printer_link.h"

#include <filesystem>
#include <string>

namespace kv::media {

// What the media identification works on: the printer, the run's media records
// and LED table, and the folders of the settings files.
struct MediaContext {
    printer::PrinterLink& link;
    MediaState& media;
    printer::LedTable& ledTable;
    std::filesystem::path programDir;
    std::filesystem::path systemDir; // kvprn.ini and the kvx00.ini mirror
};

// Start of the run: rank table, media selection, base media, then the gamma
// curves and the LED table's colour factors built from them.
void loadMediaAtStart(const std::filesystem::path& programDir, MediaState& media,
                      printer::LedTable& ledTable, platform::Ui& ui);

// Gamma curves from the current calibration, and its sensitivities as the colour
// factors the next LED table upload uses.
void rebuildMediaCurves(MediaState& media, printer::LedTable& ledTable);

// Whether start-up shows the media type dialog: DisplayAtStartup is "1" and the
// printer was found.
bool mediaPromptAtStart(const std::filesystem::path& programDir, bool printerFound);

enum class MediaIdAccepted {
    Stored,          // stored and applied, the LED table uploaded; the dialog closes
    NotUploaded,     // stored and applied, but the LED table did not reach the printer
                     // (message shown); the dialog closes all the same
    PrinterNotFound, // FindPrinter said so; nothing stored
    Invalid,         // the validation message was shown; nothing stored
    NotStored,       // Kvx00.ini refused the values (message shown); nothing changed
};

// The media type dialog's "OK": finds the printer, validates `text`, stores it
// with the start-up flag, applies the ranks, rebuilds the curves and uploads the
// LED table (one release). IDString records the identification only once the
// table reached the printer, so a failed upload is repeated before the next print.
MediaIdAccepted acceptMediaId(const MediaContext& context, std::string text, bool displayAtStartup);

// Before a print job (after FindPrinter and the colour-table check): applies the
// stored ranks and, when they differ from what the printer was last calibrated
// for, reloads the rank table and base media, rebuilds the curves and uploads the
// LED table (two releases). Returns whether it recalibrated.
bool printTimeMediaCheck(const MediaContext& context);

} // namespace kv::media
