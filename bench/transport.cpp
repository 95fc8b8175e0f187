// Transport benchmarks: what a call costs through the built-in server and
// through vexcountd on loopback (a light call, a poll tick, the measures), and how the server holds
// up under 64 clients polling like the application. Starts its own vexcountd (from $VFC_BIN_DIR or
// next to this program) on a free loopback port.
//
//   bin/bench_transport                       all, 10 s for the 64 clients
//   VFC_BENCH_SECONDS=2 bin/bench_transport   a shorter client run
#include "Percentile.h"
#include "ServerProcess.h"
#include "vexif.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

vfctest::ServerProcess* g_server = nullptr;
std::map<std::string, double> g_p50; // benchmark name -> p50 (us), for the ratios

using vfcbench::microseconds;
using vfcbench::percentile;

// A connected handle with module `module` open (none if empty).
struct Session {
    int32_t handle = 0;
    int32_t status = QV_OK;
    Session(bool remote, const char* module) {
        QV_Initialize(&handle);
        status = QV_ConnectToServer(handle, remote ? "127.0.0.1" : nullptr,
                                    remote ? g_server->port() : 0);
        if (status == QV_OK && module) status = QV_OpenMod(handle, module);
    }
    ~Session() { QV_Finalize(handle); }
};

void reportLatencies(benchmark::State& state, std::vector<double>& samples,
                     const std::string& name) {
    state.counters["p50_us"] = percentile(samples, 0.50);
    state.counters["p99_us"] = percentile(samples, 0.99);
    g_p50[name] = state.counters["p50_us"];
}

const char* where(bool remote) {
    return remote ? "loopback" : "builtin";
}

// One light call: is a module open?
void ModIsOpen(benchmark::State& state, bool remote) {
    Session s(remote, "QVSIMC01");
    if (s.status != QV_OK) {
        state.SkipWithError("cannot connect or open QVSIMC01");
        return;
    }
    std::vector<double> samples;
    samples.reserve(1 << 20);
    for (auto _ : state) {
        int32_t open = 0;
        const auto start = Clock::now();
        const int32_t status = QV_ModIsOpen(s.handle, &open);
        if (samples.size() < samples.capacity())
            samples.push_back(microseconds(Clock::now() - start));
        if (status != QV_OK || open != 1) {
            state.SkipWithError("QV_ModIsOpen failed");
            break;
        }
    }
    reportLatencies(state, samples, std::string("ModIsOpen/") + where(remote));
}

// One poll tick of a running event count: three calls.
void PollTick(benchmark::State& state, bool remote) {
    Session s(remote, "QVSIMC01");
    if (s.status != QV_OK || QV_FCRun(s.handle, 2, 3, 7, "--------", 1) != QV_OK) {
        state.SkipWithError("cannot start an event count");
        return;
    }
    std::vector<double> samples;
    samples.reserve(1 << 20);
    std::array<uint32_t, 19> words{};
    std::array<int64_t, 18> counts{};
    for (auto _ : state) {
        int32_t open = 0;
        const auto start = Clock::now();
        const bool ok = QV_ModIsOpen(s.handle, &open) == QV_OK &&
                        QV_FCGetStatus(s.handle, words.data(), 19) == QV_OK &&
                        QV_FCGetCounts(s.handle, counts.data(), 18) == QV_OK;
        if (samples.size() < samples.capacity())
            samples.push_back(microseconds(Clock::now() - start));
        if (!ok) {
            state.SkipWithError("a poll call failed");
            break;
        }
    }
    reportLatencies(state, samples, std::string("PollTick/") + where(remote));
}

// One QV_FCGetMeasures round trip on a finished frequency count of an
// 18-channel module (what the window polls for the measures): the median
// is the figure to hold under 0.2 ms over loopback.
void FCGetMeasures(benchmark::State& state, bool remote) {
    Session s(remote, "QVSIMC01");
    if (s.status != QV_OK || QV_FCRun(s.handle, 0, 3, 0, "--------", 1) != QV_OK) {
        state.SkipWithError("cannot start a frequency count");
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150)); // the 100 ms gate ends
    std::vector<double> samples;
    samples.reserve(1 << 20);
    std::array<QV_ChannelMeasures, 18> measures{};
    for (QV_ChannelMeasures& m : measures)
        m.size = sizeof m;
    for (auto _ : state) {
        const auto start = Clock::now();
        const int32_t status = QV_FCGetMeasures(s.handle, measures.data(), 18);
        if (samples.size() < samples.capacity())
            samples.push_back(microseconds(Clock::now() - start));
        if (status != QV_OK || measures[0].frequency != 1e6) {
            state.SkipWithError("QV_FCGetMeasures failed");
            break;
        }
    }
    reportLatencies(state, samples, std::string("FCGetMeasures/") + where(remote));
}

// utime + stime of a process, in seconds.
double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold blanks.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
}

// 64 clients, each with its own session, poll ten times a second with
// three calls a tick, for `seconds`. The engine offers five modules, so
// five clients poll a running event count (QV_ModIsOpen, QV_FCGetStatus,
// QV_FCGetCounts) and the others poll as the application does between
// counts without a module (QV_ModIsOpen, QV_ModCount, QV_ModInfo).
void SixtyFourClients(benchmark::State& state) {
    const char* env = std::getenv("VFC_BENCH_SECONDS");
    const int seconds = env ? std::max(1, std::atoi(env)) : 10;
    constexpr int kClients = 64;
    const char* modules[] = {"QVSIMC01", "QVSIMC02", "QVSIMO01", "QVSIMR01", "QVSIMB01"};

    for (auto _ : state) {
        std::atomic<int> failed{0}, calls{0}, ready{0};
        std::vector<std::vector<double>> latencies(kClients);
        const auto begin = Clock::now() + std::chrono::milliseconds(500);
        const double cpuBefore = cpuSeconds(g_server->pid());
        std::vector<std::thread> threads;
        for (int c = 0; c < kClients; ++c) {
            threads.emplace_back([&, c] {
                const bool counting = c < 5;
                Session s(true, counting ? modules[c] : nullptr);
                if (s.status != QV_OK ||
                    (counting && QV_FCRun(s.handle, 2, 3, 7, "--------", 1) != QV_OK))
                    failed += 1;
                ++ready;
                std::array<uint32_t, 33> words{};
                std::array<int64_t, 32> counts{};
                // Ticks of different clients are not in step, as with
                // separate applications.
                const auto phase = std::chrono::microseconds(std::mt19937(c)() % 100000);
                auto next = begin + phase;
                const auto end = begin + std::chrono::seconds(seconds);
                std::vector<double>& mine = latencies[c];
                while (next < end) {
                    std::this_thread::sleep_until(next);
                    next += std::chrono::milliseconds(100);
                    for (int call = 0; call < 3; ++call) {
                        const auto start = Clock::now();
                        int32_t status = QV_OK;
                        int32_t value = 0;
                        char name[QV_MODULE_NAME_SIZE], info[QV_MODULE_INFO_SIZE];
                        if (call == 0)
                            status = QV_ModIsOpen(s.handle, &value);
                        else if (counting && call == 1)
                            status = QV_FCGetStatus(s.handle, words.data(), 33);
                        else if (counting)
                            status = QV_FCGetCounts(s.handle, counts.data(), 32);
                        else if (call == 1)
                            status = QV_ModCount(s.handle, &value);
                        else
                            status = QV_ModInfo(s.handle, c % 5, name, info);
                        mine.push_back(microseconds(Clock::now() - start));
                        ++calls;
                        if (status != QV_OK) ++failed;
                    }
                }
            });
        }
        for (std::thread& t : threads)
            t.join();
        const double wall = std::chrono::duration<double>(Clock::now() - begin).count();
        const double cpu = cpuSeconds(g_server->pid()) - cpuBefore;

        std::vector<double> all;
        for (auto& l : latencies)
            all.insert(all.end(), l.begin(), l.end());
        state.counters["calls"] = calls.load();
        state.counters["failed"] = failed.load();
        state.counters["p50_us"] = percentile(all, 0.50);
        state.counters["p99_us"] = percentile(all, 0.99);
        state.counters["max_us"] = percentile(all, 1.0);
        state.counters["server_cpu_pct"] = 100.0 * cpu / wall;
    }
}

BENCHMARK_CAPTURE(ModIsOpen, builtin, false);
BENCHMARK_CAPTURE(ModIsOpen, loopback, true);
BENCHMARK_CAPTURE(PollTick, builtin, false);
BENCHMARK_CAPTURE(PollTick, loopback, true);
BENCHMARK_CAPTURE(FCGetMeasures, builtin, false);
BENCHMARK_CAPTURE(FCGetMeasures, loopback, true);
BENCHMARK(SixtyFourClients)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    vfctest::ServerProcess server;
    if (!server.start()) {
        std::fprintf(stderr, "bench_transport: cannot start %s\n",
                     vfctest::ServerProcess::binaryPath().c_str());
        return 1;
    }
    g_server = &server;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const auto ratio = [](const char* a, const char* b) {
        const auto x = g_p50.find(a), y = g_p50.find(b);
        if (x == g_p50.end() || y == g_p50.end() || y->second <= 0) return;
        std::printf("%-44s %8.1f\n", (std::string(a) + " / " + b).c_str(), x->second / y->second);
    };
    std::printf("\np50 ratios\n");
    ratio("ModIsOpen/loopback", "ModIsOpen/builtin");
    ratio("PollTick/loopback", "PollTick/builtin");
    ratio("PollTick/builtin", "ModIsOpen/builtin");
    ratio("PollTick/loopback", "ModIsOpen/loopback");
    ratio("FCGetMeasures/loopback", "ModIsOpen/loopback");
    server.stop();
    return 0;
}
