#pragma once

#include "albums/album_journal.h"
#include "albums/album_state.h"
#include "platform/directory_lock.h"
#include "platform/ui.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
    // Another program changed the album list: the tabs are to be built again from
    // albumNames (currentAlbum already points at the current album there).
    virtual void albumListChanged() {}
    // Another program changed the current album's pictures; the table, the
    // selected and the loaded index are already brought up to date (-1 / -2 when
    // their picture is gone).
    virtual void pictureTableReloaded() {}
};

struct FileMessages;

// How an album operation ended. Every outcome but Done and Cancelled has already
// been told to the user.
enum class StoreResult {
    Done,      // memory and files changed
    Refused,   // nothing changed, on disk or in memory (bad name, full album, bad
               // index, another program busy, a file that could not be written ...)
    Cancelled, // the user answered no
    NotSaved,  // the change holds in memory and is recorded on disk, but a file could
               // not be put in place yet; the next change of any program finishes it
};

// The albums on disk: album.dat, and per album "<name>.dat" (paths and display
// names) and "<name>.dat1" (thumbnails). Works on the albums' share of the
// application state and talks to the user only through the Ui.
//
// The window and kvphoto-cli change the same files, so every change takes the lock
// of the program directory (album.lock), reads album.dat and the albums it touches
// again, and applies itself to what is on disk; memory is then brought to match.
// The files of one change are put in place all at once through album.journal, so
// an interruption leaves either all old or all new files. Indexes passed in refer
// to the table in memory; a picture is found again by its path and display name.
// Messages are shown after the lock is released, events after the messages.
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

    // Appends the album, selects it and makes it current. Files left behind by a
    // deleted album of that name are removed, never adopted.
    StoreResult addAlbum(std::string_view name);
    // Renames the album and its files (leftovers under the new name go first).
    StoreResult renameAlbum(int index, std::string_view newName);
    // Asks the user first; then selects the next album (the previous one when the
    // last was deleted) and loads it.
    StoreResult deleteAlbum(int index);

    // Writes the picture in row pictureCount-1 (the count already includes it),
    // after the pictures on disk now: another program may have added some, and the
    // row (selected or loaded with it when it was) moves to
    // the end of the table as read. Its thumbnail is stored as it stands in the row
    // (already turned by the rotation). Refused (the album full, a path or display
    // name the name file cannot hold, a file that cannot be written), the row is
    // taken back out of the table into the staging place (row pictureCount).
    // Does not set pictureAdded.
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
    // The current album's files; empty when there is no current album.
    std::filesystem::path currentNameFile() const;
    std::filesystem::path currentDataFile() const;

    // Brings the album list and the current album's table up to what is on disk,
    // for when another program may have changed them (the window's file watcher).
    // Fires albumListChanged / pictureTableReloaded for what changed; a current
    // album that is gone makes album 0 current, as loadAlbum does. Returns whether
    // anything changed. Does nothing while another program holds the lock too long.
    bool syncFromDisk();

    // How long a change waits for another program's change to end (10 s).
    void setLockWait(std::chrono::milliseconds wait) { m_lockWait = wait; }
    // Runs between the looks while a change waits for another program's lock (a
    // window repaints in it; nothing in it may start another operation of the store).
    void setLockPump(std::function<void()> pump) { m_lockPump = std::move(pump); }
    // An operation is under way, perhaps waiting for the lock.
    bool busy() const { return m_lockDepth > 0; }
    // Called before every change to the program directory (tests).
    void setStepHook(StepHook hook) { m_stepHook = std::move(hook); }

  private:
    class Exclusive;
    enum class Event { AlbumLoaded, PictureRotated, AlbumListChanged, PictureTableReloaded };
    enum class TableRead { Ok, NameFileUnreadable, DataFileUnreadable };
    void tell(std::string_view text, platform::Ui::Icon icon);
    void notify(Event event, int index = -1);
    void flush();
    bool canChange();
    CommitStatus commit(const DirectoryChange& change, const FileMessages& failure);

    bool acceptNewName(std::string_view name);
    bool acceptPictureText(const PictureRow& row);
    bool readListFromDisk(std::vector<std::string>& names, bool& damaged) const;
    bool takeAlbumList(std::vector<std::string> names, bool damaged);
    std::optional<bool> startListChange(std::string_view unreadable, platform::Ui::Icon icon);
    TableRead readTable(const std::string& album, bool lenient, std::vector<PictureRow>& rows,
                        bool& damaged) const;
    bool takeTable(std::vector<PictureRow> rows, bool damaged);
    bool refreshCurrent(const FileMessages& failure);
    void showDefaultAlbum();

    const std::string& currentName() const;
    int startPictureChange(std::uint64_t picture, const FileMessages& failure);
    CommitStatus commitCurrentAlbum(const std::vector<const PictureRow*>& rows,
                                    const FileMessages& failure);
    void stagePair(DirectoryChange& change, const std::string& album,
                   const std::vector<const PictureRow*>& rows) const;
    void dropOldTempFile(DirectoryChange& change) const;
    void removeLeftovers(DirectoryChange& change, const std::string& album) const;
    std::vector<const PictureRow*> tableRows() const;
    void eraseRow(int index);
    void clearPictures();
    StoreResult transferPicture(int index, int targetAlbum, bool move);

    AlbumState& m_state;
    platform::Ui& m_ui;
    std::filesystem::path m_dir;
    AlbumEvents* m_events;
    std::string m_defaultName = "My_Album";
    std::chrono::milliseconds m_lockWait{10000};
    StepHook m_stepHook;
    std::function<void()> m_lockPump;

    // The lock and what waits for its release; nested scopes share them.
    int m_lockDepth = 0;
    std::optional<platform::DirectoryLock> m_lock;
    platform::DirectoryLock::Status m_lockStatus = platform::DirectoryLock::Status::Unavailable;
    bool m_recovered = false;
    std::vector<std::pair<std::string, platform::Ui::Icon>> m_pendingMessages;
    std::vector<std::pair<Event, int>> m_pendingEvents;
};

} // namespace kv::albums
