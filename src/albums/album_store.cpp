#include "albums/album_store.h"

#include "albums/album_files.h"
#include "albums/album_messages.h"
#include "albums/album_window_texts.h"
#include "platform/ascii.h"
#include "platform/atomic_file.h"

#include <algorithm>
#include <iterator>
#include <span>
#include <utility>

namespace kv::albums {

namespace fs = std::filesystem;
using Icon = platform::Ui::Icon;
using LockStatus = platform::DirectoryLock::Status;

namespace {

constexpr std::string_view kListFileName = "album.dat";
constexpr std::string_view kReservedName = "ALBUM";
// The earlier program rewrote data files through this name; a copy left behind by
// an interrupted rewrite is of no use any more.
constexpr std::string_view kOldTempName = "aaaa";

bool fileExists(const fs::path& path) {
    std::error_code ec;
    return !path.empty() && fs::exists(fs::symlink_status(path, ec));
}

std::string nameFileName(std::string_view album) {
    return std::string(album) + ".dat";
}

std::string dataFileName(std::string_view album) {
    return std::string(album) + ".dat1";
}

bool sameRow(const PictureRow& a, const PictureRow& b) {
    return a.fullPath == b.fullPath && a.displayName == b.displayName && a.rotation == b.rotation &&
           a.thumbnail.width == b.thumbnail.width && a.thumbnail.height == b.thumbnail.height &&
           a.thumbnail.pixels == b.thumbnail.pixels;
}

// For each old row, the new row that holds the same picture (-1: gone). The rows keep
// their order, so the two tables are aligned as a text comparison aligns lines: most
// rows of the same file and name kept, and among those, most with the same turn. Rows
// of one file are so told apart by their order, and a turned row is still found.
std::vector<int> matchRows(std::span<const PictureRow> before, std::span<const PictureRow> after) {
    const std::size_t n = before.size();
    const std::size_t m = after.size();
    const auto score = [&](std::size_t i, std::size_t j) {
        const PictureRow& a = before[i];
        const PictureRow& b = after[j];
        if (a.fullPath != b.fullPath || a.displayName != b.displayName)
            return 0;
        return a.rotation == b.rotation ? 3 : 2;
    };
    // best[i][j]: the best alignment of before[i..] with after[j..].
    std::vector<int> best((n + 1) * (m + 1), 0);
    const auto at = [&](std::size_t i, std::size_t j) -> int& { return best[i * (m + 1) + j]; };
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;) {
            const int s = score(i, j);
            at(i, j) = std::max({at(i + 1, j), at(i, j + 1), s > 0 ? s + at(i + 1, j + 1) : 0});
        }
    std::vector<int> found(n, -1);
    for (std::size_t i = 0, j = 0; i < n && j < m;) {
        const int s = score(i, j);
        if (s > 0 && at(i, j) == s + at(i + 1, j + 1)) {
            found[i++] = static_cast<int>(j++);
        } else if (at(i, j) == at(i + 1, j)) {
            ++i;
        } else {
            ++j;
        }
    }
    return found;
}

} // namespace

// What the user is told when a file of a change cannot be read or written.
struct FileMessages {
    std::string_view nameFile;
    std::string_view dataFile;
    std::string_view other; // album.dat, the journal
    Icon icon;
};

namespace {

const FileMessages kAppendFailure{msg::kNameFileNotSaved, msg::kDataFileNotSaved,
                                  msg::kDataFileNotSaved, Icon::Information};
const FileMessages kRewriteFailure{msg::kNameFileNotSaved, msg::kDataFileNotUpdated,
                                   msg::kDataFileNotUpdated, Icon::Information};
const FileMessages kTransferFailure{msg::kCannotMove, msg::kCannotMove, msg::kCannotMove,
                                    Icon::Information};
const FileMessages kAddFailure{msg::kAlbumNotLoaded, msg::kAlbumNotLoaded, msg::kAlbumNotLoaded,
                               Icon::Information};
const FileMessages kRenameFailure{msg::kListNotOpened, msg::kListNotOpened, msg::kListNotOpened,
                                  Icon::Exclamation};
const FileMessages kDeleteFailure{msg::kAlbumNotLoaded, msg::kAlbumNotLoaded, msg::kAlbumNotLoaded,
                                  Icon::Exclamation};

} // namespace

// The lock of the program directory for one operation. The outermost scope takes
// it and finishes an interrupted change; at its end the lock goes first, then the
// user is told and the windows hear of the changes, so no question or message box
// ever keeps another program waiting.
class AlbumStore::Exclusive {
  public:
    explicit Exclusive(AlbumStore& store) : m_store(store) {
        if (m_store.m_lockDepth++ > 0)
            return;
        m_store.m_lock.emplace(m_store.m_dir / kLockFileName, m_store.m_lockWait,
                               m_store.m_lockPump);
        m_store.m_lockStatus = m_store.m_lock->status();
        m_store.m_recovered = m_store.m_lockStatus == LockStatus::Held &&
                              AlbumJournal(m_store.m_dir, m_store.m_stepHook).recover();
    }
    ~Exclusive() {
        if (--m_store.m_lockDepth > 0)
            return;
        m_store.m_lock.reset();
        m_store.flush();
    }
    Exclusive(const Exclusive&) = delete;
    Exclusive& operator=(const Exclusive&) = delete;

  private:
    AlbumStore& m_store;
};

AlbumStore::AlbumStore(AlbumState& state, platform::Ui& ui, fs::path programDirectory,
                       AlbumEvents* events)
    : m_state(state), m_ui(ui), m_dir(std::move(programDirectory)), m_events(events) {}

fs::path AlbumStore::listFile() const {
    return m_dir / kListFileName;
}

fs::path AlbumStore::nameFile(std::string_view album) const {
    return isSafeFileStem(album) ? m_dir / nameFileName(album) : fs::path();
}

fs::path AlbumStore::dataFile(std::string_view album) const {
    return isSafeFileStem(album) ? m_dir / dataFileName(album) : fs::path();
}

fs::path AlbumStore::currentNameFile() const {
    const int current = m_state.currentAlbum;
    if (current < 0 || current >= m_state.albumCount())
        return {};
    return nameFile(m_state.albumNames[static_cast<std::size_t>(current)]);
}

fs::path AlbumStore::currentDataFile() const {
    const int current = m_state.currentAlbum;
    if (current < 0 || current >= m_state.albumCount())
        return {};
    return dataFile(m_state.albumNames[static_cast<std::size_t>(current)]);
}

void AlbumStore::tell(std::string_view text, Icon icon) {
    if (m_lockDepth > 0)
        m_pendingMessages.emplace_back(std::string(text), icon);
    else
        m_ui.message(text, icon);
}

void AlbumStore::notify(Event event, int index) {
    m_pendingEvents.emplace_back(event, index);
    if (m_lockDepth == 0)
        flush();
}

void AlbumStore::flush() {
    // Taken out first: a window answering an event may start the next operation.
    const auto messages = std::exchange(m_pendingMessages, {});
    const auto events = std::exchange(m_pendingEvents, {});
    for (const auto& [text, icon] : messages)
        m_ui.message(text, icon);
    if (!m_events)
        return;
    for (const auto& [event, index] : events) {
        switch (event) {
        case Event::AlbumLoaded:
            m_events->albumLoaded();
            break;
        case Event::PictureRotated:
            m_events->pictureRotated(index);
            break;
        case Event::AlbumListChanged:
            m_events->albumListChanged();
            break;
        case Event::PictureTableReloaded:
            m_events->pictureTableReloaded();
            break;
        }
    }
}

// Inside an Exclusive scope: may files change now? Told when not.
bool AlbumStore::canChange() {
    switch (m_lockStatus) {
    case LockStatus::TimedOut:
        tell(msg::kAlbumsBusy, Icon::Exclamation);
        return false;
    case LockStatus::Unavailable:
        // No lock file can be made (a read-only folder, a file system without
        // locks): go on as a single program would; writes fail by themselves.
        return true;
    case LockStatus::Held:
        break;
    }
    if (!m_recovered) {
        tell(msg::kChangeUnfinished, Icon::Exclamation);
        return false;
    }
    return true;
}

CommitStatus AlbumStore::commit(const DirectoryChange& change, const FileMessages& failure) {
    const CommitResult result = AlbumJournal(m_dir, m_stepHook).commit(change);
    std::string_view text = failure.other;
    if (result.failedFile.ends_with(".dat1"))
        text = failure.dataFile;
    else if (result.failedFile.ends_with(".dat") && result.failedFile != kListFileName)
        text = failure.nameFile;
    if (result.status != CommitStatus::Done)
        tell(text, failure.icon);
    return result.status;
}

// --- Reading what is on disk -----------------------------------------------------

// The first steps of a change of the album list, inside the lock: the list as it
// is on disk now taken into memory. nullopt when no change can be made (told; an
// unreadable list with `unreadable`); else whether the current album is still listed.
std::optional<bool> AlbumStore::startListChange(std::string_view unreadable, Icon icon) {
    if (!canChange())
        return std::nullopt;
    std::vector<std::string> names;
    bool damaged = false;
    if (!readListFromDisk(names, damaged)) {
        tell(unreadable, icon);
        return std::nullopt;
    }
    return takeAlbumList(std::move(names), damaged);
}

bool AlbumStore::readListFromDisk(std::vector<std::string>& names, bool& damaged) const {
    std::string bytes;
    if (!platform::readFile(listFile(), bytes))
        return false;
    AlbumList list = parseAlbumList(bytes);
    if (list.names.empty())
        list.names.emplace_back(m_defaultName);
    names = std::move(list.names);
    damaged = list.damaged;
    return true;
}

// Returns false when the current album is no longer listed; album 0 is then current
// by index, and the caller loads it.
bool AlbumStore::takeAlbumList(std::vector<std::string> names, bool damaged) {
    if (names == m_state.albumNames)
        return true;
    const int current = m_state.currentAlbum;
    const bool hadCurrent = current >= 0 && current < m_state.albumCount();
    const std::string currentName = hadCurrent ? m_state.albumNames[std::size_t(current)] : "";
    m_state.albumNames = std::move(names);
    notify(Event::AlbumListChanged);
    if (damaged)
        tell(msg::kAlbumListDamaged, Icon::Exclamation);
    for (int i = 0; i < m_state.albumCount(); ++i) {
        if (m_state.albumNames[std::size_t(i)] == currentName) {
            m_state.currentAlbum = i;
            return true;
        }
    }
    m_state.currentAlbum = 0;
    return false;
}

// Lenient (loading an album): a name file that cannot be read is an empty album and
// a data file that cannot be read costs the thumbnails. Strict (before a change): an
// existing file that cannot be read stops the change, which would otherwise write
// over pictures it never saw.
AlbumStore::TableRead AlbumStore::readTable(const std::string& album, bool lenient,
                                            std::vector<PictureRow>& rows, bool& damaged) const {
    rows.clear();
    damaged = false;
    const fs::path names = nameFile(album);
    std::string nameBytes;
    if (!platform::readFile(names, nameBytes))
        return lenient || !fileExists(names) ? TableRead::Ok : TableRead::NameFileUnreadable;
    const fs::path data = dataFile(album);
    std::string dataBytes;
    if (!platform::readFile(data, dataBytes)) {
        if (!lenient && fileExists(data))
            return TableRead::DataFileUnreadable;
        dataBytes.clear();
    }
    AlbumFiles files = pairAlbumFiles(nameBytes, dataBytes);
    rows.reserve(files.entries.size());
    for (AlbumEntry& entry : files.entries) {
        PictureRow& row = rows.emplace_back();
        row.fullPath = std::move(entry.name.fullPath);
        row.displayName = std::move(entry.name.displayName);
        row.thumbnail = recordThumbnail(entry.record);
        row.rotation = entry.record.rotation;
    }
    damaged = files.damaged;
    return TableRead::Ok;
}

// Makes `rows` the current table when they differ from it. The rows behind the table
// belong to the picture intake (the staging row, files still to add) and move along
// behind the new table. Each old row hands its identity on to the row it is found in,
// so the selected and the loaded picture follow their rows.
bool AlbumStore::takeTable(std::vector<PictureRow> rows, bool damaged) {
    const int count = m_state.pictureCount;
    const int newCount = static_cast<int>(rows.size());
    if (newCount == count &&
        std::equal(rows.begin(), rows.end(), m_state.pictures.begin(), sameRow))
        return false;

    const std::vector<int> found =
        matchRows(std::span(m_state.pictures.data(), std::size_t(count)), rows);
    for (int i = 0; i < count; ++i)
        if (found[std::size_t(i)] >= 0)
            rows[std::size_t(found[std::size_t(i)])].id = m_state.pictures[std::size_t(i)].id;

    std::vector<PictureRow> tail(std::make_move_iterator(m_state.pictures.begin() + count),
                                 std::make_move_iterator(m_state.pictures.end()));
    for (int i = 0; i < kPictureRows; ++i) {
        PictureRow& row = m_state.pictures[std::size_t(i)];
        const std::size_t behind = std::size_t(i - newCount);
        if (i < newCount)
            row = std::move(rows[std::size_t(i)]);
        else
            row = behind < tail.size() ? std::move(tail[behind]) : PictureRow{};
    }
    m_state.pictureCount = newCount;
    notify(Event::PictureTableReloaded);
    if (damaged)
        tell(msg::kAlbumFileDamaged, Icon::Exclamation);
    return true;
}

// Before a change of the current album: the list and the table as on disk now.
// False (told) when the change cannot go on.
bool AlbumStore::refreshCurrent(const FileMessages& failure) {
    std::vector<std::string> names;
    bool damaged = false;
    // An unreadable list does not stop a change of the pictures: it keeps the
    // albums as they are known.
    if (readListFromDisk(names, damaged) && !takeAlbumList(std::move(names), damaged)) {
        tell(msg::kAlbumGone, Icon::Information);
        showDefaultAlbum();
        return false;
    }
    std::vector<PictureRow> rows;
    switch (readTable(currentName(), false, rows, damaged)) {
    case TableRead::NameFileUnreadable:
        tell(failure.nameFile, failure.icon);
        return false;
    case TableRead::DataFileUnreadable:
        tell(failure.dataFile, failure.icon);
        return false;
    case TableRead::Ok:
        break;
    }
    takeTable(std::move(rows), damaged);
    return true;
}

void AlbumStore::showDefaultAlbum() {
    m_state.currentAlbum = 0;
    loadAlbum(0, AlbumChangeMode::Deleting);
}

const std::string& AlbumStore::currentName() const {
    static const std::string kNone;
    const int current = m_state.currentAlbum;
    return current >= 0 && current < m_state.albumCount() ? m_state.albumNames[std::size_t(current)]
                                                          : kNone;
}

std::vector<const PictureRow*> AlbumStore::tableRows() const {
    std::vector<const PictureRow*> rows;
    for (int i = 0; i < m_state.pictureCount; ++i)
        rows.push_back(&m_state.pictures[std::size_t(i)]);
    return rows;
}

// --- Writing ---------------------------------------------------------------------

// The album's two files as one pair: both written from the same rows, or both gone
// when there are none (an empty album has no files).
// The first steps of a change of one picture, inside the lock: the current album
// read again and the picture found in it. -1 when no change can be made (told).
int AlbumStore::startPictureChange(std::uint64_t picture, const FileMessages& failure) {
    if (!canChange() || !refreshCurrent(failure))
        return -1;
    const int at = m_state.indexOf(picture);
    if (at < 0)
        tell(msg::kPictureGone, Icon::Information);
    return at;
}

// The current album's name and data file rewritten from `rows`, as one change.
CommitStatus AlbumStore::commitCurrentAlbum(const std::vector<const PictureRow*>& rows,
                                            const FileMessages& failure) {
    DirectoryChange change;
    stagePair(change, currentName(), rows);
    dropOldTempFile(change);
    return commit(change, failure);
}

void AlbumStore::stagePair(DirectoryChange& change, const std::string& album,
                           const std::vector<const PictureRow*>& rows) const {
    if (rows.empty()) {
        change.remove(nameFileName(album));
        change.remove(dataFileName(album));
        return;
    }
    std::vector<NameEntry> entries;
    std::string data;
    entries.reserve(rows.size());
    for (const PictureRow* row : rows) {
        entries.push_back({row->fullPath, row->displayName});
        appendRecord(data, row->thumbnail, row->rotation);
    }
    change.write(nameFileName(album), formatNameFile(entries));
    change.write(dataFileName(album), std::move(data));
}

void AlbumStore::dropOldTempFile(DirectoryChange& change) const {
    const bool listed = std::find(m_state.albumNames.begin(), m_state.albumNames.end(),
                                  kOldTempName) != m_state.albumNames.end();
    if (!listed && fileExists(dataFile(kOldTempName)))
        change.remove(dataFileName(kOldTempName));
}

// Files of an album no list names (deleted while its files could not go, or by an
// earlier program) must not become a new album's pictures.
void AlbumStore::removeLeftovers(DirectoryChange& change, const std::string& album) const {
    for (const std::string& file : {nameFileName(album), dataFileName(album)})
        if (fileExists(m_dir / file))
            change.remove(file);
}

void AlbumStore::clearPictures() {
    for (PictureRow& row : m_state.pictures)
        row = PictureRow{};
    m_state.pictureCount = 0;
}

// Takes the row out of the table as a delete does: the rows behind move up, the
// selection goes to the row now there, or to the new last row.
void AlbumStore::eraseRow(int index) {
    const int count = m_state.pictureCount;
    for (int i = index; i < count - 1; ++i)
        m_state.pictures[std::size_t(i)] = std::move(m_state.pictures[std::size_t(i + 1)]);
    m_state.pictures[std::size_t(count - 1)] = PictureRow{};
    m_state.pictureCount = count - 1;
    m_state.select(index < count - 1 ? index : count - 2);
}

// --- Album list ------------------------------------------------------------------

bool AlbumStore::readAlbumList(std::string_view defaultName) {
    m_defaultName = std::string(defaultName);
    Exclusive lock(*this);
    if (!fileExists(listFile())) {
        m_state.albumNames = {m_defaultName};
        m_state.currentAlbum = 0;
        if (!canChange())
            return false;
        DirectoryChange change;
        change.write(std::string(kListFileName), formatAlbumList(m_state.albumNames));
        return AlbumJournal(m_dir, m_stepHook).commit(change).status != CommitStatus::NotWritten;
    }
    std::vector<std::string> names;
    bool damaged = false;
    if (!readListFromDisk(names, damaged)) {
        m_state.albumNames = {m_defaultName};
        m_state.currentAlbum = 0;
        return false;
    }
    if (damaged)
        tell(msg::kAlbumListDamaged, Icon::Exclamation);
    m_state.albumNames = std::move(names);
    if (m_state.currentAlbum < 0 || m_state.currentAlbum >= m_state.albumCount())
        m_state.currentAlbum = 0;
    return true;
}

bool AlbumStore::syncFromDisk() {
    Exclusive lock(*this);
    if (m_lockStatus == LockStatus::TimedOut)
        return false;
    std::vector<std::string> names;
    bool damaged = false;
    bool changed = false;
    if (readListFromDisk(names, damaged)) {
        changed = names != m_state.albumNames;
        if (!takeAlbumList(std::move(names), damaged)) {
            showDefaultAlbum();
            return true;
        }
    }
    std::vector<PictureRow> rows;
    if (readTable(currentName(), false, rows, damaged) == TableRead::Ok)
        changed = takeTable(std::move(rows), damaged) || changed;
    return changed;
}

bool AlbumStore::loadAlbum(int index, AlbumChangeMode mode) {
    const bool adding = mode == AlbumChangeMode::Adding;
    if (!adding && (index < 0 || index >= m_state.albumCount()))
        return false;
    // Right after a picture change the tab bar reports the current tab again; that
    // must not reload (and so forget the selection of) the album.
    if ((mode == AlbumChangeMode::Switching || adding) && m_state.pictureCount > 0 &&
        m_state.anyChangeFlag()) {
        m_state.clearChangeFlags();
        if (mode == AlbumChangeMode::Switching && index == m_state.currentAlbum)
            return false;
    }

    platform::Ui::WaitCursor wait(m_ui);
    // Under the lock, so that an interrupted change is finished before its files
    // are read.
    Exclusive lock(*this);
    clearPictures();
    if (!adding) {
        m_state.currentAlbum = index;
        std::vector<PictureRow> rows;
        bool damaged = false;
        readTable(m_state.albumNames[std::size_t(index)], true, rows, damaged);
        for (std::size_t i = 0; i < rows.size(); ++i)
            m_state.pictures[i] = std::move(rows[i]);
        m_state.pictureCount = static_cast<int>(rows.size());
        if (damaged)
            tell(msg::kAlbumFileDamaged, Icon::Exclamation);
    }
    m_state.select(-1);
    m_state.albumJustChanged = true;
    notify(Event::AlbumLoaded);
    return true;
}

bool AlbumStore::acceptNewName(std::string_view name) {
    switch (checkAlbumName(name)) {
    case NameProblem::Empty:
        tell(msg::kNameEmpty, Icon::Exclamation);
        return false;
    case NameProblem::TooLong:
        tell(msg::kNameTooLong, Icon::Exclamation);
        return false;
    case NameProblem::BadCharacter:
        tell(msg::kNameBadCharacter, Icon::Exclamation);
        return false;
    case NameProblem::None:
        break;
    }
    // Tab by tab: the equality test, then the reserved-name test.
    const bool reserved = platform::equalsNoCase(name, kReservedName);
    for (const std::string& tab : m_state.albumNames) {
        if (platform::equalsNoCase(tab, name)) {
            tell(msg::kNameExists, Icon::Exclamation);
            return false;
        }
        if (reserved)
            break;
    }
    if (reserved) {
        tell(msg::kNameReserved, Icon::Exclamation);
        return false;
    }
    return true;
}

StoreResult AlbumStore::addAlbum(std::string_view name) {
    Exclusive lock(*this);
    const std::optional<bool> listed = startListChange(msg::kAlbumNotLoaded, Icon::Information);
    if (!listed)
        return StoreResult::Refused;
    auto refuse = [&] {
        if (!*listed)
            showDefaultAlbum();
        return StoreResult::Refused;
    };
    if (m_state.albumCount() >= kMaxAlbums) {
        tell(msg::kTooManyAlbums, Icon::Exclamation);
        return refuse();
    }
    if (!acceptNewName(name))
        return refuse();

    // The new album's own files appear with its first picture.
    std::vector<std::string> newNames = m_state.albumNames;
    newNames.emplace_back(name);
    DirectoryChange change;
    change.write(std::string(kListFileName), formatAlbumList(newNames));
    removeLeftovers(change, std::string(name));
    if (commit(change, kAddFailure) == CommitStatus::NotWritten)
        return refuse();

    m_state.albumNames = std::move(newNames);
    m_state.currentAlbum = m_state.albumCount() - 1;
    loadAlbum(m_state.currentAlbum, AlbumChangeMode::Adding);
    return StoreResult::Done;
}

StoreResult AlbumStore::renameAlbum(int index, std::string_view newName) {
    if (index == 0) {
        m_ui.message(msg::kCannotRenameDefault, Icon::Exclamation);
        return StoreResult::Refused;
    }
    if (index < 0 || index >= m_state.albumCount())
        return StoreResult::Refused;
    const std::string oldName = m_state.albumNames[std::size_t(index)];

    Exclusive lock(*this);
    const std::optional<bool> listed = startListChange(msg::kListNotOpened, Icon::Exclamation);
    if (!listed)
        return StoreResult::Refused;
    if (!*listed)
        showDefaultAlbum();
    const auto found = std::find(m_state.albumNames.begin(), m_state.albumNames.end(), oldName);
    if (found == m_state.albumNames.end()) {
        tell(msg::kAlbumGone, Icon::Information);
        return StoreResult::Refused;
    }
    const std::size_t at = std::size_t(found - m_state.albumNames.begin());
    if (at == 0) {
        tell(msg::kCannotRenameDefault, Icon::Exclamation);
        return StoreResult::Refused;
    }
    if (!acceptNewName(newName))
        return StoreResult::Refused;

    std::vector<std::string> newNames = m_state.albumNames;
    newNames[at] = std::string(newName);
    DirectoryChange change;
    change.write(std::string(kListFileName), formatAlbumList(newNames));
    // The files go along as copies under the new names, so that every step of the
    // change can be repeated; leftovers under the new name are not adopted.
    for (const auto& [from, to] : {std::pair(nameFileName(oldName), nameFileName(newName)),
                                   std::pair(dataFileName(oldName), dataFileName(newName))}) {
        if (fileExists(m_dir / from)) {
            std::string bytes;
            if (!platform::readFile(m_dir / from, bytes)) {
                tell(msg::kListNotOpened, Icon::Exclamation);
                return StoreResult::Refused;
            }
            change.write(to, std::move(bytes));
            change.remove(from);
        } else if (fileExists(m_dir / to)) {
            change.remove(to);
        }
    }
    const CommitStatus status = commit(change, kRenameFailure);
    if (status == CommitStatus::NotWritten)
        return StoreResult::Refused;
    m_state.albumNames = std::move(newNames);
    m_state.albumJustChanged = true;
    return status == CommitStatus::Done ? StoreResult::Done : StoreResult::NotSaved;
}

StoreResult AlbumStore::deleteAlbum(int index) {
    if (index == 0) {
        m_ui.message(msg::kCannotDeleteDefault, Icon::None);
        return StoreResult::Refused;
    }
    if (index < 0 || index >= m_state.albumCount())
        return StoreResult::Refused;
    const std::string name = m_state.albumNames[std::size_t(index)];
    const std::string question =
        std::string(msg::kAskDeletePrefix) + name + std::string(msg::kAskDeleteSuffix);
    // Asked before the lock is taken: the user may take his time.
    if (m_ui.ask(question, platform::Ui::Buttons::YesNo, Icon::Question) !=
        platform::Ui::Answer::Yes)
        return StoreResult::Cancelled;

    Exclusive lock(*this);
    const std::optional<bool> listed = startListChange(msg::kAlbumNotLoaded, Icon::Exclamation);
    if (!listed)
        return StoreResult::Refused;
    auto refuse = [&] {
        if (!*listed)
            showDefaultAlbum();
        return StoreResult::Refused;
    };
    const auto found = std::find(m_state.albumNames.begin(), m_state.albumNames.end(), name);
    if (found == m_state.albumNames.end()) {
        tell(msg::kAlbumGone, Icon::Information);
        return refuse();
    }
    const int at = static_cast<int>(found - m_state.albumNames.begin());
    if (at == 0) {
        tell(msg::kCannotDeleteDefault, Icon::None);
        return refuse();
    }

    std::vector<std::string> newNames = m_state.albumNames;
    newNames.erase(newNames.begin() + at);
    DirectoryChange change;
    change.write(std::string(kListFileName), formatAlbumList(newNames));
    change.remove(nameFileName(name));
    change.remove(dataFileName(name));
    const CommitStatus status = commit(change, kDeleteFailure);
    if (status == CommitStatus::NotWritten)
        return refuse();

    // The next tab moves into the deleted one's place; after the last, the one
    // before it is selected.
    const int selected = at == m_state.albumCount() - 1 ? at - 1 : at;
    m_state.albumNames = std::move(newNames);
    m_state.currentAlbum = selected;
    m_state.albumJustChanged = true;
    loadAlbum(selected, AlbumChangeMode::Deleting);
    return status == CommitStatus::Done ? StoreResult::Done : StoreResult::NotSaved;
}

// --- Pictures --------------------------------------------------------------------

bool AlbumStore::acceptPictureText(const PictureRow& row) {
    for (const std::string* text : {&row.fullPath, &row.displayName}) {
        switch (checkPictureText(*text)) {
        case PathProblem::TooLong:
            tell(msg::kPathTooLong, Icon::Exclamation);
            return false;
        case PathProblem::LineBreak:
            tell(msg::kPathLineBreak, Icon::Exclamation);
            return false;
        case PathProblem::None:
            break;
        }
    }
    return true;
}

StoreResult AlbumStore::appendPicture() {
    const int count = m_state.pictureCount;
    if (count < 1 || count > kMaxPictures)
        return StoreResult::Refused;
    PictureRow& row = m_state.pictures[std::size_t(count - 1)];
    if (!acceptPictureText(row)) {
        // Cutting the path would point the album at another file; the picture is
        // not taken into the album at all.
        row = PictureRow{};
        m_state.pictureCount = count - 1;
        return StoreResult::Refused;
    }

    // The new row goes back to the staging place while the table is brought up to
    // what is on disk; it is appended to that. Refused, it stays there. Selected or
    // loaded, it stays so: its identity goes with it.
    m_state.pictureCount = count - 1;

    Exclusive lock(*this);
    if (!canChange() || !refreshCurrent(kAppendFailure))
        return StoreResult::Refused;
    const int at = m_state.pictureCount;
    if (at >= kMaxPictures) {
        tell(msg::kAlbumFull, Icon::None);
        return StoreResult::Refused;
    }
    std::vector<const PictureRow*> rows = tableRows();
    rows.push_back(&m_state.pictures[std::size_t(at)]);
    const CommitStatus status = commitCurrentAlbum(rows, kAppendFailure);
    if (status == CommitStatus::NotWritten)
        return StoreResult::Refused;

    m_state.pictureCount = at + 1;
    return status == CommitStatus::Done ? StoreResult::Done : StoreResult::NotSaved;
}

StoreResult AlbumStore::deletePicture(int index) {
    if (index < 0 || index >= m_state.pictureCount || currentName().empty())
        return StoreResult::Refused;
    const std::uint64_t key = m_state.idAt(index);

    Exclusive lock(*this);
    const int at = startPictureChange(key, kRewriteFailure);
    if (at < 0)
        return StoreResult::Refused;
    std::vector<const PictureRow*> rows = tableRows();
    rows.erase(rows.begin() + at);
    const CommitStatus status = commitCurrentAlbum(rows, kRewriteFailure);
    if (status == CommitStatus::NotWritten)
        return StoreResult::Refused;
    eraseRow(at);
    return status == CommitStatus::Done ? StoreResult::Done : StoreResult::NotSaved;
}

StoreResult AlbumStore::rotatePicture(int index) {
    if (index < 0 || index >= m_state.pictureCount) {
        m_ui.message(msg::kNoPictureToRotate, Icon::None);
        return StoreResult::Refused;
    }
    const std::uint64_t key = m_state.idAt(index);

    Exclusive lock(*this);
    const int at = startPictureChange(key, kRewriteFailure);
    if (at < 0)
        return StoreResult::Refused;
    PictureRow turned = m_state.pictures[std::size_t(at)];
    turned.rotation = (turned.rotation + 1) % 4;
    turned.thumbnail = platform::turnBitmap(turned.thumbnail, 1);
    std::vector<const PictureRow*> rows = tableRows();
    rows[std::size_t(at)] = &turned;
    const CommitStatus status = commitCurrentAlbum(rows, kRewriteFailure);
    if (status == CommitStatus::NotWritten)
        return StoreResult::Refused;

    m_state.pictures[std::size_t(at)] = std::move(turned);
    m_state.pictureRotated = true;
    notify(Event::PictureRotated, at);
    return status == CommitStatus::Done ? StoreResult::Done : StoreResult::NotSaved;
}

StoreResult AlbumStore::copyPicture(int index, int targetAlbum) {
    return transferPicture(index, targetAlbum, false);
}

StoreResult AlbumStore::movePicture(int index, int targetAlbum) {
    return transferPicture(index, targetAlbum, true);
}

StoreResult AlbumStore::dropPictureOnAlbum(int index, int targetAlbum, bool copy) {
    const std::string_view question = copy ? text::kAskCopyToAlbum : text::kAskMoveToAlbum;
    // Asked before the lock is taken; the transfer checks the picture again.
    if (m_ui.ask(question, platform::Ui::Buttons::YesNo, Icon::Question) !=
        platform::Ui::Answer::Yes)
        return StoreResult::Cancelled;
    return transferPicture(index, targetAlbum, !copy);
}

StoreResult AlbumStore::transferPicture(int index, int targetAlbum, bool move) {
    if (index < 0 || index >= m_state.pictureCount || targetAlbum < 0 ||
        targetAlbum >= m_state.albumCount() || targetAlbum == m_state.currentAlbum) {
        m_ui.message(msg::kCannotMove, Icon::Information);
        return StoreResult::Refused;
    }
    if (!acceptPictureText(m_state.pictures[std::size_t(index)]))
        return StoreResult::Refused;
    const std::uint64_t key = m_state.idAt(index);
    const std::string target = m_state.albumNames[std::size_t(targetAlbum)];

    Exclusive lock(*this);
    const int at = startPictureChange(key, kTransferFailure);
    if (at < 0)
        return StoreResult::Refused;
    if (target == currentName() || std::find(m_state.albumNames.begin(), m_state.albumNames.end(),
                                             target) == m_state.albumNames.end()) {
        tell(msg::kCannotMove, Icon::Information);
        return StoreResult::Refused;
    }
    // The target's pair as its reader sees it: a record that cannot be tied to its
    // name is written back blank, so the target's files are in step again.
    std::vector<PictureRow> targetRows;
    bool damaged = false;
    if (readTable(target, false, targetRows, damaged) != TableRead::Ok) {
        tell(msg::kCannotMove, Icon::Information);
        return StoreResult::Refused;
    }
    if (targetRows.size() >= std::size_t(kMaxPictures)) {
        tell(msg::kAlbumFull, Icon::None);
        return StoreResult::Refused;
    }

    std::vector<const PictureRow*> rows;
    for (const PictureRow& row : targetRows)
        rows.push_back(&row);
    rows.push_back(&m_state.pictures[std::size_t(at)]); // as stored: turned, with its rotation
    DirectoryChange change;
    stagePair(change, target, rows);
    if (move) {
        std::vector<const PictureRow*> left = tableRows();
        left.erase(left.begin() + at);
        stagePair(change, currentName(), left);
    }
    dropOldTempFile(change);
    const CommitStatus status = commit(change, kTransferFailure);
    if (status == CommitStatus::NotWritten)
        return StoreResult::Refused;

    if (move)
        eraseRow(at);
    if (m_state.pictureCount > 0)
        m_state.pictureMoved = true;
    return status == CommitStatus::Done ? StoreResult::Done : StoreResult::NotSaved;
}

} // namespace kv::albums
