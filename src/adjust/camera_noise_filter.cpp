#include "adjust/camera_noise_filter.h"

#include "adjust/adjust_messages.h"

#include <cstddef>
#include <new>
#include <vector>

namespace kv::adjust {

namespace {

using Plane = std::vector<std::uint8_t>;

// The two planes never overlap, which lets the compiler run a row in wide steps.
template <typename Step>
void sweepRow(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, int width,
              std::ptrdiff_t o, Step step) {
    for (int x = 1; x <= width; ++x)
        dst[x] = step(src[x], src[x - o], src[x + o]);
}

// Two planes of (height + 2) x (width + 2) bytes; the one-pixel frame is never
// written, so it stays 0 throughout.
struct Planes {
    int w;     // plane width: picture width + 2
    int width; // picture
    int height;
    Plane a, b;

    template <typename Step>
    void sweep(const Plane& from, Plane& to, std::ptrdiff_t o, Step step) const {
        for (int y = 1; y <= height; ++y) {
            const std::ptrdiff_t row = std::ptrdiff_t(y) * w;
            sweepRow(from.data() + row, to.data() + row, width, o, step);
        }
    }

    // One pass with offset o: A into B, then B back into A. Values compare as
    // plain integers, so "neighbour + 1" never wraps.
    void raise(std::ptrdiff_t o) {
        sweep(a, b, o, [](int v, int, int next) { return std::uint8_t(next > v ? v + 1 : v); });
        sweep(b, a, o, [](int v, int before, int next) {
            return std::uint8_t(v <= before && next > v ? v + 1 : v);
        });
    }
    void lower(std::ptrdiff_t o) {
        sweep(a, b, o, [](int v, int, int next) { return std::uint8_t(v > next + 1 ? v - 1 : v); });
        sweep(b, a, o, [](int v, int before, int next) {
            return std::uint8_t(v > before + 1 && v > next ? v - 1 : v);
        });
    }
};

} // namespace

bool cameraNoiseFilter(std::span<std::uint8_t> image, int width, int height, platform::Ui& ui) {
    if (width <= 0 || height <= 0)
        return true;
    if (width > kNoiseMaxSide ||
        std::size_t(height - 1) * kNoiseRowStride + std::size_t(width) * 3 > image.size())
        return false;

    Planes p{width + 2, width, height, {}, {}};
    try {
        const std::size_t size = std::size_t(height + 2) * std::size_t(p.w);
        p.a.assign(size, 0);
        p.b.assign(size, 0);
    } catch (const std::bad_alloc&) {
        ui.message(kMsgNotEnoughMemory, platform::Ui::Icon::Exclamation);
        return false;
    }

    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.a[std::size_t(y + 1) * p.w + x + 1] = image[std::size_t(y) * kNoiseRowStride + x * 3];

    // Down, right, down-right, down-left.
    const std::ptrdiff_t w = p.w;
    for (const std::ptrdiff_t d : {w, std::ptrdiff_t(1), w + 1, w - 1}) {
        p.raise(d);
        p.raise(-d);
        p.lower(-d);
        p.lower(d);
    }

    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image[std::size_t(y) * kNoiseRowStride + x * 3] = p.a[std::size_t(y + 1) * p.w + x + 1];
    return true;
}

} // namespace kv::adjust
