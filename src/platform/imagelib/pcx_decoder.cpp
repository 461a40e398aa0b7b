#include "platform/imagelib/decoder_support.h"

#include <algorithm>
#include <vector>

namespace kv::platform::imagelib {

namespace {

using detail::has;
using detail::le16;

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kEndPaletteSize = 769; // 0x0C, then 256 red, green, blue triples

// Reads the encoded stream one scan line at a time. A run may carry over into
// the next line, so the decoder keeps what is left of it.
class LineReader {
  public:
    LineReader(std::span<const std::uint8_t> data, bool rle) : m_data(data), m_rle(rle) {}

    bool read(std::vector<std::uint8_t>& line) {
        for (std::uint8_t& b : line) {
            // An empty run is legal and writes nothing.
            while (m_runLeft == 0) {
                if (m_pos >= m_data.size())
                    return false;
                const std::uint8_t c = m_data[m_pos++];
                if (m_rle && (c & 0xC0) == 0xC0) {
                    if (m_pos >= m_data.size())
                        return false;
                    m_runLeft = c & 0x3F;
                    m_runValue = m_data[m_pos++];
                } else {
                    m_runLeft = 1;
                    m_runValue = c;
                }
            }
            b = m_runValue;
            --m_runLeft;
        }
        return true;
    }

  private:
    std::span<const std::uint8_t> m_data;
    bool m_rle;
    std::size_t m_pos = 0;
    int m_runLeft = 0;
    std::uint8_t m_runValue = 0;
};

bool bit(const std::uint8_t* plane, int x) {
    return (plane[x >> 3] >> (7 - (x & 7))) & 1;
}

} // namespace

DecodeResult decodePcx(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    if (!has(bytes, 0, kHeaderSize) || bytes[0] != 0x0A || bytes[2] > 1)
        return DecodeResult::Failed;
    const bool rle = bytes[2] == 1;
    const int bits = bytes[3];
    const int planes = bytes[65];
    const std::size_t bytesPerLine = le16(bytes, 66);
    const int xMin = le16(bytes, 4), yMin = le16(bytes, 6);
    const int xMax = le16(bytes, 8), yMax = le16(bytes, 10);
    if (xMax < xMin || yMax < yMin)
        return DecodeResult::Failed;
    const int width = xMax - xMin + 1;
    const int height = yMax - yMin + 1;

    int outBits = 0;
    if (bits == 1 && planes >= 1 && planes <= 4)
        outBits = planes == 1 ? 1 : 4;
    else if (bits == 4 && planes == 1)
        outBits = 4;
    else if (bits == 8 && planes == 1)
        outBits = 8;
    else if (bits == 8 && (planes == 3 || planes == 4))
        outBits = 24;
    else
        return detail::refuse(out, FailureReason::Unsupported);
    if (bytesPerLine * 8 < static_cast<std::size_t>(width) * static_cast<std::size_t>(bits))
        return DecodeResult::Failed;

    std::span<const std::uint8_t> data = bytes.subspan(kHeaderSize);
    const bool endPalette = outBits == 8 && data.size() >= kEndPaletteSize &&
                            bytes[bytes.size() - kEndPaletteSize] == 0x0C;
    if (endPalette)
        data = data.first(data.size() - kEndPaletteSize);

    if (const FailureReason problem = detail::sizeProblem(width, height);
        problem != FailureReason::None)
        return detail::refuse(out, problem);
    // Runs of at most 63 bytes per two encoded bytes, plain lines byte for byte: a
    // picture that needs more than the file can hold is refused as damaged before
    // its pixels are allocated.
    const std::size_t lineBytes = bytesPerLine * static_cast<std::size_t>(planes);
    const std::uint64_t needed = static_cast<std::uint64_t>(lineBytes) * height;
    if (needed > static_cast<std::uint64_t>(data.size()) * (rle ? 32 : 1))
        return DecodeResult::Failed;
    if (!detail::allocateImage(out, width, height, outBits))
        return DecodeResult::Failed;

    if (outBits == 8) {
        for (int i = 0; i < 256; ++i) {
            if (endPalette) {
                const std::uint8_t* e = bytes.data() + bytes.size() - kEndPaletteSize + 1 + i * 3;
                detail::setPaletteEntry(out, i, e[0], e[1], e[2]);
            } else {
                const auto g = static_cast<std::uint8_t>(i);
                detail::setPaletteEntry(out, i, g, g, g);
            }
        }
    } else if (outBits == 1) {
        detail::setPaletteEntry(out, 1, 255, 255, 255);
    } else if (outBits == 4) {
        for (int i = 0; i < 16; ++i)
            detail::setPaletteEntry(out, i, bytes[16 + i * 3], bytes[17 + i * 3],
                                    bytes[18 + i * 3]);
    }

    LineReader reader(data, rle);
    std::vector<std::uint8_t> line(lineBytes);
    const std::size_t stride = static_cast<std::size_t>(out.stride());
    for (int y = 0; y < height; ++y) {
        if (!reader.read(line))
            return DecodeResult::Failed;
        // PCX lines run from the top down.
        std::uint8_t* dst = out.pixels.data() + static_cast<std::size_t>(height - 1 - y) * stride;
        if (outBits == 24) {
            for (int x = 0; x < width; ++x) {
                dst[x * 3] = line[2 * bytesPerLine + x];
                dst[x * 3 + 1] = line[bytesPerLine + x];
                dst[x * 3 + 2] = line[x];
            }
        } else if (bits == 1 && planes > 1) {
            for (int x = 0; x < width; ++x) {
                int index = 0;
                for (int p = 0; p < planes; ++p)
                    index |= bit(line.data() + p * bytesPerLine, x) << p;
                detail::putIndex(dst, x, 4, static_cast<std::uint8_t>(index));
            }
        } else {
            const std::size_t rowBytes = (static_cast<std::size_t>(width) * bits + 7) / 8;
            std::copy_n(line.begin(), rowBytes, dst);
            // Bits past the last pixel belong to no pixel; keep the padding clean.
            if (const int spare =
                    static_cast<int>(rowBytes * 8 - static_cast<std::size_t>(width) * bits))
                dst[rowBytes - 1] &= static_cast<std::uint8_t>(0xFF << spare);
        }
    }
    return DecodeResult::Ok;
}

} // namespace kv::platform::imagelib
