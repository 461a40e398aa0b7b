// Bringing a camera picture into an album: decoding a 24-megapixel JPEG and
// making its thumbnail, and the whole intake of one picture as "Öffnen" runs it,
// for a JPEG and for a PNG, WebP, HEIC and AVIF of the same size.
#include "albums/album_store.h"
#include "intake/bmp_thumbnail.h"
#include "intake/picture_intake.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "shell/app_state.h"

#include "camera_jpeg.h"

#include <benchmark/benchmark.h>

#include <libheif/heif.h>
#include <png.h>
#include <webp/encode.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace kv;

namespace {

fs::path cameraJpeg() {
    static const fs::path path = bench::cameraJpeg(fs::temp_directory_path() / "kv-bench-intake");
    return path;
}

void jpegDecodeAndThumbnail(benchmark::State& state) {
    const fs::path file = cameraJpeg();
    for (auto _ : state) {
        platform::imagelib::DecodedImage image;
        platform::Bitmap24 picture;
        if (platform::imagelib::ScaleCD(file, image) != 1 ||
            !platform::imagelib::ConvertTo24(image, picture))
            state.SkipWithError("decode failed");
        intake::BmpPicture view;
        view.width = picture.width;
        view.height = picture.height;
        view.bitsPerPixel = 24;
        view.stride = picture.stride();
        view.pixels = picture.pixels;
        benchmark::DoNotOptimize(intake::makeThumbnail(view));
    }
}
BENCHMARK(jpegDecodeAndThumbnail)->Unit(benchmark::kMillisecond);

// An empty "My_Album" in a fresh program directory, the temporary folder emptied:
// every run of an intake starts from the same files.
const fs::path kHome = fs::temp_directory_path() / "kv-bench-intake/home";
const fs::path kTemp = fs::temp_directory_path() / "kv-bench-intake/kvtemp";

fs::path freshFolders() {
    fs::remove_all(kHome);
    fs::remove_all(kTemp);
    fs::create_directories(kHome);
    return kHome;
}

struct FreshAlbum {
    FreshAlbum() { store.readAlbumList("My_Album"); }
    shell::AppState app;
    platform::RecordingUi ui;
    albums::AlbumStore store{app.albums, ui, freshFolders()};
};

// Conversion to the temporary BMP (the thumbnail made from its rows on the way)
// and the album files: everything between "Laden" and the thumbnail on screen.
void intakeOneJpeg(benchmark::State& state) {
    const fs::path file = cameraJpeg();
    for (auto _ : state) {
        state.PauseTiming();
        FreshAlbum a;
        a.app.albums.pictures[0].displayName = file.filename().string();
        state.ResumeTiming();
        if (intake::addStagedPicture(a.app, a.store, a.ui, file.parent_path(), kTemp) !=
            intake::AddResult::Added)
            state.SkipWithError("not added");
    }
}
BENCHMARK(intakeOneJpeg)->Unit(benchmark::kMillisecond);

// 99 two-megapixel JPEGs dropped at once (converted ahead on every core) and the same
// files added one at a time, as every add went before.
std::vector<fs::path> twoMegapixelJpegs() {
    static const std::vector<fs::path> files = [] {
        const fs::path dir = fs::temp_directory_path() / "kv-bench-intake/two-mp";
        const fs::path source = bench::cameraJpeg(dir, 1600, 1200);
        std::vector<fs::path> out;
        for (int i = 0; i < 99; ++i) {
            out.push_back(dir / ("p" + std::to_string(i) + ".jpg"));
            fs::copy_file(source, out.back(), fs::copy_options::skip_existing);
        }
        return out;
    }();
    return files;
}

void addNinetyNineJpegs(benchmark::State& state) {
    const bool atOnce = state.range(0) != 0;
    const std::vector<fs::path> files = twoMegapixelJpegs();
    for (auto _ : state) {
        state.PauseTiming();
        FreshAlbum a;
        state.ResumeTiming();
        int added = 0;
        if (atOnce)
            added = intake::addDroppedFiles(a.app, a.store, a.ui, files, kTemp);
        else
            for (const fs::path& file : files)
                added += intake::addDroppedFiles(a.app, a.store, a.ui, {&file, 1}, kTemp);
        if (added != 99)
            state.SkipWithError("not all added");
    }
}
BENCHMARK(addNinetyNineJpegs)->ArgName("atOnce")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The camera picture's gradient, 6000 x 4000, as RGB rows.
std::vector<std::uint8_t> cameraRgb(int width, int height) {
    std::vector<std::uint8_t> rgb(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = rgb.data() + (std::size_t(y) * width + x) * 3;
            p[0] = std::uint8_t(x / 24);
            p[1] = std::uint8_t(y / 16);
            p[2] = std::uint8_t((x + y) / 40);
        }
    return rgb;
}

heif_error appendTo(heif_context*, const void* data, size_t size, void* target) {
    static_cast<std::string*>(target)->append(static_cast<const char*>(data), size);
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

// HEIC with x265, AVIF with aom, each at its quickest setting.
std::string heifBytes(const std::vector<std::uint8_t>& rgb, int width, int height,
                      heif_compression_format codec) {
    heif_context* context = heif_context_alloc();
    heif_image* image = nullptr;
    heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, width, height, 8);
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y)
        std::copy_n(rgb.data() + std::size_t(y) * width * 3, std::size_t(width) * 3,
                    plane + std::size_t(y) * stride);
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, codec, &encoder);
    std::string file;
    if (encoder) {
        heif_encoder_set_lossy_quality(encoder, 85);
        if (codec == heif_compression_HEVC)
            heif_encoder_set_parameter_string(encoder, "preset", "ultrafast");
        else
            heif_encoder_set_parameter_integer(encoder, "speed", 9);
        heif_context_encode_image(context, image, encoder, nullptr, nullptr);
        heif_encoder_release(encoder);
        heif_writer writer{1, appendTo};
        heif_context_write(context, &writer, &file);
    }
    heif_image_release(image);
    heif_context_free(context);
    return file;
}

// A 24-megapixel picture in one of today's formats, written once and reused.
fs::path cameraPicture(const std::string& extension) {
    constexpr int kWidth = 6000, kHeight = 4000;
    const fs::path file = fs::temp_directory_path() / "kv-bench-intake" / ("camera." + extension);
    if (fs::exists(file))
        return file;
    fs::create_directories(file.parent_path());
    const std::vector<std::uint8_t> rgb = cameraRgb(kWidth, kHeight);
    std::string bytes;
    if (extension == "png") {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        image.width = kWidth;
        image.height = kHeight;
        image.format = PNG_FORMAT_RGB;
        png_alloc_size_t size = 0;
        png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr);
        bytes.resize(size);
        if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb.data(), 0, nullptr))
            bytes.clear();
        bytes.resize(size);
    } else if (extension == "webp") {
        std::uint8_t* out = nullptr;
        const std::size_t size = WebPEncodeRGB(rgb.data(), kWidth, kHeight, kWidth * 3, 90, &out);
        bytes.assign(reinterpret_cast<const char*>(out), size);
        WebPFree(out);
    } else {
        bytes = heifBytes(rgb, kWidth, kHeight,
                          extension == "heic" ? heif_compression_HEVC : heif_compression_AV1);
    }
    if (bytes.empty())
        return {};
    std::ofstream(file, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return file;
}

// The intake of one 24-megapixel picture of today's formats, as intakeOneJpeg.
void intakeOneOfToday(benchmark::State& state, const std::string& extension) {
    const fs::path file = cameraPicture(extension);
    if (file.empty()) {
        state.SkipWithError("no encoder for the format");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        FreshAlbum a;
        a.app.albums.pictures[0].displayName = file.filename().string();
        state.ResumeTiming();
        if (intake::addStagedPicture(a.app, a.store, a.ui, file.parent_path(), kTemp) !=
            intake::AddResult::Added)
            state.SkipWithError("not added");
    }
}
BENCHMARK_CAPTURE(intakeOneOfToday, png, std::string("png"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(intakeOneOfToday, webp, std::string("webp"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(intakeOneOfToday, heic, std::string("heic"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(intakeOneOfToday, avif, std::string("avif"))->Unit(benchmark::kMillisecond);

} // namespace
