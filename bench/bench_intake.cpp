// Bringing a camera picture into an album: decoding a 24-megapixel JPEG and
// making its thumbnail, and the whole intake of one picture as "Öffnen" runs it.
#include "albums/album_store.h"
#include "intake/bmp_thumbnail.h"
#include "intake/picture_intake.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "shell/app_state.h"

#include <benchmark/benchmark.h>

#include <jpeglib.h>

#include <cstdio>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;
using namespace kv;

namespace {

// A 6000 x 4000 JPEG with a smooth gradient, quality 90, written once per run.
fs::path cameraJpeg() {
    static const fs::path path = [] {
        const fs::path dir = fs::temp_directory_path() / "kv-bench-intake";
        fs::create_directories(dir);
        const fs::path file = dir / "camera.jpg";
        if (fs::exists(file))
            return file;
        constexpr int kWidth = 6000, kHeight = 4000;
        std::FILE* out = std::fopen(file.c_str(), "wb");
        jpeg_compress_struct c{};
        jpeg_error_mgr err{};
        c.err = jpeg_std_error(&err);
        jpeg_create_compress(&c);
        jpeg_stdio_dest(&c, out);
        c.image_width = kWidth;
        c.image_height = kHeight;
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 90, TRUE);
        jpeg_start_compress(&c, TRUE);
        std::vector<JSAMPLE> row(kWidth * 3);
        while (c.next_scanline < c.image_height) {
            const int y = int(c.next_scanline);
            for (int x = 0; x < kWidth; ++x) {
                row[x * 3] = JSAMPLE(x / 24);
                row[x * 3 + 1] = JSAMPLE(y / 16);
                row[x * 3 + 2] = JSAMPLE((x + y) / 40);
            }
            JSAMPROW rows[1] = {row.data()};
            jpeg_write_scanlines(&c, rows, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::fclose(out);
        return file;
    }();
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

// Conversion to the temporary BMP, reading it back, the thumbnail and the album
// files: everything between "Laden" and the thumbnail on screen.
void intakeOneJpeg(benchmark::State& state) {
    const fs::path file = cameraJpeg();
    const fs::path home = fs::temp_directory_path() / "kv-bench-intake/home";
    const fs::path temp = fs::temp_directory_path() / "kv-bench-intake/kvtemp";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(home);
        fs::remove_all(temp);
        fs::create_directories(home);
        shell::AppState app;
        platform::RecordingUi ui;
        albums::AlbumStore store(app.albums, ui, home);
        store.readAlbumList("My_Album");
        app.albums.pictures[0].displayName = file.filename().string();
        state.ResumeTiming();
        if (intake::addStagedPicture(app, store, ui, file.parent_path(), temp) !=
            intake::AddResult::Added)
            state.SkipWithError("not added");
    }
}
BENCHMARK(intakeOneJpeg)->Unit(benchmark::kMillisecond);

} // namespace
