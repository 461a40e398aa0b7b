#include "albums/album_store.h"

#include "albums/album_files.h"
#include "albums/album_messages.h"
#include "albums/album_window_texts.h"
#include "platform/ascii.h"
#include "platform/atomic_file.h"

#include <utility>

namespace kv::albums {

namespace fs = std::filesystem;
using Icon = platform::Ui::Icon;

namespace {

constexpr std::string_view kListFileName = "album.dat";
constexpr std::string_view kReservedName = "ALBUM";
// The earlier program rewrote data files through this name; a copy left behind by
// an interrupted rewrite is of no use any more.
constexpr std::string_view kOldTempName = "aaaa";

bool fileExists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// Missing counts as removed; anything else that keeps the file is a failure.
bool removeFile(const fs::path& path) {
    std::error_code ec;
    fs::remove(path, ec);
    return !ec;
}

// An existing file of that name is left alone, as a rename on Windows does.
void renameIfFree(const fs::path& from, const fs::path& to) {
    if (from.empty() || to.empty() || fileExists(to))
        return;
    std::error_code ec;
    fs::rename(from, to, ec);
}

} // namespace

AlbumStore::AlbumStore(AlbumState& state, platform::Ui& ui, fs::path programDirectory,
                       AlbumEvents* events)
    : m_state(state), m_ui(ui), m_dir(std::move(programDirectory)), m_events(events) {}

fs::path AlbumStore::listFile() const {
    return m_dir / kListFileName;
}

fs::path AlbumStore::nameFile(std::string_view album) const {
    return isSafeFileStem(album) ? m_dir / (std::string(album) + ".dat") : fs::path();
}

fs::path AlbumStore::dataFile(std::string_view album) const {
    return isSafeFileStem(album) ? m_dir / (std::string(album) + ".dat1") : fs::path();
}

bool AlbumStore::readAlbumList(std::string_view defaultName) {
    const fs::path file = listFile();
    if (!fileExists(file)) {
        m_state.albumNames = {std::string(defaultName)};
        m_state.currentAlbum = 0;
        return writeAlbumList();
    }
    std::string bytes;
    if (!platform::readFile(file, bytes)) {
        m_state.albumNames = {std::string(defaultName)};
        m_state.currentAlbum = 0;
        return false;
    }
    AlbumList list = parseAlbumList(bytes);
    if (list.names.empty())
        list.names.emplace_back(defaultName);
    if (list.damaged)
        m_ui.message(msg::kAlbumListDamaged, Icon::Exclamation);
    m_state.albumNames = std::move(list.names);
    if (m_state.currentAlbum < 0 || m_state.currentAlbum >= m_state.albumCount())
        m_state.currentAlbum = 0;
    return true;
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
    clearPictures();
    if (!adding) {
        m_state.currentAlbum = index;
        readPictures(m_state.albumNames[static_cast<std::size_t>(index)]);
    }
    m_state.selectedPicture = -1;
    m_state.loadedPicture = -2;
    m_state.albumJustChanged = true;
    if (m_events)
        m_events->albumLoaded();
    return true;
}

void AlbumStore::clearPictures() {
    for (PictureRow& row : m_state.pictures)
        row = PictureRow{};
    m_state.pictureCount = 0;
}

void AlbumStore::readPictures(const std::string& album) {
    std::string names;
    if (!platform::readFile(nameFile(album), names))
        return; // no name file: an empty album
    const NameFile nameFileContents = parseNameFile(names);

    // A missing data file only costs the thumbnails; the pictures stay listed.
    std::string data;
    if (!platform::readFile(dataFile(album), data))
        data.clear();
    const DataFile dataFileContents = parseDataFile(data);

    const std::size_t count = nameFileContents.entries.size();
    for (std::size_t i = 0; i < count; ++i) {
        PictureRow& row = m_state.pictures[i];
        row.fullPath = nameFileContents.entries[i].fullPath;
        row.displayName = nameFileContents.entries[i].displayName;
        if (i < dataFileContents.records.size()) {
            row.thumbnail = recordThumbnail(dataFileContents.records[i]);
            row.rotation = dataFileContents.records[i].rotation;
        }
    }
    m_state.pictureCount = static_cast<int>(count);
    if (nameFileContents.damaged || dataFileContents.records.size() < count)
        m_ui.message(msg::kAlbumFileDamaged, Icon::Exclamation);
}

bool AlbumStore::acceptNewName(std::string_view name) {
    switch (checkAlbumName(name)) {
    case NameProblem::Empty:
        m_ui.message(msg::kNameEmpty, Icon::Exclamation);
        return false;
    case NameProblem::TooLong:
        m_ui.message(msg::kNameTooLong, Icon::Exclamation);
        return false;
    case NameProblem::BadCharacter:
        m_ui.message(msg::kNameBadCharacter, Icon::Exclamation);
        return false;
    case NameProblem::None:
        break;
    }
    // Tab by tab: the equality test, then the reserved-name test.
    const bool reserved = platform::equalsNoCase(name, kReservedName);
    for (const std::string& tab : m_state.albumNames) {
        if (platform::equalsNoCase(tab, name)) {
            m_ui.message(msg::kNameExists, Icon::Exclamation);
            return false;
        }
        if (reserved)
            break;
    }
    if (reserved) {
        m_ui.message(msg::kNameReserved, Icon::Exclamation);
        return false;
    }
    return true;
}

bool AlbumStore::writeAlbumList() {
    return platform::writeFileAtomic(listFile(), formatAlbumList(m_state.albumNames));
}

StoreResult AlbumStore::addAlbum(std::string_view name) {
    if (m_state.albumCount() >= kMaxAlbums) {
        m_ui.message(msg::kTooManyAlbums, Icon::Exclamation);
        return StoreResult::Refused;
    }
    if (!acceptNewName(name))
        return StoreResult::Refused;

    m_state.albumNames.emplace_back(name);
    m_state.currentAlbum = m_state.albumCount() - 1;
    loadAlbum(m_state.currentAlbum, AlbumChangeMode::Adding);

    // The new album's own files appear with its first picture.
    std::string bytes;
    if (!platform::readFile(listFile(), bytes) || !writeAlbumList()) {
        m_ui.message(msg::kAlbumNotLoaded, Icon::Information);
        return StoreResult::NotSaved;
    }
    return StoreResult::Done;
}

StoreResult AlbumStore::renameAlbum(int index, std::string_view newName) {
    if (index == 0) {
        m_ui.message(msg::kCannotRenameDefault, Icon::Exclamation);
        return StoreResult::Refused;
    }
    if (index < 0 || index >= m_state.albumCount() || !acceptNewName(newName))
        return StoreResult::Refused;

    std::string& entry = m_state.albumNames[static_cast<std::size_t>(index)];
    const std::string oldName = std::exchange(entry, std::string(newName));
    m_state.albumJustChanged = true;

    std::string bytes;
    if (!platform::readFile(listFile(), bytes) || !writeAlbumList()) {
        m_ui.message(msg::kListNotOpened, Icon::Exclamation);
        return StoreResult::NotSaved;
    }
    // An album without pictures has no files to rename.
    renameIfFree(nameFile(oldName), nameFile(newName));
    renameIfFree(dataFile(oldName), dataFile(newName));
    return StoreResult::Done;
}

StoreResult AlbumStore::deleteAlbum(int index) {
    if (index == 0) {
        m_ui.message(msg::kCannotDeleteDefault, Icon::None);
        return StoreResult::Refused;
    }
    if (index < 0 || index >= m_state.albumCount())
        return StoreResult::Refused;
    const std::string name = m_state.albumNames[static_cast<std::size_t>(index)];
    const std::string question =
        std::string(msg::kAskDeletePrefix) + name + std::string(msg::kAskDeleteSuffix);
    if (m_ui.ask(question, platform::Ui::Buttons::YesNo, Icon::Question) !=
        platform::Ui::Answer::Yes)
        return StoreResult::Cancelled;

    // The next tab moves into the deleted one's place; after the last, the one
    // before it is selected.
    const int selected = index == m_state.albumCount() - 1 ? index - 1 : index;
    m_state.albumNames.erase(m_state.albumNames.begin() + index);
    m_state.currentAlbum = selected;
    m_state.albumJustChanged = true;

    StoreResult result = StoreResult::Done;
    std::string bytes;
    if (!platform::readFile(listFile(), bytes) || !writeAlbumList()) {
        m_ui.message(msg::kAlbumNotLoaded, Icon::Exclamation);
        result = StoreResult::NotSaved;
    } else {
        removeFile(nameFile(name));
        removeFile(dataFile(name));
    }
    // Loaded in either case: the picture table must belong to the selected album.
    loadAlbum(selected, AlbumChangeMode::Deleting);
    return result;
}

bool AlbumStore::acceptPictureText(const PictureRow& row) {
    for (const std::string* text : {&row.fullPath, &row.displayName}) {
        switch (checkPictureText(*text)) {
        case PathProblem::TooLong:
            m_ui.message(msg::kPathTooLong, Icon::Exclamation);
            return false;
        case PathProblem::LineBreak:
            m_ui.message(msg::kPathLineBreak, Icon::Exclamation);
            return false;
        case PathProblem::None:
            break;
        }
    }
    return true;
}

bool AlbumStore::writeNameFile() {
    if (m_state.currentAlbum < 0 || m_state.currentAlbum >= m_state.albumCount())
        return false;
    std::vector<NameEntry> entries;
    entries.reserve(static_cast<std::size_t>(m_state.pictureCount));
    for (int i = 0; i < m_state.pictureCount; ++i) {
        const PictureRow& row = m_state.pictures[static_cast<std::size_t>(i)];
        entries.push_back({row.fullPath, row.displayName});
    }
    const std::string& album = m_state.albumNames[static_cast<std::size_t>(m_state.currentAlbum)];
    return platform::writeFileAtomic(nameFile(album), formatNameFile(entries));
}

bool AlbumStore::writeDataFile() {
    if (m_state.currentAlbum < 0 || m_state.currentAlbum >= m_state.albumCount())
        return false;
    bool tempIsAnAlbum = false;
    for (const std::string& name : m_state.albumNames)
        tempIsAnAlbum = tempIsAnAlbum || name == kOldTempName;
    if (!tempIsAnAlbum)
        removeFile(dataFile(kOldTempName));

    std::string bytes;
    for (int i = 0; i < m_state.pictureCount; ++i) {
        const PictureRow& row = m_state.pictures[static_cast<std::size_t>(i)];
        appendRecord(bytes, row.thumbnail, row.rotation);
    }
    const std::string& album = m_state.albumNames[static_cast<std::size_t>(m_state.currentAlbum)];
    return platform::writeFileAtomic(dataFile(album), bytes);
}

StoreResult AlbumStore::appendPicture() {
    const int count = m_state.pictureCount;
    if (count < 1 || count > kMaxPictures)
        return StoreResult::Refused;
    PictureRow& row = m_state.pictures[static_cast<std::size_t>(count - 1)];
    if (!acceptPictureText(row)) {
        // Cutting the path would point the album at another file; the picture is
        // not taken into the album at all.
        row = PictureRow{};
        m_state.pictureCount = count - 1;
        if (m_state.selectedPicture >= m_state.pictureCount)
            m_state.selectedPicture = -1;
        return StoreResult::Refused;
    }
    if (!writeNameFile()) {
        m_ui.message(msg::kNameFileNotSaved, Icon::Information);
        return StoreResult::NotSaved;
    }
    if (!writeDataFile()) {
        m_ui.message(msg::kDataFileNotSaved, Icon::Information);
        return StoreResult::NotSaved;
    }
    return StoreResult::Done;
}

StoreResult AlbumStore::deletePicture(int index) {
    return removePicture(index);
}

StoreResult AlbumStore::removePicture(int index) {
    const int count = m_state.pictureCount;
    if (index < 0 || index >= count || m_state.currentAlbum < 0 ||
        m_state.currentAlbum >= m_state.albumCount())
        return StoreResult::Refused;
    const std::string& album = m_state.albumNames[static_cast<std::size_t>(m_state.currentAlbum)];

    if (count == 1) {
        m_state.pictures[0] = PictureRow{};
        m_state.pictureCount = 0;
        m_state.selectedPicture = -1;
        if (!removeFile(nameFile(album))) {
            m_ui.message(msg::kNameFileNotSaved, Icon::Information);
            return StoreResult::NotSaved;
        }
        if (!removeFile(dataFile(album))) {
            m_ui.message(msg::kDataFileNotUpdated, Icon::Information);
            return StoreResult::NotSaved;
        }
        return StoreResult::Done;
    }

    for (int i = index; i < count - 1; ++i)
        m_state.pictures[static_cast<std::size_t>(i)] =
            std::move(m_state.pictures[static_cast<std::size_t>(i + 1)]);
    m_state.pictures[static_cast<std::size_t>(count - 1)] = PictureRow{};
    // The table changes even when a file cannot follow: a row left behind would
    // show a picture twice.
    m_state.pictureCount = count - 1;
    m_state.selectedPicture = index < count - 1 ? index : count - 2;

    if (!writeNameFile()) {
        m_ui.message(msg::kNameFileNotSaved, Icon::Information);
        return StoreResult::NotSaved;
    }
    if (!writeDataFile()) {
        m_ui.message(msg::kDataFileNotUpdated, Icon::Information);
        return StoreResult::NotSaved;
    }
    return StoreResult::Done;
}

StoreResult AlbumStore::rotatePicture(int index) {
    if (index < 0 || index >= m_state.pictureCount) {
        m_ui.message(msg::kNoPictureToRotate, Icon::None);
        return StoreResult::Refused;
    }
    PictureRow& row = m_state.pictures[static_cast<std::size_t>(index)];
    m_state.pictureRotated = true;
    row.rotation = (row.rotation + 1) % 4;
    row.thumbnail = platform::turnBitmap(row.thumbnail, 1);
    if (m_events)
        m_events->pictureRotated(index);

    if (!writeDataFile()) {
        m_ui.message(msg::kDataFileNotUpdated, Icon::Information);
        return StoreResult::NotSaved;
    }
    return StoreResult::Done;
}

StoreResult AlbumStore::copyPicture(int index, int targetAlbum) {
    return transferPicture(index, targetAlbum, false);
}

StoreResult AlbumStore::movePicture(int index, int targetAlbum) {
    return transferPicture(index, targetAlbum, true);
}

StoreResult AlbumStore::dropPictureOnAlbum(int index, int targetAlbum, bool copy) {
    const std::string_view question = copy ? text::kAskCopyToAlbum : text::kAskMoveToAlbum;
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
    const PictureRow& row = m_state.pictures[static_cast<std::size_t>(index)];
    if (!acceptPictureText(row))
        return StoreResult::Refused;

    const std::string& target = m_state.albumNames[static_cast<std::size_t>(targetAlbum)];
    const fs::path targetNames = nameFile(target);
    const fs::path targetData = dataFile(target);
    std::string nameBytes;
    std::string dataBytes;
    if (targetNames.empty() ||
        (fileExists(targetNames) && !platform::readFile(targetNames, nameBytes)) ||
        (fileExists(targetData) && !platform::readFile(targetData, dataBytes))) {
        m_ui.message(msg::kCannotMove, Icon::Information);
        return StoreResult::Refused;
    }
    NameFile names = parseNameFile(nameBytes);
    if (names.entries.size() >= static_cast<std::size_t>(kMaxPictures)) {
        m_ui.message(msg::kAlbumFull, Icon::None);
        return StoreResult::Refused;
    }

    // The target's records are kept in step with its names: a lost thumbnail
    // becomes an empty record, records without a name are dropped.
    const DataFile records = parseDataFile(dataBytes);
    std::string data;
    for (std::size_t i = 0; i < names.entries.size(); ++i) {
        if (i < records.records.size())
            appendRecord(data, records.records[i]);
        else
            appendRecord(data, platform::Bitmap24{}, 0);
    }
    appendRecord(data, row.thumbnail, row.rotation);
    names.entries.push_back({row.fullPath, row.displayName});

    // Data first: should the names fail, an extra record is ignored by the reader.
    if (!platform::writeFileAtomic(targetData, data) ||
        !platform::writeFileAtomic(targetNames, formatNameFile(names.entries))) {
        m_ui.message(msg::kCannotMove, Icon::Information);
        return StoreResult::Refused;
    }

    StoreResult result = StoreResult::Done;
    if (move)
        result = removePicture(index);
    if (m_state.pictureCount > 0)
        m_state.pictureMoved = true;
    return result;
}

} // namespace kv::albums
