#pragma once

#include <cstdint>
#include <string>

namespace kv::platform {

// An 8-bit RGB picture (rows top first, three bytes a pixel, no padding) as the bytes
// of a PNG file; empty when it cannot be made. The caller writes them, whole or not
// at all.
std::string encodeRgbPng(int width, int height, const std::uint8_t* rgb);

} // namespace kv::platform
