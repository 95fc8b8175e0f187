// The TCP side of vexcountd: accepts clients on the line protocol's
// listener and, if asked, on the SCPI one; admits only addresses the
// --allow ranges name, at most a configured number of clients in all and
// per address (refusing the rest with a reply line); gives each client its
// own engine session, reads request lines and writes replies, drops silent
// clients. Everything runs on one Asio I/O thread; every socket operation is
// asynchronous, so a slow or silent client never holds up another.
#pragma once

#include "AddressFilter.h"
#include "Limits.h"
#include "LineSession.h"
#include "Metrics.h"
#include "Options.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <unordered_set>
#include <vector>

namespace vexengine {
class Engine;
}

namespace vexcountd {

class Connection;
class RefusedClient;

class Server {
public:
    // Binds and listens at once; throws asio::system_error when it cannot.
    // Lowers the client limit to what the open-file limit allows (after
    // raising that limit where it can), and logs when it does.
    Server(asio::io_context& io, vexengine::Engine& engine, const Options& options,
           std::ostream& log);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    asio::ip::tcp::endpoint localEndpoint() const {
        return m_listeners.front()->acceptor.local_endpoint();
    }
    void start();
    // Connections, requests, refusals and errors so far (the metrics read
    // them from other threads).
    ServerCounters& counters() { return m_counters; }
    // Stops accepting and closes every client; their sessions release their
    // modules. io.run() returns once the last handler has finished.
    void stop();

private:
    friend class Connection;
    friend class RefusedClient;

    struct Listener {
        Listener(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, Personality p)
            : acceptor(io, endpoint), retry(io), personality(p) {}
        asio::ip::tcp::acceptor acceptor;
        asio::steady_timer retry;
        Personality personality;
    };

    void accept(Listener& listener);
    void onAccepted(Listener& listener, const asio::error_code& error,
                    asio::ip::tcp::socket socket);
    void refuse(Listener& listener, asio::ip::tcp::socket socket, const std::string& reason);
    void connectionClosed(const std::shared_ptr<Connection>& connection, Personality personality,
                          const asio::ip::address& address, const std::string& peer,
                          const std::string& reason, bool failed);
    void logLine(const std::string& text);
    // Lines about single clients: at most kClientLogLinesPerSecond a second.
    void clientLog(const std::string& text);
    void flushSuppressed();

    vexengine::Engine& m_engine;
    Options m_options;
    std::ostream& m_log;
    AddressFilter m_filter;
    int m_maxLingering = kMaxRefusedLingering;
    std::vector<std::unique_ptr<Listener>> m_listeners;
    std::unordered_set<std::shared_ptr<Connection>> m_connections;
    std::map<asio::ip::address, int> m_perAddress; // open connections per client address
    std::unordered_set<std::shared_ptr<RefusedClient>> m_refused; // still draining
    LogLimiter m_clientLog;
    asio::steady_timer m_logFlush;
    bool m_flushArmed = false;
    bool m_stopped = false;
    ServerCounters m_counters;
};

} // namespace vexcountd
