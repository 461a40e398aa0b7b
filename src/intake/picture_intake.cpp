#include "intake/picture_intake.h"

#include "intake/bmp_thumbnail.h"
#include "intake/intake_messages.h"
#include "intake/temp_bmp.h"
#include "platform/atomic_file.h"
#include "platform/imagelib/image_library.h"
#include "platform/imagelib/picture_stream.h"
#include "platform/imagelib/raw_stream.h"
#include "platform/numbers.h"
#include "platform/paths.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <new>
#include <optional>
#include <thread>
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

std::uint64_t bmpFileBytes(int width, int height) {
    return 54 + std::uint64_t(platform::Bitmap24::strideFor(width)) * std::uint64_t(height);
}

// A BMP that could not be written: for want of room when drive C: (which holds
// the temporary directory) keeps less than the file and the free-space rule's margin.
Refusal writeRefusal(const fs::path& target, std::uint64_t fileBytes) {
    const std::optional<std::uint64_t> free = platform::freeSpace(target.parent_path());
    return free && *free < fileBytes + kMinFreeBytes ? Refusal::NoRoom : Refusal::NotWritten;
}

Refusal writeRefusal(const fs::path& target, const platform::Bitmap24& picture) {
    return writeRefusal(target, bmpFileBytes(picture.width, picture.height));
}

// The file and information headers of a 24-bit bottom-up BMP, as WriteBmpFile has them.
std::array<std::uint8_t, 54> bmpHeaders(int width, int height) {
    img::PictureRecord record;
    record.width = width;
    record.height = height;
    record.imageSize = std::uint32_t(bmpFileBytes(width, height) - 54);
    std::array<std::uint8_t, 54> h{};
    const auto put32 = [&h](int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h[std::size_t(at + i)] = std::uint8_t(v >> (8 * i));
    };
    h[0] = 'B';
    h[1] = 'M';
    put32(2, 54 + record.imageSize);
    put32(10, 54);
    const auto info = record.headerBytes();
    std::copy(info.begin(), info.end(), h.begin() + 14);
    return h;
}

// Puts the decoder's rows straight into the temporary BMP and samples the thumbnail
// as they pass. Rows come top first and the file keeps them bottom-up, so a band of
// rows collected from its end is one piece of the file.
class BmpRowWriter final : public img::RowSink {
  public:
    explicit BmpRowWriter(const fs::path& target) : m_target(target) {}

    void start(int width, int height) override {
        m_width = width;
        m_height = height;
        m_stride = std::size_t(platform::Bitmap24::strideFor(width));
        m_sampler.emplace(width, height);
        const auto headers = bmpHeaders(width, height);
        m_ok = m_file.open(m_target, bmpFileBytes(width, height)) &&
               m_file.writeAt(0, headers.data(), headers.size());
        m_bandRows = std::max<std::size_t>(1, kBandBytes / m_stride);
        if (m_ok)
            m_band.assign(m_bandRows * m_stride, 0);
    }

    void row(int fromBottom, const std::uint8_t* bgr) override {
        m_sampler->row(fromBottom, bgr);
        if (!m_ok)
            return;
        if (m_count > 0 && (m_count == m_bandRows || fromBottom != m_lowest - 1))
            flush();
        const std::size_t slot = m_bandRows - 1 - m_count;
        std::memcpy(m_band.data() + slot * m_stride, bgr, std::size_t(m_width) * 3);
        m_lowest = fromBottom;
        ++m_count;
    }

    // True when the whole file is in place; on false nothing is left of it.
    bool finish() {
        flush();
        m_ok = m_ok && m_file.commit();
        if (!m_ok)
            m_file.discard();
        return m_ok;
    }

    int width() const { return m_width; }
    int height() const { return m_height; }
    platform::Bitmap24 thumbnail() const {
        return m_sampler ? m_sampler->thumbnail() : platform::Bitmap24{};
    }

  private:
    static constexpr std::size_t kBandBytes = std::size_t{1} << 20;

    void flush() {
        if (m_count == 0)
            return;
        const std::uint8_t* first = m_band.data() + (m_bandRows - m_count) * m_stride;
        m_ok = m_ok &&
               m_file.writeAt(54 + std::uint64_t(m_lowest) * m_stride, first, m_count * m_stride);
        m_count = 0;
    }

    fs::path m_target;
    platform::UnsyncedFile m_file;
    std::optional<ThumbnailSampler> m_sampler;
    std::vector<std::uint8_t> m_band;
    std::size_t m_stride = 0;
    std::size_t m_bandRows = 0;
    std::size_t m_count = 0; // rows waiting in the band
    int m_lowest = 0;        // the lowest of them, counted from the bottom
    int m_width = 0;
    int m_height = 0;
    bool m_ok = false;
};

// What the conversion to the temporary copy saw on the way, so that the copy
// need not be read back for the thumbnail.
struct Seen {
    int width = 0;
    int height = 0;
    platform::Bitmap24 thumbnail;
};

// The decoded picture (result.code as the decoder returned it) at 24 bits, the
// decoder's copy freed; false with the refusal set when it cannot be printed.
bool takeDecoded(img::DecodedImage& decoded, Conversion& result, platform::Bitmap24& picture) {
    if (result.code != 1) {
        result.refusal = result.code == 0 ? refusalFor(decoded.failure) : Refusal::LibraryCode;
        return false;
    }
    if (decoded.bitsPerPixel == 1) {
        result.code = 0;
        result.refusal = Refusal::BlackAndWhite;
        return false;
    }
    if (!img::ConvertTo24(decoded, picture)) {
        result.code = 0;
        result.refusal = Refusal::Damaged;
        return false;
    }
    result.incomplete = decoded.incomplete;
    result.profileIgnored = decoded.profileIgnored;
    decoded = img::DecodedImage{}; // not needed for writing
    return true;
}

// convertPicture for the temporary copy: the same outcome and the same bytes, but
// the rows go from the decoder into the file, never whole in memory at 24 bits.
Conversion convertToCopy(const fs::path& source, const fs::path& target, Seen& seen) {
    Conversion result;
    img::DecodedImage decoded;
    // A camera raw's preview is what the window shows of it: streamed from the
    // file, whose sensor data is left for printing to read.
    {
        BmpRowWriter writer(target);
        if (img::streamRawPreview(source, writer, decoded)) {
            result.code = 1;
            result.profileIgnored = decoded.profileIgnored;
            if (!writer.finish()) {
                result.code = 0;
                result.refusal =
                    writeRefusal(target, bmpFileBytes(writer.width(), writer.height()));
                return result;
            }
            seen = Seen{writer.width(), writer.height(), writer.thumbnail()};
            return result;
        }
    }
    std::vector<std::uint8_t> bytes;
    switch (img::readPictureFile(source, bytes)) {
    case img::PictureFileRead::Ok:
        break;
    case img::PictureFileRead::CannotOpen:
        result.refusal = Refusal::CannotRead;
        return result;
    case img::PictureFileRead::TooBig:
        result.refusal = Refusal::TooLarge;
        return result;
    }
    decoded = img::DecodedImage{};
    BmpRowWriter writer(target);
    result.code = int(img::streamPicture(bytes, writer, decoded));
    bytes = {};
    if (result.code != 1) {
        result.refusal = result.code == 0 ? refusalFor(decoded.failure) : Refusal::LibraryCode;
        return result;
    }
    // The writer's file goes with it.
    if (decoded.bitsPerPixel == 1) {
        result.code = 0;
        result.refusal = Refusal::BlackAndWhite;
        return result;
    }
    result.incomplete = decoded.incomplete;
    result.profileIgnored = decoded.profileIgnored;
    // Decoding failures above are told before a write failure, as when the
    // picture was decoded whole first.
    if (!writer.finish()) {
        result.code = 0;
        result.refusal = writeRefusal(target, bmpFileBytes(writer.width(), writer.height()));
        return result;
    }
    seen = Seen{writer.width(), writer.height(), writer.thumbnail()};
    return result;
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
    platform::Bitmap24 picture;
    if (!takeDecoded(decoded, result, picture))
        return result;
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

std::string profileIgnoredMessage(std::string_view fullPath) {
    std::string text(msg::kProfileIgnored);
    text += msg::kReasonSeparator;
    text += fullPath;
    return text;
}

int convertToTemporaryBmp(platform::Ui& ui, const fs::path& source, const fs::path& target) {
    Seen seen;
    const Conversion conversion = convertToCopy(source, target, seen);
    if (conversion.code == 0)
        ui.message(refusalMessage(conversion, source.string()), Icon::None);
    else if (conversion.incomplete)
        ui.message(incompleteMessage(source.string()), Icon::Information);
    if (conversion.code == 1 && conversion.profileIgnored)
        ui.message(profileIgnoredMessage(source.string()), Icon::Information);
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

struct ConversionsAhead::Done {
    Conversion conversion;
    Seen seen;
};

ConversionsAhead::ConversionsAhead() = default;
ConversionsAhead::~ConversionsAhead() = default;

void ConversionsAhead::run(std::span<const albums::PictureRow> rows, const fs::path& tempDir) {
    std::vector<std::pair<std::string, fs::path>> work; // source, copy
    std::error_code ec;
    for (const albums::PictureRow& row : rows) {
        if (isBmpName(row.displayName))
            continue;
        fs::path copy = temporaryBmpPath(tempDir, row.fullPath, row.displayName);
        const bool listed = std::any_of(work.begin(), work.end(),
                                        [&](const auto& item) { return item.second == copy; });
        if (!listed && !fs::exists(copy, ec))
            work.emplace_back(row.fullPath, std::move(copy));
    }
    // One file gains nothing from a thread of its own.
    if (work.size() < 2)
        return;
    fs::create_directories(tempDir, ec);
    std::vector<std::unique_ptr<Done>> done(work.size());
    std::atomic<std::size_t> next{0};
    const auto convertAll = [&] {
        for (std::size_t i; (i = next++) < work.size();) {
            // A picture that cannot be converted here is left to its add, which
            // then converts it as it always did and tells what went wrong.
            try {
                auto result = std::make_unique<Done>();
                result->conversion = convertToCopy(work[i].first, work[i].second, result->seen);
                done[i] = std::move(result);
            } catch (const std::bad_alloc&) {
            }
        }
    };
    // Each thread holds one picture at a time, so memory grows with the cores only.
    const std::size_t threads =
        std::min<std::size_t>(std::max(1U, std::thread::hardware_concurrency()), work.size());
    std::vector<std::jthread> helpers;
    for (std::size_t t = 1; t < threads; ++t)
        helpers.emplace_back(convertAll);
    convertAll();
    helpers.clear();
    for (std::size_t i = 0; i < work.size(); ++i)
        if (done[i])
            m_done.emplace_back(std::move(work[i].second), std::move(done[i]));
}

std::unique_ptr<ConversionsAhead::Done> ConversionsAhead::take(const fs::path& file) {
    for (auto& [copy, done] : m_done)
        if (done && copy == file)
            return std::move(done);
    return nullptr;
}

fs::path intakeFile(const albums::PictureRow& row, const fs::path& tempDir) {
    if (isBmpName(row.displayName))
        return row.fullPath;
    return temporaryBmpPath(tempDir, row.fullPath, row.displayName);
}

AddResult addStagedPicture(shell::AppState& state, albums::AlbumStore& store, platform::Ui& ui,
                           const fs::path& currentDirectory, const fs::path& tempDir,
                           ConversionsAhead* ahead) {
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
    bool profileIgnored = false;
    Seen seen;
    std::unique_ptr<ConversionsAhead::Done> prepared = ahead ? ahead->take(file) : nullptr;
    if (prepared || (!isBmpName(row.displayName) && !fs::exists(file, ec))) {
        Conversion conversion;
        if (prepared) {
            conversion = prepared->conversion;
            seen = std::move(prepared->seen);
        } else {
            fs::create_directories(tempDir, ec);
            conversion = convertToCopy(row.fullPath, file, seen);
        }
        if (conversion.code != 1)
            return refuse(refusalMessage(conversion, row.fullPath), Icon::None);
        incomplete = conversion.incomplete;
        profileIgnored = conversion.profileIgnored;
    }

    if (seen.thumbnail.empty()) {
        // A BMP, or a copy converted before: the thumbnail comes from the file.
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
        seen = Seen{picture.width, picture.height, makeThumbnail(picture)};
    }

    row.rotation = rotation;
    row.thumbnail = platform::turnBitmap(seen.thumbnail, rotation);
    const std::string fullPath = row.fullPath;
    const std::string displayName = row.displayName;
    // The new picture is selected; it is loaded when it is shown (the caller's
    // business). A refused one leaves the selection where it was, and the picture on
    // show with the row that prints it.
    const std::uint64_t previousSelected = albums.idAt(albums.selectedPicture());
    albums.select(n);
    albums.pictureCount = n + 1;
    if (store.appendPicture() == albums::StoreResult::Refused) {
        albums.select(albums.indexOf(previousSelected));
        if (albums.loadedPicture() < 0)
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
        state.statusText = statusFor(displayName, seen.width, seen.height);
    }
    if (!notice.empty())
        ui.message(notice, Icon::Information);
    if (profileIgnored)
        ui.message(profileIgnoredMessage(fullPath), Icon::Information);
    return result;
}

int addDroppedFiles(shell::AppState& state, albums::AlbumStore& store, platform::Ui& ui,
                    std::span<const fs::path> paths, const fs::path& tempDir) {
    // Only as many as the album can still take are converted ahead.
    std::vector<albums::PictureRow> coming;
    for (const fs::path& path : paths.first(std::min<std::size_t>(
             paths.size(),
             std::size_t(std::max(0, albums::kMaxPictures - state.albums.pictureCount))))) {
        albums::PictureRow& row = coming.emplace_back();
        row.fullPath = path.string();
        row.displayName = path.filename().string();
    }
    ConversionsAhead ahead;
    {
        platform::Ui::WaitCursor wait(ui);
        ahead.run(coming, tempDir);
    }
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
        const AddResult result = addStagedPicture(state, store, ui, {}, tempDir, &ahead);
        state.addedByDrop = false;
        if (result != AddResult::NotAdded)
            ++added;
    }
    if (added > 0)
        state.adjustedPicturePresent = false;
    return added;
}

DisplayResult displayPicture(shell::AppState& state, platform::Ui& ui, const fs::path& tempDir) {
    return displayRow(state, ui, tempDir, state.albums.selectedPicture());
}

DisplayResult displayRow(shell::AppState& state, platform::Ui& ui, const fs::path& tempDir,
                         int index, bool fileChanged) {
    state.adjustedPicturePresent = false;
    platform::Ui::WaitCursor wait(ui);
    albums::AlbumState& albums = state.albums;
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
    // A converted copy older than its file, or of a file known to have changed, is
    // no longer the picture: the file itself is shown (and printed) instead.
    if (!isBmpName(row.displayName) && fs::exists(file, ec) &&
        (fileChanged || fs::last_write_time(row.fullPath, ec) > fs::last_write_time(file, ec)))
        fs::remove(file, ec);
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
        state.dropPicture();
        return DisplayResult::Failed;
    }
    bitmap = platform::turnBitmap(bitmap, row.rotation);
    state.statusText = statusFor(row.displayName, bitmap.width, bitmap.height);
    state.showPicture(index, std::move(bitmap));
    return DisplayResult::Shown;
}

bool canSaveAs(const shell::AppState& state, platform::Ui& ui) {
    if (state.layout == shell::Layout::OneUp && state.albums.selectedPicture() == -1) {
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
    const int index = albums.selectedPicture();
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
