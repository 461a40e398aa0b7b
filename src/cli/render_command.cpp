#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "platform/paths.h"
#include "render/layout_composition.h"
#include "render/print_preparation.h"

#include <memory>
#include <optional>
#include <vector>

namespace kv::cli {

namespace fs = std::filesystem;
using shell::Layout;

namespace {

std::optional<Layout> layoutOf(const std::string* value) {
    if (!value || *value == "1")
        return Layout::OneUp;
    if (*value == "4")
        return Layout::FourUp;
    if (*value == "16")
        return Layout::SixteenUp;
    return std::nullopt;
}

// A FILE as the album would hold it: its full path, and its name for display.
shell::SheetPicture pictureOf(const std::string& operand) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(operand, ec);
    const fs::path full = ec ? fs::path(operand) : absolute.lexically_normal();
    return {full.string(), full.filename().string()};
}

// Sets up the pictures as the windows would have them for the layout and has the
// job's own step write the sheet file; nullopt when that stopped (told).
std::optional<fs::path> prepareSheet(Invocation& inv, Program& program, Layout layout,
                                     const fs::path& tempDir) {
    shell::AppState& state = program.state;
    state.layout = layout;
    switch (layout) {
    case Layout::OneUp: {
        // The FILE as the loaded picture.
        const shell::SheetPicture picture = pictureOf(inv.operand(0));
        albums::AlbumState& albums = state.albums;
        albums.pictures[0].fullPath = picture.fullPath;
        albums.pictures[0].displayName = picture.displayName;
        albums.pictureCount = 1;
        albums.selectedPicture = 0;
        albums.loadedPicture = 0;
        break;
    }
    case Layout::FourUp: {
        std::vector<shell::SheetPicture> pictures;
        for (std::size_t i = 0; i < inv.operandCount(); ++i)
            pictures.push_back(pictureOf(inv.operand(i)));
        if (!render::composeFourUpSheet(state, inv.ui, pictures, tempDir))
            return std::nullopt;
        break;
    }
    case Layout::SixteenUp: {
        const std::string* album = inv.option("--album");
        if (album) {
            if (!program.loadAlbum(*album))
                return std::nullopt;
        } else {
            program.store().loadAlbum(0, albums::AlbumChangeMode::Switching);
        }
        render::composeLayoutSheet(state, inv.ui, program.store().currentNameFile(), tempDir);
        break;
    }
    }
    return render::prepareSheetFile(state, inv.ui, tempDir);
}

} // namespace

Exit render(Invocation& inv) {
    const std::string* bmx = inv.option("--bmx");
    if (!bmx)
        return inv.usageError(text::kMissingBmx);
    const std::optional<Layout> layout = layoutOf(inv.option("--layout"));
    if (!layout)
        return inv.usageError(text::kBadLayout);
    const std::size_t files = inv.operandCount();
    if (*layout == Layout::OneUp && files != 1)
        return inv.usageError(text::kOneUpFiles);
    if (*layout == Layout::FourUp && (files < 1 || files > 4))
        return inv.usageError(text::kFourUpFiles);
    if (*layout == Layout::SixteenUp && files != 0)
        return inv.usageError(text::kSixteenUpFiles);
    if (*layout != Layout::SixteenUp && inv.option("--album"))
        return inv.usageError(text::kAlbumOnlySixteenUp);

    Program program(inv);
    if (!program.open())
        return Exit::Stopped;
    shell::Session& session = program.session;
    session.loadAdjustmentSettings();
    session.loadMediaCalibration();
    const ScratchFolder scratch;
    if (scratch.path().empty())
        return inv.stop(std::string(text::kNoScratchFolder) + platform::driveC().string());

    const std::optional<fs::path> sheet = prepareSheet(inv, program, *layout, scratch.path());
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
    return render::writeSheetBmx(images->exposure, inv.ui, *bmx) ? Exit::Done : Exit::Stopped;
}

} // namespace kv::cli
