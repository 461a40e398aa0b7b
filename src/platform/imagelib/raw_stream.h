#pragma once

#include "platform/imagelib/decoded_image.h"

#include <filesystem>
#include <optional>

// Camera raws read from the file in the parts LibRaw asks for, instead of the
// whole file held in memory: adding a raw streams its embedded preview row by row
// and never reads its sensor data; printing one reads the sensor data once.
namespace kv::platform::imagelib {

class RowSink;

// Whether the file at `file` is a camera raw to detectFormat, told from its first
// bytes without reading the rest.
bool isRawFile(const std::filesystem::path& file);

// Streams the JPEG preview that decodeRaw would show of the raw at `file` (one
// covering the print frame), turned as the raw says and in sRGB, into `sink`, with
// out as streamJpeg leaves it. False when the file is to be decoded as usual
// instead: not a raw, no such preview, or one that does not decode whole. The sink
// may have had rows by then and is not used further.
bool streamRawPreview(const std::filesystem::path& file, RowSink& sink, DecodedImage& out);

// developRawAtLeast of the raw at `file`, with the same results and refusals;
// nullopt when the file is to be decoded as usual instead (unreadable, not a raw
// LibRaw takes).
std::optional<DecodeResult> developRawFile(const std::filesystem::path& file,
                                           const NeededExtent& needed, DecodedImage& out);

} // namespace kv::platform::imagelib
