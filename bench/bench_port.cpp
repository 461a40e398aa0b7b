#include "platform/clock.h"
#include "printer/head_map.h"
#include "printer/port_protocol.h"
#include "printer/sim_port.h"
#include "printer/trace_port.h"
#include "printer/virtual_printer.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace kv;

// Counts register operations on their way to the printer.
class CountingPort : public printer::PortIo {
  public:
    explicit CountingPort(printer::PortIo& inner) : m_inner(inner) {}
    std::uint8_t in(std::uint16_t address) override {
        ++operations;
        return m_inner.in(address);
    }
    void out(std::uint16_t address, std::uint8_t value) override {
        ++operations;
        m_inner.out(address, value);
    }
    std::uint64_t operations = 0;

  private:
    printer::PortIo& m_inner;
};

fs::path scratchFolder() {
    std::random_device rd;
    return fs::temp_directory_path() / ("kvbench-port-" + std::to_string(rd()));
}

// One raster line per iteration, through the whole handshake, into an open page.
void sendLines(benchmark::State& state, bool traced) {
    printer::setSettleScale(0);
    const fs::path folder = scratchFolder();
    fs::create_directories(folder);
    platform::FakeClock clock;
    printer::VirtualPrinter device(clock, folder);
    printer::SimPort sim(device);
    CountingPort counter(sim);
    std::optional<printer::TracePort> trace;
    if (traced)
        trace.emplace(counter, folder / "trace.txt");
    printer::PortIo& port = traced ? static_cast<printer::PortIo&>(*trace) : counter;

    printer::CommandBlock startPage;
    startPage.set(printer::CommandBlock::Write, 0, 0x08, 0x00);
    printer::commandSet(port, startPage.raw());
    printer::CommandBlock block;
    block.set(printer::CommandBlock::Write, printer::kLineBytes, 0x00, 0x01);
    for (int i = 0; i < printer::kLineBytes; ++i)
        block.data()[i] = static_cast<std::uint8_t>(i * 31);

    counter.operations = 0;
    for (auto _ : state) {
        if (printer::commandSet(port, block.raw()) != 0)
            state.SkipWithError("line refused");
        if (device.pageLines() == printer::VirtualPrinter::kMaxPageLines)
            printer::commandSet(port, startPage.raw()); // a fresh page before this one is full
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * printer::kLineBytes);
    state.counters["ops_per_byte"] =
        static_cast<double>(counter.operations) /
        (static_cast<double>(state.iterations()) * printer::kLineBytes);
    state.counters["lines_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    trace.reset();
    fs::remove_all(folder);
}

void BM_RasterLine(benchmark::State& state) {
    sendLines(state, false);
}
void BM_RasterLineTraced(benchmark::State& state) {
    sendLines(state, true);
}

BENCHMARK(BM_RasterLine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasterLineTraced)->Unit(benchmark::kMillisecond);

} // namespace
