#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "intake/picture_intake.h"
#include "platform/paths.h"
#include "shell/commands.h"

#include <vector>

namespace kv::cli {

namespace fs = std::filesystem;
using albums::StoreResult;

namespace {

// No album holds a picture past this index.
constexpr std::uint32_t kMaxIndex = albums::kMaxPictures - 1;

Exit exitFor(StoreResult result) {
    return result == StoreResult::Done ? Exit::Done : Exit::Stopped;
}

// The picture the command names, as the thumbnail window selects it; -1 when the
// index is past the album's pictures (the commands then refuse as with nothing
// selected).
int selectPicture(Program& program, std::uint32_t index) {
    albums::AlbumState& albums = program.state.albums;
    albums.select(index < static_cast<std::uint32_t>(albums.pictureCount) ? static_cast<int>(index)
                                                                          : -1);
    return albums.selectedPicture();
}

// The picture commands' common start: ALBUM INDEX read, the program directory
// opened, the album loaded and the picture selected (-1 when the album has no
// such picture), then `action(program, picture)`.
template <typename Action> Exit onPicture(Invocation& inv, Action&& action) {
    const std::optional<std::uint32_t> index = inv.number(1, kMaxIndex);
    if (!index)
        return Exit::Usage;
    Program program(inv);
    if (!program.open() || !program.loadAlbum(inv.operand(0)))
        return Exit::Stopped;
    return action(program, selectPicture(program, *index));
}

Exit transfer(Invocation& inv, bool copy) {
    return onPicture(inv, [&](Program& program, int picture) {
        const std::optional<int> target = program.findAlbum(inv.operand(2));
        if (!target)
            return inv.stop(std::string(text::kNoSuchAlbum) + inv.operand(2));
        return exitFor(program.store().dropPictureOnAlbum(picture, *target, copy));
    });
}

} // namespace

Exit albumList(Invocation& inv) {
    Program program(inv);
    if (!program.open())
        return Exit::Stopped;
    for (const std::string& name : program.state.albums.albumNames)
        inv.out << name << '\n';
    return Exit::Done;
}

Exit albumAdd(Invocation& inv) {
    Program program(inv);
    if (!program.open())
        return Exit::Stopped;
    return exitFor(program.store().addAlbum(inv.operand(0)));
}

Exit albumRename(Invocation& inv) {
    Program program(inv);
    if (!program.open())
        return Exit::Stopped;
    const std::optional<int> index = program.findAlbum(inv.operand(0));
    if (!index)
        return inv.stop(std::string(text::kNoSuchAlbum) + inv.operand(0));
    return exitFor(program.store().renameAlbum(*index, inv.operand(1)));
}

Exit albumDelete(Invocation& inv) {
    Program program(inv);
    if (!program.open())
        return Exit::Stopped;
    const std::optional<int> index = program.findAlbum(inv.operand(0));
    if (!index)
        return inv.stop(std::string(text::kNoSuchAlbum) + inv.operand(0));
    return exitFor(program.store().deleteAlbum(*index));
}

namespace {

// A field of "album show": a tab or line break in a name would make another field or
// line, so those and the backslash that escapes them are written escaped.
std::string showField(std::string_view field) {
    std::string out;
    for (const char c : field) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

Exit albumShow(Invocation& inv) {
    Program program(inv);
    if (!program.open() || !program.loadAlbum(inv.operand(0)))
        return Exit::Stopped;
    const albums::AlbumState& albums = program.state.albums;
    for (int i = 0; i < albums.pictureCount; ++i) {
        const albums::PictureRow& row = albums.pictures[static_cast<std::size_t>(i)];
        inv.out << i << '\t' << row.rotation << '\t' << row.thumbnail.width << 'x'
                << row.thumbnail.height << '\t' << showField(row.fullPath) << '\t'
                << showField(row.displayName) << '\n';
    }
    return Exit::Done;
}

Exit pictureAdd(Invocation& inv) {
    Program program(inv);
    if (!program.open() || !program.loadAlbum(inv.operand(0)))
        return Exit::Stopped;
    // The album keeps full paths, as a drop from the desktop gives them.
    std::vector<fs::path> files;
    for (std::size_t i = 1; i < inv.operandCount(); ++i) {
        std::error_code ec;
        const fs::path absolute = fs::absolute(inv.operand(i), ec);
        files.push_back(ec ? fs::path(inv.operand(i)) : absolute.lexically_normal());
    }
    const ScratchFolder scratch;
    if (scratch.path().empty())
        return inv.stop(std::string(text::kNoScratchFolder) + platform::driveC().string());
    const int added =
        intake::addDroppedFiles(program.state, program.store(), inv.ui, files, scratch.path());
    return added == static_cast<int>(files.size()) ? Exit::Done : Exit::Stopped;
}

Exit pictureDelete(Invocation& inv) {
    return onPicture(inv, [&](Program& program, int) {
        return exitFor(shell::deleteSelectedPhoto(program.state, program.store(), inv.ui));
    });
}

Exit pictureRotate(Invocation& inv) {
    return onPicture(inv, [](Program& program, int picture) {
        return exitFor(program.store().rotatePicture(picture));
    });
}

Exit pictureCopy(Invocation& inv) {
    return transfer(inv, true);
}

Exit pictureMove(Invocation& inv) {
    return transfer(inv, false);
}

Exit pictureSave(Invocation& inv) {
    // An empty name would become ".bmp" in the current folder.
    if (inv.operandCount() > 2 && inv.operand(2).empty())
        return inv.usageError(text::kEmptyTarget);
    // A folder ("." or "dir/") would likewise become a hidden ".bmp" or "..bmp" in it.
    if (inv.operandCount() > 2) {
        const fs::path name = fs::path(inv.operand(2)).filename();
        if (name.empty() || name == "." || name == "..")
            return inv.usageError(std::string(text::kTargetIsFolder) + inv.operand(2));
    }
    return onPicture(inv, [&](Program& program, int) {
        program.state.layout = shell::Layout::OneUp;
        if (!intake::canSaveAs(program.state, inv.ui))
            return Exit::Stopped;

        // The save dialog's default extension, and its question before replacing a file.
        fs::path target = inv.operand(2);
        if (!target.has_extension())
            target += ".bmp";
        std::error_code ec;
        if (fs::exists(target, ec) &&
            inv.ui.ask(target.string() + std::string(text::kAskReplaceSuffix),
                       platform::Ui::Buttons::YesNo,
                       platform::Ui::Icon::Exclamation) != platform::Ui::Answer::Yes)
            return Exit::Stopped;

        // Nothing is colour-adjusted here, so the program's temporary folder is not read.
        return intake::saveAs(program.state, inv.ui, target, platform::tempDirectory())
                   ? Exit::Done
                   : Exit::Stopped;
    });
}

} // namespace kv::cli
