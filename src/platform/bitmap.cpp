#include "platform/bitmap.h"

#include <cstring>

namespace kv::platform {

Bitmap24 Bitmap24::make(int width, int height) {
    Bitmap24 b;
    b.width = width;
    b.height = height;
    b.pixels.assign(static_cast<std::size_t>(height) * static_cast<std::size_t>(strideFor(width)), 0);
    return b;
}

Bitmap24 turnBitmap(const Bitmap24& bitmap, int quarterTurns) {
    const int turns = ((quarterTurns % 4) + 4) % 4;
    if (turns == 0 || bitmap.empty())
        return bitmap;
    Bitmap24 out = turns == 2 ? Bitmap24::make(bitmap.width, bitmap.height)
                              : Bitmap24::make(bitmap.height, bitmap.width);
    const int w = bitmap.width;
    const int h = bitmap.height;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int nx = 0, ny = 0;
            switch (turns) {
            case 1: nx = y; ny = w - 1 - x; break;
            case 2: nx = w - 1 - x; ny = h - 1 - y; break;
            default: nx = h - 1 - y; ny = x; break;
            }
            std::memcpy(out.at(nx, ny), bitmap.at(x, y), 3);
        }
    }
    return out;
}

} // namespace kv::platform
