#include "adjust/colour_adjust_picture.h"

#include "adjust/colour_adjust_texts.h"
#include "albums/album_files.h"
#include "platform/imagelib/image_library.h"
#include "platform/numbers.h"
#include "platform/paths.h"

#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace kv::adjust {

namespace fs = std::filesystem;
using Icon = platform::Ui::Icon;

namespace {

// No album holds more records than its picture table; nothing past them is read.
constexpr std::size_t kMaxDataFileBytes =
    albums::kPictureRows * (albums::kRecordHeaderBytes + albums::kMaxThumbnailBytes);

} // namespace

std::optional<platform::Bitmap24> readColourThumbnail(const fs::path& dataFile, int index) {
    if (index < 0 || dataFile.empty())
        return std::nullopt;
    std::ifstream in(dataFile, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes(kMaxDataFileBytes, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    const albums::DataFile file = albums::parseDataFile(bytes);
    if (static_cast<std::size_t>(index) >= file.records.size())
        return std::nullopt;
    platform::Bitmap24 thumbnail = albums::recordThumbnail(file.records[std::size_t(index)]);
    if (thumbnail.empty())
        return std::nullopt;
    return thumbnail;
}

ApplyResult applyColourAdjustment(shell::AppState& state, platform::Ui& ui,
                                  const ColourAdjustValues& values, double mean,
                                  const fs::path& tempDir, bool show) {
    platform::Ui::WaitCursor wait(ui);
    albums::AlbumState& albums = state.albums;
    const int index = albums.selectedPicture();
    platform::Bitmap24 picture;
    {
        namespace lib = platform::imagelib;
        // The adjusted copy is what prints: through the print path's call, asking
        // for the whole picture, so that a camera raw is developed, not previewed.
        const lib::NeededExtent whole = [](int width, int height) {
            return lib::DecodeExtent{width, height};
        };
        lib::DecodedImage decoded;
        const bool decodedOk = index >= 0 && index < albums.pictureCount &&
                               lib::ScaleCDAtLeast(albums.pictures[std::size_t(index)].fullPath,
                                                   whole, decoded) == 1 &&
                               lib::ConvertTo24(decoded, picture);
        if (!decodedOk) {
            ui.message(colour_text::kCannotOpen, Icon::None);
            return ApplyResult::CannotOpen;
        }
    }
    adjustBitmap(picture, makeColourTables(values, mean));

    std::error_code ec;
    fs::create_directories(tempDir, ec);
    const fs::path target = platform::findNoCase(tempDir, std::string(kAdjustedPictureFile));
    if (!platform::imagelib::WriteBmpFile(target, picture)) {
        ui.message(colour_text::kNotWritten, Icon::Exclamation);
        return ApplyResult::NotWritten;
    }
    // Set only now: the print and save commands take the copy while it is set.
    state.adjustedPicturePresent = true;
    if (!show)
        return ApplyResult::Applied;

    const albums::PictureRow& row = albums.pictures[std::size_t(index)];
    platform::Bitmap24 shown = platform::turnBitmap(picture, row.rotation);
    state.statusText =
        platform::formatC("%s [%dX%d]", row.displayName.c_str(), shown.width, shown.height);
    state.showPicture(index, std::move(shown));
    albums.albumJustChanged = false;
    return ApplyResult::Applied;
}

bool saveColourAdjustment(shell::AppState& state, platform::Ui& ui,
                          const ColourAdjustValues& values, double mean, const fs::path& tempDir,
                          const std::function<void()>& saveAs) {
    if (values.allZero())
        return true;
    state.colourDialogSaving = true;
    if (applyColourAdjustment(state, ui, values, mean, tempDir, false) != ApplyResult::Applied) {
        // Without a fresh copy the save command would save a stale one or none.
        state.colourDialogSaving = false;
        return false;
    }
    if (saveAs)
        saveAs();
    state.colourDialogSaving = false;
    state.adjustedPicturePresent = false;
    return true;
}

} // namespace kv::adjust
