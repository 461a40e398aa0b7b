#include "render/layout_composition.h"

#include "albums/album_files.h"
#include "intake/temp_bmp.h"
#include "platform/atomic_file.h"
#include "platform/imagelib/image_library.h"
#include "platform/paths.h"
#include "render/layout_messages.h"
#include "render/sheet_loader.h"

#include <algorithm>
#include <fstream>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace kv::render {

namespace fs = std::filesystem;
namespace lib = platform::imagelib;
using Icon = platform::Ui::Icon;
using platform::Bitmap24;
using shell::AppState;
using shell::Layout;

namespace {

struct Decoded {
    PlaceResult result = PlaceResult::Undecodable;
    Bitmap24 picture; // 24 bits, already turned when it was narrower than high
    PictureSize size; // what it is drawn at in its cell
};

// The size wanted of a picture, asked of the whole picture before a JPEG is
// decoded smaller; a decoder that does not ask leaves it to the decoded picture.
struct SizeFromWhole {
    std::optional<PictureSize> size;
    bool turnUpright = false;
};

// `rotation`: the album's quarter turns, applied before the upright rule so the
// cell shows the picture as the album does.
Decoded decodeForCell(const fs::path& source, int rotation, const SheetGrid& grid) {
    Decoded out;
    try {
        const bool across = rotation % 2 != 0;
        SizeFromWhole whole;
        const lib::NeededExtent needed = [&](int width, int height) {
            if (across)
                std::swap(width, height);
            whole.turnUpright = width < height;
            if (whole.turnUpright)
                std::swap(width, height);
            const PictureSize size = fitWithin(width, height, grid.fitWidth, grid.fitHeight);
            whole.size = size;
            return across != whole.turnUpright ? lib::DecodeExtent{size.height, size.width}
                                               : lib::DecodeExtent{size.width, size.height};
        };
        lib::DecodedImage decoded;
        if (lib::ScaleCDAtLeast(source, needed, decoded) != 1 ||
            !lib::ConvertTo24(decoded, out.picture))
            return out;
        decoded = {};
        if (rotation % 4 != 0)
            out.picture = platform::turnBitmap(out.picture, rotation);
        // A smaller decode can round a nearly square picture square: the whole
        // picture decides.
        if (whole.size ? whole.turnUpright : out.picture.width < out.picture.height)
            out.picture = platform::turnBitmap(out.picture, 1);
        out.size = whole.size ? *whole.size
                              : fitWithin(out.picture.width, out.picture.height, grid.fitWidth,
                                          grid.fitHeight);
        out.result = PlaceResult::Placed;
    } catch (const std::bad_alloc&) {
        out = Decoded{PlaceResult::NoMemory, {}, {}};
    }
    return out;
}

PlaceResult drawInCell(Bitmap24& sheet, const SheetGrid& grid, int cell, const Decoded& decoded) {
    const Bitmap24& picture = decoded.picture;
    const PictureSize size = decoded.size;
    const Rect box = grid.cell(cell);
    try {
        lib::ScaleImageTo(sheet, box.left + (grid.cellWidth - size.width) / 2,
                          box.top + (grid.cellHeight - size.height) / 2, picture, size.width,
                          size.height);
    } catch (const std::bad_alloc&) {
        return PlaceResult::NoMemory;
    }
    return PlaceResult::Placed;
}

Bitmap24 whiteSheet() {
    return lib::NewImage(kSheetPixelsWide, kSheetPixelsHigh, 255, 255, 255);
}

const SheetGrid* gridOf(Layout layout) {
    switch (layout) {
    case Layout::FourUp:
        return &kFourUpGrid;
    case Layout::SixteenUp:
        return &kSixteenUpGrid;
    case Layout::OneUp:
        break;
    }
    return nullptr;
}

// Sets the slots and draws their pictures on a new white sheet: one picture in
// all four quarters (decoded once), else one a quarter, the rest left white.
bool fillFourUp(AppState& state, platform::Ui& ui, std::span<const shell::SheetPicture> pictures,
                const fs::path& tempDir) {
    state.sheet = whiteSheet();
    state.fourUpSlots = {};
    if (pictures.empty()) {
        ui.message(kMsgNoPhotoForFourUp, Icon::None);
        return false;
    }
    const bool one = pictures.size() == 1;
    const std::size_t used =
        one ? state.fourUpSlots.size() : std::min(pictures.size(), state.fourUpSlots.size());
    for (std::size_t k = 0; k < used; ++k)
        state.fourUpSlots[k] = pictures[one ? 0 : k];
    bool allPlaced = true;
    Decoded decoded;
    for (std::size_t k = 0; k < used; ++k) {
        const shell::SheetPicture& picture = state.fourUpSlots[k];
        if (k == 0 || !one)
            decoded =
                decodeForCell(pictureSourceFile(picture.fullPath, picture.displayName, tempDir),
                              picture.rotation, kFourUpGrid);
        PlaceResult result = decoded.result;
        if (result == PlaceResult::Placed)
            result = drawInCell(state.sheet, kFourUpGrid, static_cast<int>(k), decoded);
        if (result == PlaceResult::NoMemory) {
            ui.message(kMsgResizeFailed, Icon::None);
            return false;
        }
        if (result == PlaceResult::Undecodable) {
            ui.message(kMsgNoPhotoForFourUp, Icon::None);
            allPlaced = false;
            if (one)
                break;
        }
    }
    return allPlaced;
}

void composeFourUp(AppState& state, platform::Ui& ui, const fs::path& tempDir) {
    const int selected = state.albums.selectedPicture();
    if (selected < 0 || selected >= state.albums.pictureCount) {
        fillFourUp(state, ui, {}, tempDir);
        return;
    }
    const albums::PictureRow& row = state.albums.pictures[std::size_t(selected)];
    const shell::SheetPicture picture{row.fullPath, row.displayName, row.rotation};
    fillFourUp(state, ui, {&picture, 1}, tempDir);
}

void composeSixteenUp(AppState& state, platform::Ui& ui, const fs::path& nameFile,
                      const fs::path& tempDir) {
    state.sheet = whiteSheet();
    std::vector<shell::SheetPicture> pictures;
    std::string names;
    // The album as its name file lists it; a missing file is not created here (an
    // empty one would read as damaged later), the pictures in memory stand in.
    if (!nameFile.empty() && platform::readFile(nameFile, names)) {
        // The rotations stand in the data file; a pair out of step gives none.
        std::string data;
        fs::path dataFile = nameFile;
        dataFile += "1";
        if (!platform::readFile(dataFile, data))
            data.clear();
        for (const albums::AlbumEntry& e : albums::pairAlbumFiles(names, data).entries)
            pictures.push_back({e.name.fullPath, e.name.displayName, e.record.rotation});
    } else {
        for (int i = 0; i < state.albums.pictureCount; ++i) {
            const albums::PictureRow& row = state.albums.pictures[std::size_t(i)];
            pictures.push_back({row.fullPath, row.displayName, row.rotation});
        }
    }
    const int n = std::min(static_cast<int>(pictures.size()), kSixteenUpGrid.cells());
    for (int k = 0; k < n; ++k) {
        const shell::SheetPicture& picture = pictures[std::size_t(k)];
        const PlaceResult result = placePicture(
            state.sheet, kSixteenUpGrid, k,
            pictureSourceFile(picture.fullPath, picture.displayName, tempDir), picture.rotation);
        if (result == PlaceResult::NoMemory) {
            ui.message(kMsgResizeFailed, Icon::None);
            return;
        }
    }
}

// Fits the frame as it is: no resizing would change it.
bool fitsAsItIs(const fs::path& file) {
    // The headers and a palette are all that is needed; the loader checks the rest.
    std::vector<std::uint8_t> head(14 + 124);
    // Only a regular file: opening a pipe would wait for a writer for ever.
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return false;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    const BmpHeaders headers = readBmpHeaders(head);
    if (headers.problem != BmpProblem::None && headers.problem != BmpProblem::Short)
        return false;
    const int w = headers.info.width;
    const int h = headers.info.height;
    const bool fits =
        (w <= kFrameWidth && h <= kFrameHeight) || (w <= kFrameHeight && h <= kFrameWidth);
    // The small standard sizes are printed doubled.
    return fits && w != 320 && w != 240 && h != 240;
}

// `rotation`: the album's quarter turns, so the page is turned as the preview is.
std::optional<fs::path> writeResized(const fs::path& source, int rotation, platform::Ui& ui,
                                     const fs::path& tempDir, const Progress& progress) {
    const auto report = [&progress](int value) {
        if (progress)
            progress(value);
    };
    platform::Ui::WaitCursor wait(ui);
    report(0);
    try {
        Bitmap24 picture;
        std::optional<PictureSize> wholeSize;
        {
            const bool across = rotation % 2 != 0;
            const lib::NeededExtent needed = [&](int width, int height) {
                const PictureSize size =
                    across ? oneUpSize(height, width) : oneUpSize(width, height);
                wholeSize = size;
                return across ? lib::DecodeExtent{size.height, size.width}
                              : lib::DecodeExtent{size.width, size.height};
            };
            lib::DecodedImage decoded;
            if (lib::ScaleCDAtLeast(source, needed, decoded) != 1 ||
                !lib::ConvertTo24(decoded, picture)) {
                ui.message(kMsgSheetCannotOpen, Icon::None);
                return std::nullopt;
            }
        }
        if (rotation % 4 != 0)
            picture = platform::turnBitmap(picture, rotation);
        report(400);
        // From the whole picture's size, so that a JPEG decoded smaller prints as big.
        const PictureSize size = wholeSize ? *wholeSize : oneUpSize(picture.width, picture.height);
        report(600);
        const lib::LibraryImage scaled = lib::ScaleImage(picture, size.width, size.height);
        if (scaled.empty()) {
            ui.message(kMsgResizeFailed, Icon::None);
            return std::nullopt;
        }
        std::error_code ec;
        fs::create_directories(tempDir, ec);
        const fs::path target = tempDir / kSheetFileName;
        if (!lib::WriteBmpFile(target, scaled)) {
            ui.message(kMsgSheetNotWritten, Icon::None);
            return std::nullopt;
        }
        report(800);
        return target;
    } catch (const std::bad_alloc&) {
        ui.message(kMsgSheetNoMemory, Icon::None);
        return std::nullopt;
    }
}

} // namespace

PictureSize fitWithin(int width, int height, int boxWidth, int boxHeight) {
    if (width <= boxWidth && height <= boxHeight)
        return {width, height};
    // Integer ratios: w / (w / box) must come out as box exactly, not one less.
    const long long w = width;
    const long long h = height;
    if (w * boxHeight >= h * boxWidth)
        return {boxWidth, static_cast<int>(std::max(1LL, h * boxWidth / w))};
    return {static_cast<int>(std::max(1LL, w * boxHeight / h)), boxHeight};
}

PictureSize oneUpSize(int width, int height) {
    if (width == 320 && height == 240)
        return {kFrameWidth, kFrameHeight};
    if (width == 240 && height == 320)
        return {kFrameHeight, kFrameWidth};
    return height < width ? fitWithin(width, height, kFrameWidth, kFrameHeight)
                          : fitWithin(width, height, kFrameHeight, kFrameWidth);
}

fs::path pictureSourceFile(std::string_view fullPath, std::string_view displayName,
                           const fs::path& tempDir) {
    std::error_code ec;
    if (fs::exists(fs::path(fullPath), ec) || intake::isBmpName(displayName))
        return fs::path(fullPath);
    fs::path copy = intake::temporaryBmpPath(tempDir, fullPath, displayName);
    return fs::exists(copy, ec) ? copy : fs::path(fullPath);
}

PlaceResult placePicture(Bitmap24& sheet, const SheetGrid& grid, int cell, const fs::path& source,
                         int rotation) {
    if (cell < 0 || cell >= grid.cells())
        return PlaceResult::Undecodable;
    const Decoded decoded = decodeForCell(source, rotation, grid);
    if (decoded.result != PlaceResult::Placed)
        return decoded.result;
    return drawInCell(sheet, grid, cell, decoded);
}

void composeLayoutSheet(AppState& state, platform::Ui& ui, const fs::path& nameFile,
                        const fs::path& tempDir) {
    lib::FreeImage(state.sheet);
    if (state.layout == Layout::OneUp)
        return;
    platform::Ui::WaitCursor wait(ui);
    if (state.layout == Layout::FourUp)
        composeFourUp(state, ui, tempDir);
    else
        composeSixteenUp(state, ui, nameFile, tempDir);
}

bool composeFourUpSheet(AppState& state, platform::Ui& ui,
                        std::span<const shell::SheetPicture> pictures, const fs::path& tempDir) {
    lib::FreeImage(state.sheet);
    state.layout = Layout::FourUp;
    platform::Ui::WaitCursor wait(ui);
    return fillFourUp(state, ui, pictures, tempDir);
}

int fourUpQuarterAt(int x, int y, int width, int height) {
    return (y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1);
}

int sixteenUpCellAt(const Rect& drawnSheet, int x, int y) {
    const int columns = kSixteenUpGrid.columns;
    const int rows = kSixteenUpGrid.rows;
    const long long w = drawnSheet.width();
    const long long h = drawnSheet.height();
    if (w <= 0 || h <= 0)
        return -1;
    // In units of 1/columns of a pixel the cell borders fall on multiples of w.
    const long long u = static_cast<long long>(x - drawnSheet.left) * columns;
    const long long v = static_cast<long long>(y - drawnSheet.top) * rows;
    if (u <= 0 || v <= 0 || u >= w * columns || v >= h * rows || u % w == 0 || v % h == 0)
        return -1;
    return static_cast<int>((v / h) * columns + u / w);
}

bool placeDroppedPicture(AppState& state, platform::Ui& ui, int cell, int pictureIndex,
                         const fs::path& tempDir) {
    const SheetGrid* grid = gridOf(state.layout);
    if (!grid || cell < 0 || cell >= grid->cells() || pictureIndex < 0 ||
        pictureIndex >= state.albums.pictureCount)
        return false;
    const albums::PictureRow& row = state.albums.pictures[std::size_t(pictureIndex)];
    if (state.layout == Layout::FourUp)
        state.fourUpSlots[std::size_t(cell)] = {row.fullPath, row.displayName, row.rotation};
    if (state.sheet.empty())
        state.sheet = whiteSheet();
    platform::Ui::WaitCursor wait(ui);
    lib::FillImageRect(state.sheet, grid->cell(cell), 255, 255, 255);
    const PlaceResult result =
        placePicture(state.sheet, *grid, cell,
                     pictureSourceFile(row.fullPath, row.displayName, tempDir), row.rotation);
    // An undecodable picture is told by the display that follows every drop.
    if (result == PlaceResult::NoMemory)
        ui.message(kMsgResizeFailed, Icon::None);
    return result == PlaceResult::Placed;
}

std::optional<fs::path> prepareSheetFile(const AppState& state, platform::Ui& ui,
                                         const fs::path& tempDir, const Progress& progress) {
    if (state.layout != Layout::OneUp) {
        std::error_code ec;
        fs::create_directories(tempDir, ec);
        const fs::path target = tempDir / kSheetFileName;
        if (!lib::WriteBmpFile(target, state.sheet)) {
            ui.message(kMsgSheetNotWritten, Icon::None);
            return std::nullopt;
        }
        return target;
    }
    const int loaded = state.albums.loadedPicture();
    if (loaded < 0 || loaded >= state.albums.pictureCount) {
        ui.message(kMsgNothingLoaded, Icon::None);
        return std::nullopt;
    }
    const albums::PictureRow& row = state.albums.pictures[std::size_t(loaded)];
    // The adjusted copy is made from the picture unturned, as the file is.
    const fs::path source = state.adjustedPicturePresent
                                ? platform::findNoCase(tempDir, std::string(kAdjustedFileName))
                                : pictureSourceFile(row.fullPath, row.displayName, tempDir);
    if (row.rotation % 4 == 0 && fitsAsItIs(source))
        return source;
    return writeResized(source, row.rotation, ui, tempDir, progress);
}

std::optional<fs::path> prepareBatchSheetFile(const albums::PictureRow& picture, platform::Ui& ui,
                                              const fs::path& tempDir, const Progress& progress) {
    return writeResized(pictureSourceFile(picture.fullPath, picture.displayName, tempDir),
                        picture.rotation, ui, tempDir, progress);
}

} // namespace kv::render
