#pragma once

#include "platform/bitmap.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace kv::albums {

inline constexpr int kMaxAlbums = 100;        // rows of the album table
inline constexpr int kMaxPictures = 99;       // pictures per album
inline constexpr int kPictureRows = 100;      // picture table rows (one staging row)
inline constexpr int kMaxAlbumNameBytes = 49; // album names
inline constexpr int kMaxPathBytes = 127;     // full paths and display names

struct PictureRow {
    std::string fullPath;         // as the picture was added
    std::string displayName;      // file name with extension
    platform::Bitmap24 thumbnail; // as shown and stored: already turned by rotation
    int rotation = 0;             // quarter turns clockwise, 0..3
    // Who the row is in this run (0: not asked for yet). The album files have no
    // such field: a reload hands it on to the row it finds the same picture in, so
    // two rows of one file are told apart by where they stand among their equals.
    std::uint64_t id = 0;
};

// A new row identity, never given before in this process.
inline std::uint64_t newPictureId() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

enum class AlbumChangeMode { Idle = 0, Switching = 1, Adding = 2, Deleting = 3 };

// The albums' share of the application state: album list, the current album's
// picture table, selection, and the change flags the sheet composition and batch
// printing watch.
struct AlbumState {
    std::vector<std::string> albumNames; // album.dat order; [0] is the default album
    int currentAlbum = 0;
    AlbumChangeMode changeMode = AlbumChangeMode::Idle;
    bool albumJustChanged = false;

    std::array<PictureRow, kPictureRows> pictures; // [pictureCount] is the staging row
    int pictureCount = 0;

    // The selected picture and the one loaded into the print window, as rows: they
    // follow their rows through every reload, move and delete and are gone with them.
    int selectedPicture() const { return indexOf(m_selected, -1); } // -1: none
    int loadedPicture() const { return indexOf(m_loaded, -2); }     // -2: none
    void select(int index) { m_selected = idAt(index); }            // out of range: none
    // Changes with the picture on show only: AppState's showPicture, loadPictureFile
    // and clearPicture are the program's callers.
    void setLoaded(int index) { m_loaded = idAt(index); }

    bool pictureAdded = false;
    bool pictureDeleted = false;
    bool pictureRotated = false;
    bool pictureMoved = false;

    int albumCount() const { return static_cast<int>(albumNames.size()); }
    // The tab bar's delete button: the default album alone cannot be deleted.
    bool canDeleteAlbum() const { return albumCount() > 1; }
    bool anyChangeFlag() const {
        return pictureAdded || pictureDeleted || pictureRotated || pictureMoved;
    }
    void clearChangeFlags() {
        pictureAdded = pictureDeleted = pictureRotated = pictureMoved = false;
    }

    // The identity of row `index` (given now when it has none); 0 for no row. The
    // staging row behind the table counts: a picture being added is selected there.
    std::uint64_t idAt(int index) {
        if (index < 0 || index >= kPictureRows)
            return 0;
        std::uint64_t& id = pictures[std::size_t(index)].id;
        if (id == 0)
            id = newPictureId();
        return id;
    }
    // Where the row with that identity is now, or `none`.
    int indexOf(std::uint64_t id, int none = -1) const {
        if (id == 0)
            return none;
        for (int i = 0; i < pictureCount; ++i)
            if (pictures[std::size_t(i)].id == id)
                return i;
        return none;
    }

  private:
    std::uint64_t m_selected = 0;
    std::uint64_t m_loaded = 0;
};

} // namespace kv::albums
