// The metrics port; see MetricsExposer.h.
#include "MetricsExposer.h"

#include "Limits.h"

#include <prometheus/exposer.h>

#include <CivetServer.h>
#include <civetweb.h>

#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>

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

void refused(Gate& g, const std::string& address) {
    g.counters->refused(kMetricsProtocol, Refusal::Address);
    const LogLimiter::Decision decision = g.limiter.admit(LogLimiter::Clock::now());
    if (decision.summarise > 0)
        g.log("... and " + std::to_string(decision.summarise) + " more refused scrapes");
    if (decision.write)
        g.log("metrics scrape from " + address + " refused: address not allowed (--allow)");
}

// civetweb's messages: the access-control list's refusals (made when the
// connection is accepted, before any request) are counted and logged as
// ours; anything else is left to civetweb (0).
int onCivetMessage(const mg_connection*, const char* message) {
    static const std::string_view marker = " is not allowed to connect";
    const std::string_view text(message ? message : "");
    const size_t at = text.find(marker);
    if (at == std::string_view::npos) return 0;
    // "accept_new_connection: 127.0.0.2 is not allowed to connect"
    const size_t start = text.rfind(' ', at == 0 ? 0 : at - 1);
    const std::string address(text.substr(start == std::string_view::npos ? 0 : start + 1,
                                          at - (start == std::string_view::npos ? 0 : start + 1)));
    Gate& g = gate();
    std::lock_guard lock(g.mutex);
    if (g.counters) refused(g, address);
    return 1;
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
    refused(g, request ? request->remote_addr : "?");
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

std::string civetAccessList(const std::vector<AddressRange>& allow, bool allowAny) {
    if (allowAny || allow.empty()) return "";
    std::string list = "-0.0.0.0/0";
    asio::error_code error;
    const asio::ip::address anyV4 = asio::ip::make_address("::ffff:0.0.0.0", error);
    for (const AddressRange& range : allow) {
        const asio::ip::address_v6 v6(range.bytes);
        if (v6.is_v4_mapped() && range.prefix >= 96)
            list += ",+" + range.text();
        else if (range.prefix <= 96 && range.contains(anyV4))
            list += ",+0.0.0.0/0";
    }
    return list;
}

MetricsExposer::MetricsExposer(const Options& options, std::shared_ptr<MetricsCollector> collector,
                               ServerCounters& counters, Log log)
    : m_collector(std::move(collector)) {
    const ListenAddress& at = *options.metrics;
    {
        Gate& g = gate();
        std::lock_guard lock(g.mutex);
        if (g.filter) throw std::logic_error("a second metrics exposer");
        g.filter = options.filter();
        g.counters = &counters;
        g.log = std::move(log);
    }
    static CivetCallbacks callbacks = [] {
        CivetCallbacks c{};
        c.begin_request = admitScrape;
        c.log_message = onCivetMessage;
        return c;
    }();
    std::vector<std::string> civet = {
        "listening_ports",    civetAddress(at),
        "num_threads",        std::to_string(kMetricsThreads),
        "request_timeout_ms", std::to_string(kMetricsRequestTimeoutMs)};
    if (std::string acl = civetAccessList(options.allow, options.allowAny); !acl.empty()) {
        civet.push_back("access_control_list");
        civet.push_back(acl);
    }
    try {
        m_exposer = std::make_unique<prometheus::Exposer>(std::move(civet), &callbacks);
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
