// Decoding and shrinking a camera-sized picture, the work behind showing and
// printing a 24-megapixel photo.
#include "platform/imagelib/image_library.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

using namespace kv::platform::imagelib;

namespace {

// A 6000 x 4000 24-bit BMP in memory, filled with a gradient.
std::vector<std::uint8_t> largeBmp() {
    constexpr int kWidth = 6000, kHeight = 4000;
    kv::platform::Bitmap24 b = kv::platform::Bitmap24::make(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = b.at(x, y);
            p[0] = static_cast<std::uint8_t>(x), p[1] = static_cast<std::uint8_t>(y);
            p[2] = static_cast<std::uint8_t>(x + y);
        }
    const PictureRecord record = PictureRecord::of(b);
    std::vector<std::uint8_t> file(54 + record.imageSize);
    const std::uint32_t size = static_cast<std::uint32_t>(file.size()), offset = 54;
    file[0] = 'B', file[1] = 'M';
    std::memcpy(file.data() + 2, &size, 4);
    std::memcpy(file.data() + 10, &offset, 4);
    const auto header = record.headerBytes();
    std::memcpy(file.data() + 14, header.data(), header.size());
    std::memcpy(file.data() + 54, b.pixels.data(), record.imageSize);
    return file;
}

void decodeAndShrinkBmp(benchmark::State& state) {
    const std::vector<std::uint8_t> file = largeBmp();
    for (auto _ : state) {
        DecodedImage image;
        if (decodeBmp(file, image) != DecodeResult::Ok)
            state.SkipWithError("decode failed");
        kv::platform::Bitmap24 picture;
        ConvertTo24(image, picture);
        benchmark::DoNotOptimize(ScaleImage(picture, 640, 480));
    }
}
BENCHMARK(decodeAndShrinkBmp)->Unit(benchmark::kMillisecond);

void shrinkOnly(benchmark::State& state) {
    DecodedImage image;
    decodeBmp(largeBmp(), image);
    kv::platform::Bitmap24 picture;
    ConvertTo24(image, picture);
    for (auto _ : state)
        benchmark::DoNotOptimize(ScaleImage(picture, 640, 480));
}
BENCHMARK(shrinkOnly)->Unit(benchmark::kMillisecond);

} // namespace
