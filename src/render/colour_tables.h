#pragma once

#include "platform/ui.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The calibration tables the colour stages read: the colour-matching lattice
// (*.cct), the hue-sector parameters [ColCorPalam] of kvx00.ini, and the
// base-media values of BasMedia.ini as the exposure conversion reads them.
namespace kv::render {

// A *.cct file is a 24-bit BMP of 1089 rows of 100 bytes (33 pixels and one pad
// byte) that holds a 33 x 33 x 33 lattice of output colours.
inline constexpr int kLatticeSide = 33;
inline constexpr int kLatticeRows = kLatticeSide * kLatticeSide; // 1089
inline constexpr int kLatticeRowBytes = 100;
inline constexpr std::size_t kLatticeBytes = std::size_t(kLatticeRows) * kLatticeRowBytes;
inline constexpr std::size_t kCctHeaderBytes = 14 + 40; // file header, information header

// Input level of lattice index i: 0, 7, 15, 23, ..., 247, 255.
constexpr int latticeLevel(int i) {
    return i == 0 ? 0 : 8 * i - 1;
}

struct ColourMatchingTable {
    std::vector<std::uint8_t> lattice; // kLatticeBytes, rows top-down

    // The output blue, green, red bytes for the input on lattice indices iR, iG, iB.
    const std::uint8_t* at(int iR, int iG, int iB) const {
        return lattice.data() + std::size_t(kLatticeSide * iR + iG) * kLatticeRowBytes + iB * 3;
    }
};

enum class CctLoad {
    Loaded,
    NotFound,  // the file cannot be opened
    NoMemory,  // the lattice buffer cannot be allocated
    LoadError, // a header that does not announce exactly the lattice, or too few bytes
};
// The message for a failed load; empty for Loaded.
std::string_view cctMessage(CctLoad result);

// The header is checked before anything is allocated: the file size and data
// offset it announces must leave exactly the lattice's bytes, and the file must
// hold them. The rows come out top-down.
CctLoad parseColourMatchingTable(std::string_view bytes, ColourMatchingTable& table);
CctLoad readColourMatchingTable(const std::filesystem::path& path, ColourMatchingTable& table);
// readColourMatchingTable with its message shown on failure.
std::optional<ColourMatchingTable> loadColourMatchingTable(const std::filesystem::path& path,
                                                           platform::Ui& ui);

// [ColCorPalam]: per primary and secondary colour a shift of every channel and
// a saturation factor at the top (dominant component 255) and bottom (0).
enum HueColour : int { kHueRed, kHueGreen, kHueBlue, kHueCyan, kHueMagenta, kHueYellow };
struct ColCorPalam {
    std::array<std::array<double, 3>, 6> shift{}; // [colour][channel r, g, b]
    std::array<double, 6> top{1, 1, 1, 1, 1, 1};
    std::array<double, 6> bottom{1, 1, 1, 1, 1, 1};
    friend bool operator==(const ColCorPalam&, const ColCorPalam&) = default;
};
inline constexpr std::string_view kColCorSection = "ColCorPalam";

// The thirty keys of kvx00.ini (found without regard to case), read at every job.
// A missing key gives its default (shifts 0.0, factors 1.0); a text converts as
// far as it reads, else 0.
ColCorPalam readColCorPalam(const std::filesystem::path& programDir);

// [BaseMedia] of BasMedia.ini as the exposure conversion reads it at every job:
// only the keys it uses, "0.0" for every missing one.
enum class BaseValue : int {
    RBase32,
    RBase224,
    GBase32,
    GBase224,
    BBase32,
    BBase224,
    Prg,
    Prb,
    Pgr,
    Pgb,
    Pbr,
    Pbg,
    Qrg,
    Qrb,
    Qgr,
    Qgb,
    Qbr,
    Qbg,
    Rrg,
    Rrb,
    Rgr,
    Rgb,
    Rbr,
    Rbg,
    OVbg,
    OVgb,
    OVrg,
    Count
};
inline constexpr int kBaseValueCount = static_cast<int>(BaseValue::Count);
extern const std::array<std::string_view, kBaseValueCount> kBaseValueKeys;

struct ExposureBaseMedia {
    std::array<std::string, kBaseValueCount> text; // as the file has it

    ExposureBaseMedia() { text.fill("0.0"); }
    std::string_view name(BaseValue v) const { return kBaseValueKeys[static_cast<int>(v)]; }
    const std::string& textOf(BaseValue v) const { return text[static_cast<int>(v)]; }
    // The leading number of the text, else 0.
    double value(BaseValue v) const;
    // Sets a key by its name (any case); false for a key the conversion does not use.
    bool set(std::string_view key, std::string value);
};
ExposureBaseMedia readExposureBaseMedia(const std::filesystem::path& programDir);

} // namespace kv::render
