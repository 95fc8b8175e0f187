// The metrics port; see MetricsExposer.h.
#include "MetricsExposer.h"

#include "Limits.h"

#include <prometheus/exposer.h>

#include <CivetServer.h>
#include <civetweb.h>

#include <mutex>
#include <optional>
#include <stdexcept>

namespace vexcountd {
namespace {

// What the web server's request hook checks against. civetweb calls the hook
// without a context of ours, so the one exposer's filter lives here.
struct Gate {
    std::mutex mutex;
    std::optional<AddressFilter> filter; // set while an exposer exists
    ServerCounters* counters = nullptr;
    MetricsExposer::Log log;
    LogLimiter limiter{10};
};

Gate& gate() {
    static Gate instance;
    return instance;
}

// Runs on the web server's threads before any request is served: 0 serves
// it, anything else means the hook has answered.
int admitScrape(mg_connection* connection) {
    const mg_request_info* request = mg_get_request_info(connection);
    asio::error_code error;
    const asio::ip::address address =
        canonical(asio::ip::make_address(request ? request->remote_addr : "", error));
    Gate& g = gate();
    std::lock_guard lock(g.mutex);
    if (!g.filter) return 0;
    if (!error && g.filter->admits(address)) return 0;
    g.counters->refused(kMetricsProtocol, Refusal::Address);
    const LogLimiter::Decision decision = g.limiter.admit(LogLimiter::Clock::now());
    if (decision.summarise > 0)
        g.log("... and " + std::to_string(decision.summarise) + " more refused scrapes");
    if (decision.write)
        g.log(std::string("metrics scrape from ") + (request ? request->remote_addr : "?") +
              " refused: address not allowed (--allow)");
    static const char reply[] = "HTTP/1.1 403 Forbidden\r\n"
                                "Content-Type: text/plain\r\n"
                                "Content-Length: 31\r\n"
                                "Connection: close\r\n\r\n"
                                "address not allowed (--allow)\r\n";
    mg_write(connection, reply, sizeof reply - 1);
    return 403;
}

std::string civetAddress(const ListenAddress& at) {
    const bool v6 = at.address.find(':') != std::string::npos;
    return (v6 ? "[" + at.address + "]" : at.address) + ":" + std::to_string(at.port);
}

} // namespace

MetricsExposer::MetricsExposer(const ListenAddress& at, AddressFilter filter,
                               std::shared_ptr<MetricsCollector> collector,
                               ServerCounters& counters, Log log)
    : m_collector(std::move(collector)) {
    {
        Gate& g = gate();
        std::lock_guard lock(g.mutex);
        if (g.filter) throw std::logic_error("a second metrics exposer");
        g.filter = std::move(filter);
        g.counters = &counters;
        g.log = std::move(log);
    }
    static CivetCallbacks callbacks = [] {
        CivetCallbacks c{};
        c.begin_request = admitScrape;
        return c;
    }();
    try {
        m_exposer = std::make_unique<prometheus::Exposer>(
            std::vector<std::string>{"listening_ports", civetAddress(at), "num_threads", "2"},
            &callbacks);
    } catch (...) {
        Gate& g = gate();
        std::lock_guard lock(g.mutex);
        g.filter.reset();
        throw;
    }
    m_exposer->RegisterCollectable(m_collector);
}

MetricsExposer::~MetricsExposer() {
    m_exposer.reset(); // the web server's threads end here
    Gate& g = gate();
    std::lock_guard lock(g.mutex);
    g.filter.reset();
    g.counters = nullptr;
    g.log = nullptr;
}

uint16_t MetricsExposer::port() const {
    const std::vector<int> ports = m_exposer->GetListeningPorts();
    return ports.empty() ? 0 : static_cast<uint16_t>(ports.front());
}

} // namespace vexcountd
