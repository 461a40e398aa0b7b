// Decoding and shrinking a camera-sized picture, the work behind showing and
// printing a 24-megapixel photo, and decoding today's formats whole or row by row.
#include "platform/imagelib/image_library.h"
#include "platform/imagelib/picture_stream.h"

#include "camera_formats.h"

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

// Takes the rows and keeps nothing, so that only the decoding is timed.
class DiscardingSink final : public RowSink {
  public:
    void start(int, int) override {}
    void row(int, const std::uint8_t* bgr) override { benchmark::DoNotOptimize(bgr[0]); }
};

std::vector<std::uint8_t> todaysFile(const std::string& extension) {
    const auto file = kv::bench::cameraPicture(
        std::filesystem::temp_directory_path() / "kv-bench-intake", extension);
    std::vector<std::uint8_t> bytes;
    if (file.empty() || readPictureFile(file, bytes) != PictureFileRead::Ok)
        return {};
    return bytes;
}

// A 24-megapixel picture of today's formats decoded whole (as shown and printed),
// or handed on row by row (as the temporary copy takes it).
void decodeToday(benchmark::State& state, const std::string& extension, bool streamed) {
    const std::vector<std::uint8_t> bytes = todaysFile(extension);
    if (bytes.empty()) {
        state.SkipWithError("no encoder for the format");
        return;
    }
    for (auto _ : state) {
        DecodedImage image;
        DiscardingSink sink;
        const DecodeResult result =
            streamed ? streamPicture(bytes, sink, image) : decodeImage(bytes, image);
        if (result != DecodeResult::Ok)
            state.SkipWithError("decode failed");
    }
}
BENCHMARK_CAPTURE(decodeToday, png_whole, std::string("png"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeToday, png_streamed, std::string("png"), true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeToday, webp_whole, std::string("webp"), false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeToday, webp_streamed, std::string("webp"), true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeToday, heic_whole, std::string("heic"), false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeToday, heic_streamed, std::string("heic"), true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeToday, avif_whole, std::string("avif"), false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeToday, avif_streamed, std::string("avif"), true)
    ->Unit(benchmark::kMillisecond);

} // namespace
