// vexcountd's metrics for Prometheus: the server's own counters, every
// module's presence and acquisition health, and the values of every finished
// count on every module (whoever ran it), labelled by module and channel.
// MetricsCollector is what the exposer asks on each scrape; it holds no
// socket, so tests read its text directly.
#pragma once

#include "Engine.h"

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vexcountd {

// Label values of the protocol label: index = static_cast<int>(Personality),
// then the metrics port itself.
constexpr int kProtocolCount = 3;
constexpr int kMetricsProtocol = 2;
enum class Refusal { Address, ServerFull, PerAddress };
constexpr int kRefusalCount = 3;

// Counters the server keeps on its I/O thread; scrapes read them from the
// exposer's threads.
struct ServerCounters {
    std::array<std::atomic<int64_t>, kProtocolCount> connected{};
    std::array<std::atomic<uint64_t>, kProtocolCount> requests{};
    std::array<std::atomic<uint64_t>, kProtocolCount> requestErrors{};    // error replies
    std::array<std::atomic<uint64_t>, kProtocolCount> connectionErrors{}; // failed reads, writes
    std::array<std::array<std::atomic<uint64_t>, kRefusalCount>, kProtocolCount> refusals{};

    void refused(int protocol, Refusal reason) { ++refusals[protocol][static_cast<int>(reason)]; }
};

class MetricsCollector final : public prometheus::Collectable {
public:
    MetricsCollector(vexengine::Engine& engine, const ServerCounters& counters);

    // Exports only these channels of the module (ascending; empty: all).
    void setChannels(const std::string& module, std::vector<int> channels);
    // Takes the values of a count. running: a count still under way (an
    // infinite gate) read now; only its event counts and final channels are
    // taken, and it does not count as finished.
    void record(const vexengine::FinishedCount& count, bool running = false);

    std::vector<prometheus::MetricFamily> Collect() const override;

private:
    // What one channel measured, NaN where unknown; and when.
    enum Value {
        Frequency,
        Period,
        HighWidth,
        LowWidth,
        Events,
        Reciprocal,
        Duty,
        Regression,
        kValues
    };
    struct Channel {
        std::array<double, kValues> values;
        double time = 0; // Unix time of the count, s
        Channel();
    };
    struct ModuleValues {
        std::vector<int> channels; // exported channels; empty: all
        std::vector<Channel> measured;
        std::array<uint64_t, 3> finished{}; // counts finished per counter type
        // Finished counts on a module with an external reference that it did
        // not time (not locked); nullopt until a count with one is seen.
        std::optional<uint64_t> unreferenced;
    };

    void collectServer(std::vector<prometheus::MetricFamily>& families) const;
    void collectModules(std::vector<prometheus::MetricFamily>& families) const;
    void collectValues(std::vector<prometheus::MetricFamily>& families) const;

    vexengine::Engine& m_engine;
    const ServerCounters& m_counters;
    mutable std::mutex m_mutex;
    std::map<std::string, ModuleValues> m_modules;
};

} // namespace vexcountd
