#pragma once

#include "albums/album_store.h"
#include "platform/ui.h"
#include "shell/app_state.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace kv::intake {

// Drive C: must keep this much free before work that may write a temporary file.
inline constexpr std::uint64_t kMinFreeBytes = 10'240'000;

// Tells the user and returns false when `freeBytes` (drive C:'s free space; unknown
// counts as too little) is below kMinFreeBytes.
bool freeSpaceOk(platform::Ui& ui, std::optional<std::uint64_t> freeBytes);
bool freeSpaceOk(platform::Ui& ui);

// Why a picture was not converted.
enum class Refusal {
    None,
    LibraryCode,   // the image library's code -1 .. -5, told by conversionMessage
    BlackAndWhite, // a picture of 1 bit per pixel, whatever its format
    CannotRead,    // missing, not a regular file, or unreadable
    Damaged,       // malformed, or far shorter than its header announces
    TooLarge,      // more pixels than the image library takes
    Unsupported,   // a kind of its format the image library does not read
    NoRoom,        // the BMP could not be written, and drive C: is short of space
    NotWritten,    // the BMP could not be written for another reason
};

struct Conversion {
    int code = 0;                    // 1 written, the image library's -1 .. -5, or 0
    Refusal refusal = Refusal::None; // why, for any code but 1
    bool incomplete = false;         // written from a file that ends early
    bool profileIgnored = false;     // its colour profile was unusable, colours as stored
};

// Decodes `source` and writes it as a 24-bit BMP to `target`; tells nobody.
Conversion convertPicture(const std::filesystem::path& source, const std::filesystem::path& target);

// The message that tells why a conversion was refused: the reason, a blank line,
// the path, "Kann nicht geöffnet werden.". Empty when nothing was refused.
std::string refusalMessage(const Conversion& conversion, std::string_view fullPath);

// The notice for a picture taken from a file that ends early: reason, blank line, path.
std::string incompleteMessage(std::string_view fullPath);

// The notice for a picture whose colour profile is damaged: reason, blank line, path.
std::string profileIgnoredMessage(std::string_view fullPath);

// convertPicture for the temporary copy (the same bytes, but not flushed to the
// disk: the copy is made again when missing), telling the user here what the
// caller does not: why a picture was refused with 0, and that a file was incomplete. Returns 1 when
// written, the image library's code -1 .. -5 (for the caller to tell), or 0.
int convertToTemporaryBmp(platform::Ui& ui, const std::filesystem::path& source,
                          const std::filesystem::path& target);

// The reason message for the image library's codes -1 .. -5: reason, a blank line,
// the path, "Kann nicht geöffnet werden.". Empty for any other code.
std::string conversionMessage(int code, std::string_view fullPath);

// The file the intake reads a picture from: the picture itself for a BMP name,
// else its converted copy in the temporary directory.
std::filesystem::path intakeFile(const albums::PictureRow& row,
                                 const std::filesystem::path& tempDir);

enum class AddResult {
    Added,        // shown: the thumbnail window shows it, the status names it (an album
                  // file the store could not write was told; the picture stays in memory)
    AddedQuietly, // from a drop, a multi-file load or the scanner: selection cleared
    NotAdded,     // told to the user (or a depth we skip); the album is unchanged
};

// Pictures about to be added one after another, converted into their temporary
// copies beforehand on every core. The adds then take the results in their own
// order, so the album, its order and every message stay as for one file at a time.
class ConversionsAhead {
  public:
    ConversionsAhead();
    ~ConversionsAhead();
    ConversionsAhead(const ConversionsAhead&) = delete;
    ConversionsAhead& operator=(const ConversionsAhead&) = delete;

    // Converts those of `rows` (full path, display name) that are no BMP and have
    // no copy in `tempDir` yet; each copy once, however often its file is named.
    void run(std::span<const albums::PictureRow> rows, const std::filesystem::path& tempDir);

    struct Done; // a conversion's outcome and what it saw
    // The outcome for the copy `file`, taken out; nullptr when none was prepared.
    std::unique_ptr<Done> take(const std::filesystem::path& file);

  private:
    std::vector<std::pair<std::filesystem::path, std::unique_ptr<Done>>> m_done;
};

// Adds the picture in the staging row (row pictureCount) to the current album:
// reads it (through a temporary BMP when it is not one), makes its thumbnail, and
// has the store write it. `currentDirectory` is the open-files dialog's folder,
// which completes the full path unless the picture was dropped. On failure the
// staging entry is dropped and the pending files behind it move up one row.
// `ahead`: conversions prepared for this and the following pictures.
AddResult addStagedPicture(shell::AppState& state, albums::AlbumStore& store, platform::Ui& ui,
                           const std::filesystem::path& currentDirectory,
                           const std::filesystem::path& tempDir, ConversionsAhead* ahead = nullptr);

// Adds dropped files in order until the album is full (told once) or drive C: is
// short of space. Returns how many were added.
int addDroppedFiles(shell::AppState& state, albums::AlbumStore& store, platform::Ui& ui,
                    std::span<const std::filesystem::path> paths,
                    const std::filesystem::path& tempDir);

enum class DisplayResult {
    Shown,       // displayedPicture and the status text are set
    NoSelection, // nothing selected: nothing done
    Missing,     // the file is gone: told, selection and status cleared
    Failed,      // could not be loaded: told, no picture shown
};

// Loads the selected picture, turned by its rotation, as the displayed picture.
DisplayResult displayPicture(shell::AppState& state, platform::Ui& ui,
                             const std::filesystem::path& tempDir);
// The same for row `index`, the selection left as it is. `fileChanged`: the file is
// known to differ from what was shown of it, so no converted copy of it is used.
DisplayResult displayRow(shell::AppState& state, platform::Ui& ui,
                         const std::filesystem::path& tempDir, int index, bool fileChanged = false);

// Before the save dialog: something to save and room on drive C:.
bool canSaveAs(const shell::AppState& state, platform::Ui& ui);

// Saves the 1-up picture to `target`: the colour-adjusted copy when the colour
// dialog saves or one is present (once), else the picture unturned, copied or
// converted. In the 4-in-1 and 16-in-1 layouts the sheet as shown. False when
// nothing was written (the user was told).
bool saveAs(shell::AppState& state, platform::Ui& ui, const std::filesystem::path& target,
            const std::filesystem::path& tempDir);

} // namespace kv::intake
