#include "media/gamma_curves.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

// Input: a GammaTable.tbl text. Its lines are also used as the 42 base-media
// texts, and its first bytes as the six selected densities, for a rebuild.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kv::media;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto parsed = parseGammaTable(text)) {
        const auto again = parseGammaTable(formatGammaTable(*parsed));
        if (!again || again->table != parsed->table || again->points != parsed->points)
            std::abort();
    }

    MediaCalibration cal;
    std::string_view rest = text;
    for (int i = 0; i < kBaseMediaCount && !rest.empty(); ++i) {
        const std::size_t end = rest.find('\n');
        cal.baseMedia[i] = std::string(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    std::int16_t* densities[] = {&cal.tdtc, &cal.tdbc, &cal.tdtm, &cal.tdbm, &cal.tdty, &cal.tdby};
    for (std::size_t i = 0; i < 6 && 2 * i + 1 < size; ++i)
        *densities[i] = static_cast<std::int16_t>(data[2 * i] | data[2 * i + 1] << 8);

    GammaCurves gamma;
    rebuildGammaCurves(cal, gamma);
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < kGammaPoints; ++k)
            if (gamma.points[c][k] != gamma.table[c][4 * k])
                std::abort();

    expandPointsCut(gamma);
    for (const auto& table : gamma.table)
        for (int e = 1; e < kGammaEntries - 1; ++e) {
            const int lo = std::min(table[e / 4 * 4], table[(e + 3) / 4 * 4]);
            const int hi = std::max(table[e / 4 * 4], table[(e + 3) / 4 * 4]);
            if (table[e] < lo || table[e] > hi)
                std::abort();
        }
    return 0;
}
