#pragma once

#include "albums/album_state.h"
#include "platform/bitmap.h"
#include "platform/rect.h"
#include "platform/ui.h"
#include "shell/app_state.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

// The printed sheet is always one 640 x 480 picture. This makes it from the user's
// pictures: the 4-in-1 and 16-in-1 sheets cell by cell, and the sheet file a job
// loads in every layout.
namespace kv::render {

using platform::Rect;

struct SheetGrid {
    int columns = 0;
    int rows = 0;
    int cellWidth = 0;
    int cellHeight = 0;
    int fitWidth = 0; // a picture is reduced to fit this box inside its cell
    int fitHeight = 0;

    int cells() const { return columns * rows; }
    // Cell k on the sheet, rows counted from the top: cell 0 is the upper left.
    Rect cell(int k) const {
        const int left = (k % columns) * cellWidth;
        const int top = (k / columns) * cellHeight;
        return {left, top, left + cellWidth, top + cellHeight};
    }
};
inline constexpr SheetGrid kFourUpGrid{2, 2, 320, 240, 312, 234};
inline constexpr SheetGrid kSixteenUpGrid{4, 4, 160, 120, 156, 117};
inline constexpr int kSheetPixelsWide = 640;
inline constexpr int kSheetPixelsHigh = 480;

inline constexpr std::string_view kSheetFileName = "prtfile.bmp";    // in the temporary folder
inline constexpr std::string_view kAdjustedFileName = "Prefile.bmp"; // the colour dialog's copy

struct PictureSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// width x height reduced by s = max(width / boxWidth, height / boxHeight), never
// enlarged, each side truncated.
PictureSize fitWithin(int width, int height, int boxWidth, int boxHeight);

// The size a 1-in-1 picture is printed at: fitted to 640 x 480 (480 x 640 when not
// wider than high), except that 320 x 240 and 240 x 320 are doubled.
PictureSize oneUpSize(int width, int height);

// The file a picture is printed from: its own file, decoded at the scale the sheet
// needs, whoever prints it (the window, kvphoto-cli, a batch), so every front end
// prints the same page. Only when the file is gone does a converted copy in
// `tempDir` stand in for it.
std::filesystem::path pictureSourceFile(std::string_view fullPath, std::string_view displayName,
                                        const std::filesystem::path& tempDir);

enum class PlaceResult {
    Placed,
    Undecodable, // the cell stays white
    NoMemory,    // no buffer for the picture; the cell stays white
};

// Decodes `source`, turns it by the album's `rotation` (quarter turns clockwise)
// and draws it into `cell`: a picture then narrower than high is turned a quarter
// clockwise, reduced to the fit box and centred in the cell.
PlaceResult placePicture(platform::Bitmap24& sheet, const SheetGrid& grid, int cell,
                         const std::filesystem::path& source, int rotation = 0);

// Frees the sheet and composes the one of the current layout: for 4 in 1 the
// selected picture in all four quarters (the slots set to it), for 16 in 1 the
// first 16 pictures listed in the album's `nameFile` (the picture table when the
// file cannot be read). Nothing for 1 in 1.
void composeLayoutSheet(shell::AppState& state, platform::Ui& ui,
                        const std::filesystem::path& nameFile,
                        const std::filesystem::path& tempDir);

// The 4-in-1 sheet from pictures named by their files, one a quarter in order
// (upper left, upper right, lower left, lower right; past four are not used). One
// picture fills all four, as choosing the layout does; quarters past the pictures
// given stay white. Sets the layout and the slots. False when a picture could not
// be placed (told; its quarter stays white).
bool composeFourUpSheet(shell::AppState& state, platform::Ui& ui,
                        std::span<const shell::SheetPicture> pictures,
                        const std::filesystem::path& tempDir);

// The 4-in-1 quarter under (x, y) of a window of width x height, split at its middle.
int fourUpQuarterAt(int x, int y, int width, int height);
// The 16-in-1 cell strictly inside which (x, y) lies, with the sheet drawn at
// `drawnSheet`; -1 on a cell border or off the sheet.
int sixteenUpCellAt(const Rect& drawnSheet, int x, int y);

// A thumbnail dropped on `cell` of the current sheet: the cell is filled white and
// the picture placed in it (the 4-in-1 slot set to it). False when nothing was
// placed (no sheet layout, no such cell or picture, or it could not be decoded).
bool placeDroppedPicture(shell::AppState& state, platform::Ui& ui, int cell, int pictureIndex,
                         const std::filesystem::path& tempDir);

// Progress of the 1-in-1 preparation, in steps of the status window's scale.
using Progress = std::function<void(int value)>;

// The file a job loads for the current layout. 4 in 1 and 16 in 1: the sheet as it
// stands, written to prtfile.bmp. 1 in 1: the adjusted copy when present, else the
// loaded picture; an unturned BMP that fits the frame is the file itself, any other
// picture is decoded, turned by the loaded picture's album rotation (as the window
// shows it), resized (progress 0, 400, 600, 800) and written to prtfile.bmp.
// nullopt when the job cannot go on (told to the user).
std::optional<std::filesystem::path> prepareSheetFile(const shell::AppState& state,
                                                      platform::Ui& ui,
                                                      const std::filesystem::path& tempDir,
                                                      const Progress& progress = {});

// A batch picture: always decoded, turned by its rotation, resized and written to
// prtfile.bmp. nullopt
// when it cannot be (told); the batch goes on with the next picture.
std::optional<std::filesystem::path> prepareBatchSheetFile(const albums::PictureRow& picture,
                                                           platform::Ui& ui,
                                                           const std::filesystem::path& tempDir,
                                                           const Progress& progress = {});

} // namespace kv::render
