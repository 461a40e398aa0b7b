#include "cli/sheet_setup.h"

#include "cli/cli_texts.h"
#include "render/layout_composition.h"

#include <vector>

namespace kv::cli {

namespace fs = std::filesystem;
using shell::Layout;

namespace {

// A FILE as the album would hold it: its full path, and its name for display.
shell::SheetPicture pictureOf(const std::string& operand) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(operand, ec);
    const fs::path full = ec ? fs::path(operand) : absolute.lexically_normal();
    return {full.string(), full.filename().string()};
}

} // namespace

std::optional<Layout> layoutOf(const std::string* value) {
    if (!value || *value == "1")
        return Layout::OneUp;
    if (*value == "4")
        return Layout::FourUp;
    if (*value == "16")
        return Layout::SixteenUp;
    return std::nullopt;
}

std::string_view sheetUsageError(const Invocation& inv, Layout layout) {
    const std::size_t files = inv.operandCount();
    if (layout == Layout::OneUp && files != 1)
        return text::kOneUpFiles;
    if (layout == Layout::FourUp && (files < 1 || files > 4))
        return text::kFourUpFiles;
    if (layout == Layout::SixteenUp && files != 0)
        return text::kSixteenUpFiles;
    if (layout != Layout::SixteenUp && inv.option("--album"))
        return text::kAlbumOnlySixteenUp;
    return {};
}

bool setUpSheet(Invocation& inv, Program& program, Layout layout, const fs::path& tempDir) {
    shell::AppState& state = program.state;
    state.layout = layout;
    switch (layout) {
    case Layout::OneUp:
        state.loadPictureFile(pictureOf(inv.operand(0)));
        return true;
    case Layout::FourUp: {
        std::vector<shell::SheetPicture> pictures;
        for (std::size_t i = 0; i < inv.operandCount(); ++i)
            pictures.push_back(pictureOf(inv.operand(i)));
        return render::composeFourUpSheet(state, inv.ui, pictures, tempDir);
    }
    case Layout::SixteenUp: {
        const std::string* album = inv.option("--album");
        if (album) {
            if (!program.loadAlbum(*album))
                return false;
        } else {
            program.store().loadAlbum(0, albums::AlbumChangeMode::Switching);
        }
        render::composeLayoutSheet(state, inv.ui, program.store().currentNameFile(), tempDir);
        return true;
    }
    }
    return false;
}

} // namespace kv::cli
