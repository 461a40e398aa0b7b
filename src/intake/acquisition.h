#pragma once

#include "albums/album_store.h"
#include "platform/ui.h"
#include "shell/app_state.h"

#include <filesystem>

namespace kv::intake {

// The scanner forms its page names from the chosen name, which must have fewer
// than this many characters (folder and extension not counted).
inline constexpr int kMaxAcquireNameLength = 5;

// True when the chosen target's name is short enough; else the user is told.
bool acquireTargetOk(platform::Ui& ui, const std::filesystem::path& target);

// The pages of one scanner acquisition as they reach the current album.
class Acquisition {
  public:
    enum class PageResult {
        Added,     // in the album, selection cleared
        NotAdded,  // refused by the intake, which told the user
        NoFile,    // the page event carried no path
        AlbumFull, // the album holds 99 pictures (told once per acquisition)
    };

    // Adds the page file `page` as if it had been opened from its folder.
    PageResult addPage(shell::AppState& state, albums::AlbumStore& store, platform::Ui& ui,
                       const std::filesystem::path& page, const std::filesystem::path& tempDir);

  private:
    bool m_albumFullTold = false;
};

} // namespace kv::intake
