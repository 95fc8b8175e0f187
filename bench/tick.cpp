// bench_tick: the CPU cost of one 100 ms tick of the measurement cycle on the
// built-in server with an 18-channel simulated module: the library calls, the
// result texts and the host's writes. The host here keeps the texts in plain
// strings and writes only changed ones, as the window's displays do, so this
// is the cycle's share of a tick without the widgets. CPU time is the whole
// process's, so work that the library does on other threads counts too.
#include "TModIfCpp.h"
#include "counter/MeasurementCycle.h"

#include <benchmark/benchmark.h>

#include <array>
#include <stdexcept>
#include <string>

namespace {

class StoringHost : public CycleHost {
public:
    int32_t handle = 0;
    int32_t n = 18;
    CounterSettings settings;
    std::array<std::string, 18> results;
    std::string heading;
    std::string state;
    int64_t changedCells = 0;

    int32_t libraryHandle() const override { return handle; }
    int32_t channelCount() const override { return n; }
    CounterSettings counterSettings() const override { return settings; }
    bool continuousChecked() const override { return true; }
    char channelCode(int32_t) const override { return '-'; }
    int32_t rowCount() const override { return n + 1; }
    void setResultHeading(std::string_view text) override {
        if (heading != text) heading = text;
    }
    void writeResult(int32_t channel, std::string_view text) override {
        std::string& cell = results[static_cast<size_t>(channel)];
        if (cell != text) {
            cell = text;
            ++changedCells;
        }
    }
    void setRunStateText(std::string_view text) override {
        if (state != text) state = text;
    }
    void enableRunStop(bool, bool) override {}
    void closeModule() override { throw std::runtime_error("module closed during the benchmark"); }
};

// One running count of the given type; every iteration is one tick.
void runTicks(benchmark::State& state, int32_t counterType, int32_t gateCode) {
    TModIfCpp library;
    check(QV_ConnectToServer(library.handle(), nullptr, 0));
    check(QV_OpenMod(library.handle(), "QVSIMC01"));
    StoringHost host;
    host.handle = library.handle();
    host.settings = {counterType, gateCode, QV_EDGE_RISE_RISE, 14};
    MeasurementCycle cycle(host);
    cycle.UpdateCounter(false, true, false);
    for (auto _ : state)
        cycle.UpdateCounter(false, false, false);
    state.counters["changed cells/tick"] = benchmark::Counter(
        static_cast<double>(host.changedCells), benchmark::Counter::kAvgIterations);
}

// Event count, infinite gate: all 18 totals read and rewritten every tick.
void BM_CycleTickEvents(benchmark::State& state) {
    runTicks(state, QV_COUNT_EVENTS, QV_GATE_INFINITE);
}
// Frequency count while the 10 s gate is open: status only, nothing written.
void BM_CycleTickFrequencyBusy(benchmark::State& state) {
    runTicks(state, QV_COUNT_FREQUENCY, QV_GATE_10S);
}

} // namespace

BENCHMARK(BM_CycleTickEvents)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(BM_CycleTickFrequencyBusy)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK_MAIN();
