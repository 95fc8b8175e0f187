// One TCP connection to vexcountd with a deadline on everything: connect,
// send and receive never wait past the time the caller gives. Plain POSIX
// sockets in non-blocking mode, waited on with poll(), because every library
// call is synchronous on the application's GUI thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <sys/socket.h>

namespace vexif {

using Clock = std::chrono::steady_clock;

// A resolved server address.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

// Resolves host and port. Numeric addresses resolve at once; names go
// through the system resolver, which has no timeout of its own, so callers
// resolve once and keep the result. An empty host is this machine.
std::vector<SocketAddress> resolveHost(const std::string& host, uint16_t port);

class TcpConnection {
public:
    enum class Result { Ok, Timeout, Lost };

    TcpConnection() = default;
    ~TcpConnection() { close(); }
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Connects to the first address that answers before the deadline.
    bool connect(const std::vector<SocketAddress>& addresses, Clock::time_point deadline);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    // Sends one request line (the line feed is added) and reads one reply
    // line (without its line end). Anything but Ok leaves the connection
    // closed: after a timeout a late reply could otherwise be taken for the
    // answer to the next request.
    Result exchange(std::string_view request, std::string& reply, Clock::time_point deadline);

    // True when the connection is known to be unusable without sending
    // anything: the server closed it (e.g. its idle timeout) or sent bytes
    // nobody asked for.
    bool brokenWhileIdle();

private:
    bool connectOne(const SocketAddress& address, Clock::time_point deadline);
    Result sendAll(std::string_view bytes, Clock::time_point deadline);
    Result receiveLine(std::string& reply, Clock::time_point deadline);

    int m_fd = -1;
    std::string m_received; // bytes read past the end of the last reply
};

} // namespace vexif
