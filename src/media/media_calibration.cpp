#include "media/media_calibration.h"

#include <algorithm>

namespace kv::media {

const std::array<BaseMediaKey, kBaseMediaCount> kBaseMediaKeys = {{
    {"RBase32", "100"},   {"GBase32", "100"},   {"BBase32", "100"},   {"RBase128", "200"},
    {"GBase128", "200"},  {"BBase128", "200"},  {"RBase224", "300"},  {"GBase224", "300"},
    {"BBase224", "300"},  {"R4Ratio", "0.7"},   {"G4Ratio", "0.7"},   {"B4Ratio", "0.7"},
    {"R240Ratio", "1.2"}, {"G240Ratio", "1.2"}, {"B240Ratio", "1.2"}, {"R256Ratio", "1.4"},
    {"G256Ratio", "1.4"}, {"B256Ratio", "1.4"}, {"RLimit", "1019"},   {"GLimit", "1019"},
    {"BLimit", "1019"},   {"Prg", "0"},         {"Prb", "0"},         {"Pgr", "0"},
    {"Pgb", "0"},         {"Pbr", "0"},         {"Pbg", "0"},         {"Qrg", "0"},
    {"Qrb", "0"},         {"Qgr", "0"},         {"Qgb", "0"},         {"Qbr", "0"},
    {"Qbg", "0"},         {"Rrg", "0"},         {"Rrb", "0"},         {"Rgr", "0"},
    {"Rgb", "0"},         {"Rbr", "0"},         {"Rbg", "0"},         {"OVbg", "1.0"},
    {"OVgb", "1.0"},      {"OVrg", "1.0"},
}};

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

int baseMediaIndex(std::string_view key) {
    for (int i = 0; i < kBaseMediaCount; ++i)
        if (equalsNoCase(kBaseMediaKeys[i].name, key))
            return i;
    return -1;
}

} // namespace

void GammaCurves::pointsFromTable() {
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < kGammaPoints; ++k)
            points[c][k] = table[c][4 * k];
}

MediaCalibration::MediaCalibration() {
    for (int i = 0; i < kBaseMediaCount; ++i)
        baseMedia[i] = std::string(kBaseMediaKeys[i].defaultValue);
}

void MediaCalibration::selectRank(const MediaRankTable& table, RankColumn column, int row) {
    if (row < 0 || row >= kRankRows)
        row = kNominalRank;
    rankIndex[static_cast<int>(column)] = static_cast<std::int16_t>(row);
    setSelectedValue(table, column, row);
}

void MediaCalibration::setSelectedValue(const MediaRankTable& table, RankColumn column, int row) {
    if (row < 0 || row >= kRankRows)
        row = kNominalRank;
    switch (column) {
    case RankColumn::SensC:
        sensC = table.sensC[row];
        break;
    case RankColumn::SensM:
        sensM = table.sensM[row];
        break;
    case RankColumn::SensY:
        sensY = table.sensY[row];
        break;
    case RankColumn::TDTC:
        tdtc = table.tdtc[row];
        break;
    case RankColumn::TDBC:
        tdbc = table.tdbc[row];
        break;
    case RankColumn::TDTM:
        tdtm = table.tdtm[row];
        break;
    case RankColumn::TDBM:
        tdbm = table.tdbm[row];
        break;
    case RankColumn::TDTY:
        tdty = table.tdty[row];
        break;
    case RankColumn::TDBY:
        tdby = table.tdby[row];
        break;
    }
}

double MediaCalibration::selectedValue(RankColumn column) const {
    switch (column) {
    case RankColumn::SensC:
        return sensC;
    case RankColumn::SensM:
        return sensM;
    case RankColumn::SensY:
        return sensY;
    case RankColumn::TDTC:
        return tdtc;
    case RankColumn::TDBC:
        return tdbc;
    case RankColumn::TDTM:
        return tdtm;
    case RankColumn::TDBM:
        return tdbm;
    case RankColumn::TDTY:
        return tdty;
    case RankColumn::TDBY:
        return tdby;
    }
    return 0;
}

std::string_view MediaCalibration::baseMediaValue(std::string_view key) const {
    const int i = baseMediaIndex(key);
    return i < 0 ? std::string_view() : std::string_view(baseMedia[i]);
}

void MediaCalibration::setBaseMediaValue(std::string_view key, std::string value) {
    if (const int i = baseMediaIndex(key); i >= 0)
        baseMedia[i] = std::move(value);
}

} // namespace kv::media
