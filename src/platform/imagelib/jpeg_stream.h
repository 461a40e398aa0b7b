#pragma once

#include "platform/imagelib/decoded_image.h"
#include "platform/imagelib/row_sink.h"

#include <cstdint>
#include <span>

// JPEG decoding that hands the picture on row by row instead of keeping it whole:
// the same pixels decodeJpeg makes, for callers that write them out as they come.
namespace kv::platform::imagelib {

// Decodes `bytes` as decodeJpeg does (EXIF orientation, CMYK, cut-off files, the
// same refusals with out.failure) and hands the rows to `sink` top first, already
// in sRGB as the library's decode gives them. Only out.failure, out.incomplete and
// out.profileIgnored are set; the pixels stay empty. A picture turned by its EXIF
// orientation is held whole while it is decoded, an upright one never is.
DecodeResult streamJpeg(std::span<const std::uint8_t> bytes, RowSink& sink, DecodedImage& out);

} // namespace kv::platform::imagelib
