#pragma once

#include "platform/imagelib/decoded_image.h"
#include "platform/imagelib/row_sink.h"

#include <cstdint>
#include <span>

// Decoding a picture of any format into a RowSink as 24-bit sRGB rows: the very
// bytes decodeImage and ConvertTo24 give, without the picture ever being held at
// 24 bits beside the decoder's own copy.
namespace kv::platform::imagelib {

// Decodes `bytes` and hands the picture to `sink`. JPEG, non-interlaced PNG and
// still WebP go row by row as they are decoded, HEIF/AVIF straight from libheif's
// picture; every other kind is decoded whole first. The result and out.failure,
// out.incomplete and out.profileIgnored are decodeImage's; the pixels stay empty.
// A picture stored at one bit per pixel is not handed on (the program refuses
// those): out.bitsPerPixel is 1 then, and the sink may have been started already
// (a lossless WebP shows it has two colours only at its end), so the caller drops
// whatever it was given.
DecodeResult streamPicture(std::span<const std::uint8_t> bytes, RowSink& sink, DecodedImage& out);

// The same for one format each; streamPicture picks them by the file's first bytes.
DecodeResult streamPng(std::span<const std::uint8_t> bytes, RowSink& sink, DecodedImage& out);
DecodeResult streamWebp(std::span<const std::uint8_t> bytes, RowSink& sink, DecodedImage& out);
DecodeResult streamHeif(std::span<const std::uint8_t> bytes, RowSink& sink, DecodedImage& out);

} // namespace kv::platform::imagelib
