#include "render/raster_lines.h"

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

} // namespace

RasterLineBuilder::RasterLineBuilder()
    : m_copy(std::size_t(kFrameHeight) * kCopyColumns, Levels{}), m_line(kLineBytes) {}

void RasterLineBuilder::prepare(const ExposureImage& exposure) {
    for (int row = 0; row < kFrameHeight; ++row) {
        Levels* dst = m_copy.data() + std::size_t(row) * kCopyColumns;
        for (int column = 0; column < kFrameWidth; ++column) {
            const Levels& v = exposure.at(row, column);
            // No colour stage leaves a level below 0; one that did must not wrap
            // round to a dark element value.
            for (int c = 0; c < 3; ++c)
                dst[column][std::size_t(c)] = std::max<std::int16_t>(v[std::size_t(c)], 0);
        }
    }
}

std::span<const std::uint8_t> RasterLineBuilder::line(int line) {
    std::memset(m_line.data(), printer::kBlankSlot, m_line.size());
    if (line < 0 || line >= kDataLines)
        return m_line;
    const bool odd = line % 2 != 0;
    for (const printer::HeadElement& element : kHeadMap) {
        const int column = line - element.delay;
        if (column < 0 || column > printer::lastColumn(element))
            continue;
        const auto channel = static_cast<std::size_t>(element.channel);
        // Even lines run up the groups from the element's base, odd lines down from
        // its mirror image 571 - base.
        const int firstGroup = odd ? kBmxGroups - 1 - element.groupBase : element.groupBase;
        const std::ptrdiff_t step = odd ? -kGroupBytes : kGroupBytes;
        std::uint8_t* out = m_line.data() + std::ptrdiff_t(firstGroup) * kGroupBytes + element.slot;
        const Levels* in = m_copy.data() + column;
        const int upFrom = roundingThreshold(element.rounding);
        for (int i = 0; i < kHeadPositions; ++i, out += step, in += kCopyColumns) {
            // Levels in the copy are never negative: v / 4 and v mod 4 by shift and mask.
            const int v = (*in)[channel];
            *out = static_cast<std::uint8_t>((v >> 2) + ((v & 3) >= upFrom ? 1 : 0));
        }
    }
    return m_line;
}

bool writeBmxFile(const std::filesystem::path& file, const ExposureImage& exposure) {
    RasterLineBuilder builder;
    builder.prepare(exposure);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    for (int a = 0; a < kBmxLines && out; ++a)
        out.write(reinterpret_cast<const char*>(builder.line(a).data()), kBmxLineBytes);
    out.close();
    if (out)
        return true;
    std::error_code ec;
    std::filesystem::remove(file, ec);
    return false;
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
