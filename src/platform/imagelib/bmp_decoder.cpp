#include "platform/imagelib/decoder_support.h"

#include <bit>
#include <climits>
#include <cstring>

namespace kv::platform::imagelib {

namespace {

using detail::has;
using detail::le16;
using detail::le32;
using detail::putIndex;

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kAlphaBitFields = 6;

// One colour channel of a 16- or 32-bit pixel, described by its mask.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m) : mask(m) {
        if (m != 0) {
            shift = std::countr_zero(m);
            bits = std::popcount(m);
        }
    }
    std::uint8_t value(std::uint32_t pixel) const {
        if (bits == 0)
            return 0;
        const std::uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8)
            return static_cast<std::uint8_t>(v >> (bits - 8));
        const std::uint32_t max = (1u << bits) - 1;
        return static_cast<std::uint8_t>((std::min(v, max) * 255 + max / 2) / max);
    }
};

// Runs a BI_RLE8 / BI_RLE4 stream into `out` (zeroed, bottom-up). Pixels that
// fall outside the picture are dropped. False when the stream stops in the
// middle of a code.
bool decodeRle(std::span<const std::uint8_t> data, int bits, DecodedImage& out) {
    const std::size_t stride = static_cast<std::size_t>(out.stride());
    int x = 0;
    int y = 0;
    std::size_t i = 0;
    const auto put = [&](std::uint8_t value) {
        if (x < out.width && y < out.height)
            putIndex(out.pixels.data() + static_cast<std::size_t>(y) * stride, x, bits, value);
        ++x;
    };
    while (i < data.size() && y < out.height) {
        if (!has(data, i, 2))
            return false;
        const int count = data[i];
        const std::uint8_t value = data[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count; ++k)
                put(bits == 8 ? value
                              : static_cast<std::uint8_t>((k & 1) ? value & 0x0F : value >> 4));
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of picture
            return true;
        } else if (value == 2) { // move right and up
            if (!has(data, i, 2))
                return false;
            x += data[i];
            y += data[i + 1];
            i += 2;
        } else { // `value` literal pixels, padded to a 16-bit boundary
            const std::size_t bytes = bits == 8 ? value : (value + 1u) / 2;
            const std::size_t padded = (bytes + 1) & ~std::size_t{1};
            if (!has(data, i, bytes))
                return false;
            for (int k = 0; k < value; ++k) {
                const std::uint8_t b = data[i + (bits == 8 ? k : k / 2)];
                put(bits == 8 ? b : static_cast<std::uint8_t>((k & 1) ? b & 0x0F : b >> 4));
            }
            i += std::min(padded, data.size() - i);
        }
    }
    return true;
}

} // namespace

DecodeResult decodeBmp(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    if (!has(bytes, 0, 18) || bytes[0] != 'B' || bytes[1] != 'M')
        return DecodeResult::Failed;
    const std::uint32_t dataOffset = le32(bytes, 10);
    const std::uint32_t headerSize = le32(bytes, 14);

    std::int64_t width = 0;
    std::int64_t height = 0;
    int bits = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t colours = 0;
    std::size_t paletteOffset = 14 + static_cast<std::size_t>(headerSize);
    int entrySize = 4;
    std::uint32_t masks[3] = {0, 0, 0};

    if (headerSize == 12) {
        if (!has(bytes, 14, 12))
            return DecodeResult::Failed;
        width = le16(bytes, 18);
        height = le16(bytes, 20);
        bits = le16(bytes, 24);
        entrySize = 3;
    } else if (headerSize >= 40 && headerSize <= 256) {
        if (!has(bytes, 14, headerSize))
            return DecodeResult::Failed;
        width = static_cast<std::int32_t>(le32(bytes, 18));
        height = static_cast<std::int32_t>(le32(bytes, 22));
        bits = le16(bytes, 28);
        compression = le32(bytes, 30);
        colours = le32(bytes, 46);
        if (compression == kBitFields || compression == kAlphaBitFields) {
            // A 40-byte header is followed by the masks; larger ones hold them.
            if (headerSize == 40)
                paletteOffset += compression == kBitFields ? 12 : 16;
            if (!has(bytes, 54, 12))
                return DecodeResult::Failed;
            for (int c = 0; c < 3; ++c)
                masks[c] = le32(bytes, 54 + 4 * static_cast<std::size_t>(c));
        }
    } else {
        return DecodeResult::Failed;
    }

    const bool topDown = height < 0;
    if (topDown)
        height = -height;
    if (const FailureReason problem = detail::sizeProblem(width, height);
        problem != FailureReason::None)
        return detail::refuse(out, problem);

    const bool rle = compression == kRle8 || compression == kRle4;
    const bool fields = compression == kBitFields || compression == kAlphaBitFields;
    if (!(compression == kRgb || (compression == kRle8 && bits == 8) ||
          (compression == kRle4 && bits == 4) || (fields && (bits == 16 || bits == 32))))
        return detail::refuse(out, FailureReason::Unsupported);
    if (rle && topDown)
        return DecodeResult::Failed;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return detail::refuse(out, FailureReason::Unsupported);
    if (!fields) {
        masks[0] = bits == 16 ? 0x7C00 : 0xFF0000;
        masks[1] = bits == 16 ? 0x03E0 : 0x00FF00;
        masks[2] = bits == 16 ? 0x001F : 0x0000FF;
    }

    if (dataOffset < paletteOffset || dataOffset > bytes.size())
        return DecodeResult::Failed;
    const std::span<const std::uint8_t> data = bytes.subspan(dataOffset);
    const std::size_t sourceStride =
        static_cast<std::size_t>(DecodedImage::strideFor(static_cast<int>(width), bits));
    // A short file is refused rather than shown with a missing part. RLE rows
    // have no lower bound: an end-of-picture code may stand for all that is left.
    if (!rle && data.size() / sourceStride < static_cast<std::uint64_t>(height))
        return DecodeResult::Failed;

    const int outBits = bits > 8 ? 24 : bits;
    if (!detail::allocateImage(out, width, height, outBits))
        return DecodeResult::Failed;

    if (bits <= 8) {
        const std::uint32_t full = 1u << bits;
        const std::uint32_t count = colours == 0 || colours > full ? full : colours;
        // The palette lies between the headers and the pixels.
        const std::size_t room = (dataOffset - paletteOffset) / static_cast<std::size_t>(entrySize);
        for (std::uint32_t c = 0; c < count && c < room; ++c) {
            const std::uint8_t* e =
                bytes.data() + paletteOffset + c * static_cast<std::size_t>(entrySize);
            detail::setPaletteEntry(out, static_cast<int>(c), e[2], e[1], e[0]);
        }
    }

    if (rle) {
        if (!decodeRle(data, bits, out))
            return DecodeResult::Failed;
        return DecodeResult::Ok;
    }

    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    const std::size_t outStride = static_cast<std::size_t>(out.stride());
    for (std::int64_t row = 0; row < height; ++row) {
        const std::uint8_t* src = data.data() + static_cast<std::size_t>(row) * sourceStride;
        const std::size_t outRow = static_cast<std::size_t>(topDown ? height - 1 - row : row);
        std::uint8_t* dst = out.pixels.data() + outRow * outStride;
        if (bits <= 8 || bits == 24) {
            std::memcpy(dst, src, outStride);
            continue;
        }
        for (std::int64_t x = 0; x < width; ++x) {
            const std::uint32_t pixel =
                bits == 16 ? static_cast<std::uint32_t>(src[x * 2] | src[x * 2 + 1] << 8)
                           : le32(data, static_cast<std::size_t>(row) * sourceStride + x * 4);
            dst[x * 3] = blue.value(pixel);
            dst[x * 3 + 1] = green.value(pixel);
            dst[x * 3 + 2] = red.value(pixel);
        }
    }
    return DecodeResult::Ok;
}

} // namespace kv::platform::imagelib
