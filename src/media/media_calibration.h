#pragma once

#include "media/media_rank_table.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kv::media {

// One base-media key of BasMedia.ini [BaseMedia] with its default text.
struct BaseMediaKey {
    std::string_view name;
    std::string_view defaultValue;
};
inline constexpr int kBaseMediaCount = 42;
// In the order of the printer setup dialog: RBase32 GBase32 BBase32, RBase128 …,
// RBase224 …, R4Ratio …, R240Ratio …, R256Ratio …, RLimit …, P row, Q row, R row, OV.
extern const std::array<BaseMediaKey, kBaseMediaCount> kBaseMediaKeys;

// The gamma curves: per channel (red, green, blue) a 257-entry table; the
// 65-point curve is every fourth entry.
inline constexpr int kGammaEntries = 257;
inline constexpr int kGammaPoints = 65;
struct GammaCurves {
    std::array<std::array<std::int16_t, kGammaEntries>, 3> table{};
    std::array<std::array<std::int16_t, kGammaPoints>, 3> points{};
    // points[c][k] = table[c][4k]
    void pointsFromTable();
};

// The current media calibration: the selected rank rows and the base-media
// values, as the media dialogs, the rebuild and printing use them.
struct MediaCalibration {
    // Selected values, in kRankKeys order: three sensitivities then six densities.
    float sensC = 1.0f, sensM = 1.0f, sensY = 1.0f;
    std::int16_t tdtc = 72, tdbc = 317, tdtm = 223, tdbm = 510, tdty = 200, tdby = 510;
    std::array<std::int16_t, kRankColumns> rankIndex{12, 12, 12, 12, 12, 12, 12, 12, 12};

    // The 42 base-media values as text, in kBaseMediaKeys order.
    std::array<std::string, kBaseMediaCount> baseMedia;

    // Base-media values at their defaults; selected values of the nominal row.
    MediaCalibration();
    // Selects a row for one rank quantity: stores the index and the row's value.
    void selectRank(const MediaRankTable& table, RankColumn column, int row);
    // Only the value (the printer setup dialog's rank lists leave the index).
    // Rows outside 0..29 select the nominal row.
    void setSelectedValue(const MediaRankTable& table, RankColumn column, int row);
    // The selected value of one rank quantity as a number.
    double selectedValue(RankColumn column) const;
    // Keys match without regard to case; an unknown key reads as "" and is not stored.
    std::string_view baseMediaValue(std::string_view key) const;
    void setBaseMediaValue(std::string_view key, std::string value);
};

} // namespace kv::media
