#include "media/gamma_curves.h"
#include "platform/recording_ui.h"
#include "render/colour_pipeline.h"

#include "photo_sheet.h"

#include <benchmark/benchmark.h>

#include <span>

namespace {

using namespace kv;
using namespace kv::render;

// Every stage switched on, with calibration values that keep the full
// exposure conversion defined.
struct Job {
    adjust::PictureAdjustSettings settings;
    media::MediaCalibration calibration;
    media::GammaCurves gamma;
    ColCorPalam colCor;
    ExposureBaseMedia base;
    ColourMatchingTable table;
    platform::RecordingUi ui;

    Job() {
        settings.contrast = adjust::kToneManual;
        settings.saturation = adjust::kSaturationManual;
        settings.colorControl = 1;
        settings.digitalCamera = 1;
        media::rebuildGammaCurves(calibration, gamma);
        colCor.top[kHueRed] = 1.2;
        colCor.bottom[kHueMagenta] = 0.9;
        colCor.shift[kHueYellow] = {3, -2, 5};
        for (const auto& [key, text] : {std::pair{"RBase32", "100"},
                                        {"RBase224", "300"},
                                        {"GBase32", "120"},
                                        {"GBase224", "280"},
                                        {"BBase32", "90"},
                                        {"BBase224", "310"},
                                        {"Prg", "0.1"},
                                        {"Pbg", "0.2"},
                                        {"Qgb", "0.09"},
                                        {"Rrg", "0.5"},
                                        {"Rbr", "0.4"},
                                        {"OVbg", "1.1"},
                                        {"OVgb", "0.9"},
                                        {"OVrg", "1.0"}})
            base.set(key, text);
        table.lattice.resize(kLatticeBytes);
        for (int iR = 0; iR < kLatticeSide; ++iR)
            for (int iG = 0; iG < kLatticeSide; ++iG)
                for (int iB = 0; iB < kLatticeSide; ++iB) {
                    std::uint8_t* p = table.lattice.data() +
                                      std::size_t(kLatticeSide * iR + iG) * kLatticeRowBytes +
                                      iB * 3;
                    p[0] = static_cast<std::uint8_t>(latticeLevel(iB));
                    p[1] = static_cast<std::uint8_t>(latticeLevel(iG));
                    p[2] = static_cast<std::uint8_t>(latticeLevel(iR));
                }
    }
};

void cameraNoise(benchmark::State& state) {
    Job job;
    PrintImage image = bench::photoSheet();
    for (auto _ : state)
        cameraNoiseStage(job.settings, image, kFrameWidth, kFrameHeight, job.ui);
}
BENCHMARK(cameraNoise)->Unit(benchmark::kMillisecond);

void colourMatching(benchmark::State& state) {
    Job job;
    PrintImage image = bench::photoSheet();
    for (auto _ : state)
        applyColourMatching(job.table, image, kFrameWidth, kFrameHeight);
}
BENCHMARK(colourMatching)->Unit(benchmark::kMillisecond);

void toneCurveStage(benchmark::State& state) {
    Job job;
    PrintImage image = bench::photoSheet();
    for (auto _ : state)
        applyToneCurve(job.settings, image);
}
BENCHMARK(toneCurveStage)->Unit(benchmark::kMillisecond);

void saturation(benchmark::State& state) {
    Job job;
    const PrintImage sheet = bench::photoSheet();
    PrintImage image = sheet;
    LuminanceMap luminance;
    for (auto _ : state) {
        image.bytes = sheet.bytes; // saturation would soon drive every pixel to the limits
        applySaturation(job.settings, image, luminance);
    }
}
BENCHMARK(saturation)->Unit(benchmark::kMillisecond);

void hueSector(benchmark::State& state) {
    Job job;
    PrintImage image = bench::photoSheet();
    for (auto _ : state)
        applyHueSectorCorrection(job.settings, job.colCor, image);
}
BENCHMARK(hueSector)->Unit(benchmark::kMillisecond);

void exposureFull(benchmark::State& state) {
    Job job;
    const PrintImage image = bench::photoSheet();
    ExposureImage exposure;
    for (auto _ : state)
        convertToExposure(job.settings, job.calibration, job.gamma, job.base, image, exposure,
                          job.ui);
}
BENCHMARK(exposureFull)->Unit(benchmark::kMillisecond);

void exposurePlain(benchmark::State& state) {
    const PrintImage image = bench::photoSheet();
    ExposureImage exposure;
    for (auto _ : state)
        plainExposure(image, exposure);
}
BENCHMARK(exposurePlain)->Unit(benchmark::kMillisecond);

void edgeEnhancement(benchmark::State& state) {
    Job job;
    PrintImage image = bench::photoSheet();
    LuminanceMap luminance;
    ExposureImage exposure;
    applySaturation(job.settings, image, luminance);
    for (auto _ : state) {
        plainExposure(image, exposure); // keeps the levels from running into the limits
        enhanceEdges(job.settings, luminance, exposure);
    }
}
BENCHMARK(edgeEnhancement)->Unit(benchmark::kMillisecond);

void finalClamp(benchmark::State& state) {
    Job job;
    const PrintImage image = bench::photoSheet();
    ExposureImage exposure;
    plainExposure(image, exposure);
    for (auto _ : state)
        clampLevels(job.gamma, exposure);
}
BENCHMARK(finalClamp)->Unit(benchmark::kMillisecond);

// Stages 4 to 9 of one job, as the job engine runs them.
void colourStages(benchmark::State& state) {
    Job job;
    const PrintImage sheet = bench::photoSheet();
    PrintImage image;
    LuminanceMap luminance;
    ExposureImage exposure;
    const ColourJob colourJob{job.settings, job.calibration, job.gamma, job.colCor, job.base};
    for (auto _ : state) {
        image.bytes = sheet.bytes;
        runColourStages(colourJob, image, luminance, exposure, job.ui);
    }
}
BENCHMARK(colourStages)->Unit(benchmark::kMillisecond);

} // namespace
