#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/sheet_setup.h"
#include "platform/paths.h"
#include "render/layout_composition.h"
#include "render/print_preparation.h"
#include "render/print_proof.h"

#include <memory>
#include <optional>

namespace kv::cli {

namespace fs = std::filesystem;
using shell::Layout;

Exit render(Invocation& inv) {
    const std::string* bmx = inv.option("--bmx");
    const std::string* proof = inv.option("--proof");
    if (!bmx && !proof)
        return inv.usageError(text::kMissingBmx);
    const std::optional<Layout> layout = layoutOf(inv.option("--layout"));
    if (!layout)
        return inv.usageError(text::kBadLayout);
    if (const std::string_view error = sheetUsageError(inv, *layout); !error.empty())
        return inv.usageError(error);

    Program program(inv);
    if (!program.openForSheets())
        return Exit::Stopped;
    shell::Session& session = program.session;
    const ScratchFolder scratch;
    if (scratch.path().empty())
        return inv.stop(std::string(text::kNoScratchFolder) + platform::driveC().string());

    // The pictures as the windows would have them, then the job's own step writes
    // the sheet file.
    if (!setUpSheet(inv, program, *layout, scratch.path()))
        return Exit::Stopped;
    const std::optional<fs::path> sheet =
        render::prepareSheetFile(program.state, inv.ui, scratch.path());
    if (!sheet)
        return Exit::Stopped;

    // Nothing is asked: the table is used when it is there, as a print job does
    // after the colour-matching check.
    const adjust::PictureAdjustSettings& settings = session.pictureSettings();
    std::error_code ec;
    const media::MediaState& media = session.mediaState();
    const render::PrintInputs inputs{settings, fs::is_regular_file(settings.matchPath, ec),
                                     media.calibration, media.gamma,
                                     program.state.programDirectory};
    const auto images = std::make_unique<render::JobImages>();
    const int told = inv.ui.messageCount();
    if (!render::preparePrintLevels(*sheet, inputs, *images, inv.ui)) {
        // A sheet of a depth the loader skips ends the job without a message.
        if (inv.ui.messageCount() == told)
            return inv.stop(std::string(text::kSheetNotLoaded) + sheet->string());
        return Exit::Stopped;
    }
    if (bmx && !render::writeSheetBmx(images->exposure, inv.ui, *bmx))
        return Exit::Stopped;
    if (proof) {
        // A pipe or a device is not replaced by a file.
        const fs::file_status target = fs::status(*proof, ec);
        const bool usable = !fs::exists(target) || fs::is_regular_file(target);
        // The calibration as this job read it, so the proof shows these very levels.
        const render::LevelProof levels = render::LevelProof::forInputs(inputs);
        if (!usable ||
            !render::writeProofPng(*proof, render::proofOfSheet(levels, images->exposure)))
            return inv.stop(std::string(text::kProofNotWritten) + *proof);
    }
    return Exit::Done;
}

} // namespace kv::cli
