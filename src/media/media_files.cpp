#include "media/media_files.h"

#include "media/media_messages.h"
#include "platform/atomic_file.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "platform/profile.h"

#include <system_error>

namespace kv::media {

namespace {

std::filesystem::path fileIn(const std::filesystem::path& dir, std::string_view name) {
    return platform::findNoCase(dir, std::string(name));
}

// media.txt is a text-mode file: every line feed is written as CR LF.
void appendCrLf(std::string& out, std::string_view text) {
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
}

} // namespace

RankTableLoad loadRankTable(const std::filesystem::path& programDir, MediaRankTable& table,
                            platform::Ui& ui) {
    std::string bytes;
    if (!platform::readFile(fileIn(programDir, kRankTableFile), bytes)) {
        ui.message(kMsgRankTableMissing, platform::Ui::Icon::None);
        table = MediaRankTable::defaults();
        return RankTableLoad::Missing;
    }
    const auto read = MediaRankTable::fromBytes(bytes);
    if (!read) {
        ui.message(kMsgRankTableShort, platform::Ui::Icon::None);
        table = MediaRankTable::defaults();
        return RankTableLoad::Short;
    }
    table = *read;
    return RankTableLoad::Loaded;
}

bool saveRankTable(const std::filesystem::path& programDir, const MediaRankTable& table,
                   platform::Ui& ui) {
    if (!platform::writeFileAtomic(fileIn(programDir, kRankTableFile), table.toBytes())) {
        ui.message(kMsgRankTableNotSaved, platform::Ui::Icon::Exclamation);
        return false;
    }
    return true;
}

std::string formatRankTableText(const MediaRankTable& table) {
    std::string out = "Rank   SensC SensM SensY    TDTC   TDBC   TDTM   TDBM   TDTY   TDBY\n";
    for (int r = 0; r < kUsedRanks; ++r) {
        out += platform::formatC(
            "%c %s %3.3f %3.3f %3.3f", rankLetter(r), "    ", static_cast<double>(table.sensC[r]),
            static_cast<double>(table.sensM[r]), static_cast<double>(table.sensY[r]));
        out += platform::formatC(" %6d %6d %6d %6d %6d %6d \n", table.tdtc[r], table.tdbc[r],
                                 table.tdtm[r], table.tdbm[r], table.tdty[r], table.tdby[r]);
    }
    return out;
}

std::string formatMediaTxt(const MediaRankTable& table, const std::tm& localTime) {
    std::string out;
    appendCrLf(out, " \n\n\tMedia Rank Table  ");
    appendCrLf(out, platform::formatC("  %02d:%02d:%02d   ", localTime.tm_hour, localTime.tm_min,
                                      localTime.tm_sec));
    appendCrLf(out, platform::formatC("%2d/%2d/%4d  \n\n", localTime.tm_mday, localTime.tm_mon + 1,
                                      localTime.tm_year + 1900));
    appendCrLf(out, formatRankTableText(table));
    return out;
}

bool writeMediaTxt(const std::filesystem::path& programDir, const MediaRankTable& table,
                   platform::Ui& ui) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    if (!platform::writeFileAtomic(fileIn(programDir, kMediaTxtFile),
                                   formatMediaTxt(table, local))) {
        ui.message(kMsgMediaTxtNotSaved, platform::Ui::Icon::Exclamation);
        return false;
    }
    return true;
}

bool exportMediaTxt(const std::filesystem::path& programDir, const MediaRankTable& table,
                    platform::Ui& ui) {
    if (!writeMediaTxt(programDir, table, ui))
        return false;
    ui.message(kMsgMediaTxtSaved, platform::Ui::Icon::None);
    return true;
}

void loadBaseMedia(const std::filesystem::path& programDir, MediaCalibration& calibration) {
    std::string text;
    if (!platform::readFile(fileIn(programDir, kBaseMediaFile), text))
        text.clear();
    for (int i = 0; i < kBaseMediaCount; ++i) {
        const auto& key = kBaseMediaKeys[i];
        calibration.baseMedia[i] = platform::Profile::lookup(text, kBaseMediaSection, key.name)
                                       .value_or(std::string(key.defaultValue));
    }
}

bool saveBaseMedia(const std::filesystem::path& programDir, const MediaCalibration& calibration) {
    const auto path = fileIn(programDir, kBaseMediaFile);
    std::string text;
    std::error_code ec;
    // A file that exists but cannot be read is not replaced: its other lines would be lost.
    if (std::filesystem::exists(path, ec) && !platform::readFile(path, text))
        return false;
    for (int i = 0; i < kBaseMediaCount; ++i) {
        const auto& value = calibration.baseMedia[i];
        if (!platform::Profile::canWrite(kBaseMediaSection, kBaseMediaKeys[i].name, value))
            return false;
        text = platform::Profile::update(text, kBaseMediaSection, kBaseMediaKeys[i].name, value);
    }
    return platform::writeFileAtomic(path, text);
}

} // namespace kv::media
