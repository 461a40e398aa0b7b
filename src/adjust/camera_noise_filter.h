#pragma once

#include "platform/ui.h"

#include <cstdint>
#include <span>

namespace kv::adjust {

// Rows of the picture the filter works on are this many bytes apart, whatever
// the picture's width: the row length of the job's PrintImage (650 pixels).
inline constexpr int kNoiseRowStride = 1950;
inline constexpr int kNoiseMaxSide = kNoiseRowStride / 3;

// Removes isolated light and dark specks from the blue component (the first byte
// of every blue, green, red pixel) of a width x height picture whose rows start
// kNoiseRowStride bytes apart in `image`. Each half pass moves a value by at most
// one step towards its neighbours; the frame around the picture counts as 0.
// Returns false with the picture unchanged when the working planes cannot be
// allocated (after showing kMsgNotEnoughMemory) or the picture does not fit `image`.
bool cameraNoiseFilter(std::span<std::uint8_t> image, int width, int height, platform::Ui& ui);

} // namespace kv::adjust
