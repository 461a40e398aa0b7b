#pragma once

#include "platform/bitmap.h"

#include <array>
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
};

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
    int selectedPicture = -1; // -1: none
    int loadedPicture = -2;   // -2: none

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
};

// A row of the picture table by what it holds, to find it again after the table
// was read anew (another program may have added or removed rows).
struct PictureKey {
    int index = -1; // -1: no picture
    std::string fullPath;
    std::string displayName;
};

inline PictureKey pictureKeyOf(const AlbumState& albums, int index) {
    if (index < 0 || index >= albums.pictureCount)
        return {};
    const PictureRow& row = albums.pictures[static_cast<std::size_t>(index)];
    return {index, row.fullPath, row.displayName};
}

// Where the picture is now: at its old index when that row still holds it, else
// the first row that does; -1 when it is gone (or the key names none).
inline int findPicture(const AlbumState& albums, const PictureKey& key) {
    if (key.index < 0)
        return -1;
    const auto holds = [&](int i) {
        const PictureRow& row = albums.pictures[static_cast<std::size_t>(i)];
        return row.fullPath == key.fullPath && row.displayName == key.displayName;
    };
    if (key.index < albums.pictureCount && holds(key.index))
        return key.index;
    for (int i = 0; i < albums.pictureCount; ++i)
        if (holds(i))
            return i;
    return -1;
}

} // namespace kv::albums
