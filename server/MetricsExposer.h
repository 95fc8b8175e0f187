// The metrics port (--metrics): prometheus-cpp's pull exposer serving the
// MetricsCollector at /metrics, behind the same --allow rules as the other
// listeners. The rules are civetweb's access-control list, checked when a
// connection is accepted: a connection from outside them is closed at once,
// holds no worker thread, and is counted as a refusal and logged (at most 10
// lines a second). A request hook checks again (a 403) as a second line.
// Enough worker threads (kMetricsThreads) and a request timeout
// (kMetricsRequestTimeoutMs) keep slow or silent clients from starving scrapes.
#pragma once

#include "AddressFilter.h"
#include "Metrics.h"
#include "Options.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace prometheus {
class Exposer;
}

namespace vexcountd {

// Worker threads of the metrics port: each connection whose request is not
// in yet holds one, for at most the request timeout.
constexpr int kMetricsThreads = 64;
// The most a request may take to arrive, ms; a slower one is dropped.
constexpr int kMetricsRequestTimeoutMs = 3000;

// civetweb's access-control list for the --allow rules: "" (everybody) or
// "-0.0.0.0/0,+RANGE,...". The port is IPv4 only: an IPv6 range counts only
// where it holds every IPv4-mapped address.
std::string civetAccessList(const std::vector<AddressRange>& allow, bool allowAny);

class MetricsExposer {
public:
    using Log = std::function<void(const std::string&)>;
    // Listens on options.metrics at once, admitting options' --allow ranges;
    // throws std::exception when it cannot. Only one exposer may exist at a
    // time (the web server's hooks have no context).
    MetricsExposer(const Options& options, std::shared_ptr<MetricsCollector> collector,
                   ServerCounters& counters, Log log);
    ~MetricsExposer();
    MetricsExposer(const MetricsExposer&) = delete;
    MetricsExposer& operator=(const MetricsExposer&) = delete;

    // The port it listens on (the free port picked for port 0).
    uint16_t port() const;

private:
    std::shared_ptr<MetricsCollector> m_collector;
    std::unique_ptr<prometheus::Exposer> m_exposer;
};

} // namespace vexcountd
