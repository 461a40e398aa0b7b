// A camera picture printed into the BMX file: the 1-in-1 sheet file made from a
// 24-megapixel JPEG, loaded, run through the colour stages with the shipped
// calibration, and written as raster lines. Target: under 1.5 s.
#include "media/media_service.h"
#include "platform/recording_ui.h"
#include "printer/led_table.h"
#include "render/layout_composition.h"
#include "render/print_preparation.h"
#include "shell/app_state.h"

#include "camera_jpeg.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace fs = std::filesystem;
using namespace kv;

namespace {

const fs::path kWork = fs::temp_directory_path() / "kv-bench-render";

fs::path cameraJpeg() {
    static const fs::path path = bench::cameraJpeg(kWork);
    return path;
}

void jpegToBmx(benchmark::State& state) {
    const fs::path file = cameraJpeg();
    const fs::path temp = kWork / "kvtemp";
    const fs::path programDir = KV_BENCH_DATA; // the shipped calibration, only read

    shell::AppState app;
    app.loadPictureFile({file.string(), file.filename().string()});
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

// The 1-in-1 sheet file alone. A camera JPEG is decoded at an eighth before the
// shrink; target: within vipsthumbnail -s 640x480 on the same file (bench/compare.sh),
// with no buffer of the whole picture.
void jpegToSheetFile(benchmark::State& state) {
    const fs::path file = cameraJpeg();
    shell::AppState app;
    app.loadPictureFile({file.string(), file.filename().string()});
    platform::RecordingUi ui;
    for (auto _ : state)
        if (!render::prepareSheetFile(app, ui, kWork / "kvtemp"))
            state.SkipWithError("no sheet file");
}
BENCHMARK(jpegToSheetFile)->Unit(benchmark::kMillisecond);

} // namespace
