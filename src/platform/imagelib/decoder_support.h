#pragma once

#include "platform/imagelib/decoded_image.h"

#include <cstddef>
#include <cstdint>
#include <span>

// Little helpers the hand-written decoders share: bounds-checked little-endian
// reads and the one place where a picture's pixel block is allocated.
namespace kv::platform::imagelib::detail {

inline bool has(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t count) {
    return offset <= bytes.size() && count <= bytes.size() - offset;
}

// Callers check has() first.
inline std::uint16_t le16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}
inline std::uint32_t le32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) |
           static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

// Notes why a decode fails and returns Failed for the decoder to pass on.
inline DecodeResult refuse(DecodedImage& out, FailureReason why) {
    out.failure = why;
    return DecodeResult::Failed;
}

// Why a width x height picture may not be allocated; None when it may. Checked
// before any bound on the file's data, so that a file claiming more pixels than
// the program takes is told as too large rather than as damaged.
inline FailureReason sizeProblem(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0)
        return FailureReason::Damaged;
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPixels)
        return FailureReason::TooLarge;
    return FailureReason::None;
}

// Sizes `out` for a width x height picture at `bits` per pixel with zeroed pixels
// and palette. False, before anything is allocated, for an empty or oversized one.
inline bool allocateImage(DecodedImage& out, std::int64_t width, std::int64_t height, int bits) {
    if (sizeProblem(width, height) != FailureReason::None)
        return false;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.bitsPerPixel = bits;
    out.palette.fill(0);
    out.pixels.assign(static_cast<std::size_t>(out.stride()) * static_cast<std::size_t>(height), 0);
    return true;
}

inline void setPaletteEntry(DecodedImage& image, int index, std::uint8_t red, std::uint8_t green,
                            std::uint8_t blue) {
    std::uint8_t* entry = image.palette.data() + index * 4;
    entry[0] = blue;
    entry[1] = green;
    entry[2] = red;
    entry[3] = 0;
}

// Stores palette index `value` at column x of a 1-, 4- or 8-bit row (leftmost
// pixel in the high bits).
inline void putIndex(std::uint8_t* row, int x, int bits, std::uint8_t value) {
    if (bits == 8) {
        row[x] = value;
    } else if (bits == 4) {
        const int shift = (x & 1) ? 0 : 4;
        row[x >> 1] =
            static_cast<std::uint8_t>((row[x >> 1] & ~(0x0F << shift)) | ((value & 0x0F) << shift));
    } else {
        const int shift = 7 - (x & 7);
        row[x >> 3] =
            static_cast<std::uint8_t>((row[x >> 3] & ~(1 << shift)) | ((value & 1) << shift));
    }
}

} // namespace kv::platform::imagelib::detail
