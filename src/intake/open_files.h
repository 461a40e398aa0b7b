#pragma once

#include "albums/album_store.h"
#include "platform/bitmap.h"
#include "platform/rect.h"
#include "platform/ui.h"
#include "shell/app_state.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The open-files dialog's logic: type filters, file and folder lists, the drives,
// the preview of the selected file and what "Laden" hands to the open command.
namespace kv::intake {

struct TypeFilter {
    std::string_view entry;    // as the type combo shows it
    std::string_view patterns; // separated by ","
};

// In the combo's order, which is also its index. "Supported Format", the default,
// comes last; the names only pick what the list shows, the picture's content tells
// its format.
inline constexpr std::array<TypeFilter, 14> kTypeFilters{{
    {"*.*", "*.*"},
    {"*.BMP", "*.BMP"},
    {"*.GIF", "*.GIF"},
    {"*.JPG", "*.JPG"},
    {"*.PCX", "*.PCX"},
    {"*.PNG", "*.PNG"},
    {"*.TGA", "*.TGA"},
    {"*.TIF", "*.TIF"},
    {"*.WEBP", "*.WEBP"},
    {"*.HEIC", "*.HEIC,*.HEIF,*.HIF"},
    {"*.AVIF", "*.AVIF"},
    {"*.JXL", "*.JXL"},
    {"Kamera-RAW", "*.DNG,*.CR2,*.CR3,*.NEF,*.ARW,*.ORF,*.RW2,*.RAF"},
    {"Supported Format", "*.BMP,*.TIF,*.GIF,*.TGA,*.PCX,*.JPG,*.PNG,*.WEBP,*.HEIC,*.HEIF,*.HIF,"
                         "*.AVIF,*.JXL,*.DNG,*.CR2,*.CR3,*.NEF,*.ARW,*.ORF,*.RW2,*.RAF"},
}};
// The last entry, every format the program reads.
inline constexpr int kDefaultTypeFilter = int(kTypeFilters.size()) - 1;

// What the dialog keeps from one use to the next, for the whole run.
struct OpenFilesMemory {
    int typeFilter = kDefaultTypeFilter;
};

// A file name against one pattern of "*" and "?", without regard to ASCII case.
// "*.*" takes every name, also one without ".", as the "all files" entry promises.
bool matchesPattern(std::string_view name, std::string_view pattern);

// The ordinary files of `folder` that match one of `patterns` (separated by ","),
// sorted without regard to case. Hidden files (a leading ".") are left out.
std::vector<std::string> matchingFiles(const std::filesystem::path& folder,
                                       std::string_view patterns);

// One line of the folder list.
struct FolderLine {
    std::string text;           // "/" for the root, else the folder's own name
    std::filesystem::path path; // the folder the line opens
    int level = 0;              // 0 for the root; a subfolder is one below the folder
    bool onPath = false;        // a level of the folder's path, not a subfolder
};

// The lines of `folder` (absolute): one per level from the root down to the folder,
// then its subfolders in alphabetical order (hidden ones left out).
std::vector<FolderLine> folderLines(const std::filesystem::path& folder);

// The drive list's icon kinds.
enum class DriveIcon : int { Removable = 1, Fixed = 2, CdRom = 3, Remote = 4 };

struct Drive {
    std::string mountPoint; // also the text the drive list shows
    DriveIcon icon = DriveIcon::Fixed;
    friend bool operator==(const Drive&, const Drive&) = default;
};

// The drives in the text of /proc/self/mounts: the root "/" first, then every
// mounted volume a user keeps files on, by mount point. Pseudo file systems and
// the system's own trees (/proc, /sys, /dev, /run but /run/media) are left out.
std::vector<Drive> parseMounts(std::string_view mounts);

// The drives of this machine; at least the root.
std::vector<Drive> mountedDrives();

// The index of the drive that holds `folder` (the longest mount point above it);
// 0, the root, when none does, and npos for an empty list.
std::size_t driveOf(const std::vector<Drive>& drives, const std::filesystem::path& folder);

// A folder can be made the current one when its entries can be listed.
bool folderReady(const std::filesystem::path& folder);

// Where the dialog ends up after a change of drive or folder.
struct FolderPick {
    std::filesystem::path folder;
    std::size_t drive = 0;
};

// The root of drives[index]; while it is not ready the user is asked to check it:
// OK tries again, Cancel goes back to the root "/".
FolderPick changeDrive(const std::vector<Drive>& drives, std::size_t index, platform::Ui& ui);

// A folder line was opened: the folder, else its drive's root, else a change to
// that drive.
FolderPick openFolder(const std::vector<Drive>& drives, const std::filesystem::path& wanted,
                      platform::Ui& ui);

// Where a picture of pictureWidth x pictureHeight stands in a preview of
// clientWidth x clientHeight: inside a 2-unit border with 2 more units kept free,
// reduced to fit but never enlarged, centred. Empty when nothing fits.
platform::Rect previewPlacement(int pictureWidth, int pictureHeight, int clientWidth,
                                int clientHeight);

// The places the dialog's work reads and writes: the temporary directory, drive
// C:'s free space and the drives. Tests put their own in.
struct OpenFilesEnvironment {
    std::filesystem::path tempDir;
    std::function<std::optional<std::uint64_t>()> freeBytes;
    std::function<std::vector<Drive>()> drives;

    static OpenFilesEnvironment program();
};

// The dialog's state from its opening to "Laden" or "Abbrechen": the preview of
// the one selected file, the buttons it allows, and the rows "Laden" stages. The
// quarter turns and the multi-file flag and count are kept in the application state.
class OpenFilesModel {
  public:
    // Clears the multi-file flag and count, as every opening of the dialog does.
    OpenFilesModel(shell::AppState& state, platform::Ui& ui, OpenFilesEnvironment environment);

    // The file list was filled anew, so nothing is selected: no preview, no loading.
    void clearSelection();

    // The selection of the file list changed to `names` (in list order) in `folder`.
    void selectionChanged(const std::filesystem::path& folder,
                          const std::vector<std::string>& names);

    // "&Rotieren": one more quarter turn clockwise.
    void rotate();

    // "Laden": stages the chosen files for the open command. One file: its display
    // name in the staging row, converted into the temporary directory unless it is
    // a BMP or was converted before. Several: one row each behind the pictures,
    // until the album holds 99. False when nothing is to be added (told here).
    bool load(const std::filesystem::path& folder, const std::vector<std::string>& names);

    bool loadEnabled() const { return m_loadEnabled; }
    bool rotateEnabled() const { return m_rotateEnabled; }
    bool severalSelected() const { return m_state.multiFileLoad; }
    const platform::Bitmap24& preview() const { return m_preview; }
    int previewBits() const { return m_previewBits; }
    const std::string& info() const { return m_info; }
    // The selected file as the list shows it; after "Laden" of a picture that is
    // not a BMP, the name of its converted copy.
    const std::string& selectedFile() const { return m_selected; }
    // The preview as shown, turned by the quarter turns; the model keeps none.
    platform::Bitmap24 takePreview();

  private:
    void dropPreview();

    shell::AppState& m_state;
    platform::Ui& m_ui;
    OpenFilesEnvironment m_environment;
    std::string m_selected;
    bool m_singleSelected = false;
    platform::Bitmap24 m_preview;
    int m_previewBits = 0;
    std::string m_info;
    bool m_loadEnabled = false;
    bool m_rotateEnabled = false;
};

// The open command after "Laden": several files are added one by one from the rows
// the dialog staged (free space checked before each, stopping when the album is
// full); one file is added with `preview` as the displayed picture. Returns how
// many pictures were added.
int addOpenedFiles(shell::AppState& state, albums::AlbumStore& store, platform::Ui& ui,
                   const std::filesystem::path& folder, const OpenFilesEnvironment& environment,
                   platform::Bitmap24 preview);

} // namespace kv::intake
