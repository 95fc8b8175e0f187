// vexcountd's listener and client connections; see Server.h.
#include "Server.h"

#include "ClientSession.h"
#include "LineFramer.h"
#include "TcpProtocol.h"
#include "vexif.h"

#include <asio/read.hpp>
#include <asio/write.hpp>

#include <array>
#include <chrono>

namespace vexcountd {

namespace {

using asio::ip::tcp;
namespace wire = vexif::wire;

std::string describe(const tcp::endpoint& endpoint) {
    const asio::ip::address address = endpoint.address();
    const std::string host =
        address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
    return host + ":" + std::to_string(endpoint.port());
}

std::string peerOf(const tcp::socket& socket) {
    asio::error_code ec;
    const tcp::endpoint endpoint = socket.remote_endpoint(ec);
    return ec ? std::string("unknown peer") : describe(endpoint);
}

// A refused client gets this long to read its refusal before the socket is
// closed.
constexpr std::chrono::seconds kRefusalLinger{1};
// Refused sockets kept open at once; beyond this they are closed at once.
constexpr std::size_t kMaxRefusedLingering = 64;

} // namespace

// One client: reads request lines, answers each, one batch at a time. The
// next read starts only once the replies to the previous batch are written,
// so a client that does not read its replies stalls only itself.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(Server& server, tcp::socket socket)
        : m_server(server), m_socket(std::move(socket)), m_timer(m_socket.get_executor()),
          m_framer(wire::kMaxRequestBytes + 1), // + 1 for a carriage return
          m_session(server.m_engine), m_peer(peerOf(m_socket)) {}

    const std::string& peer() const { return m_peer; }

    void start() {
        asio::error_code ec;
        m_socket.set_option(tcp::no_delay(true), ec);
        touch();
        watchIdle();
        read();
    }

    void close(const std::string& reason) {
        if (m_closed) return;
        m_closed = true;
        // The module and the count go first, before any socket work, so the
        // module is free for others as soon as the client is gone.
        m_session.release();
        asio::error_code ec;
        m_socket.shutdown(tcp::socket::shutdown_both, ec);
        m_socket.close(ec);
        m_timer.cancel();
        m_server.connectionClosed(shared_from_this(), m_peer, reason);
    }

private:
    void touch() { m_lastRequest = std::chrono::steady_clock::now(); }

    void watchIdle() {
        m_timer.expires_at(m_lastRequest + m_server.m_options.idleTimeout);
        m_timer.async_wait([self = shared_from_this()](const asio::error_code& error) {
            if (error || self->m_closed) return;
            const auto now = std::chrono::steady_clock::now();
            if (now - self->m_lastRequest >= self->m_server.m_options.idleTimeout)
                self->dropIdle();
            else
                self->watchIdle(); // a request came meanwhile; wait the rest
        });
    }

    void dropIdle() {
        // A notice for people at nc; the library treats any unasked line as
        // the end of the session anyway.
        static const std::string notice =
            std::to_string(wire::kStatusIdleTimeout) + " idle timeout, closing\n";
        asio::error_code ec;
        m_socket.non_blocking(true, ec);
        m_socket.send(asio::buffer(notice), 0, ec);
        close("idle timeout");
    }

    void read() {
        m_socket.async_read_some(
            asio::buffer(m_readBuffer),
            [self = shared_from_this()](const asio::error_code& error, std::size_t n) {
                if (self->m_closed) return;
                if (error) {
                    self->close(error == asio::error::eof ? "closed by client"
                                                          : "connection error: " + error.message());
                    return;
                }
                self->m_framer.append(std::string_view(self->m_readBuffer.data(), n));
                self->answerLines();
            });
    }

    void answerLines() {
        bool closeAfter = false;
        for (;;) {
            const LineFramer::Event event = m_framer.next();
            if (event.kind == LineFramer::Kind::None) break;
            touch();
            if (event.kind == LineFramer::Kind::TooLong) {
                m_out += std::to_string(wire::kStatusLineTooLong) + " line too long\n";
                continue;
            }
            std::optional<ClientSession::Answer> answer = m_session.handleLine(event.line);
            if (!answer) continue;
            m_out += answer->reply;
            m_out += '\n';
            if (answer->close) {
                closeAfter = true;
                break;
            }
        }
        if (m_out.empty()) {
            read();
            return;
        }
        asio::async_write(
            m_socket, asio::buffer(m_out),
            [self = shared_from_this(), closeAfter](const asio::error_code& error, std::size_t) {
                if (self->m_closed) return;
                self->m_out.clear();
                if (error)
                    self->close("connection error: " + error.message());
                else if (closeAfter)
                    self->close("quit");
                else
                    self->read();
            });
    }

    Server& m_server;
    tcp::socket m_socket;
    asio::steady_timer m_timer;
    LineFramer m_framer;
    ClientSession m_session;
    std::string m_peer;
    std::array<char, 4096> m_readBuffer{};
    std::string m_out;
    std::chrono::steady_clock::time_point m_lastRequest;
    bool m_closed = false;
};

// A refused client keeps its socket a moment, and what it already sent is
// read and dropped: closing with unread bytes would reset the connection and
// could destroy the refusal line before the client reads it.
class RefusedClient : public std::enable_shared_from_this<RefusedClient> {
public:
    RefusedClient(Server& server, tcp::socket socket)
        : m_server(server), m_socket(std::move(socket)), m_timer(m_socket.get_executor()) {}

    void start() {
        m_timer.expires_after(kRefusalLinger);
        m_timer.async_wait([self = shared_from_this()](const asio::error_code& error) {
            if (!error) self->close();
        });
        drain();
    }

    void close() {
        if (m_closed) return;
        m_closed = true;
        asio::error_code ignored;
        m_socket.close(ignored);
        m_timer.cancel();
        m_server.m_refused.erase(shared_from_this());
    }

private:
    void drain() {
        m_socket.async_read_some(
            asio::buffer(m_sink),
            [self = shared_from_this()](const asio::error_code& error, std::size_t) {
                if (self->m_closed) return;
                if (error)
                    self->close();
                else
                    self->drain();
            });
    }

    Server& m_server;
    tcp::socket m_socket;
    asio::steady_timer m_timer;
    std::array<char, 512> m_sink{};
    bool m_closed = false;
};

Server::Server(asio::io_context& io, vexengine::Engine& engine, const Options& options,
               std::ostream& log)
    : m_engine(engine), m_options(options), m_log(log),
      m_acceptor(io, tcp::endpoint(asio::ip::make_address(options.address), options.port)),
      m_acceptRetry(io) {}

Server::~Server() {
    stop();
}

void Server::start() {
    logLine("listening on " + describe(localEndpoint()));
    accept();
}

void Server::stop() {
    if (m_stopped) return;
    m_stopped = true;
    asio::error_code ec;
    m_acceptor.close(ec);
    m_acceptRetry.cancel();
    // close() removes the connection from the set, so walk a copy.
    const auto connections = m_connections;
    for (const auto& connection : connections)
        connection->close("server stopping");
    const auto refused = m_refused;
    for (const auto& client : refused)
        client->close();
}

void Server::accept() {
    m_acceptor.async_accept([this](const asio::error_code& error, tcp::socket socket) {
        onAccepted(error, std::move(socket));
    });
}

void Server::onAccepted(const asio::error_code& error, tcp::socket socket) {
    if (m_stopped || error == asio::error::operation_aborted) return;
    if (error) {
        // Out of file descriptors and the like: wait a little instead of
        // spinning on a listener that keeps failing.
        logLine("accept failed: " + error.message());
        m_acceptRetry.expires_after(std::chrono::milliseconds(100));
        m_acceptRetry.async_wait([this](const asio::error_code& e) {
            if (!e && !m_stopped) accept();
        });
        return;
    }
    if (static_cast<int>(m_connections.size()) >= m_options.maxClients) {
        refuse(std::move(socket));
    } else {
        auto connection = std::make_shared<Connection>(*this, std::move(socket));
        m_connections.insert(connection);
        logLine("client " + connection->peer() + " connected (" +
                std::to_string(m_connections.size()) + " of " +
                std::to_string(m_options.maxClients) + " clients)");
        connection->start();
    }
    accept();
}

void Server::refuse(tcp::socket socket) {
    const std::string peer = peerOf(socket);
    logLine("client " + peer + " refused: " + std::to_string(m_options.maxClients) +
            " clients connected");
    const std::string line = std::to_string(QV_ERR_SERVER_BUSY) +
                             " server busy: " + std::to_string(m_options.maxClients) +
                             " clients connected\n";
    asio::error_code ec;
    socket.non_blocking(true, ec);
    socket.send(asio::buffer(line), 0, ec);
    socket.shutdown(tcp::socket::shutdown_send, ec);
    if (m_refused.size() >= kMaxRefusedLingering) return; // closed on leaving scope
    auto refused = std::make_shared<RefusedClient>(*this, std::move(socket));
    m_refused.insert(refused);
    refused->start();
}

void Server::connectionClosed(const std::shared_ptr<Connection>& connection,
                              const std::string& peer, const std::string& reason) {
    m_connections.erase(connection);
    logLine("client " + peer + " disconnected: " + reason + " (" +
            std::to_string(m_connections.size()) + " of " + std::to_string(m_options.maxClients) +
            " clients)");
}

void Server::logLine(const std::string& text) {
    m_log << "vexcountd: " << text << std::endl;
}

} // namespace vexcountd
