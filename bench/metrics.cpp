// Metrics benchmarks: one scrape of 20 monitored modules of 18 channels
// (exposition time and size), the cost of taking one finished count, and the
// process CPU while 20 monitors count 100 ms gates and a scraper reads the
// metrics port every second, next to the same process with monitoring off.
// The 20 modules are simulations added for the benchmark (QVBEN01..20, the
// signal rows 0-17 of the simulation table).
//
//   bin/bench_metrics [--cpu-seconds=10]
#include "Metrics.h"
#include "MetricsExposer.h"
#include "Monitor.h"
#include "Simulations.h"

#include <benchmark/benchmark.h>
#include <prometheus/text_serializer.h>

#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace vexcountd;
constexpr int kModules = 20;
constexpr int kChannels = 18;

std::string benchName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "QVBEN%02d", i + 1);
    return name;
}

void addBenchModules(vexengine::Engine& engine) {
    const auto& table = vexengine::simulationSignals();
    for (int i = 0; i < kModules; ++i)
        engine.addModule(std::make_unique<vexengine::SimulatedModule>(
            benchName(i), 'c',
            std::vector<vexengine::Signal>(table.begin(), table.begin() + kChannels), false));
}

// A finished count of every kind of value on every channel: the largest
// exposition a module can have (frequency, period and event values, and
// reciprocal frequency and duty).
void fill(MetricsCollector& collector) {
    for (int i = 0; i < kModules; ++i)
        for (int type = 0; type < 3; ++type) {
            vexengine::FinishedCount count;
            count.module = benchName(i);
            count.settings = {type, 3, 1, "--------"};
            count.channelStates.assign(kChannels, 2);
            for (int c = 0; c < kChannels; ++c) {
                count.counts.push_back(1000003 + 7 * c);
                vexengine::ChannelMeasures m;
                m.reciprocalHz = 1000003.25 + c;
                m.duty = 0.5 + 0.01 * c;
                count.measures.push_back(m);
            }
            count.noticedAt = std::chrono::system_clock::now();
            collector.record(count);
        }
}

void BM_Scrape(benchmark::State& state) {
    vexengine::Engine engine;
    addBenchModules(engine);
    ServerCounters counters;
    MetricsCollector collector(engine, counters);
    fill(collector);
    std::size_t bytes = 0;
    std::size_t samples = 0;
    for (auto _ : state) {
        const auto families = collector.Collect();
        const std::string text = prometheus::TextSerializer().Serialize(families);
        bytes = text.size();
        samples = 0;
        for (const auto& f : families)
            samples += f.metric.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["samples"] = static_cast<double>(samples);
}
BENCHMARK(BM_Scrape)->Unit(benchmark::kMicrosecond);

void BM_RecordFinishedCount(benchmark::State& state) {
    vexengine::Engine engine;
    ServerCounters counters;
    MetricsCollector collector(engine, counters);
    vexengine::FinishedCount count;
    count.module = "QVSIMC01";
    count.settings = {0, 3, 0, "--------"};
    count.channelStates.assign(kChannels, 2);
    count.counts.assign(kChannels, 100000);
    count.measures.resize(kChannels);
    count.noticedAt = std::chrono::system_clock::now();
    for (auto _ : state)
        collector.record(count);
}
BENCHMARK(BM_RecordFinishedCount);

double cpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    const auto s = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

// One HTTP GET of /metrics; the reply's size.
std::size_t scrape(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::size_t total = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const char request[] = "GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
        ::send(fd, request, sizeof request - 1, 0);
        char buffer[65536];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            total += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return total;
}

struct CpuFigures {
    double percent = 0;    // process CPU, % of one core (scraper thread excluded)
    std::size_t bytes = 0; // last scrape, HTTP headers included
    uint64_t counts = 0;   // finished counts taken by the metrics
};

// The server's metrics side in this process: engine, 20 monitors (or none)
// on an I/O thread, the exposer on a loopback port, and a scraper every
// second; CPU over `seconds`.
CpuFigures measureCpu(bool monitoring, double seconds) {
    vexengine::Engine engine;
    addBenchModules(engine);
    ServerCounters counters;
    auto collector = std::make_shared<MetricsCollector>(engine, counters);
    std::atomic<uint64_t> counts{0};
    engine.setFinishedCountHook([&](const vexengine::FinishedCount& c) {
        collector->record(c);
        ++counts;
    });
    Options options;
    options.metrics = ListenAddress{"127.0.0.1", 0};
    MetricsExposer exposer(options, collector, counters, [](const std::string&) {});
    asio::io_context io;
    std::vector<MonitorRequest> requests;
    if (monitoring)
        for (int i = 0; i < kModules; ++i)
            requests.push_back(
                std::get<MonitorRequest>(parseMonitorRequest(benchName(i) + ":freq:0.1")));
    Monitor monitor(io, engine, requests, collector.get(), [](const std::string&) {});
    monitor.start();
    auto guard = asio::make_work_guard(io);
    std::thread ioThread([&] { io.run(); });

    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // settle
    CpuFigures figures;
    double scraperCpu = 0;
    const double before = cpuSeconds(RUSAGE_SELF);
    const auto start = std::chrono::steady_clock::now();
    const uint64_t countsBefore = counts;
    std::thread scraper([&] {
        const double own = cpuSeconds(RUSAGE_THREAD);
        for (int i = 0; i < static_cast<int>(seconds); ++i) {
            figures.bytes = scrape(exposer.port());
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        scraperCpu = cpuSeconds(RUSAGE_THREAD) - own;
    });
    scraper.join();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures.percent = 100 * (cpuSeconds(RUSAGE_SELF) - before - scraperCpu) / wall;
    figures.counts = counts - countsBefore;
    asio::post(io, [&] { monitor.stop(); });
    guard.reset();
    ioThread.join();
    engine.setFinishedCountHook({});
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 10;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--cpu-seconds=", 14) == 0)
            seconds = std::atof(argv[i] + 14);
        else
            args.push_back(argv[i]);
    }
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const CpuFigures idle = measureCpu(false, seconds);
    const CpuFigures busy = measureCpu(true, seconds);
    std::printf("metrics port, scraped every second, no monitor: %.2f %% of a core (%zu bytes)\n",
                idle.percent, idle.bytes);
    std::printf("20 monitors x 18 channels, 100 ms gates, scraped every second: %.2f %% of a core, "
                "%.1f counts/s, %zu bytes a scrape\n",
                busy.percent, static_cast<double>(busy.counts) / seconds, busy.bytes);
    return 0;
}
