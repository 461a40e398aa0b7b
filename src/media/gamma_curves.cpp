#include "media/gamma_curves.h"

#include "media/media_messages.h"
#include "platform/atomic_file.h"
#include "platform/numbers.h"
#include "platform/paths.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kv::media {

namespace {

constexpr double kInt16Min = std::numeric_limits<std::int16_t>::min();
constexpr double kInt16Max = std::numeric_limits<std::int16_t>::max();

// The calibration's "round": truncate toward zero, then add 1 when the dropped
// (signed) fraction is at least 0.5. Out-of-range values stop at the 16-bit ends.
std::int16_t roundInt16(double v) {
    if (std::isnan(v))
        return 0;
    v = std::clamp(v, kInt16Min, kInt16Max);
    double whole = std::trunc(v);
    if (v - whole >= 0.5)
        whole += 1;
    return static_cast<std::int16_t>(whole);
}

std::int16_t cutInt16(double v) {
    if (std::isnan(v))
        return 0;
    return static_cast<std::int16_t>(std::trunc(std::clamp(v, kInt16Min, kInt16Max)));
}

// A base-media text as far as it reads: its leading number, else 0.
double textDouble(std::string_view text) {
    return platform::parseDouble(text).value_or(0.0);
}
int textInt(std::string_view text) {
    return platform::parseInt(text).value_or(0);
}

using Points = std::array<std::int16_t, kGammaPoints>;

// Fills the points between control points a and b. Geometric between positive
// ends; a zero or negative end has no logarithm, so that segment is linear.
void fillSegment(Points& c, int a, int b) {
    const double ca = c[a];
    const double cb = c[b];
    const bool geometric = ca > 0 && cb > 0;
    for (int k = a + 1; k < b; ++k) {
        const double t = static_cast<double>(k - a) / (b - a);
        const double v =
            geometric ? std::pow(10.0, std::log10(ca) + (std::log10(cb) - std::log10(ca)) * t)
                      : ca + (cb - ca) * t;
        c[k] = roundInt16(v);
    }
}

struct ChannelInputs {
    std::int16_t top;    // TDT?
    std::int16_t bottom; // TDB?
    std::string_view base128, ratio4, ratio240, ratio256, limit;
};

void rebuildChannel(const ChannelInputs& in, std::array<std::int16_t, kGammaEntries>& table,
                    Points& c) {
    c.fill(0);
    const double t = in.top;
    const double u = in.bottom;
    c[1] = roundInt16(textDouble(in.ratio4) * t);
    c[8] = in.top;
    c[32] = static_cast<std::int16_t>(std::clamp<int>(textInt(in.base128), kInt16Min, kInt16Max));
    c[56] = in.bottom;
    c[60] = roundInt16(textDouble(in.ratio240) * u);
    c[64] = roundInt16(textDouble(in.ratio256) * u);
    for (auto [a, b] : {std::pair{1, 8}, {8, 32}, {32, 56}, {56, 60}, {60, 64}})
        fillSegment(c, a, b);

    const double limit = textDouble(in.limit);
    for (auto& point : c)
        if (point > limit)
            point = cutInt16(limit);

    for (int k = 0; k < kGammaPoints; ++k)
        table[4 * k] = c[k];
    for (int k = 0; k + 1 < kGammaPoints; ++k) {
        const double from = table[4 * k];
        const double to = table[4 * k + 4];
        for (int j = 1; j <= 3; ++j)
            table[4 * k + j] = roundInt16((to - from) / 4 * j + from);
    }
}

// One line of GammaTable.tbl: four integers, blanks around them; the entries
// must fit the 16-bit table.
bool parseLine(std::string_view line, std::array<std::int16_t, 3>& entries) {
    for (int i = 0; i < 4; ++i) {
        std::size_t used = 0;
        const auto number = platform::parseInt(line, &used);
        if (!number)
            return false;
        line.remove_prefix(used);
        if (i > 0) {
            if (*number < kInt16Min || *number > kInt16Max)
                return false;
            entries[i - 1] = static_cast<std::int16_t>(*number);
        }
    }
    return line.find_first_not_of(" \t\r\v\f") == std::string_view::npos;
}

} // namespace

void rebuildGammaCurves(const MediaCalibration& cal, GammaCurves& gamma) {
    const std::array<ChannelInputs, 3> channels = {{
        {cal.tdtc, cal.tdbc, cal.baseMediaValue("RBase128"), cal.baseMediaValue("R4Ratio"),
         cal.baseMediaValue("R240Ratio"), cal.baseMediaValue("R256Ratio"),
         cal.baseMediaValue("RLimit")},
        {cal.tdtm, cal.tdbm, cal.baseMediaValue("GBase128"), cal.baseMediaValue("G4Ratio"),
         cal.baseMediaValue("G240Ratio"), cal.baseMediaValue("G256Ratio"),
         cal.baseMediaValue("GLimit")},
        {cal.tdty, cal.tdby, cal.baseMediaValue("BBase128"), cal.baseMediaValue("B4Ratio"),
         cal.baseMediaValue("B240Ratio"), cal.baseMediaValue("B256Ratio"),
         cal.baseMediaValue("BLimit")},
    }};
    for (int c = 0; c < 3; ++c)
        rebuildChannel(channels[c], gamma.table[c], gamma.points[c]);
}

std::array<double, 3> colourFactors(const MediaCalibration& cal) {
    return {cal.sensC, cal.sensM, cal.sensY};
}

void expandPointsCut(GammaCurves& gamma) {
    for (auto& table : gamma.table)
        for (int k = 0; k + 1 < kGammaPoints; ++k) {
            const int from = table[4 * k];
            const double step = (table[4 * k + 4] - from) / 4.0;
            for (int j = 1; j <= 3; ++j)
                table[4 * k + j] = static_cast<std::int16_t>(static_cast<int>(step * j) + from);
        }
    gamma.pointsFromTable();
}

std::string formatGammaTable(const GammaCurves& gamma) {
    std::string text;
    text.reserve(kGammaEntries * 24);
    for (int i = 0; i < kGammaEntries; ++i)
        text += platform::formatC("%d  %d  %d  %d \n", i, gamma.table[0][i], gamma.table[1][i],
                                  gamma.table[2][i]);
    return text;
}

std::optional<GammaCurves> parseGammaTable(std::string_view text) {
    GammaCurves gamma;
    int row = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        // Blank lines are skipped, as a scan with this format skips them.
        if (line.find_first_not_of(" \t\r\v\f") == std::string_view::npos)
            continue;
        std::array<std::int16_t, 3> entries{};
        if (row == kGammaEntries || !parseLine(line, entries))
            return std::nullopt;
        for (int c = 0; c < 3; ++c)
            gamma.table[c][row] = entries[c];
        ++row;
    }
    if (row != kGammaEntries)
        return std::nullopt;
    gamma.pointsFromTable();
    return gamma;
}

bool readGammaTable(const std::filesystem::path& programDir, GammaCurves& gamma, platform::Ui& ui) {
    std::string bytes;
    if (!platform::readFile(platform::findNoCase(programDir, std::string(kGammaTableFile)),
                            bytes)) {
        ui.message(kMsgGammaTableMissing, platform::Ui::Icon::Exclamation);
        return false;
    }
    auto parsed = parseGammaTable(bytes);
    if (!parsed) {
        ui.message(kMsgGammaTableBad, platform::Ui::Icon::Exclamation);
        return false;
    }
    gamma = *parsed;
    return true;
}

bool writeGammaTable(const std::filesystem::path& programDir, const GammaCurves& gamma,
                     platform::Ui& ui) {
    const auto path = platform::findNoCase(programDir, std::string(kGammaTableFile));
    if (!platform::writeFileAtomic(path, formatGammaTable(gamma))) {
        ui.message(kMsgGammaTableNotSaved, platform::Ui::Icon::Exclamation);
        return false;
    }
    return true;
}

} // namespace kv::media
