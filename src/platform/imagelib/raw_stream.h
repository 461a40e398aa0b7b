#pragma once

#include "platform/imagelib/decoded_image.h"

#include <filesystem>

// A camera raw's embedded preview handed on row by row, read from the file in the
// parts LibRaw asks for: adding a raw never reads its sensor data nor holds it.
namespace kv::platform::imagelib {

class JpegRowSink;

// Streams the JPEG preview that decodeRaw would show of the raw at `file` (one
// covering the print frame), turned as the raw says and in sRGB, into `sink`, with
// out as streamJpeg leaves it. False when the file is to be decoded as usual
// instead: not a raw, no such preview, or one that does not decode whole. The sink
// may have had rows by then and is not used further.
bool streamRawPreview(const std::filesystem::path& file, JpegRowSink& sink, DecodedImage& out);

} // namespace kv::platform::imagelib
