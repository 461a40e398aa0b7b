#include "render/colour_tables.h"

#include "adjust/picture_adjust_settings.h"
#include "media/media_files.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "render/colour_messages.h"

#include <algorithm>
#include <fstream>
#include <new>
#include <system_error>

namespace kv::render {

namespace fs = std::filesystem;

namespace {

std::uint32_t readU32(const char* p) {
    const auto b = [p](int i) { return std::uint32_t(static_cast<unsigned char>(p[i])); };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

// Where the lattice starts, when the header announces at least the lattice's bytes
// and a file of `fileLength` bytes holds all it announces. Padding some writers add
// after the last row is announced too, and is not read.
std::optional<std::uint64_t> latticeOffset(const char* header, std::uint64_t fileLength) {
    const std::uint64_t fileSize = readU32(header + 2);
    const std::uint64_t offset = readU32(header + 10);
    if (fileSize < offset || fileSize - offset < kLatticeBytes || fileSize > fileLength)
        return std::nullopt;
    return offset;
}

// BMP rows are stored bottom-up; the lattice is indexed top-down.
void turnRows(std::vector<std::uint8_t>& lattice) {
    for (int i = 0; i < kLatticeRows / 2; ++i)
        std::swap_ranges(lattice.begin() + std::ptrdiff_t(i) * kLatticeRowBytes,
                         lattice.begin() + std::ptrdiff_t(i + 1) * kLatticeRowBytes,
                         lattice.begin() + std::ptrdiff_t(kLatticeRows - 1 - i) * kLatticeRowBytes);
}

bool allocate(ColourMatchingTable& table) {
    try {
        table.lattice.assign(kLatticeBytes, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

struct ColCorKey {
    std::string_view name;
    int colour;
    int channel; // 0..2 a shift; -1 the top factor; -2 the bottom factor
};
// In the order the keys are read.
constexpr ColCorKey kColCorKeys[] = {
    {"Rr", kHueRed, 0},       {"Rg", kHueRed, 1},       {"Rb", kHueRed, 2},
    {"Gr", kHueGreen, 0},     {"Gg", kHueGreen, 1},     {"Gb", kHueGreen, 2},
    {"Br", kHueBlue, 0},      {"Bg", kHueBlue, 1},      {"Bb", kHueBlue, 2},
    {"Cr", kHueCyan, 0},      {"Mr", kHueMagenta, 0},   {"Yr", kHueYellow, 0},
    {"Cg", kHueCyan, 1},      {"Mg", kHueMagenta, 1},   {"Yg", kHueYellow, 1},
    {"Cb", kHueCyan, 2},      {"Mb", kHueMagenta, 2},   {"Yb", kHueYellow, 2},
    {"Srt", kHueRed, -1},     {"Sgt", kHueGreen, -1},   {"Sct", kHueCyan, -1},
    {"Smt", kHueMagenta, -1}, {"Syt", kHueYellow, -1},  {"Sbt", kHueBlue, -1},
    {"Srb", kHueRed, -2},     {"Sgb", kHueGreen, -2},   {"Sbb", kHueBlue, -2},
    {"Scb", kHueCyan, -2},    {"Smb", kHueMagenta, -2}, {"Syb", kHueYellow, -2},
};
constexpr std::size_t kColCorTextBytes = 99; // the value's buffer held 100 characters

bool equalsNoCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace

std::string_view cctMessage(CctLoad result) {
    switch (result) {
    case CctLoad::NotFound:
        return kMsgMatchTableNotFound;
    case CctLoad::NoMemory:
        return kMsgMatchTableNoMemory;
    case CctLoad::LoadError:
        return kMsgMatchTableLoadError;
    case CctLoad::Loaded:
        break;
    }
    return {};
}

CctLoad parseColourMatchingTable(std::string_view bytes, ColourMatchingTable& table) {
    if (bytes.size() < kCctHeaderBytes)
        return CctLoad::LoadError;
    const auto offset = latticeOffset(bytes.data(), bytes.size());
    if (!offset)
        return CctLoad::LoadError;
    ColourMatchingTable read;
    if (!allocate(read))
        return CctLoad::NoMemory;
    std::copy_n(bytes.data() + *offset, kLatticeBytes, read.lattice.begin());
    turnRows(read.lattice);
    table = std::move(read);
    return CctLoad::Loaded;
}

CctLoad readColourMatchingTable(const fs::path& path, ColourMatchingTable& table) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return CctLoad::NotFound;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return CctLoad::NotFound;
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    in.seekg(0);
    char header[kCctHeaderBytes];
    if (length < std::streamoff(kCctHeaderBytes) || !in.read(header, kCctHeaderBytes))
        return CctLoad::LoadError;
    const auto offset = latticeOffset(header, std::uint64_t(length));
    if (!offset)
        return CctLoad::LoadError;
    ColourMatchingTable read;
    if (!allocate(read))
        return CctLoad::NoMemory;
    in.seekg(std::streamoff(*offset));
    if (!in.read(reinterpret_cast<char*>(read.lattice.data()), std::streamsize(kLatticeBytes)))
        return CctLoad::LoadError;
    turnRows(read.lattice);
    table = std::move(read);
    return CctLoad::Loaded;
}

std::optional<ColourMatchingTable> loadColourMatchingTable(const fs::path& path, platform::Ui& ui) {
    ColourMatchingTable table;
    const CctLoad result = readColourMatchingTable(path, table);
    if (result != CctLoad::Loaded) {
        ui.message(cctMessage(result), platform::Ui::Icon::Exclamation);
        return std::nullopt;
    }
    return table;
}

ColCorPalam readColCorPalam(const fs::path& programDir) {
    const platform::Profile profile(
        platform::findNoCase(programDir, std::string(adjust::kSettingsFile)));
    ColCorPalam p;
    for (const ColCorKey& key : kColCorKeys) {
        const bool shift = key.channel >= 0;
        std::string text = profile.readString(kColCorSection, key.name, shift ? "0.0" : "1.0");
        if (text.size() > kColCorTextBytes)
            text.resize(kColCorTextBytes);
        const double v = platform::parseDouble(text).value_or(0.0);
        if (shift)
            p.shift[key.colour][key.channel] = v;
        else if (key.channel == -1)
            p.top[key.colour] = v;
        else
            p.bottom[key.colour] = v;
    }
    return p;
}

const std::array<std::string_view, kBaseValueCount> kBaseValueKeys = {
    "RBase32", "RBase224", "GBase32", "GBase224", "BBase32", "BBase224", "Prg",  "Prb",  "Pgr",
    "Pgb",     "Pbr",      "Pbg",     "Qrg",      "Qrb",     "Qgr",      "Qgb",  "Qbr",  "Qbg",
    "Rrg",     "Rrb",      "Rgr",     "Rgb",      "Rbr",     "Rbg",      "OVbg", "OVgb", "OVrg",
};

double ExposureBaseMedia::value(BaseValue v) const {
    return platform::parseDouble(textOf(v)).value_or(0.0);
}

bool ExposureBaseMedia::set(std::string_view key, std::string value) {
    for (int i = 0; i < kBaseValueCount; ++i)
        if (equalsNoCase(kBaseValueKeys[i], key)) {
            text[i] = std::move(value);
            return true;
        }
    return false;
}

ExposureBaseMedia readExposureBaseMedia(const fs::path& programDir) {
    const platform::Profile profile(
        platform::findNoCase(programDir, std::string(media::kBaseMediaFile)));
    ExposureBaseMedia base;
    for (int i = 0; i < kBaseValueCount; ++i)
        base.text[i] = profile.readString(media::kBaseMediaSection, kBaseValueKeys[i], "0.0");
    return base;
}

} // namespace kv::render
