#pragma once

// One decoder on arbitrary bytes, and what the program does next with a picture
// it accepts: bring it to 24 bits and shrink it. Beyond not crashing or reading
// outside the input, a decoded picture must have a sane size and exactly the
// pixel bytes its rows need.
#include "platform/imagelib/image_library.h"

#include <cstdint>
#include <cstdlib>

namespace kv::fuzz {

using Decoder = platform::imagelib::DecodeResult (*)(std::span<const std::uint8_t>,
                                                     platform::imagelib::DecodedImage&);

inline int fuzzDecoder(Decoder decode, const std::uint8_t* data, std::size_t size) {
    using namespace platform::imagelib;
    DecodedImage image;
    if (decode({data, size}, image) != DecodeResult::Ok)
        return 0;
    if (image.width <= 0 || image.height <= 0 ||
        std::uint64_t(image.width) * std::uint64_t(image.height) > kMaxPixels ||
        image.pixels.size() != std::size_t(image.stride()) * std::size_t(image.height))
        std::abort();
    platform::Bitmap24 picture;
    if (!ConvertTo24(image, picture) || ScaleImage(picture, 64, 48).empty())
        std::abort();
    return 0;
}

} // namespace kv::fuzz
