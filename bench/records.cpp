// bench_records: the process CPU (percent of one core) of the main window
// during continuous 100 ms event counts on QVSIMC01 of the built-in server,
// run by its own 100 ms poll timer for a stretch of wall-clock time:
//   BM_ContinuousEvents/records:0  the window alone
//   BM_ContinuousEvents/records:1  with the Statistics window open (trend of
//                                  channel 0) and every count logged to a file
//   BM_ContinuousFrequency/highres:0  continuous 100 ms frequency counts
//   BM_ContinuousFrequency/highres:1  the same with Counter > High Resolution
//                                  (the measures read once per count, the
//                                  time base and problems once a second)
// All run in one process, one after the other, with a fresh window each.
// The stretch is VFC_BENCH_SECONDS (default 20) after a 2 s warm-up. Run it
// under a real X server (xvfb-run ... env QT_QPA_PLATFORM=xcb) to include the
// drawing a user's screen costs; offscreen otherwise.
#include "app/Application.h"
#include "app/RecordsController.h"
#include "app/vfcmain.h"
#include "counter/vfcgroups.h"
#include "modules/vladata.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <memory>
#include <stdexcept>

namespace {

// CPU time of the whole process so far, in seconds (user + system).
double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the event loop (and so the poll timer) for ms milliseconds, sleeping
// between events as the program's own loop does.
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int benchSeconds() {
    const int seconds = qEnvironmentVariableIntValue("VFC_BENCH_SECONDS");
    return seconds > 0 ? seconds : 20;
}

// Opens the first simulated module and starts continuous 100 ms counts of
// counterType; false when no module opened.
bool startContinuous(TMainForm& form, int counterType) {
    form.analyserData().SetAllowSimulations(true);
    QElapsedTimer waiting;
    waiting.start();
    while (!form.runAction()->isEnabled() && waiting.elapsed() < 5000)
        runFor(50);
    if (!form.runAction()->isEnabled()) return false;
    form.countTypeGroup()->setItemIndex(counterType);
    form.CounterTypeChanged(*form.countTypeGroup(), counterType);
    form.gateGroup()->setItemIndex(0); // 100 ms
    return true;
}

// Measures the process CPU over the stretch into the state's counters.
void measure(benchmark::State& state, TMainForm& form) {
    form.continuousAction()->setChecked(true);
    form.runAction()->trigger();
    runFor(2000); // warm-up

    const int64_t countsBefore = form.records()->statistics().counts();
    for (auto _ : state) {
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = processCpuSeconds();
        runFor(benchSeconds() * 1000);
        const double cpu = processCpuSeconds() - cpuBefore;
        const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        state.counters["cpu_percent"] = 100.0 * cpu / seconds;
        state.counters["counts_per_s"] =
            static_cast<double>(form.records()->statistics().counts() - countsBefore) / seconds;
    }
    if (form.runState() != 1) state.SkipWithError("the counts stopped");
}

void BM_ContinuousEvents(benchmark::State& state) {
    const bool records = state.range(0) != 0;
    QTemporaryDir folder;
    auto form = std::make_unique<TMainForm>();
    if (!startContinuous(*form, 2)) {
        state.SkipWithError("no simulated module opened");
        return;
    }
    if (records) {
        form->records()->startLogging(folder.filePath(QStringLiteral("bench.csv")));
        form->records()->statisticsAction()->trigger();
    }
    measure(state, *form);
    if (records && !form->records()->logging()) state.SkipWithError("logging stopped");
}

void BM_ContinuousFrequency(benchmark::State& state) {
    auto form = std::make_unique<TMainForm>();
    if (!startContinuous(*form, 0)) {
        state.SkipWithError("no simulated module opened");
        return;
    }
    form->highResolutionAction()->setChecked(state.range(0) != 0);
    measure(state, *form);
}

} // namespace

BENCHMARK(BM_ContinuousEvents)
    ->ArgName("records")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_ContinuousFrequency)
    ->ArgName("highres")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// The window needs a QApplication; offscreen unless QT_QPA_PLATFORM says
// otherwise.
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
