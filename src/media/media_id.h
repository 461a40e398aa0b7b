#pragma once

#include "media/media_state.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kv::media {

inline constexpr std::size_t kMediaIdLength = 10;

// Why a typed media identification is refused, in the order the checks run.
enum class MediaIdProblem {
    None,
    Length,  // not exactly ten characters
    Version, // character 1 is not "A"
    Range,   // a rank letter outside A to Y
};

// Upper-cases `text` in place (ASCII letters only) and checks it. Length counts
// characters, not bytes: a non-ASCII character counts once and is then refused
// as a wrong version or rank.
MediaIdProblem validateMediaId(std::string& text);

// The message for a problem; empty for None.
std::string_view mediaIdMessage(MediaIdProblem problem);

// The media settings: [SetMediaID] and [MediaRank] of Kvx00.ini in the program
// directory (mirrored into the system folder's kvx00.ini only where that copy
// already exists), and [MediaID] IDString of kvprn.ini in the system folder.
class MediaSettings {
  public:
    MediaSettings(std::filesystem::path programDir, std::filesystem::path systemDir);

    // Exactly "1" (the default) asks for the media type dialog at start.
    bool displayAtStartup() const;
    // The first character of MediaVersion, "A" when missing or not a printable
    // ASCII character.
    char mediaVersion() const;
    // The first character of a rank key's value ("M" when missing); not checked.
    char storedRankLetter(RankColumn column) const;

    // Writes DisplayAtStartup, MediaVersion and the nine rank letters of a valid
    // identification. False when the program-directory file refused a value; the
    // mirror is best effort, as nothing ever reads it.
    bool storeMediaId(std::string_view id, bool displayAtStartup);
    // Only the nine rank letters of [MediaRank] (the printer setup dialog's save).
    bool storeRankLetters(std::string_view letters);

    // The identification the printer was last calibrated for ("AMMMMMMMMM").
    std::string readIdString() const;
    bool writeIdString(std::string_view id);

    const std::filesystem::path& programDir() const { return m_programDir; }
    const std::filesystem::path& systemDir() const { return m_systemDir; }

  private:
    std::string read(std::string_view section, std::string_view key,
                     std::string_view defaultValue) const;

    std::filesystem::path m_programDir;
    std::filesystem::path m_systemDir;
};

// Whether two identifications are the same on their first ten characters.
bool sameMediaId(std::string_view a, std::string_view b);

// Applies the nine stored rank letters to media.calibration (rows of
// media.rankTable) and makes the current media ID "A" plus those letters. A letter
// outside A to Y is taken as "M", in the ranks and in the ID. Returns the ID.
std::string loadMediaSelection(const std::filesystem::path& programDir, MediaState& media);

// What the media type dialog shows when it opens.
struct MediaDialogValues {
    std::string text; // MediaVersion and the nine rank letters
    bool displayAtStartup = true;
};

// The dialog's loading: reads DisplayAtStartup and MediaVersion as well and applies
// the stored ranks (so opening the dialog re-applies them even when cancelled).
// The current media ID is left as it is.
MediaDialogValues loadMediaDialogValues(const std::filesystem::path& programDir, MediaState& media);

} // namespace kv::media
