#include "platform/imagelib/decoder_support.h"

#include <cstring>
#include <vector>

namespace kv::platform::imagelib {

namespace {

using detail::has;
using detail::le16;

constexpr std::size_t kHeaderSize = 18;

// Blue, green, red of one stored pixel or colour-map entry of 15, 16, 24 or 32 bits.
void toBgr(const std::uint8_t* p, int bytesPerPixel, std::uint8_t* bgr) {
    if (bytesPerPixel == 2) {
        const int v = p[0] | p[1] << 8; // xRRRRRGG GGGBBBBB
        const auto expand = [](int c) { return static_cast<std::uint8_t>(c << 3 | c >> 2); };
        bgr[0] = expand(v & 0x1F);
        bgr[1] = expand((v >> 5) & 0x1F);
        bgr[2] = expand((v >> 10) & 0x1F);
    } else {
        std::memcpy(bgr, p, 3);
    }
}

} // namespace

DecodeResult decodeTga(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    if (!has(bytes, 0, kHeaderSize))
        return DecodeResult::Failed;
    const std::size_t idLength = bytes[0];
    const int mapType = bytes[1];
    const int type = bytes[2];
    const int mapFirst = le16(bytes, 3);
    const int mapLength = le16(bytes, 5);
    const int mapBits = bytes[7];
    const int width = le16(bytes, 12);
    const int height = le16(bytes, 14);
    const int depth = bytes[16];
    const int descriptor = bytes[17];
    const bool rle = type >= 9;
    const int kind = rle ? type - 8 : type; // 1 colour-mapped, 2 true colour, 3 grey

    if (mapType > 1 || (kind != 1 && kind != 2 && kind != 3) || (type > 3 && type < 9))
        return DecodeResult::Failed;
    if ((kind == 1 && (mapType != 1 || depth != 8)) || (kind == 3 && depth != 8) ||
        (kind == 2 && depth != 15 && depth != 16 && depth != 24 && depth != 32))
        return detail::refuse(out, FailureReason::Unsupported);
    int mapEntryBytes = 0;
    if (mapType == 1) {
        if (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32)
            return DecodeResult::Failed;
        mapEntryBytes = (mapBits + 7) / 8;
    }
    const std::size_t mapOffset = kHeaderSize + idLength;
    const std::size_t mapSize = static_cast<std::size_t>(mapLength) * mapEntryBytes;
    if (!has(bytes, mapOffset, mapSize))
        return DecodeResult::Failed;
    const std::span<const std::uint8_t> data = bytes.subspan(mapOffset + mapSize);

    const int pixelBytes = (depth + 7) / 8;
    const std::uint64_t count =
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    if (const FailureReason problem = detail::sizeProblem(width, height);
        problem != FailureReason::None)
        return detail::refuse(out, problem);
    // A packet of two or more bytes gives at most 128 pixels, plain pixels take
    // their bytes: refuse a picture the file cannot hold before allocating it.
    if (count == 0 || count > (rle ? data.size() / 2 * 128 : data.size() / pixelBytes))
        return DecodeResult::Failed;
    if (!detail::allocateImage(out, width, height, kind == 2 ? 24 : 8))
        return DecodeResult::Failed;

    if (kind == 1) {
        for (int i = 0; i < mapLength && mapFirst + i < 256; ++i) {
            std::uint8_t bgr[3];
            toBgr(bytes.data() + mapOffset + static_cast<std::size_t>(i) * mapEntryBytes,
                  mapEntryBytes, bgr);
            detail::setPaletteEntry(out, mapFirst + i, bgr[2], bgr[1], bgr[0]);
        }
    } else if (kind == 3) {
        for (int i = 0; i < 256; ++i) {
            const auto g = static_cast<std::uint8_t>(i);
            detail::setPaletteEntry(out, i, g, g, g);
        }
    }

    // The stored pixels as one stream, packets unrolled.
    std::vector<std::uint8_t> stream;
    if (rle) {
        stream.resize(count * static_cast<std::size_t>(pixelBytes));
        std::size_t pos = 0;
        std::size_t filled = 0;
        while (filled < stream.size()) {
            if (pos >= data.size())
                return DecodeResult::Failed;
            const int header = data[pos++];
            const std::size_t n = static_cast<std::size_t>((header & 0x7F) + 1) * pixelBytes;
            const std::size_t take = std::min(n, stream.size() - filled);
            if (header & 0x80) {
                if (!has(data, pos, static_cast<std::size_t>(pixelBytes)))
                    return DecodeResult::Failed;
                for (std::size_t k = 0; k < take; k += pixelBytes)
                    std::memcpy(stream.data() + filled + k, data.data() + pos, pixelBytes);
                pos += pixelBytes;
            } else {
                if (!has(data, pos, n))
                    return DecodeResult::Failed;
                std::memcpy(stream.data() + filled, data.data() + pos, take);
                pos += n;
            }
            filled += take;
        }
    }
    const std::uint8_t* src = rle ? stream.data() : data.data();

    const bool topFirst = descriptor & 0x20;
    const bool rightFirst = descriptor & 0x10;
    const std::size_t stride = static_cast<std::size_t>(out.stride());
    for (int row = 0; row < height; ++row) {
        std::uint8_t* dst = out.pixels.data() +
                            static_cast<std::size_t>(topFirst ? height - 1 - row : row) * stride;
        for (int i = 0; i < width; ++i, src += pixelBytes) {
            const int x = rightFirst ? width - 1 - i : i;
            if (kind == 2)
                toBgr(src, pixelBytes, dst + x * 3);
            else
                dst[x] = src[0];
        }
    }
    return DecodeResult::Ok;
}

} // namespace kv::platform::imagelib
