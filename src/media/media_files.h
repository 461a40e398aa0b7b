#pragma once

#include "media/media_calibration.h"
#include "media/media_rank_table.h"
#include "platform/ui.h"

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace kv::media {

// File names in the program directory; existing files are found without regard
// to case, new ones are created with these spellings.
inline constexpr std::string_view kRankTableFile = "Media.rtb";
inline constexpr std::string_view kMediaTxtFile = "media.txt";
inline constexpr std::string_view kBaseMediaFile = "BasMedia.ini";
inline constexpr std::string_view kBaseMediaSection = "BaseMedia";

enum class RankTableLoad { Loaded, Missing, Short };

// Reads Media.rtb into `table`. Missing ("MEDIA.RTB existiert NICHT.") or shorter
// than 720 bytes ("Read Media.rtb Data Error."): the message, and the whole table
// becomes the default table. Bytes past 720 are ignored.
RankTableLoad loadRankTable(const std::filesystem::path& programDir, MediaRankTable& table,
                            platform::Ui& ui);

// Writes all 720 bytes atomically. On failure shows kMsgRankTableNotSaved and
// returns false; the old file stays as it was.
bool saveRankTable(const std::filesystem::path& programDir, const MediaRankTable& table,
                   platform::Ui& ui);

// The table part of media.txt: its heading and rows A to Y, lines ending LF.
std::string formatRankTableText(const MediaRankTable& table);
// The media.txt report (rows A to Y, lines ending CR LF) for the given local time.
std::string formatMediaTxt(const MediaRankTable& table, const std::tm& localTime);
// Writes media.txt with the current local time. On failure shows
// kMsgMediaTxtNotSaved and returns false. The success message
// (kMsgMediaTxtSaved) is the caller's to show.
bool writeMediaTxt(const std::filesystem::path& programDir, const MediaRankTable& table,
                   platform::Ui& ui);
// The rank table dialog's "Als .TXT speichern": writeMediaTxt, then
// kMsgMediaTxtSaved. False when the file was not written (told).
bool exportMediaTxt(const std::filesystem::path& programDir, const MediaRankTable& table,
                    platform::Ui& ui);

// Reads the 42 [BaseMedia] values of BasMedia.ini into calibration.baseMedia; a
// missing file or key gives the key's default.
void loadBaseMedia(const std::filesystem::path& programDir, MediaCalibration& calibration);
// Writes all 42 values in one atomic rewrite, keeping every other line of the
// file. Returns false, the file unchanged, when it cannot be read or written or a
// value cannot be stored (a line break in it); the caller then shows
// kMsgBaseMediaNotSaved.
bool saveBaseMedia(const std::filesystem::path& programDir, const MediaCalibration& calibration);

} // namespace kv::media
