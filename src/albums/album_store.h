#pragma once

#include "albums/album_state.h"
#include "platform/ui.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kv::albums {

// What the windows do when the album store changes what they show. The store
// calls these; the main window repaints, clears the status text, releases the
// displayed picture and so on.
class AlbumEvents {
  public:
    virtual ~AlbumEvents() = default;
    // A (possibly empty) album was loaded: nothing is selected, the displayed
    // picture is gone, the thumbnail window scrolls to the top.
    virtual void albumLoaded() {}
    // The picture at index was turned; its thumbnail cell needs repainting and the
    // colour-adjusted copy is no longer valid.
    virtual void pictureRotated(int /*index*/) {}
};

// How an album operation ended. Every outcome but Done and Cancelled has already
// been told to the user.
enum class StoreResult {
    Done,      // memory and files changed
    Refused,   // nothing changed (bad name, full album, bad index ...)
    Cancelled, // the user answered no
    NotSaved,  // the change holds in memory, a file could not be written
};

// The albums on disk: album.dat, and per album "<name>.dat" (paths and display
// names) and "<name>.dat1" (thumbnails). Works on the albums' share of the
// application state and talks to the user only through the Ui. Every file is
// rewritten whole through a temporary file, so an interruption never leaves half
// of one; the data file is always written from the picture table, which keeps its
// records in step with the name file.
class AlbumStore {
  public:
    AlbumStore(AlbumState& state, platform::Ui& ui, std::filesystem::path programDirectory,
               AlbumEvents* events = nullptr);

    // Fills the album list from album.dat. When the file does not exist it is
    // created holding only `defaultName` ("My_Album" from the tab bar at first
    // start). Returns false when the list cannot be read or created; the list then
    // holds `defaultName` alone for this run.
    bool readAlbumList(std::string_view defaultName);

    // Makes the album the current one and fills the picture table from its files
    // (Adding: only empties the table). Returns false when nothing was loaded: a
    // switch to the current album right after a picture change, or a bad index.
    bool loadAlbum(int index, AlbumChangeMode mode = AlbumChangeMode::Switching);

    // Appends the album, selects it and makes it current.
    StoreResult addAlbum(std::string_view name);
    StoreResult renameAlbum(int index, std::string_view newName);
    // Asks the user first; then selects the next album (the previous one when the
    // last was deleted) and loads it.
    StoreResult deleteAlbum(int index);

    // Writes the picture in row pictureCount-1 (the count already includes it).
    // Its thumbnail is stored as it stands in the row (already turned by the
    // rotation). A path or display name the name file cannot hold is refused and
    // the row is taken back out of the table. Does not set pictureAdded.
    StoreResult appendPicture();
    // Does not set pictureDeleted (the delete command does, before asking).
    StoreResult deletePicture(int index);
    // Sets pictureRotated; index -1 (nothing selected) is told to the user.
    StoreResult rotatePicture(int index);
    // Both set pictureMoved when the current album still has pictures.
    StoreResult copyPicture(int index, int targetAlbum);
    StoreResult movePicture(int index, int targetAlbum);
    // A picture dropped on another album's tab: asks whether to copy (or move) it
    // there, then does so. Cancelled when the answer is not yes.
    StoreResult dropPictureOnAlbum(int index, int targetAlbum, bool copy);

    // Empty when the album name could reach outside the program directory.
    std::filesystem::path nameFile(std::string_view album) const;
    std::filesystem::path dataFile(std::string_view album) const;
    std::filesystem::path listFile() const;

  private:
    bool acceptNewName(std::string_view name);
    bool writeAlbumList();
    bool writeNameFile();
    bool writeDataFile();
    void readPictures(const std::string& album);
    void clearPictures();
    StoreResult removePicture(int index);
    StoreResult transferPicture(int index, int targetAlbum, bool move);
    bool acceptPictureText(const PictureRow& row);

    AlbumState& m_state;
    platform::Ui& m_ui;
    std::filesystem::path m_dir;
    AlbumEvents* m_events;
};

} // namespace kv::albums
