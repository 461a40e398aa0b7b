#pragma once

#include "platform/imagelib/decoded_image.h"

#include <cstdint>
#include <span>

// JPEG decoding that hands the picture on row by row instead of keeping it whole:
// the same pixels decodeJpeg makes, for callers that write them out as they come.
namespace kv::platform::imagelib {

// Takes the rows of one picture.
class JpegRowSink {
  public:
    virtual ~JpegRowSink() = default;
    // The upright picture's size, once the file passed every check and before any row.
    virtual void start(int width, int height) = 0;
    // One upright row of width * 3 blue, green, red bytes, counted from the bottom.
    // Rows come top first; a row that never comes (a cut-off file) stays black.
    virtual void row(int fromBottom, const std::uint8_t* bgr) = 0;
};

// Decodes `bytes` as decodeJpeg does (EXIF orientation, CMYK, cut-off files, the
// same refusals with out.failure) and hands the rows to `sink`, already in sRGB as
// the library's decode gives them. Only out.failure, out.incomplete and
// out.profileIgnored are set; the pixels stay empty. A picture turned by its EXIF
// orientation is held whole while it is decoded, an upright one never is.
DecodeResult streamJpeg(std::span<const std::uint8_t> bytes, JpegRowSink& sink, DecodedImage& out);

} // namespace kv::platform::imagelib
