#include "intake/acquisition.h"

#include "intake/intake_messages.h"
#include "intake/picture_intake.h"

#include <string>
#include <utility>

namespace kv::intake {

namespace {

// Characters of UTF-8 text: every byte but the continuation bytes.
int characterCount(const std::string& text) {
    int count = 0;
    for (const unsigned char c : text)
        count += (c & 0xC0) != 0x80;
    return count;
}

bool isBmpExtension(const std::string& extension) {
    return extension.size() == 4 && extension[0] == '.' && (extension[1] | 0x20) == 'b' &&
           (extension[2] | 0x20) == 'm' && (extension[3] | 0x20) == 'p';
}

} // namespace

bool acquireTargetOk(platform::Ui& ui, const std::filesystem::path& target) {
    if (characterCount(target.stem().string()) <= kMaxAcquireNameLength)
        return true;
    ui.message(msg::kAcquireNameTooLong, platform::Ui::Icon::Information);
    return false;
}

Acquisition::PageResult Acquisition::addPage(shell::AppState& state, albums::AlbumStore& store,
                                             platform::Ui& ui, const std::filesystem::path& page,
                                             const std::filesystem::path& tempDir) {
    if (page.empty())
        return PageResult::NoFile;
    albums::AlbumState& albums = state.albums;
    if (albums.pictureCount >= albums::kMaxPictures) {
        // Noted before telling: the message box's event loop hands in the next
        // page before it returns.
        if (!std::exchange(m_albumFullTold, true))
            ui.message(msg::kAlbumFull, platform::Ui::Icon::None);
        return PageResult::AlbumFull;
    }
    albums::PictureRow& row = albums.pictures[std::size_t(albums.pictureCount)];
    row = albums::PictureRow{};
    row.fullPath = page.string();
    // The intake finds the file again from its folder and display name, so a
    // ".BMP" page keeps its own spelling on a case-sensitive file system.
    const std::string extension = page.extension().string();
    row.displayName = page.stem().string() + (isBmpExtension(extension) ? extension : ".bmp");
    state.addedByAcquisition = true;
    const AddResult result = addStagedPicture(state, store, ui, page.parent_path(), tempDir);
    state.addedByAcquisition = false;
    return result == AddResult::NotAdded ? PageResult::NotAdded : PageResult::Added;
}

} // namespace kv::intake
