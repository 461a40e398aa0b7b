#include "media/media_dialog_text.h"

#include "platform/numbers.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace kv::media {

namespace {

// Whether a number starts here, as strtod/atoi would see it: blanks, a sign, then
// a digit (or a point, for decimals). Used to tell "no number" (reads 0) from
// "too large".
bool startsWithNumber(std::string_view text, bool decimal) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    return i < text.size() &&
           (std::isdigit(static_cast<unsigned char>(text[i])) || (decimal && text[i] == '.'));
}

} // namespace

std::string sensRowText(const MediaRankTable& table, int row, RowSpacing spacing) {
    const auto r = static_cast<std::size_t>(row);
    return platform::formatC(spacing == RowSpacing::Double ? kSensRowFormat : kSensRowSavedFormat,
                             rankLetter(row), static_cast<double>(table.sensC[r]),
                             static_cast<double>(table.sensM[r]),
                             static_cast<double>(table.sensY[r]));
}

std::string densRowText(const MediaRankTable& table, int row, RowSpacing spacing) {
    const auto r = static_cast<std::size_t>(row);
    return platform::formatC(spacing == RowSpacing::Double ? kDensRowFormat : kDensRowSavedFormat,
                             rankLetter(row), table.tdtc[r], table.tdbc[r], table.tdtm[r],
                             table.tdbm[r], table.tdty[r], table.tdby[r]);
}

std::string gammaRowText(const GammaCurves& gamma, int k) {
    const auto i = static_cast<std::size_t>(k);
    return platform::formatC(kGammaRowFormat, 4 * k, gamma.points[0][i], gamma.points[1][i],
                             gamma.points[2][i]);
}

std::string baseMediaLabel(std::string_view key) {
    std::string label(key);
    if (label.ends_with("Ratio"))
        label.replace(label.size() - 5, 5, "RATIO");
    return label;
}

std::string selectedValueLabel(RankColumn column) {
    std::string label(kRankKeys[static_cast<std::size_t>(column)]);
    label[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(label[0])));
    return label;
}

std::string sensitivityText(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

double selectedValue(const MediaCalibration& c, RankColumn column) {
    switch (column) {
    case RankColumn::SensC:
        return c.sensC;
    case RankColumn::SensM:
        return c.sensM;
    case RankColumn::SensY:
        return c.sensY;
    case RankColumn::TDTC:
        return c.tdtc;
    case RankColumn::TDBC:
        return c.tdbc;
    case RankColumn::TDTM:
        return c.tdtm;
    case RankColumn::TDBM:
        return c.tdbm;
    case RankColumn::TDTY:
        return c.tdty;
    case RankColumn::TDBY:
        return c.tdby;
    }
    return 0;
}

std::string selectedValueText(const MediaCalibration& calibration, RankColumn column) {
    const double value = selectedValue(calibration, column);
    if (static_cast<int>(column) < 3)
        return platform::formatC("%.3f", value);
    return platform::formatC("%d", static_cast<int>(value));
}

std::optional<float> readSensitivity(std::string_view text) {
    const std::optional<double> value = platform::parseDouble(text);
    if (!value)
        return startsWithNumber(text, true) ? std::nullopt : std::optional<float>(0.0f);
    if (!std::isfinite(*value) || std::fabs(*value) > std::numeric_limits<float>::max())
        return std::nullopt;
    return static_cast<float>(*value);
}

std::optional<std::int16_t> readInt16(std::string_view text) {
    const std::optional<int> value = platform::parseInt(text);
    if (!value)
        return startsWithNumber(text, false) ? std::nullopt : std::optional<std::int16_t>(0);
    if (*value < std::numeric_limits<std::int16_t>::min() ||
        *value > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(*value);
}

std::string rankFileLabel(const std::filesystem::path& file) {
    std::string label = file.string();
    if (label.size() <= kRankFileLabelMax)
        return label;
    std::size_t end = kRankFileLabelMax;
    // Back off continuation bytes so the cut falls before a whole character.
    while (end > 0 && (static_cast<unsigned char>(label[end]) & 0xC0) == 0x80)
        --end;
    label.resize(end);
    return label;
}

} // namespace kv::media
