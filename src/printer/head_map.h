#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kv::printer {

// The print head and the raster line that drives it: which slot of which 16-byte element
// group carries which print level, at which line delay. Shared by the raster line builder
// and by the virtual printer, which undoes the map to re-assemble a page.

inline constexpr int kHeadPositions = 480; // head position i prints picture row i
inline constexpr int kGroupBytes = 16;     // element slots per group
inline constexpr int kBmxGroups = 572;     // groups of a raster file line
inline constexpr int kLineGroups = 604;    // groups of a line sent to the printer
inline constexpr int kBmxLineBytes = kBmxGroups * kGroupBytes; // 9,152
inline constexpr int kLineBytes = kLineGroups * kGroupBytes;   // 9,664
inline constexpr int kPictureColumns = 640;
inline constexpr int kSheetColumns = 645; // 640 picture columns and 5 margin columns
inline constexpr int kMaxDelay = 38;
inline constexpr int kDataLines = kSheetColumns + kMaxDelay; // lines 0..682 are built
inline constexpr int kDirectLines = 774;        // lines of one page sent to the printer
inline constexpr int kBmxLines = 773;           // lines of the raster file
inline constexpr std::uint8_t kBlankSlot = 255; // start value of every slot; a white line

// Level order of the exposure image: from blue, from green, from red.
enum class Channel : std::uint8_t { Yellow = 0, Magenta = 1, Cyan = 2 };

// How an element's value follows from level v: v / 4, plus 1 when v mod 4 reaches the
// rule's threshold.
enum class Rounding : std::uint8_t {
    UpFrom1, // plus 1 if v mod 4 >= 1
    UpFrom2, // plus 1 if v mod 4 >= 2
    UpAt3,   // plus 1 if v mod 4 == 3
    Down,    // v / 4
};

struct HeadElement {
    Channel channel;
    std::uint8_t delay;      // line a prints column a - delay
    std::uint8_t slot;       // slot inside the group
    std::uint16_t groupBase; // group of head position i on even lines: groupBase + i
    Rounding rounding;
};

// Cyan and magenta are printed by four elements whose values add up to the level; yellow
// by three, adding up to 3 * (v / 4) + v mod 4. Slots 4, 6, 7, 9 and 10 stay blank.
inline constexpr std::array<HeadElement, 11> kHeadMap = {{
    {Channel::Cyan, 0, 8, 43, Rounding::UpFrom1},
    {Channel::Yellow, 10, 1, 60, Rounding::UpFrom1},
    {Channel::Magenta, 10, 15, 28, Rounding::UpFrom1},
    {Channel::Magenta, 19, 14, 77, Rounding::UpFrom2},
    {Channel::Yellow, 19, 2, 45, Rounding::UpFrom2},
    {Channel::Cyan, 19, 12, 13, Rounding::UpFrom2},
    {Channel::Magenta, 29, 13, 30, Rounding::UpAt3},
    {Channel::Cyan, 29, 5, 62, Rounding::UpAt3},
    {Channel::Magenta, 38, 11, 47, Rounding::Down},
    {Channel::Cyan, 38, 0, 79, Rounding::Down},
    {Channel::Yellow, 38, 3, 15, Rounding::UpAt3},
}};

// The element value of level v (never negative); the line stores its low 8 bits.
constexpr int elementValue(Rounding rounding, int v) {
    const int rest = v % 4;
    switch (rounding) {
    case Rounding::UpFrom1:
        return v / 4 + (rest >= 1 ? 1 : 0);
    case Rounding::UpFrom2:
        return v / 4 + (rest >= 2 ? 1 : 0);
    case Rounding::UpAt3:
        return v / 4 + (rest == 3 ? 1 : 0);
    case Rounding::Down:
        break;
    }
    return v / 4;
}

// Group of an element for head position i on line a: odd lines run the other way across
// the 572 groups.
constexpr int elementGroup(const HeadElement& element, int headPosition, int line) {
    const int group = element.groupBase + headPosition;
    return line % 2 == 0 ? group : kBmxGroups - 1 - group;
}

// Byte offset of that element's slot in the line.
constexpr std::size_t elementOffset(const HeadElement& element, int headPosition, int line) {
    return static_cast<std::size_t>(elementGroup(element, headPosition, line)) * kGroupBytes +
           element.slot;
}

// Last picture column an element prints: the delay-0 element also prints the margin columns.
constexpr int lastColumn(const HeadElement& element) {
    return element.delay == 0 ? kSheetColumns - 1 : kPictureColumns - 1;
}

} // namespace kv::printer
