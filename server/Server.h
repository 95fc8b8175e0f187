// The TCP side of vexcountd: accepts clients (at most a configured number,
// refusing the rest with a reply line), gives each its own engine session,
// reads request lines and writes replies, drops silent clients. Everything
// runs on one Asio I/O thread; every socket operation is asynchronous, so a
// slow or silent client never holds up another.
#pragma once

#include "Options.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <unordered_set>

namespace vexengine {
class Engine;
}

namespace vexcountd {

class Connection;
class RefusedClient;

class Server {
public:
    // Binds and listens at once; throws asio::system_error when it cannot.
    Server(asio::io_context& io, vexengine::Engine& engine, const Options& options,
           std::ostream& log);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    asio::ip::tcp::endpoint localEndpoint() const { return m_acceptor.local_endpoint(); }
    void start();
    // Stops accepting and closes every client; their sessions release their
    // modules. io.run() returns once the last handler has finished.
    void stop();

private:
    friend class Connection;
    friend class RefusedClient;

    void accept();
    void onAccepted(const asio::error_code& error, asio::ip::tcp::socket socket);
    void refuse(asio::ip::tcp::socket socket);
    void connectionClosed(const std::shared_ptr<Connection>& connection, const std::string& peer,
                          const std::string& reason);
    void logLine(const std::string& text);

    vexengine::Engine& m_engine;
    Options m_options;
    std::ostream& m_log;
    asio::ip::tcp::acceptor m_acceptor;
    asio::steady_timer m_acceptRetry;
    std::unordered_set<std::shared_ptr<Connection>> m_connections;
    std::unordered_set<std::shared_ptr<RefusedClient>> m_refused; // still draining
    bool m_stopped = false;
};

} // namespace vexcountd
