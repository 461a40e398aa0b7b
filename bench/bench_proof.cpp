#include "media/gamma_curves.h"
#include "render/print_proof.h"

#include "photo_sheet.h"

#include <benchmark/benchmark.h>

namespace {

using namespace kv;
using namespace kv::render;

// The shipped calibration; with cross-talk, every pair's terms switched on.
ExposureTables tables(bool crossTalk) {
    media::MediaCalibration calibration;
    media::GammaCurves gamma;
    media::rebuildGammaCurves(calibration, gamma);
    ExposureBaseMedia base = readExposureBaseMedia(KV_BENCH_DATA);
    if (crossTalk)
        for (const auto& [key, text] : {std::pair{"Prg", "0.1"},
                                        {"Prb", "0.05"},
                                        {"Pgr", "0.08"},
                                        {"Pgb", "0.12"},
                                        {"Pbr", "0.03"},
                                        {"Pbg", "0.2"},
                                        {"Qrg", "0.04"},
                                        {"Qrb", "0.06"},
                                        {"Qgr", "0.02"},
                                        {"Qgb", "0.09"},
                                        {"Qbr", "0.07"},
                                        {"Qbg", "0.01"},
                                        {"Rrg", "0.5"},
                                        {"Rrb", "0.3"},
                                        {"Rgr", "0.9"},
                                        {"Rgb", "0.6"},
                                        {"Rbr", "0.4"},
                                        {"Rbg", "0.7"}})
            base.set(key, text);
    return *planExposure(calibration, gamma, base).tables;
}

void sheetProof(benchmark::State& state) {
    const ExposureTables t = tables(state.range(0) != 0);
    ExposureImage exposure;
    fullExposure(t, bench::photoSheet(), exposure);
    const LevelProof proof(t);
    for (auto _ : state)
        benchmark::DoNotOptimize(proofOfSheet(proof, exposure));
}
// The rows run on every core: the time is the wall clock's, the CPU all threads'.
BENCHMARK(sheetProof)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("crossTalk")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

void proofConstruction(benchmark::State& state) {
    const ExposureTables t = tables(state.range(0) != 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(LevelProof(t));
}
BENCHMARK(proofConstruction)->Arg(0)->Arg(1)->ArgName("crossTalk")->Unit(benchmark::kMillisecond);

} // namespace
