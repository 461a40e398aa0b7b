#include "cli/sheet_setup.h"

#include "cli/cli_texts.h"
#include "intake/picture_intake.h"
#include "platform/imagelib/image_library.h"
#include "platform/imagelib/raw_stream.h"
#include "render/layout_composition.h"

#include <cstdint>
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

// A file that ends early prints its readable part and black below it, as the window
// shows it; the window and "picture add" tell so, and so does the terminal, as of a
// colour profile left unused. The smallest decode finds both as the whole one does.
void tellIfIncomplete(const Invocation& inv, const shell::SheetPicture& picture) {
    namespace lib = platform::imagelib;
    // A camera raw is developed whole or refused, never cut short, and leaves LibRaw in
    // sRGB: nothing to tell, and a second develop would double the command's time.
    // Told from its first bytes, before the whole file is read for nothing.
    if (lib::isRawFile(picture.fullPath))
        return;
    std::vector<std::uint8_t> bytes;
    if (lib::readPictureFile(picture.fullPath, bytes) != lib::PictureFileRead::Ok ||
        lib::detectFormat(bytes) == lib::ImageFormat::Raw)
        return;
    lib::DecodedImage decoded;
    const lib::NeededExtent smallest = [](int, int) { return lib::DecodeExtent{1, 1}; };
    if (lib::decodeImageAtLeast(bytes, smallest, decoded) != lib::DecodeResult::Ok)
        return;
    if (decoded.incomplete)
        inv.ui.message(intake::incompleteMessage(picture.fullPath),
                       platform::Ui::Icon::Information);
    if (decoded.profileIgnored)
        inv.ui.message(intake::profileIgnoredMessage(picture.fullPath),
                       platform::Ui::Icon::Information);
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
    case Layout::OneUp: {
        const shell::SheetPicture picture = pictureOf(inv.operand(0));
        state.loadPictureFile(picture);
        tellIfIncomplete(inv, picture);
        return true;
    }
    case Layout::FourUp: {
        std::vector<shell::SheetPicture> pictures;
        for (std::size_t i = 0; i < inv.operandCount(); ++i) {
            pictures.push_back(pictureOf(inv.operand(i)));
            tellIfIncomplete(inv, pictures.back());
        }
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
