#include "intake/picture_intake.h"

#include "intake/bmp_thumbnail.h"
#include "intake/intake_messages.h"
#include "intake/temp_bmp.h"
#include "platform/imagelib/image_library.h"
#include "platform/numbers.h"
#include "platform/paths.h"

#include <algorithm>
#include <fstream>
#include <new>
#include <vector>

namespace kv::intake {

namespace fs = std::filesystem;
using Icon = platform::Ui::Icon;

namespace {

// Larger files than this are not taken into memory whole.
constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t(1) << 31;

std::string cannotOpen(std::string_view head, std::string_view separator, std::string_view path) {
    std::string text(head);
    text += separator;
    text += path;
    text += msg::kCannotOpenSuffix;
    return text;
}

std::string statusFor(const std::string& name, int width, int height) {
    return platform::formatC("%s [%dX%d]", name.c_str(), width, height);
}

// The staging entry goes; the rows of the files still pending move up one row so
// that the next one lands in the staging row.
void dropStagingEntry(shell::AppState& state) {
    albums::AlbumState& albums = state.albums;
    const int first = albums.pictureCount;
    if (first < 0 || first >= albums::kPictureRows)
        return;
    const int last = std::min(first + std::max(state.pendingFiles, 0), albums::kPictureRows - 1);
    for (int i = first; i < last; ++i)
        albums.pictures[std::size_t(i)] = std::move(albums.pictures[std::size_t(i + 1)]);
    albums.pictures[std::size_t(last)] = albums::PictureRow{};
}

enum class ReadFile { Ok, CannotOpen, NoMemory };

ReadFile readWholeFile(const fs::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (!in || ec)
        return ReadFile::CannotOpen;
    if (size > kMaxFileBytes)
        return ReadFile::NoMemory;
    try {
        bytes.resize(std::size_t(size));
    } catch (const std::bad_alloc&) {
        return ReadFile::NoMemory;
    }
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size));
    bytes.resize(std::size_t(in.gcount()));
    return ReadFile::Ok;
}

bool copyFile(const fs::path& source, const fs::path& target) {
    std::error_code ec;
    if (fs::equivalent(source, target, ec))
        return true;
    return fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
}

} // namespace

bool freeSpaceOk(platform::Ui& ui, std::optional<std::uint64_t> freeBytes) {
    if (freeBytes && *freeBytes >= kMinFreeBytes)
        return true;
    ui.message(msg::kLowDiskSpace, Icon::None);
    return false;
}

bool freeSpaceOk(platform::Ui& ui) {
    return freeSpaceOk(ui, platform::freeSpace(platform::driveC()));
}

int convertToTemporaryBmp(platform::Ui& ui, const fs::path& source, const fs::path& target) {
    namespace img = platform::imagelib;
    img::DecodedImage decoded;
    const int code = img::ScaleCD(source, decoded);
    if (code != 1)
        return code;
    if (decoded.bitsPerPixel == 1) {
        ui.message(cannotOpen(msg::kBlackAndWhite, msg::kReasonSeparator, source.string()),
                   Icon::None);
        return 0;
    }
    platform::Bitmap24 picture;
    if (!img::ConvertTo24(decoded, picture) || !img::WriteBmpFile(target, picture))
        return 0;
    return 1;
}

std::string conversionMessage(int code, std::string_view fullPath) {
    std::string_view reason;
    switch (code) {
    case -1:
        reason = msg::kTiffPixelFormat;
        break;
    case -2:
        reason = msg::kTiffCompressed;
        break;
    case -3:
        reason = msg::kNotTiff;
        break;
    case -4:
        reason = msg::kJpegColourSpace;
        break;
    case -5:
        reason = msg::kUnsupportedFormat;
        break;
    default:
        return {};
    }
    return cannotOpen(reason, msg::kReasonSeparator, fullPath);
}

namespace {

// A BMP the thumbnail reader cannot sample directly, decoded by the image library
// into `bitmap`; `out` then views it as a 24-bit bottom-up picture.
bool decodeForThumbnail(const fs::path& file, platform::Bitmap24& bitmap, BmpPicture& out) {
    platform::imagelib::DecodedImage image;
    if (platform::imagelib::ScaleCD(file, image) != 1 ||
        !platform::imagelib::ConvertTo24(image, bitmap) || bitmap.empty())
        return false;
    out = BmpPicture{};
    out.width = bitmap.width;
    out.height = bitmap.height;
    out.bitsPerPixel = 24;
    out.stride = bitmap.stride();
    out.pixels = bitmap.pixels;
    return true;
}

} // namespace

fs::path intakeFile(const albums::PictureRow& row, const fs::path& tempDir) {
    if (isBmpName(row.displayName))
        return row.fullPath;
    return temporaryBmpPath(tempDir, row.fullPath, row.displayName);
}

AddResult addStagedPicture(shell::AppState& state, albums::AlbumStore& store, platform::Ui& ui,
                           const fs::path& currentDirectory, const fs::path& tempDir) {
    albums::AlbumState& albums = state.albums;
    const int n = albums.pictureCount;
    if (n < 0 || n >= albums::kMaxPictures)
        return AddResult::NotAdded;
    albums::PictureRow& row = albums.pictures[std::size_t(n)];
    auto refuse = [&](std::string_view text, Icon icon) {
        if (!text.empty())
            ui.message(text, icon);
        dropStagingEntry(state);
        return AddResult::NotAdded;
    };
    if (row.displayName.empty())
        return refuse(msg::kCannotLoad, Icon::Stop);

    platform::Ui::WaitCursor wait(ui);
    albums.pictureAdded = true;
    if (!state.addedByDrop)
        row.fullPath = (currentDirectory / row.displayName).string();
    const bool fromBatch = state.addedByDrop || state.multiFileLoad || state.addedByAcquisition;
    const int rotation = fromBatch ? 0 : ((state.rotationForNextPicture % 4) + 4) % 4;

    const fs::path file = intakeFile(row, tempDir);
    std::error_code ec;
    if (!isBmpName(row.displayName) && !fs::exists(file, ec)) {
        fs::create_directories(tempDir, ec);
        const int code = convertToTemporaryBmp(ui, row.fullPath, file);
        if (code != 1)
            return refuse(conversionMessage(code, row.fullPath), Icon::None);
    }

    std::vector<std::uint8_t> bytes;
    switch (readWholeFile(file, bytes)) {
    case ReadFile::CannotOpen:
        return refuse(msg::kCannotOpenFile, Icon::Stop);
    case ReadFile::NoMemory:
        return refuse(msg::kNoMemory, Icon::Stop);
    case ReadFile::Ok:
        break;
    }

    BmpPicture picture;
    platform::Bitmap24 decoded; // keeps the pixels `picture` views for a decoded BMP
    switch (readBmpForThumbnail(bytes, picture)) {
    case BmpReadStatus::Ok:
        break;
    case BmpReadStatus::Malformed:
        return refuse(msg::kCannotOpenFile, Icon::Stop);
    case BmpReadStatus::BlackAndWhite:
        return refuse(cannotOpen(msg::kBlackAndWhite, {}, row.fullPath), Icon::None);
    case BmpReadStatus::ShortPixels:
        return refuse(msg::kScalingError, Icon::Information);
    case BmpReadStatus::UnsupportedDepth:
        // RLE, 16- and 32-bit BMPs are sound pictures the image library reads;
        // refusing them, or sampling their compressed bytes, would lose them.
        if (!decodeForThumbnail(file, decoded, picture))
            return refuse(conversionMessage(-5, row.fullPath), Icon::None);
        break;
    }

    row.rotation = rotation;
    row.thumbnail = platform::turnBitmap(makeThumbnail(picture), rotation);
    // A refused picture leaves the picture on show, and the index that prints it.
    const int previousSelected = albums.selectedPicture;
    const int previousLoaded = albums.loadedPicture;
    albums.selectedPicture = albums.loadedPicture = n;
    albums.pictureCount = n + 1;
    if (store.appendPicture() == albums::StoreResult::Refused) {
        albums.selectedPicture = previousSelected;
        albums.loadedPicture = previousLoaded;
        dropStagingEntry(state);
        return AddResult::NotAdded;
    }

    if (fromBatch) {
        // Nothing stays on show that no index would print.
        state.clearPicture();
        return AddResult::AddedQuietly;
    }
    state.statusText = statusFor(row.displayName, picture.width, picture.height);
    return AddResult::Added;
}

int addDroppedFiles(shell::AppState& state, albums::AlbumStore& store, platform::Ui& ui,
                    std::span<const fs::path> paths, const fs::path& tempDir) {
    int added = 0;
    for (const fs::path& path : paths) {
        platform::Ui::WaitCursor wait(ui);
        if (!freeSpaceOk(ui))
            break;
        albums::AlbumState& albums = state.albums;
        if (albums.pictureCount >= albums::kMaxPictures) {
            ui.message(msg::kAlbumFull, Icon::None);
            break;
        }
        albums::PictureRow& row = albums.pictures[std::size_t(albums.pictureCount)];
        row = albums::PictureRow{};
        row.fullPath = path.string();
        row.displayName = path.filename().string();
        state.addedByDrop = true;
        const AddResult result = addStagedPicture(state, store, ui, {}, tempDir);
        state.addedByDrop = false;
        if (result != AddResult::NotAdded)
            ++added;
    }
    if (added > 0)
        state.adjustedPicturePresent = false;
    return added;
}

DisplayResult displayPicture(shell::AppState& state, platform::Ui& ui, const fs::path& tempDir) {
    state.adjustedPicturePresent = false;
    platform::Ui::WaitCursor wait(ui);
    albums::AlbumState& albums = state.albums;
    const int index = albums.selectedPicture;
    if (index < 0 || index >= albums.pictureCount)
        return DisplayResult::NoSelection;
    const albums::PictureRow& row = albums.pictures[std::size_t(index)];

    std::error_code ec;
    if (!fs::exists(row.fullPath, ec)) {
        ui.message(msg::kFileMissing, Icon::None);
        state.clearPicture();
        return DisplayResult::Missing;
    }
    fs::path file = intakeFile(row, tempDir);
    if (!isBmpName(row.displayName) && !fs::exists(file, ec)) {
        // The picture on show stays, and with it the loaded index that prints it.
        if (!freeSpaceOk(ui))
            return DisplayResult::Failed;
        file = row.fullPath;
    }

    platform::Bitmap24 bitmap;
    int width = 0;
    int height = 0;
    int bits = 0;
    if (platform::imagelib::CD(file, bitmap, width, height, bits) != 1) {
        ui.message(msg::kCannotLoad, Icon::Stop);
        // Nothing on show, so nothing a print could take for it.
        state.albums.loadedPicture = -2;
        state.displayedPicture.reset();
        state.statusText.clear();
        return DisplayResult::Failed;
    }
    bitmap = platform::turnBitmap(bitmap, row.rotation);
    state.statusText = statusFor(row.displayName, bitmap.width, bitmap.height);
    state.showPicture(index, std::move(bitmap));
    return DisplayResult::Shown;
}

bool canSaveAs(const shell::AppState& state, platform::Ui& ui) {
    if (state.layout == shell::Layout::OneUp && state.albums.selectedPicture == -1) {
        ui.message(msg::kNoPhotoToSave, Icon::None);
        return false;
    }
    return freeSpaceOk(ui);
}

bool saveAs(shell::AppState& state, platform::Ui& ui, const fs::path& target,
            const fs::path& tempDir) {
    if (state.layout != shell::Layout::OneUp) {
        // The sheet goes out through the same sheet file a print job writes.
        const fs::path sheetFile = tempDir / "prtfile.bmp";
        std::error_code ec;
        fs::create_directories(tempDir, ec);
        if (platform::imagelib::WriteBmpFile(sheetFile, state.sheet) && copyFile(sheetFile, target))
            return true;
        ui.message(msg::kNotSaved, Icon::Information);
        return false;
    }
    if (state.colourDialogSaving || state.adjustedPicturePresent) {
        const bool copied = copyFile(platform::findNoCase(tempDir, "Prefile.bmp"), target);
        // Only the flag that chose the adjusted copy is used up.
        if (state.colourDialogSaving)
            state.colourDialogSaving = false;
        else
            state.adjustedPicturePresent = false;
        if (!copied)
            ui.message(msg::kNotSaved, Icon::Information);
        return copied;
    }
    const albums::AlbumState& albums = state.albums;
    const int index = albums.selectedPicture;
    if (index < 0 || index >= albums.pictureCount) {
        ui.message(msg::kNoPhotoToSave, Icon::None);
        return false;
    }
    const albums::PictureRow& row = albums.pictures[std::size_t(index)];
    if (isBmpName(row.displayName)) {
        if (copyFile(row.fullPath, target))
            return true;
        ui.message(msg::kNotSaved, Icon::Information);
        return false;
    }
    platform::Ui::WaitCursor wait(ui);
    const int code = convertToTemporaryBmp(ui, row.fullPath, target);
    if (code == 1)
        return true;
    const std::string reason = conversionMessage(code, row.fullPath);
    if (!reason.empty())
        ui.message(reason, Icon::None);
    return false;
}

} // namespace kv::intake
