#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv::media {

inline constexpr int kRankRows = 30;    // rows in the table and in Media.rtb
inline constexpr int kUsedRanks = 25;   // A to Y
inline constexpr int kNominalRank = 12; // M
inline constexpr std::size_t kRankTableBytes = 720;

// The nine rank quantities, in the order of the media identification.
enum class RankColumn { SensC, SensM, SensY, TDTC, TDBC, TDTM, TDBM, TDTY, TDBY };
inline constexpr int kRankColumns = 9;
inline constexpr std::array<std::string_view, kRankColumns> kRankKeys = {
    "sensC", "sensM", "sensY", "TDTC", "TDBC", "TDTM", "TDBM", "TDTY", "TDBY"};

// The media rank table: per rank row three sensitivities and six densities.
// Its bytes are exactly Media.rtb (little-endian floats, then int16 columns).
struct MediaRankTable {
    std::array<float, kRankRows> sensC{}, sensM{}, sensY{};
    std::array<std::int16_t, kRankRows> tdtc{}, tdbc{}, tdtm{}, tdbm{}, tdty{}, tdby{};

    static MediaRankTable defaults();
    std::string toBytes() const;                                            // 720 bytes
    static std::optional<MediaRankTable> fromBytes(std::string_view bytes); // nullopt when short
    // Sensitivity or density of a row as a number (rows outside 0..29 give the
    // nominal row).
    double value(RankColumn column, int row) const;
    friend bool operator==(const MediaRankTable&, const MediaRankTable&) = default;
};

// The row of a rank letter: "A" to "Y" (either case) give 0 to 24; anything else
// gives the nominal row 12 ("M"), so a bad letter never indexes outside the table.
int rankRow(char letter);
// The letter of a row: 'A' + row for 0 to 24, 'M' for anything else.
char rankLetter(int row);

} // namespace kv::media
