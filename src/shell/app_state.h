#pragma once

#include "albums/album_state.h"
#include "platform/bitmap.h"
#include "platform/file_stamp.h"
#include "shell/displayed_picture.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace kv::shell {

enum class Layout { OneUp, FourUp, SixteenUp };

// A picture placed on the 4-in-1 sheet: what finds its file again.
struct SheetPicture {
    std::string fullPath;
    std::string displayName;
    int rotation = 0; // the album's quarter turns, shown and printed
};

// The one application state record of the run. Every window and command reads
// and writes it on the user-interface thread.
struct AppState {
    std::filesystem::path programDirectory; // ends with a separator

    albums::AlbumState albums;

    DisplayedPicture displayedPicture; // the loaded picture, rotated
    std::string statusText;            // "%s [%dX%d]" or empty
    Layout layout = Layout::OneUp;
    // The 4-in-1 or 16-in-1 sheet (640 x 480) the print window shows and a job
    // prints; empty in the 1-in-1 layout. The 4-in-1 quarters' pictures: upper
    // left, upper right, lower left, lower right.
    platform::Bitmap24 sheet;
    std::array<SheetPicture, 4> fourUpSlots;
    bool previewMode = false;
    bool fitToWindow = false;
    // "Druckansicht (Proof)": the print window shows the sheet from the levels a job
    // would send; and with it, colours no picture colour prints are hatched.
    bool proofView = false;
    bool markUnprintable = false;
    bool printBusy = false;
    bool debugMode = false;
    bool printerFound = false;
    bool adjustedPicturePresent = false;
    bool colourDialogSaving = false;

    // Picture intake.
    bool addedByDrop = false;
    bool addedByAcquisition = false;
    bool multiFileLoad = false;
    int multiFileCount = 0;
    int pendingFiles = 0;
    int rotationForNextPicture = 0;

    // The one way to put a picture on show: row `index` of the current album,
    // already turned by its rotation. The loaded index and the bitmap change
    // together, so what prints is what the window shows.
    void showPicture(int index, platform::Bitmap24 bitmap) {
        albums.setLoaded(index);
        displayedPicture = std::move(bitmap);
        m_shownFrom = {};
        if (const albums::PictureRow* row = loadedRow())
            m_shownFrom = {row->fullPath, row->rotation, platform::fileStamp(row->fullPath)};
    }
    // A picture on show that is no row of the album (a batch's from another list):
    // nothing is loaded, so no print takes another picture for it.
    void showUnlisted(platform::Bitmap24 bitmap) {
        albums.setLoaded(-1);
        displayedPicture = std::move(bitmap);
        m_shownFrom = {};
    }
    // A picture file from outside any album (a command line, a print server) as the
    // 1-in-1 sheet's loaded picture, unturned: the job prints it as the window would.
    void loadPictureFile(const SheetPicture& picture) {
        layout = Layout::OneUp;
        albums.pictures[0] = albums::PictureRow{};
        albums.pictures[0].fullPath = picture.fullPath;
        albums.pictures[0].displayName = picture.displayName;
        albums.pictureCount = 1;
        albums.select(0);
        albums.setLoaded(0);
    }
    // Nothing on show and nothing selected.
    void clearPicture() {
        albums.select(-1);
        dropPicture();
    }
    // Nothing on show; the selection stays.
    void dropPicture() {
        albums.setLoaded(-1);
        displayedPicture.reset();
        m_shownFrom = {};
        statusText.clear();
    }

    const albums::PictureRow* loadedRow() const {
        const int loaded = albums.loadedPicture();
        return loaded >= 0 ? &albums.pictures[std::size_t(loaded)] : nullptr;
    }
    // Whether the picture on show is still what its row would print: the same file,
    // unchanged, and the same turn. Another program may have turned the row or
    // replaced the file since.
    bool shownIsCurrent() const {
        const albums::PictureRow* row = loadedRow();
        return row && row->rotation == m_shownFrom.rotation && !shownFileChanged();
    }
    bool shownFileChanged() const {
        const albums::PictureRow* row = loadedRow();
        return !row || row->fullPath != m_shownFrom.file ||
               platform::fileStamp(row->fullPath) != m_shownFrom.stamp;
    }

  private:
    struct ShownFrom {
        std::string file;
        int rotation = 0;
        std::optional<platform::FileStamp> stamp;
    };
    ShownFrom m_shownFrom;
};

} // namespace kv::shell
