#include "media/media_id.h"

#include "media/media_messages.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/profile.h"

#include <system_error>
#include <utility>
#include <vector>

namespace kv::media {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSettingsFile = "Kvx00.ini"; // program directory
constexpr std::string_view kMirrorFile = "kvx00.ini";   // system folder, never created
constexpr std::string_view kPrinterFile = "kvprn.ini";  // system folder
constexpr std::string_view kStartupSection = "SetMediaID";
constexpr std::string_view kStartupKey = "DisplayAtStartup";
constexpr std::string_view kRankSection = "MediaRank";
constexpr std::string_view kVersionKey = "MediaVersion";
constexpr std::string_view kIdSection = "MediaID";
constexpr std::string_view kIdKey = "IDString";

bool isRankLetter(char c) {
    return c >= 'A' && c < 'A' + kUsedRanks;
}

// A UTF-8 continuation byte belongs to the character before it.
std::size_t characterCount(std::string_view text) {
    std::size_t n = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

using Entry = platform::ProfileEntry;

// Writes the entries to the settings file and, when it already exists, to its
// mirror in the system folder.
bool storeEntries(const fs::path& programDir, const fs::path& systemDir,
                  const std::vector<Entry>& entries) {
    return platform::writeEntriesMirrored(
        platform::findNoCase(programDir, std::string(kSettingsFile)),
        platform::findNoCase(systemDir, std::string(kMirrorFile)), entries);
}

std::string rankLettersFromFile(const MediaSettings& settings, MediaState& media) {
    std::string letters;
    for (int c = 0; c < kRankColumns; ++c) {
        const auto column = static_cast<RankColumn>(c);
        const int row = rankRow(settings.storedRankLetter(column));
        media.calibration.selectRank(media.rankTable, column, row);
        letters += rankLetter(row);
    }
    return letters;
}

} // namespace

MediaIdProblem validateMediaId(std::string& text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (characterCount(text) != kMediaIdLength)
        return MediaIdProblem::Length;
    if (text[0] != 'A')
        return MediaIdProblem::Version;
    // Ten characters all ASCII now means ten bytes; anything else fails here.
    if (text.size() != kMediaIdLength)
        return MediaIdProblem::Range;
    for (std::size_t i = 1; i < kMediaIdLength; ++i)
        if (!isRankLetter(text[i]))
            return MediaIdProblem::Range;
    return MediaIdProblem::None;
}

std::string_view mediaIdMessage(MediaIdProblem problem) {
    switch (problem) {
    case MediaIdProblem::Length:
        return kMsgMediaIdLength;
    case MediaIdProblem::Version:
        return kMsgMediaIdVersion;
    case MediaIdProblem::Range:
        return kMsgMediaIdRange;
    case MediaIdProblem::None:
        break;
    }
    return {};
}

MediaSettings::MediaSettings(fs::path programDir, fs::path systemDir)
    : m_programDir(std::move(programDir)), m_systemDir(std::move(systemDir)) {}

std::string MediaSettings::read(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    const platform::Profile profile(platform::findNoCase(m_programDir, std::string(kSettingsFile)));
    return profile.readString(section, key, defaultValue);
}

bool MediaSettings::displayAtStartup() const {
    return read(kStartupSection, kStartupKey, "1") == "1";
}

char MediaSettings::mediaVersion() const {
    const std::string value = read(kRankSection, kVersionKey, "A");
    return !value.empty() && value[0] > ' ' && value[0] < 0x7F ? value[0] : 'A';
}

char MediaSettings::storedRankLetter(RankColumn column) const {
    const std::string value = read(kRankSection, kRankKeys[static_cast<int>(column)], "M");
    return value.empty() ? '\0' : value[0];
}

bool MediaSettings::storeMediaId(std::string_view id, bool displayAtStartup) {
    if (id.size() != kMediaIdLength)
        return false;
    std::vector<Entry> entries;
    entries.push_back({kStartupSection, kStartupKey, displayAtStartup ? "1" : "0"});
    entries.push_back({kRankSection, kVersionKey, std::string(1, id[0])});
    for (int c = 0; c < kRankColumns; ++c)
        entries.push_back({kRankSection, kRankKeys[c], std::string(1, id[c + 1])});
    return storeEntries(m_programDir, m_systemDir, entries);
}

bool MediaSettings::storeRankLetters(std::string_view letters) {
    if (letters.size() != static_cast<std::size_t>(kRankColumns))
        return false;
    std::vector<Entry> entries;
    for (int c = 0; c < kRankColumns; ++c)
        entries.push_back({kRankSection, kRankKeys[c], std::string(1, letters[c])});
    return storeEntries(m_programDir, m_systemDir, entries);
}

std::string MediaSettings::readIdString() const {
    const platform::Profile profile(platform::findNoCase(m_systemDir, std::string(kPrinterFile)));
    return profile.readString(kIdSection, kIdKey, kDefaultMediaId);
}

bool MediaSettings::writeIdString(std::string_view id) {
    platform::Profile profile(platform::findNoCase(m_systemDir, std::string(kPrinterFile)));
    return profile.writeString(kIdSection, kIdKey, id);
}

bool sameMediaId(std::string_view a, std::string_view b) {
    return a.substr(0, kMediaIdLength) == b.substr(0, kMediaIdLength);
}

std::string loadMediaSelection(const fs::path& programDir, MediaState& media) {
    const MediaSettings settings(programDir, {});
    media.currentMediaId = "A" + rankLettersFromFile(settings, media);
    return media.currentMediaId;
}

MediaDialogValues loadMediaDialogValues(const fs::path& programDir, MediaState& media) {
    const MediaSettings settings(programDir, {});
    MediaDialogValues values;
    values.displayAtStartup = settings.displayAtStartup();
    values.text = std::string(1, settings.mediaVersion()) + rankLettersFromFile(settings, media);
    return values;
}

} // namespace kv::media
