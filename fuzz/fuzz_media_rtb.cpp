#include "media/media_rank_table.h"
#include "media/rank_rebuild.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

// Input: a Media.rtb image. Checks the byte round trip, every value lookup and
// that both rebuilds keep what they must keep.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kv::media;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto table = MediaRankTable::fromBytes(bytes);
    if (table.has_value() != (size >= kRankTableBytes))
        std::abort();
    if (!table)
        return 0;
    if (table->toBytes() != bytes.substr(0, kRankTableBytes))
        std::abort();
    for (int c = 0; c < kRankColumns; ++c)
        for (int row = -1; row <= kRankRows; ++row)
            (void)table->value(static_cast<RankColumn>(c), row);

    MediaRankTable rebuilt = *table;
    sensRebuild(rebuilt);
    densRebuild(rebuilt);
    for (int row = kUsedRanks; row < kRankRows; ++row)
        if (rebuilt.tdbc[row] != table->tdbc[row] ||
            rebuilt.toBytes().substr(row * 4, 4) != table->toBytes().substr(row * 4, 4))
            std::abort();
    if (rebuilt.tdtc[kNominalRank] != table->tdtc[kNominalRank] ||
        rebuilt.tdby[kNominalRank] != table->tdby[kNominalRank])
        std::abort();
    // A positive row M density grows with the rank letter.
    if (rebuilt.tdty[kNominalRank] > 0)
        for (int row = 1; row < kUsedRanks; ++row)
            if (rebuilt.tdty[row] < rebuilt.tdty[row - 1])
                std::abort();
    return 0;
}
