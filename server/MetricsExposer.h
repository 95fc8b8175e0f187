// The metrics port (--metrics): prometheus-cpp's pull exposer serving the
// MetricsCollector at /metrics, behind the same --allow rules as the other
// listeners. A scrape from an address outside them is answered 403 and
// counted as a refusal; refusals are logged (at most 10 lines a second).
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

class MetricsExposer {
public:
    using Log = std::function<void(const std::string&)>;
    // Listens at once; throws std::exception when it cannot. Only one exposer
    // may exist at a time (the web server's request hook has no context).
    MetricsExposer(const ListenAddress& at, AddressFilter filter,
                   std::shared_ptr<MetricsCollector> collector, ServerCounters& counters, Log log);
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
