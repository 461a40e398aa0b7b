#include "media/media_service.h"

#include "media/gamma_curves.h"
#include "media/media_files.h"
#include "media/media_id.h"
#include "media/media_messages.h"
#include "printer/printer_commands.h"

namespace kv::media {

using Icon = platform::Ui::Icon;

void rebuildMediaCurves(MediaState& media, printer::LedTable& ledTable) {
    rebuildGammaCurves(media.calibration, media.gamma);
    const std::array<double, 3> factors = colourFactors(media.calibration);
    ledTable.setColourFactors(factors[0], factors[1], factors[2]);
}

void loadMediaAtStart(const std::filesystem::path& programDir, MediaState& media,
                      printer::LedTable& ledTable, platform::Ui& ui) {
    loadRankTable(programDir, media.rankTable, ui);
    loadMediaSelection(programDir, media);
    loadBaseMedia(programDir, media.calibration);
    rebuildMediaCurves(media, ledTable);
}

bool mediaPromptAtStart(const std::filesystem::path& programDir, bool printerFound) {
    return printerFound && MediaSettings(programDir, {}).displayAtStartup();
}

MediaIdAccepted acceptMediaId(const MediaContext& context, std::string text,
                              bool displayAtStartup) {
    platform::Ui& ui = context.link.ui();
    if (!context.link.findPrinter())
        return MediaIdAccepted::PrinterNotFound;

    const MediaIdProblem problem = validateMediaId(text);
    if (problem != MediaIdProblem::None) {
        ui.message(mediaIdMessage(problem), Icon::None);
        return MediaIdAccepted::Invalid;
    }

    // Stored before the printer is selected: a refused write then leaves both the
    // settings and the printer as they were. Nothing in between talks to the printer.
    MediaSettings settings(context.programDir, context.systemDir);
    if (!settings.storeMediaId(text, displayAtStartup)) {
        ui.message(kMsgMediaIdNotStored, Icon::Exclamation);
        return MediaIdAccepted::NotStored;
    }
    context.media.currentMediaId = text;
    loadMediaDialogValues(context.programDir, context.media);
    rebuildMediaCurves(context.media, context.ledTable);

    if (printer::uploadLedTableBracketed(context.link, context.programDir, context.ledTable, 1) !=
        printer::LedUploadResult::Sent)
        return MediaIdAccepted::NotUploaded;
    settings.writeIdString(text);
    return MediaIdAccepted::Stored;
}

bool printTimeMediaCheck(const MediaContext& context) {
    MediaSettings settings(context.programDir, context.systemDir);
    const std::string calibratedFor = settings.readIdString();
    loadMediaSelection(context.programDir, context.media);
    if (sameMediaId(context.media.currentMediaId, calibratedFor))
        return false;

    loadRankTable(context.programDir, context.media.rankTable, context.link.ui());
    // The ranks again, so that the curves come from the table just read rather than
    // from rows of the table it replaced.
    loadMediaSelection(context.programDir, context.media);
    loadBaseMedia(context.programDir, context.media.calibration);
    rebuildMediaCurves(context.media, context.ledTable);
    if (printer::uploadLedTableBracketed(context.link, context.programDir, context.ledTable, 2) ==
        printer::LedUploadResult::Sent)
        settings.writeIdString(context.media.currentMediaId);
    return true;
}

} // namespace kv::media
