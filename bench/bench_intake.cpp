// Bringing a camera picture into an album: decoding a 24-megapixel JPEG and
// making its thumbnail, and the whole intake of one picture as "Öffnen" runs it,
// for a JPEG and for a PNG, WebP, HEIC and AVIF of the same size.
#include "albums/album_store.h"
#include "intake/bmp_thumbnail.h"
#include "intake/picture_intake.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "shell/app_state.h"

#include "camera_formats.h"
#include "camera_jpeg.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
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
void intakeOne(benchmark::State& state, const fs::path& file) {
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

void intakeOneJpeg(benchmark::State& state) {
    intakeOne(state, cameraJpeg());
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

// The intake of one 24-megapixel picture of today's formats, as intakeOneJpeg.
void intakeOneOfToday(benchmark::State& state, const std::string& extension) {
    const fs::path file =
        bench::cameraPicture(fs::temp_directory_path() / "kv-bench-intake", extension);
    if (file.empty()) {
        state.SkipWithError("no encoder for the format");
        return;
    }
    intakeOne(state, file);
}
BENCHMARK_CAPTURE(intakeOneOfToday, png, std::string("png"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(intakeOneOfToday, webp, std::string("webp"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(intakeOneOfToday, heic, std::string("heic"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(intakeOneOfToday, avif, std::string("avif"))->Unit(benchmark::kMillisecond);

} // namespace
