// SCPI benchmarks: what a SCPI request costs next to the line protocol and
// to a bare TCP echo on the same machine, and how much a MEAS:FREQ? takes
// beyond its gate. Starts its own vexcountd (from $VFC_BIN_DIR or next to
// this program) with --scpi on free loopback ports, and its own echo server.
//
//   bin/bench_scpi
#include "Percentile.h"
#include "LineClient.h"
#include "ServerProcess.h"
#include "vexif.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <regex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

vfctest::ServerProcess* g_server = nullptr;
uint16_t g_scpiPort = 0;
uint16_t g_echoPort = 0;
std::map<std::string, double> g_p50; // benchmark name -> p50 (us)

using vfcbench::microseconds;
using vfcbench::percentile;

// A blocking loopback server that sends back every byte it reads, one
// client at a time: the floor for any request over TCP on this machine.
class EchoServer {
public:
    EchoServer() {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 4);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~EchoServer() {
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }
    uint16_t port() const { return m_port; }

private:
    void serve() {
        for (;;) {
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client < 0) return;
            const int one = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            char buffer[4096];
            for (ssize_t n; (n = ::recv(client, buffer, sizeof buffer, 0)) > 0;)
                ::send(client, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL);
            ::close(client);
        }
    }

    int m_listener = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
};

// One request line and its reply over a raw socket, timed per round trip.
void RoundTrip(benchmark::State& state, const char* name, uint16_t* port, const char* request) {
    vfctest::LineClient client;
    if (!client.connect(*port)) {
        state.SkipWithError("cannot connect");
        return;
    }
    std::vector<double> samples;
    samples.reserve(1 << 20);
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto reply = client.ask(request);
        if (samples.size() < samples.capacity())
            samples.push_back(microseconds(Clock::now() - start));
        if (!reply) {
            state.SkipWithError("no reply");
            break;
        }
    }
    state.counters["p50_us"] = percentile(samples, 0.5);
    state.counters["p99_us"] = percentile(samples, 0.99);
    g_p50[name] = state.counters["p50_us"];
}

uint16_t g_linePort = 0;

// *IDN? through libvexif (QV_QueryServerID), as the application asks.
void IdnLibrary(benchmark::State& state) {
    int32_t handle = 0;
    QV_Initialize(&handle);
    if (QV_ConnectToServer(handle, "127.0.0.1", g_linePort) != QV_OK) {
        state.SkipWithError("cannot connect");
        return;
    }
    std::vector<double> samples;
    samples.reserve(1 << 20);
    char identity[128];
    for (auto _ : state) {
        const auto start = Clock::now();
        const int32_t status = QV_QueryServerID(handle, identity, sizeof identity);
        if (samples.size() < samples.capacity())
            samples.push_back(microseconds(Clock::now() - start));
        if (status != QV_OK) {
            state.SkipWithError("QV_QueryServerID failed");
            break;
        }
    }
    QV_Finalize(handle);
    state.counters["p50_us"] = percentile(samples, 0.5);
    g_p50["IdnLibrary"] = state.counters["p50_us"];
}

// MEAS:FREQ? with the 0.1 s gate: the time beyond the gate.
void MeasFreqOverhead(benchmark::State& state) {
    vfctest::LineClient client;
    if (!client.connect(g_scpiPort) || !client.send("INST:SEL \"QVSIMC01\"\n")) {
        state.SkipWithError("cannot connect");
        return;
    }
    std::vector<double> overhead;
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto reply =
            client.ask("CONF:FREQ (@0:17);FREQ:GATE:TIME 0.1;READ?", std::chrono::seconds(2));
        overhead.push_back(microseconds(Clock::now() - start) - 100000.0);
        if (!reply || reply->rfind("1.000000000E+06,", 0) != 0) {
            state.SkipWithError("unexpected reply");
            break;
        }
    }
    state.counters["overhead_p50_us"] = percentile(overhead, 0.5);
    state.counters["overhead_max_us"] = percentile(overhead, 1.0);
}

BENCHMARK_CAPTURE(RoundTrip, echo, "echo", &g_echoPort, "*IDN?");
BENCHMARK_CAPTURE(RoundTrip, line_protocol, "line", &g_linePort, "*IDN?");
BENCHMARK_CAPTURE(RoundTrip, scpi, "scpi", &g_scpiPort, "*IDN?");
BENCHMARK(IdnLibrary);
BENCHMARK(MeasFreqOverhead)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    vfctest::ServerProcess server({"--scpi", "127.0.0.1:0"});
    std::smatch found;
    const std::regex scpiLine("SCPI listening on 127\\.0\\.0\\.1:(\\d+)\\n");
    std::string log;
    if (!server.start() || !server.waitForLog("SCPI listening on") ||
        !std::regex_search(log = server.log(), found, scpiLine)) {
        std::fprintf(stderr, "bench_scpi: cannot start %s\n",
                     vfctest::ServerProcess::binaryPath().c_str());
        return 1;
    }
    EchoServer echo;
    g_server = &server;
    g_linePort = server.port();
    g_scpiPort = static_cast<uint16_t>(std::stoi(found[1]));
    g_echoPort = echo.port();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n*IDN? round trip p50, relative to a raw TCP echo\n");
    for (const char* name : {"line", "IdnLibrary", "scpi"}) {
        const auto it = g_p50.find(name);
        if (it != g_p50.end() && g_p50["echo"] > 0)
            std::printf("%-12s %8.1f us %6.2fx\n", name, it->second, it->second / g_p50["echo"]);
    }
    server.stop();
    return 0;
}
