// Deadline-bound TCP client connection; see TcpConnection.h.
#include "TcpConnection.h"

#include "TcpProtocol.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

namespace vexif {
namespace {

// Waits until fd is ready for events or the deadline passes. Returns the
// poll revents, 0 on timeout.
short waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            // One last look without waiting, so a ready socket is never
            // reported as timed out just because the deadline is now.
            pollfd p{fd, events, 0};
            return ::poll(&p, 1, 0) > 0 ? p.revents : 0;
        }
        // Round up so a wait of 0.3 ms is not a busy loop of 0 ms polls.
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(ms));
        if (n > 0) return p.revents;
        if (n < 0 && errno != EINTR) return POLLERR;
    }
}

std::vector<SocketAddress> lookUp(const char* host, const char* service, int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    std::vector<SocketAddress> out;
    if (::getaddrinfo(host, service, &hints, &list) != 0) return out;
    for (addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
        SocketAddress address;
        std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
        address.length = a->ai_addrlen;
        out.push_back(address);
    }
    ::freeaddrinfo(list);
    return out;
}

} // namespace

std::vector<SocketAddress> resolveHost(const std::string& host, uint16_t port) {
    // vexcountd listens on the IPv4 loopback address by default, so "this
    // machine" means that address rather than whatever "localhost" gives.
    const std::string name = host.empty() ? std::string("127.0.0.1") : host;
    const std::string service = std::to_string(port);
    std::vector<SocketAddress> out = lookUp(name.c_str(), service.c_str(), AI_NUMERICHOST);
    if (out.empty()) out = lookUp(name.c_str(), service.c_str(), 0);
    return out;
}

bool TcpConnection::connect(const std::vector<SocketAddress>& addresses,
                            Clock::time_point deadline) {
    close();
    for (const SocketAddress& address : addresses) {
        if (connectOne(address, deadline)) return true;
        if (Clock::now() >= deadline) break;
    }
    return false;
}

bool TcpConnection::connectOne(const SocketAddress& address, Clock::time_point deadline) {
    const int fd =
        ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    // A poll is several small request/reply pairs: Nagle's algorithm with
    // delayed acknowledgements would add tens of milliseconds to each.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length);
    if (rc < 0 && errno == EINPROGRESS) {
        const short ready = waitFor(fd, POLLOUT, deadline);
        int error = 0;
        socklen_t length = sizeof error;
        if (ready == 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0 || error)
            rc = -1;
        else
            rc = 0;
    }
    if (rc < 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_received.clear();
    return true;
}

void TcpConnection::close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_received.clear();
}

TcpConnection::Result TcpConnection::exchange(std::string_view request, std::string& reply,
                                              Clock::time_point deadline) {
    if (m_fd < 0) return Result::Lost;
    std::string line;
    line.reserve(request.size() + 1);
    line.append(request);
    line.push_back('\n');
    Result result = sendAll(line, deadline);
    if (result == Result::Ok) result = receiveLine(reply, deadline);
    if (result != Result::Ok) close();
    return result;
}

TcpConnection::Result TcpConnection::sendAll(std::string_view bytes, Clock::time_point deadline) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const short ready = waitFor(m_fd, POLLOUT, deadline);
            if (ready == 0) return Result::Timeout;
            if (ready & (POLLERR | POLLHUP)) return Result::Lost;
            continue;
        }
        return Result::Lost;
    }
    return Result::Ok;
}

TcpConnection::Result TcpConnection::receiveLine(std::string& reply, Clock::time_point deadline) {
    for (;;) {
        const std::size_t end = m_received.find('\n');
        if (end != std::string::npos) {
            reply.assign(m_received, 0, end);
            if (!reply.empty() && reply.back() == '\r') reply.pop_back();
            m_received.erase(0, end + 1);
            return Result::Ok;
        }
        if (m_received.size() > wire::kMaxReplyBytes) return Result::Lost;

        char chunk[4096];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            m_received.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) return Result::Lost; // the server closed the connection
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return Result::Lost;
        const short ready = waitFor(m_fd, POLLIN, deadline);
        if (ready == 0) return Result::Timeout;
        // POLLHUP with data still queued: the next recv reads it, then 0.
        if ((ready & POLLERR) && !(ready & POLLIN)) return Result::Lost;
    }
}

bool TcpConnection::brokenWhileIdle() {
    if (m_fd < 0) return true;
    if (!m_received.empty()) return true;
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    // Readable while no request is outstanding: end of stream, an error, or
    // bytes nobody asked for (vexcountd's notice before it drops an idle
    // client). None of these leaves a usable session.
    return true;
}

} // namespace vexif
