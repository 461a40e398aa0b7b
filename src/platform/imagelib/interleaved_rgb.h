#pragma once

#include "platform/imagelib/decoded_image.h"

#include <cstddef>
#include <cstdint>

// Rows of interleaved red, green, blue (and alpha) samples, as the codec
// libraries hand them out, into a 24-bit bottom-up BGR picture.
namespace kv::platform::imagelib::detail {

// One sample at `maxValue` (255, 1023, 4095 ...) with its alpha, composited on
// white and rounded to 8 bits: alpha at maxValue keeps the colour, 0 gives
// white. `premultiplied` samples already carry their alpha.
inline std::uint8_t toByteOnWhite(std::uint32_t value, std::uint32_t alpha, std::uint32_t maxValue,
                                  bool premultiplied) {
    const std::uint64_t max = maxValue;
    const std::uint64_t a = alpha > maxValue ? max : alpha;
    const std::uint64_t v = value > maxValue ? max : value;
    if (a == max && max == 255)
        return static_cast<std::uint8_t>(v);
    // Everything at max² scale, then one rounding: (v * 255 + max / 2) / max when opaque.
    const std::uint64_t scaled = (premultiplied ? v * max : v * a) + max * (max - a);
    const std::uint64_t whole = max * max;
    const std::uint64_t byte = (scaled * 255 + whole / 2) / whole;
    return static_cast<std::uint8_t>(byte > 255 ? 255 : byte);
}

// `width` pixels of `channels` (3 or 4) samples of type Sample each into blue,
// green, red bytes.
template <typename Sample>
void toBgrPixels(std::uint8_t* bgr, const Sample* samples, int width, int channels,
                 std::uint32_t maxValue, bool premultiplied = false) {
    if (channels == 3 && maxValue == 255 && sizeof(Sample) == 1) {
        // Opaque bytes keep their values; only the order changes.
        for (int x = 0; x < width; ++x, samples += 3, bgr += 3) {
            bgr[0] = std::uint8_t(samples[2]);
            bgr[1] = std::uint8_t(samples[1]);
            bgr[2] = std::uint8_t(samples[0]);
        }
        return;
    }
    for (int x = 0; x < width; ++x, samples += channels, bgr += 3) {
        const std::uint32_t alpha = channels == 4 ? samples[3] : maxValue;
        bgr[0] = toByteOnWhite(samples[2], alpha, maxValue, premultiplied);
        bgr[1] = toByteOnWhite(samples[1], alpha, maxValue, premultiplied);
        bgr[2] = toByteOnWhite(samples[0], alpha, maxValue, premultiplied);
    }
}

// Row y (counted from the top) of `out`, sized already, from `width` pixels of
// `channels` (3 or 4) samples of type Sample each.
template <typename Sample>
void putRgbRow(DecodedImage& out, int y, const Sample* samples, int channels,
               std::uint32_t maxValue, bool premultiplied = false) {
    std::uint8_t* row =
        out.pixels.data() + static_cast<std::size_t>(out.height - 1 - y) * out.stride();
    toBgrPixels(row, samples, out.width, channels, maxValue, premultiplied);
}

} // namespace kv::platform::imagelib::detail
