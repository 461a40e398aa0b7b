#include "cli/commands.h"
#include "media/gamma_curves.h"
#include "media/media_files.h"
#include "media/media_id.h"
#include "media/media_messages.h"
#include "media/media_service.h"
#include "media/rank_rebuild.h"

namespace kv::cli {

Exit mediaId(Invocation& inv) {
    Program program(inv);
    if (!program.open())
        return Exit::Stopped;
    shell::Session& session = program.session;
    session.loadMediaCalibration();
    if (inv.operandCount() == 0) {
        inv.out << session.mediaState().currentMediaId << '\n';
        return Exit::Done;
    }
    if (!session.loadPortLibrary())
        return Exit::Stopped;
    // The dialog opens first: it re-applies the stored ranks and shows the start-up flag,
    // which "OK" stores unchanged.
    const media::MediaContext context = session.mediaContext();
    const media::MediaDialogValues values =
        media::loadMediaDialogValues(context.programDir, context.media);
    const media::MediaIdAccepted result =
        media::acceptMediaId(context, inv.operand(0), values.displayAtStartup);
    // A failed upload stops too: the identification is stored, but the printer is not set
    // up for it (the message is on standard error).
    return result == media::MediaIdAccepted::Stored ? Exit::Done : Exit::Stopped;
}

Exit mediaGamma(Invocation& inv) {
    Program program(inv);
    if (!program.open())
        return Exit::Stopped;
    program.session.loadMediaCalibration();
    const media::GammaCurves& gamma = program.session.mediaState().gamma;
    if (inv.flag("--write"))
        return media::writeGammaTable(program.state.programDirectory, gamma, inv.ui)
                   ? Exit::Done
                   : Exit::Stopped;
    inv.out << media::formatGammaTable(gamma);
    return Exit::Done;
}

// The rank table dialog's buttons, pressed in the order the options are listed.
Exit mediaRankTable(Invocation& inv) {
    Program program(inv);
    if (!program.open())
        return Exit::Stopped;
    const std::filesystem::path& dir = program.state.programDirectory;
    media::MediaRankTable& table = program.session.mediaState().rankTable;
    media::loadRankTable(dir, table, inv.ui);
    if (inv.flag("--sens-rebuild")) {
        media::sensRebuild(table);
        inv.ui.message(media::kMsgSensRebuildDone, platform::Ui::Icon::None);
    }
    if (inv.flag("--dens-rebuild")) {
        media::densRebuild(table);
        inv.ui.message(media::kMsgDensRebuildDone, platform::Ui::Icon::None);
    }
    Exit exit = Exit::Done;
    if (inv.flag("--save") && !media::saveRankTable(dir, table, inv.ui))
        exit = Exit::Stopped;
    if (exit == Exit::Done && inv.flag("--txt") && !media::exportMediaTxt(dir, table, inv.ui))
        exit = Exit::Stopped;
    inv.out << media::formatRankTableText(table);
    return exit;
}

} // namespace kv::cli
