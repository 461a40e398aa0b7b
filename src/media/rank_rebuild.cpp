#include "media/rank_rebuild.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kv::media {

namespace {

// q^n in float, by repeated squaring, as the densities have always been built.
float powFloat(float q, int n) {
    float result = 1.0f;
    float base = q;
    while (n > 0) {
        if (n & 1)
            result *= base;
        base *= base;
        n >>= 1;
    }
    return result;
}

// Cut toward zero into the 16-bit column; values beyond it stay at its ends
// instead of wrapping round.
std::int16_t cutToInt16(float v) {
    if (std::isnan(v))
        return 0;
    v = std::clamp(v, static_cast<float>(std::numeric_limits<std::int16_t>::min()),
                   static_cast<float>(std::numeric_limits<std::int16_t>::max()));
    return static_cast<std::int16_t>(v);
}

} // namespace

void sensRebuild(MediaRankTable& table) {
    for (int r = 0; r < kUsedRanks; ++r) {
        const int n = std::max(r + 1, 4);
        // Real division: rows A to D get 1.01^(40/7), and every rank after them 1.01^4.
        const double exponent = ((n - 4) * 28 + 40) / 7.0;
        const auto value = static_cast<float>(0.66 * std::pow(1.01, exponent));
        table.sensC[r] = value;
        table.sensM[r] = value;
        table.sensY[r] = value;
    }
}

void densRebuild(MediaRankTable& table) {
    const auto q = static_cast<float>(std::pow(10.0, 0.02));
    for (auto* column :
         {&table.tdtc, &table.tdbc, &table.tdtm, &table.tdbm, &table.tdty, &table.tdby}) {
        const auto nominal = static_cast<float>((*column)[kNominalRank]);
        for (int r = 0; r < kNominalRank; ++r)
            (*column)[r] = cutToInt16(nominal / powFloat(q, kNominalRank - r) + 0.5f);
        for (int r = kNominalRank + 1; r < kUsedRanks; ++r)
            (*column)[r] = cutToInt16(powFloat(q, r - kNominalRank) * nominal + 0.5f);
    }
}

} // namespace kv::media
