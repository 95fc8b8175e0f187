// Close then open of an acquired module on libsigrok's demo device, through
// the engine as a session does it: from the close until the reopened
// module's stream runs again, the close's stop completed before the open (so
// the device is stopped and started each time; an open that follows a close
// at once may find the stream still running and costs nothing). Reports the
// median and the 90th percentile of 100 in ms.
#include "AcquiredModule.h"
#include "Engine.h"
#include "Percentile.h"
#include "SigrokSource.h"

#include <benchmark/benchmark.h>

#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using vexacq::AcquiredModule;

template <typename F> bool waitUntil(F done) {
    const auto deadline = Clock::now() + 5s;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(50us);
    }
    return true;
}

void reopen(benchmark::State& state) {
    vexengine::Engine engine;
    vexacq::SourceOptions options;
    options.configs = {vexacq::DeviceConfig{"demo", {}}};
    vexacq::SigrokSource source(engine, options);
    source.waitForScans(1, 10s);
    const auto* module = dynamic_cast<const AcquiredModule*>(source.module("QVDEMO01"));
    if (!module) {
        state.SkipWithError("no demo device");
        return;
    }
    const auto session = engine.openSession();
    engine.openModule(session, "QVDEMO01");
    waitUntil([&] { return module->state() == AcquiredModule::State::running; });
    std::vector<double> ms;
    for (auto _ : state) {
        const uint64_t generation = module->generation();
        const auto start = Clock::now();
        engine.closeModule(session);
        waitUntil([&] { return module->state() == AcquiredModule::State::idle; });
        engine.openModule(session, "QVDEMO01");
        const bool ok = waitUntil([&] {
            return module->state() == AcquiredModule::State::running &&
                   module->generation() != generation;
        });
        const double took = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (!ok) state.SkipWithError("the stream did not run again");
        state.SetIterationTime(took / 1000);
        ms.push_back(took);
    }
    state.counters["median_ms"] = vfcbench::percentile(ms, 0.5);
    state.counters["p90_ms"] = vfcbench::percentile(ms, 0.9);
}

BENCHMARK(reopen)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
