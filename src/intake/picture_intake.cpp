#include "intake/picture_intake.h"

#include "intake/bmp_thumbnail.h"
#include "intake/intake_messages.h"
#include "intake/temp_bmp.h"
#include "platform/imagelib/image_library.h"
#include "platform/numbers.h"
#include "platform/paths.h"

#include <algorithm>
#include <vector>

namespace kv::intake {

namespace fs = std::filesystem;
using Icon = platform::Ui::Icon;

namespace {

namespace img = platform::imagelib;

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

Refusal refusalFor(img::FailureReason failure) {
    switch (failure) {
    case img::FailureReason::CannotRead:
        return Refusal::CannotRead;
    case img::FailureReason::TooLarge:
        return Refusal::TooLarge;
    case img::FailureReason::Unsupported:
        return Refusal::Unsupported;
    case img::FailureReason::None:
    case img::FailureReason::Damaged:
        break;
    }
    return Refusal::Damaged;
}

// A BMP that could not be written: for want of room when drive C: (which holds
// the temporary directory) keeps less than the file and the free-space rule's margin.
Refusal writeRefusal(const fs::path& target, const platform::Bitmap24& picture) {
    const std::uint64_t fileBytes =
        54 + std::uint64_t(picture.stride()) * std::uint64_t(picture.height);
    const std::optional<std::uint64_t> free = platform::freeSpace(target.parent_path());
    return free && *free < fileBytes + kMinFreeBytes ? Refusal::NoRoom : Refusal::NotWritten;
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

Conversion convertPicture(const fs::path& source, const fs::path& target) {
    Conversion result;
    img::DecodedImage decoded;
    result.code = img::ScaleCD(source, decoded);
    if (result.code != 1) {
        result.refusal = result.code == 0 ? refusalFor(decoded.failure) : Refusal::LibraryCode;
        return result;
    }
    if (decoded.bitsPerPixel == 1) {
        result.code = 0;
        result.refusal = Refusal::BlackAndWhite;
        return result;
    }
    platform::Bitmap24 picture;
    if (!img::ConvertTo24(decoded, picture)) {
        result.code = 0;
        result.refusal = Refusal::Damaged;
        return result;
    }
    result.incomplete = decoded.incomplete;
    decoded = img::DecodedImage{}; // not needed for writing
    if (!img::WriteBmpFile(target, picture)) {
        result.code = 0;
        result.refusal = writeRefusal(target, picture);
    }
    return result;
}

std::string refusalMessage(const Conversion& conversion, std::string_view fullPath) {
    std::string_view reason;
    switch (conversion.refusal) {
    case Refusal::None:
        return {};
    case Refusal::LibraryCode:
        return conversionMessage(conversion.code, fullPath);
    case Refusal::BlackAndWhite:
        reason = msg::kBlackAndWhite;
        break;
    case Refusal::CannotRead:
        reason = msg::kCannotRead;
        break;
    case Refusal::Damaged:
        reason = msg::kDamaged;
        break;
    case Refusal::TooLarge:
        reason = msg::kTooLarge;
        break;
    case Refusal::Unsupported:
        reason = msg::kUnsupportedFormat;
        break;
    case Refusal::NoRoom:
        reason = msg::kLowDiskSpace;
        break;
    case Refusal::NotWritten:
        reason = msg::kTempNotWritten;
        break;
    }
    return cannotOpen(reason, msg::kReasonSeparator, fullPath);
}

std::string incompleteMessage(std::string_view fullPath) {
    std::string text(msg::kIncomplete);
    text += msg::kReasonSeparator;
    text += fullPath;
    return text;
}

int convertToTemporaryBmp(platform::Ui& ui, const fs::path& source, const fs::path& target) {
    const Conversion conversion = convertPicture(source, target);
    if (conversion.code == 0)
        ui.message(refusalMessage(conversion, source.string()), Icon::None);
    else if (conversion.incomplete)
        ui.message(incompleteMessage(source.string()), Icon::Information);
    return conversion.code;
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
Conversion decodeForThumbnail(const fs::path& file, platform::Bitmap24& bitmap, BmpPicture& out) {
    Conversion result;
    img::DecodedImage image;
    result.code = img::ScaleCD(file, image);
    if (result.code != 1) {
        result.refusal = result.code == 0 ? refusalFor(image.failure) : Refusal::LibraryCode;
        return result;
    }
    if (!img::ConvertTo24(image, bitmap) || bitmap.empty()) {
        result.code = 0;
        result.refusal = Refusal::Damaged;
        return result;
    }
    out = BmpPicture{};
    out.width = bitmap.width;
    out.height = bitmap.height;
    out.bitsPerPixel = 24;
    out.stride = bitmap.stride();
    out.pixels = bitmap.pixels;
    return result;
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
    // The staging entry goes before the user is told: a message box runs its own
    // event loop, which may hand in the next page or file meanwhile.
    auto refuse = [&](std::string text, Icon icon) {
        dropStagingEntry(state);
        if (!text.empty())
            ui.message(text, icon);
        return AddResult::NotAdded;
    };
    if (row.displayName.empty())
        return refuse(std::string(msg::kCannotLoad), Icon::Stop);

    platform::Ui::WaitCursor wait(ui);
    albums.pictureAdded = true;
    if (!state.addedByDrop)
        row.fullPath = (currentDirectory / row.displayName).string();
    const bool fromBatch = state.addedByDrop || state.multiFileLoad || state.addedByAcquisition;
    const int rotation = fromBatch ? 0 : ((state.rotationForNextPicture % 4) + 4) % 4;

    const fs::path file = intakeFile(row, tempDir);
    std::error_code ec;
    bool incomplete = false;
    if (!isBmpName(row.displayName) && !fs::exists(file, ec)) {
        fs::create_directories(tempDir, ec);
        const Conversion conversion = convertPicture(row.fullPath, file);
        if (conversion.code != 1)
            return refuse(refusalMessage(conversion, row.fullPath), Icon::None);
        incomplete = conversion.incomplete;
    }

    std::vector<std::uint8_t> bytes;
    switch (img::readPictureFile(file, bytes)) {
    case img::PictureFileRead::CannotOpen:
        return refuse(std::string(msg::kCannotOpenFile), Icon::Stop);
    case img::PictureFileRead::TooBig:
        return refuse(std::string(msg::kNoMemory), Icon::Stop);
    case img::PictureFileRead::Ok:
        break;
    }

    BmpPicture picture;
    platform::Bitmap24 decoded; // keeps the pixels `picture` views for a decoded BMP
    switch (readBmpForThumbnail(bytes, picture)) {
    case BmpReadStatus::Ok:
        break;
    case BmpReadStatus::Malformed:
        return refuse(std::string(msg::kCannotOpenFile), Icon::Stop);
    case BmpReadStatus::TooLarge:
        return refuse(refusalMessage({0, Refusal::TooLarge}, row.fullPath), Icon::None);
    case BmpReadStatus::BlackAndWhite:
        return refuse(cannotOpen(msg::kBlackAndWhite, {}, row.fullPath), Icon::None);
    case BmpReadStatus::ShortPixels:
        return refuse(std::string(msg::kScalingError), Icon::Information);
    case BmpReadStatus::UnsupportedDepth: {
        // RLE, 16- and 32-bit BMPs are sound pictures the image library reads;
        // refusing them, or sampling their compressed bytes, would lose them.
        const Conversion read = decodeForThumbnail(file, decoded, picture);
        if (read.code != 1)
            return refuse(refusalMessage(read, row.fullPath), Icon::None);
        break;
    }
    }

    row.rotation = rotation;
    row.thumbnail = platform::turnBitmap(makeThumbnail(picture), rotation);
    // The store may read the table again (another program's pictures): the row is
    // then found by what it holds, not where it stood.
    const std::string fullPath = row.fullPath;
    const std::string displayName = row.displayName;
    // A refused picture leaves the picture on show, and the index that prints it.
    const albums::PictureKey previousSelected =
        albums::pictureKeyOf(albums, albums.selectedPicture);
    const albums::PictureKey previousLoaded = albums::pictureKeyOf(albums, albums.loadedPicture);
    albums.selectedPicture = albums.loadedPicture = n;
    albums.pictureCount = n + 1;
    if (store.appendPicture() == albums::StoreResult::Refused) {
        albums.selectedPicture = albums::findPicture(albums, previousSelected);
        const int loaded = albums::findPicture(albums, previousLoaded);
        albums.loadedPicture = loaded >= 0 ? loaded : -2;
        if (albums.loadedPicture < 0)
            state.displayedPicture.reset();
        dropStagingEntry(state);
        return AddResult::NotAdded;
    }

    // Told once the picture is in: a file converted once is not converted again.
    const std::string notice = incomplete ? incompleteMessage(fullPath) : std::string();
    AddResult result = AddResult::Added;
    if (fromBatch) {
        // Nothing stays on show that no index would print.
        state.clearPicture();
        result = AddResult::AddedQuietly;
    } else {
        state.statusText = statusFor(displayName, picture.width, picture.height);
    }
    if (!notice.empty())
        ui.message(notice, Icon::Information);
    return result;
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
    // The picture was told incomplete when it came in; the copy is what it shows.
    const Conversion conversion = convertPicture(row.fullPath, target);
    if (conversion.code == 1)
        return true;
    if (conversion.refusal == Refusal::NoRoom || conversion.refusal == Refusal::NotWritten)
        ui.message(msg::kNotSaved, Icon::Information);
    else
        ui.message(refusalMessage(conversion, row.fullPath), Icon::None);
    return false;
}

} // namespace kv::intake
