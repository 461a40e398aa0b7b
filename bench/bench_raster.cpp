#include "printer/head_map.h"
#include "render/print_images.h"
#include "render/raster_lines.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using namespace kv;

// All 774 lines of one sheet, as the job builds them one after the other while
// sending; the line stream must stay far below the time a line takes on the port.
void BM_RasterLinesOfASheet(benchmark::State& state) {
    render::ExposureImage exposure;
    for (int row = 0; row < render::kFrameHeight; ++row)
        for (int column = 0; column < render::kLevelColumns; ++column)
            exposure.at(row, column) = {std::int16_t((row * 7 + column) % 1021),
                                        std::int16_t((row + column * 3) % 1021),
                                        std::int16_t((row * column) % 1021)};
    render::RasterLineBuilder builder;
    for (auto _ : state) {
        builder.prepare(exposure);
        std::uint32_t sum = 0;
        for (int a = 0; a < printer::kDirectLines; ++a)
            sum += builder.line(a)[std::size_t(a) * 7 % printer::kLineBytes];
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_RasterLinesOfASheet)->Unit(benchmark::kMillisecond);

} // namespace
