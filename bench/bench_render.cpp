// A camera picture printed into the BMX file: the 1-in-1 sheet file made from a
// 24-megapixel JPEG, loaded, run through the colour stages with the shipped
// calibration, and written as raster lines. Target: under 1.5 s.
#include "media/media_service.h"
#include "platform/recording_ui.h"
#include "printer/led_table.h"
#include "render/layout_composition.h"
#include "render/print_preparation.h"
#include "shell/app_state.h"

#include <benchmark/benchmark.h>

#include <jpeglib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace fs = std::filesystem;
using namespace kv;

namespace {

const fs::path kWork = fs::temp_directory_path() / "kv-bench-render";

// A 6000 x 4000 JPEG with a smooth gradient, quality 90, written once per run.
fs::path cameraJpeg() {
    static const fs::path path = [] {
        fs::create_directories(kWork);
        const fs::path file = kWork / "camera.jpg";
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

void jpegToBmx(benchmark::State& state) {
    const fs::path file = cameraJpeg();
    const fs::path temp = kWork / "kvtemp";
    const fs::path programDir = KV_BENCH_DATA; // the shipped calibration, only read

    shell::AppState app;
    app.albums.pictures[0].fullPath = file.string();
    app.albums.pictures[0].displayName = file.filename().string();
    app.albums.pictureCount = 1;
    app.albums.loadedPicture = 0;
    platform::RecordingUi ui;
    media::MediaState media;
    printer::LedTable leds;
    media::loadMediaAtStart(programDir, media, leds, ui);
    const adjust::PictureAdjustSettings settings;
    const render::PrintInputs inputs{settings, false, media.calibration, media.gamma, programDir};
    const auto images = std::make_unique<render::JobImages>();

    for (auto _ : state) {
        const auto sheet = render::prepareSheetFile(app, ui, temp);
        if (!sheet || !render::preparePrintLevels(*sheet, inputs, *images, ui) ||
            !render::writeSheetBmx(images->exposure, ui, kWork / "default.bmx"))
            state.SkipWithError("not rendered");
    }
    if (!ui.prompts().empty())
        state.SkipWithError(ui.prompts().front().text.c_str());
}
BENCHMARK(jpegToBmx)->Unit(benchmark::kMillisecond);

} // namespace
