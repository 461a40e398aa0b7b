#include "media/media_rank_table.h"

#include <bit>

namespace kv::media {

namespace {

constexpr std::size_t kFloatColumnBytes = kRankRows * 4;
constexpr std::size_t kIntColumnBytes = kRankRows * 2;
constexpr std::size_t kIntColumnsOffset = 3 * kFloatColumnBytes; // 360

// Works on const and non-const tables alike.
template <class Table> auto floatColumns(Table& t) {
    return std::array{&t.sensC, &t.sensM, &t.sensY};
}

template <class Table> auto intColumns(Table& t) {
    return std::array{&t.tdtc, &t.tdbc, &t.tdtm, &t.tdbm, &t.tdty, &t.tdby};
}

void putLe(std::string& out, std::size_t offset, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t getLe(std::string_view in, std::size_t offset, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[offset + i])) << (8 * i);
    return v;
}

} // namespace

MediaRankTable MediaRankTable::defaults() {
    MediaRankTable t;
    t.sensC.fill(1.0f);
    t.sensM.fill(1.0f);
    t.sensY.fill(1.0f);
    t.tdtc.fill(72);
    t.tdbc.fill(317);
    t.tdtm.fill(223);
    t.tdbm.fill(510);
    t.tdty.fill(200);
    t.tdby.fill(510);
    return t;
}

std::string MediaRankTable::toBytes() const {
    std::string out(kRankTableBytes, '\0');
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < kRankRows; ++r)
            putLe(out, c * kFloatColumnBytes + r * 4,
                  std::bit_cast<std::uint32_t>((*floatColumns(*this)[c])[r]), 4);
    for (int c = 0; c < 6; ++c)
        for (int r = 0; r < kRankRows; ++r)
            putLe(out, kIntColumnsOffset + c * kIntColumnBytes + r * 2,
                  static_cast<std::uint16_t>((*intColumns(*this)[c])[r]), 2);
    return out;
}

std::optional<MediaRankTable> MediaRankTable::fromBytes(std::string_view bytes) {
    if (bytes.size() < kRankTableBytes)
        return std::nullopt;
    MediaRankTable t;
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < kRankRows; ++r)
            (*floatColumns(t)[c])[r] =
                std::bit_cast<float>(getLe(bytes, c * kFloatColumnBytes + r * 4, 4));
    for (int c = 0; c < 6; ++c)
        for (int r = 0; r < kRankRows; ++r)
            (*intColumns(t)[c])[r] = static_cast<std::int16_t>(static_cast<std::uint16_t>(
                getLe(bytes, kIntColumnsOffset + c * kIntColumnBytes + r * 2, 2)));
    return t;
}

double MediaRankTable::value(RankColumn column, int row) const {
    if (row < 0 || row >= kRankRows)
        row = kNominalRank;
    const int c = static_cast<int>(column);
    if (c < 3)
        return (*floatColumns(*this)[c])[row];
    return (*intColumns(*this)[c - 3])[row];
}

int rankRow(char letter) {
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    if (letter >= 'A' && letter < 'A' + kUsedRanks)
        return letter - 'A';
    return kNominalRank;
}

char rankLetter(int row) {
    return row >= 0 && row < kUsedRanks ? static_cast<char>('A' + row) : 'A' + kNominalRank;
}

} // namespace kv::media
