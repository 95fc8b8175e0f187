// bench_tick: the CPU cost of one 100 ms tick of a running count on the
// built-in server with an 18-channel simulated module.
//
// BM_Cycle*: the measurement cycle alone: the library calls, the result texts
// and the host's writes. The host keeps the texts in plain strings and writes
// only changed ones, as the window's displays do.
//
// BM_WindowTick*: the same tick through the integrated main window (real
// grid, status bar and groups, offscreen unless QT_QPA_PLATFORM says
// otherwise): PollTick, then the event processing that repaints the cells
// whose text changed. The counters show how much was repainted per tick.
//
// CPU time is the whole process's, so work that the library does on other
// threads counts too.
#include "TModIfCpp.h"
#include "app/Application.h"
#include "app/vfcmain.h"
#include "counter/MeasurementCycle.h"
#include "counter/vfcgroups.h"
#include "display/vfcgrid.h"
#include "modules/vfcmodsel.h"

#include <QAction>
#include <QApplication>
#include <QPaintEvent>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

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

// Counts the paint events of a widget and the pixels they cover.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) : QObject(widget) { widget->installEventFilter(this); }
    int64_t paints = 0;
    int64_t pixels = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            for (const QRect& r : static_cast<QPaintEvent*>(event)->region())
                pixels += static_cast<int64_t>(r.width()) * r.height();
        }
        return false;
    }
};

// The main window with QVSIMC01 open and an event count with the infinite gate
// running; the poll timer is stopped, the benchmark ticks by hand.
std::unique_ptr<TMainForm> windowCounting() {
    auto form = std::make_unique<TMainForm>();
    form->pollTimer()->stop();
    form->analyserData().SetAllowSimulations(true);
    for (int tick = 0; tick < 2; ++tick)
        form->PollTick(); // the second tick's refresh opens the first simulation
    if (!form->runAction()->isEnabled()) throw std::runtime_error("no simulated module opened");
    form->countTypeGroup()->setItemIndex(QV_COUNT_EVENTS);
    form->CounterTypeChanged(*form->countTypeGroup(), QV_COUNT_EVENTS);
    form->gateGroup()->setItemIndex(kInfiniteGateIndex);
    form->runAction()->trigger();
    if (form->runState() != 1) throw std::runtime_error("the count did not start");
    QCoreApplication::processEvents();
    return form;
}

// One iteration is one tick state.range(0) ms after the last (the wait is not
// timed): PollTick, then the event processing that repaints what changed,
// timed or not. At 100 ms, as the timer ticks, the caches have gone cold;
// back to back (0 ms) they are warm and only the fast channels change.
void windowTicks(benchmark::State& state, bool timePainting) {
    const std::unique_ptr<TMainForm> form = windowCounting();
    PaintCounter grid(form->grid()->viewport());
    const std::chrono::milliseconds gap(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::this_thread::sleep_for(gap);
        state.ResumeTiming();
        form->PollTick();
        if (!timePainting) state.PauseTiming();
        QCoreApplication::processEvents(); // repaints what changed
        if (!timePainting) state.ResumeTiming();
    }
    if (form->runState() != 1) state.SkipWithError("the count ended");
    state.counters["grid paints/tick"] =
        benchmark::Counter(static_cast<double>(grid.paints), benchmark::Counter::kAvgIterations);
    // In units of one result cell (its row less the grid line).
    const double cell = static_cast<double>(form->grid()->columnWidth(TModGrid::ResultColumn)) *
                        (form->grid()->rowHeight(1) - 1);
    state.counters["result cells painted/tick"] = benchmark::Counter(
        static_cast<double>(grid.pixels) / cell, benchmark::Counter::kAvgIterations);
}

// The tick itself: library calls, 18 result texts, the grid's and the status
// bar's updates (which only mark changed cells and panels for repainting).
void BM_WindowTickEvents(benchmark::State& state) {
    windowTicks(state, false);
}
// The tick and the repaint of the 16 result cells whose totals changed (the
// two static channels' cells are not repainted).
void BM_WindowTickEventsWithRepaint(benchmark::State& state) {
    windowTicks(state, true);
}

} // namespace

BENCHMARK(BM_CycleTickEvents)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(BM_CycleTickFrequencyBusy)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(BM_WindowTickEvents)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->ArgName("gap_ms")
    ->Arg(100)
    ->Arg(0)
    ->Iterations(50);
BENCHMARK(BM_WindowTickEventsWithRepaint)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->ArgName("gap_ms")
    ->Arg(100)
    ->Arg(0)
    ->Iterations(50);

// The window needs a QApplication; benchmarks run offscreen by default.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    prepareApplication();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
