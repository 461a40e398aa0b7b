#include "render/raster_lines.h"

#include "platform/atomic_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace kv::render {

namespace {

using printer::kBmxGroups;
using printer::kBmxLineBytes;
using printer::kBmxLines;
using printer::kDataLines;
using printer::kDirectLines;
using printer::kGroupBytes;
using printer::kHeadMap;
using printer::kHeadPositions;
using printer::kLineBytes;

static_assert(kHeadPositions == kFrameHeight);

// The head map's rounding rule as the remainder v mod 4 from which an element
// takes one more (4: never), read off the table's own element values.
constexpr int roundingThreshold(printer::Rounding rounding) {
    for (int rest = 1; rest < 4; ++rest)
        if (printer::elementValue(rounding, rest) == 1)
            return rest;
    return 4;
}

std::size_t columnOffset(int column, std::size_t channel) {
    return (std::size_t(column) * 3 + channel) * kHeadPositions;
}

} // namespace

RasterLineBuilder::RasterLineBuilder()
    : m_columns(columnOffset(printer::kSheetColumns, 0), 0),
      m_slots(std::size_t(kGroupBytes) * kBmxGroups), m_line(kLineBytes) {}

void RasterLineBuilder::prepare(const ExposureImage& exposure) {
    // Turned on its side in blocks of rows, so that both sides stay in the cache.
    constexpr int kBlockRows = 8;
    static_assert(kFrameHeight % kBlockRows == 0);
    for (int firstRow = 0; firstRow < kFrameHeight; firstRow += kBlockRows) {
        const Levels* rows[kBlockRows];
        for (int r = 0; r < kBlockRows; ++r)
            rows[r] = &exposure.at(firstRow + r, 0);
        std::uint16_t* dst = m_columns.data() + firstRow;
        for (int column = 0; column < kFrameWidth; ++column)
            for (std::size_t c = 0; c < 3; ++c, dst += kHeadPositions)
                for (int r = 0; r < kBlockRows; ++r)
                    // No colour stage leaves a level below 0; one that did must not
                    // wrap round to a dark element value.
                    dst[r] =
                        static_cast<std::uint16_t>(std::max<std::int16_t>(rows[r][column][c], 0));
    }
}

std::span<const std::uint8_t> RasterLineBuilder::line(int line) {
    std::memset(m_line.data(), printer::kBlankSlot, m_line.size());
    if (line < 0 || line >= kDataLines)
        return m_line;
    // Each element's values go in a row of their slot, indexed by the group they
    // have on even lines; the rows are then interleaved into groups of 16.
    std::uint8_t* const slots = m_slots.data();
    std::memset(slots, printer::kBlankSlot, m_slots.size());
    for (const printer::HeadElement& element : kHeadMap) {
        const int column = line - element.delay;
        if (column < 0 || column > printer::lastColumn(element))
            continue;
        const std::uint16_t* in =
            m_columns.data() + columnOffset(column, std::size_t(element.channel));
        std::uint8_t* out = slots + std::size_t(element.slot) * kBmxGroups + element.groupBase;
        // v / 4, plus 1 when v mod 4 reaches the threshold t, is (v + 4 - t) / 4;
        // levels stay below 2^15, so the sum fits 16 bits.
        const int add = 4 - roundingThreshold(element.rounding);
        for (int i = 0; i < kHeadPositions; ++i)
            out[i] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(in[i] + add) >> 2);
    }
    std::uint8_t* const groups = m_line.data();
    for (int g = 0; g < kBmxGroups; ++g)
        for (int s = 0; s < kGroupBytes; ++s)
            groups[g * kGroupBytes + s] = slots[s * kBmxGroups + g];
    // Odd lines run the other way across the groups.
    if (line % 2 != 0)
        for (int g = 0, h = kBmxGroups - 1; g < h; ++g, --h) {
            std::uint8_t swap[kGroupBytes];
            std::memcpy(swap, groups + g * kGroupBytes, kGroupBytes);
            std::memcpy(groups + g * kGroupBytes, groups + h * kGroupBytes, kGroupBytes);
            std::memcpy(groups + h * kGroupBytes, swap, kGroupBytes);
        }
    return m_line;
}

bool writeBmxFile(const std::filesystem::path& file, const ExposureImage& exposure) {
    RasterLineBuilder builder;
    builder.prepare(exposure);
    std::string bytes;
    bytes.reserve(std::size_t(kBmxLines) * kBmxLineBytes);
    for (int a = 0; a < kBmxLines; ++a)
        bytes.append(reinterpret_cast<const char*>(builder.line(a).data()), kBmxLineBytes);
    // Beside the target and renamed into place: a failed write leaves an old file as it
    // was, and a target that is no regular file is refused, never replaced or removed.
    return platform::writeFileAtomic(file, bytes);
}

int streamRasterLines(const ExposureImage& exposure,
                      const std::function<bool(int, std::span<const std::uint8_t>)>& send) {
    RasterLineBuilder builder;
    builder.prepare(exposure);
    for (int a = 0; a < kDirectLines; ++a)
        if (!send(a, builder.line(a)))
            return a;
    return kDirectLines;
}

} // namespace kv::render
