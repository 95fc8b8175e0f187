// vexcountd's listeners and client connections; see Server.h.
#include "Server.h"

#include "LineFramer.h"
#include "TcpProtocol.h"

#include <asio/write.hpp>

#include <array>
#include <chrono>

#include <sys/resource.h>

namespace vexcountd {

namespace {

using asio::ip::tcp;
namespace wire = vexif::wire;
using Clock = std::chrono::steady_clock;

// A refused client gets this long to read its refusal before the socket is
// closed.
constexpr std::chrono::seconds kRefusalLinger{1};
// Lines about single clients (connect, disconnect, refusal) per second; a
// flood beyond this is summarised.
constexpr int kClientLogLinesPerSecond = 100;
// While a request waits for its count the socket is still read, so that a
// client that goes away is noticed at once; what it sends meanwhile is held
// for later, up to this many bytes (then reading pauses until the wait ends).
constexpr std::size_t kMaxHeldWhileWaiting = 64 * 1024;

std::string describe(const tcp::endpoint& endpoint) {
    const asio::ip::address address = canonical(endpoint.address());
    const std::string host =
        address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
    return host + ":" + std::to_string(endpoint.port());
}

const char* personalityName(Personality personality) {
    return personality == Personality::Scpi ? "SCPI " : "";
}

} // namespace

// One client: reads request lines, answers each, one batch at a time. The
// next read starts only once the replies to the previous batch are written,
// so a client that does not read its replies stalls only itself. A request
// that waits for a count (SCPI's READ?, say) holds the batch until the
// count is done; the wait is a timer, so other clients go on meanwhile, and
// the socket is read during it, so a client that disconnects while it waits
// is closed (and its module freed) at once rather than when the wait ends.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(Server& server, tcp::socket socket, Personality personality,
               asio::ip::address address, std::string peer)
        : m_server(server), m_socket(std::move(socket)), m_timer(m_socket.get_executor()),
          m_waitTimer(m_socket.get_executor()),
          m_framer(wire::kMaxRequestBytes + 1), // + 1 for a carriage return
          m_session(LineSession::create(personality, server.m_engine)), m_personality(personality),
          m_address(std::move(address)), m_peer(std::move(peer)) {}

    const std::string& peer() const { return m_peer; }

    void start() {
        asio::error_code ec;
        m_socket.set_option(tcp::no_delay(true), ec);
        touch();
        watchIdle();
        read();
    }

    void close(const std::string& reason, bool failed = false) {
        if (m_closed) return;
        m_closed = true;
        // The module and the count go first, before any socket work, so the
        // module is free for others as soon as the client is gone.
        m_session->release();
        asio::error_code ec;
        m_socket.shutdown(tcp::socket::shutdown_both, ec);
        m_socket.close(ec);
        m_timer.cancel();
        m_waitTimer.cancel();
        m_server.connectionClosed(shared_from_this(), m_personality, m_address, m_peer, reason,
                                  failed);
    }

private:
    void touch() { m_lastRequest = Clock::now(); }

    void watchIdle() {
        m_timer.expires_at(m_lastRequest + m_server.m_options.idleTimeout);
        m_timer.async_wait([self = shared_from_this()](const asio::error_code& error) {
            if (error || self->m_closed) return;
            // A client waiting for its count is not idle.
            if (self->m_waiting) self->touch();
            if (Clock::now() - self->m_lastRequest >= self->m_server.m_options.idleTimeout)
                self->dropIdle();
            else
                self->watchIdle(); // a request came meanwhile; wait the rest
        });
    }

    void dropIdle() {
        const std::string notice = m_session->idleNotice();
        asio::error_code ec;
        m_socket.non_blocking(true, ec);
        if (!notice.empty()) m_socket.send(asio::buffer(notice), 0, ec);
        close("idle timeout");
    }

    // At most one read is outstanding. Lines that arrive while a request
    // waits or its replies are being written are run afterwards.
    void read() {
        if (m_reading || m_closed) return;
        if (m_waiting && m_framer.pendingBytes() >= kMaxHeldWhileWaiting) return;
        m_reading = true;
        m_socket.async_read_some(
            asio::buffer(m_readBuffer),
            [self = shared_from_this()](const asio::error_code& error, std::size_t n) {
                self->m_reading = false;
                if (self->m_closed) return;
                if (error) {
                    if (error == asio::error::eof)
                        self->close("closed by client");
                    else
                        self->close("connection error: " + error.message(), true);
                    return;
                }
                self->m_framer.append(std::string_view(self->m_readBuffer.data(), n));
                if (self->m_waiting)
                    self->read(); // keep watching for the client's going
                else if (!self->m_writing)
                    self->answerLines();
            });
    }

    // Runs the lines read so far, then writes their replies.
    void answerLines() {
        bool closeAfter = false;
        while (!m_waiting) {
            const LineFramer::Event event = m_framer.next();
            if (event.kind == LineFramer::Kind::None) break;
            if (event.kind == LineFramer::Kind::TooLong) {
                touch();
                if (m_personality == Personality::Line) ++counters().requestErrors[protocol()];
                m_session->lineTooLong(m_out);
                continue;
            }
            // Only a complete non-blank request is activity: blank lines
            // must not keep a client slot (or a module) forever.
            const LineSession::Outcome outcome = m_session->handleLine(event.line, m_out);
            if (outcome.request) {
                touch();
                ++counters().requests[protocol()];
            }
            counters().requestErrors[protocol()] += static_cast<uint64_t>(outcome.errors);
            if (outcome.waiting) {
                m_waitDeadline = Clock::now() + outcome.patience + m_server.m_options.idleTimeout;
                waitFor(outcome.retryIn);
                read(); // a client that goes away meanwhile ends the wait
                return; // the replies so far go out with the waiting one
            }
            if (outcome.close) {
                closeAfter = true;
                break;
            }
        }
        if (m_out.empty()) {
            read();
            return;
        }
        m_writing = true;
        asio::async_write(
            m_socket, asio::buffer(m_out),
            [self = shared_from_this(), closeAfter](const asio::error_code& error, std::size_t) {
                self->m_writing = false;
                if (self->m_closed) return;
                self->m_out.clear();
                if (error)
                    self->close("connection error: " + error.message(), true);
                else if (closeAfter)
                    self->close("quit");
                else
                    self->answerLines(); // lines read during a wait, then the next read
            });
    }

    void waitFor(std::chrono::milliseconds delay) {
        m_waiting = true;
        m_waitTimer.expires_after(delay);
        m_waitTimer.async_wait([self = shared_from_this()](const asio::error_code& error) {
            if (error || self->m_closed) return;
            const bool giveUp = Clock::now() >= self->m_waitDeadline;
            const LineSession::Outcome outcome = self->m_session->resume(giveUp, self->m_out);
            self->counters().requestErrors[self->protocol()] +=
                static_cast<uint64_t>(outcome.errors);
            if (outcome.waiting) {
                self->waitFor(outcome.retryIn);
                return;
            }
            self->m_waiting = false;
            self->touch();
            self->answerLines();
        });
    }

    ServerCounters& counters() { return m_server.m_counters; }
    int protocol() const { return static_cast<int>(m_personality); }

    Server& m_server;
    tcp::socket m_socket;
    asio::steady_timer m_timer;
    asio::steady_timer m_waitTimer;
    LineFramer m_framer;
    std::unique_ptr<LineSession> m_session;
    Personality m_personality;
    asio::ip::address m_address;
    std::string m_peer;
    std::array<char, 4096> m_readBuffer{};
    std::string m_out;
    Clock::time_point m_lastRequest;
    Clock::time_point m_waitDeadline;
    bool m_waiting = false;
    bool m_reading = false; // a read is outstanding
    bool m_writing = false; // replies are being written
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
    : m_engine(engine), m_options(options), m_log(log), m_filter(options.filter()),
      m_clientLog(kClientLogLinesPerSecond), m_logFlush(io) {
    m_listeners.push_back(std::make_unique<Listener>(
        io, tcp::endpoint(asio::ip::make_address(options.address), options.port),
        Personality::Line));
    if (options.scpi)
        m_listeners.push_back(std::make_unique<Listener>(
            io, tcp::endpoint(asio::ip::make_address(options.scpi->address), options.scpi->port),
            Personality::Scpi));

    // Every client is a file descriptor; without one to spare, a client
    // beyond the limit could not even be accepted to be told so.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0) {
        const auto asLong = [](rlim_t v) {
            return v == RLIM_INFINITY ? 1L << 20 : static_cast<long>(std::min<rlim_t>(v, 1 << 20));
        };
        const ClientBudget budget =
            fitToFileLimit(m_options.maxClients, asLong(files.rlim_cur), asLong(files.rlim_max));
        if (budget.openFiles > asLong(files.rlim_cur)) {
            files.rlim_cur = static_cast<rlim_t>(budget.openFiles);
            ::setrlimit(RLIMIT_NOFILE, &files);
        }
        if (budget.lowered)
            logLine("open-file limit " + std::to_string(budget.openFiles) + ": serving at most " +
                    std::to_string(budget.maxClients) + " clients instead of " +
                    std::to_string(m_options.maxClients));
        m_options.maxClients = budget.maxClients;
        m_maxLingering = budget.maxLingering;
    }
}

Server::~Server() {
    stop();
}

void Server::start() {
    for (const auto& listener : m_listeners) {
        const char* what =
            listener->personality == Personality::Scpi ? "SCPI listening on " : "listening on ";
        logLine(what + describe(listener->acceptor.local_endpoint()));
        accept(*listener);
    }
}

void Server::stop() {
    if (m_stopped) return;
    m_stopped = true;
    asio::error_code ec;
    for (const auto& listener : m_listeners) {
        listener->acceptor.close(ec);
        listener->retry.cancel();
    }
    m_logFlush.cancel();
    // close() removes the connection from the set, so walk a copy.
    const auto connections = m_connections;
    for (const auto& connection : connections)
        connection->close("server stopping");
    const auto refused = m_refused;
    for (const auto& client : refused)
        client->close();
}

void Server::accept(Listener& listener) {
    listener.acceptor.async_accept(
        [this, &listener](const asio::error_code& error, tcp::socket socket) {
            onAccepted(listener, error, std::move(socket));
        });
}

void Server::onAccepted(Listener& listener, const asio::error_code& error, tcp::socket socket) {
    if (m_stopped || error == asio::error::operation_aborted) return;
    if (error) {
        // Out of file descriptors and the like: wait a little instead of
        // spinning on a listener that keeps failing.
        clientLog("accept failed: " + error.message());
        listener.retry.expires_after(std::chrono::milliseconds(100));
        listener.retry.async_wait([this, &listener](const asio::error_code& e) {
            if (!e && !m_stopped) accept(listener);
        });
        return;
    }
    asio::error_code ec;
    const tcp::endpoint remote = socket.remote_endpoint(ec);
    if (ec) { // gone already
        accept(listener);
        return;
    }
    const asio::ip::address address = canonical(remote.address());
    const std::string peer = describe(remote);
    const std::string kind = personalityName(listener.personality);
    const int protocol = static_cast<int>(listener.personality);
    if (!m_filter.admits(address)) {
        m_counters.refused(protocol, Refusal::Address);
        // Not a word to a stranger: the connection just ends.
        clientLog(kind + "client " + peer + " refused: address not allowed (--allow)");
        socket.close(ec);
    } else if (static_cast<int>(m_connections.size()) >= m_options.maxClients) {
        m_counters.refused(protocol, Refusal::ServerFull);
        clientLog(kind + "client " + peer + " refused: " + std::to_string(m_options.maxClients) +
                  " clients connected");
        refuse(listener, std::move(socket),
               "server busy: " + std::to_string(m_options.maxClients) + " clients connected");
    } else if (const int most = m_options.maxFrom(address); m_perAddress[address] >= most) {
        m_counters.refused(protocol, Refusal::PerAddress);
        clientLog(kind + "client " + peer + " refused: " + std::to_string(most) +
                  " connections from its address");
        refuse(listener, std::move(socket),
               "too many connections from " + address.to_string() + ": " + std::to_string(most) +
                   " at once");
    } else {
        auto connection = std::make_shared<Connection>(*this, std::move(socket),
                                                       listener.personality, address, peer);
        m_connections.insert(connection);
        ++m_perAddress[address];
        ++m_counters.connected[protocol];
        clientLog(kind + "client " + peer + " connected (" + std::to_string(m_connections.size()) +
                  " of " + std::to_string(m_options.maxClients) + " clients)");
        connection->start();
    }
    if (m_perAddress.count(address) && m_perAddress[address] == 0) m_perAddress.erase(address);
    accept(listener);
}

void Server::refuse(Listener& listener, tcp::socket socket, const std::string& reason) {
    const std::string line = LineSession::refusal(listener.personality, reason);
    asio::error_code ec;
    socket.non_blocking(true, ec);
    socket.send(asio::buffer(line), 0, ec);
    socket.shutdown(tcp::socket::shutdown_send, ec);
    if (static_cast<int>(m_refused.size()) >= m_maxLingering) return; // closed on leaving scope
    auto refused = std::make_shared<RefusedClient>(*this, std::move(socket));
    m_refused.insert(refused);
    refused->start();
}

void Server::connectionClosed(const std::shared_ptr<Connection>& connection,
                              Personality personality, const asio::ip::address& address,
                              const std::string& peer, const std::string& reason, bool failed) {
    m_connections.erase(connection);
    --m_counters.connected[static_cast<int>(personality)];
    if (failed) ++m_counters.connectionErrors[static_cast<int>(personality)];
    if (const auto it = m_perAddress.find(address); it != m_perAddress.end() && --it->second <= 0)
        m_perAddress.erase(it);
    clientLog("client " + peer + " disconnected: " + reason + " (" +
              std::to_string(m_connections.size()) + " of " + std::to_string(m_options.maxClients) +
              " clients)");
}

void Server::logLine(const std::string& text) {
    m_log << "vexcountd: " << text << std::endl;
}

void Server::clientLog(const std::string& text) {
    const LogLimiter::Decision decision = m_clientLog.admit(Clock::now());
    if (decision.summarise > 0)
        logLine("... and " + std::to_string(decision.summarise) + " more client messages");
    if (decision.write) {
        logLine(text);
        return;
    }
    if (m_flushArmed || m_stopped) return;
    // The summary of a flood that stops is written when its second ends.
    m_flushArmed = true;
    m_logFlush.expires_at(m_clientLog.windowEnd());
    m_logFlush.async_wait([this](const asio::error_code& error) {
        if (error) return; // cancelled: the server is stopping
        m_flushArmed = false;
        flushSuppressed();
    });
}

void Server::flushSuppressed() {
    if (const int n = m_clientLog.takeSuppressed(Clock::now()); n > 0)
        logLine("... and " + std::to_string(n) + " more client messages");
}

} // namespace vexcountd
