#pragma once

#include "render/print_images.h"

#include <cstdint>

namespace kv::bench {

// A 640 x 480 sheet with smooth gradients and some fine detail, the way photos are.
inline render::PrintImage photoSheet() {
    using namespace render;
    PrintImage image;
    for (int row = 0; row < kFrameHeight; ++row)
        for (int column = 0; column < kFrameWidth; ++column) {
            std::uint8_t* p = image.pixel(row, column);
            p[0] = static_cast<std::uint8_t>((row * 255) / kFrameHeight);
            p[1] = static_cast<std::uint8_t>((column * 255) / kFrameWidth ^ (row & 7));
            p[2] = static_cast<std::uint8_t>((row + column) * 3 + (column * row) % 17);
        }
    return image;
}

} // namespace kv::bench
