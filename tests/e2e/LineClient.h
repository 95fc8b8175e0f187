// Test helper: a raw TCP client of vexcountd that sends whatever bytes a
// test wants (junk, half lines, floods) and reads reply lines with a
// deadline, the way a person at nc would talk to the server.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vfctest {

class LineClient {
public:
    LineClient() = default;
    ~LineClient() { close(); }
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;
    LineClient(LineClient&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1)), m_buffer(std::move(other.m_buffer)) {}

    // receiveBuffer: a small socket receive buffer (bytes) makes a client
    // that does not read its replies stall the server's writes sooner.
    // source: the loopback address to connect from (e.g. "127.0.0.2"),
    // default 127.0.0.1.
    bool connect(uint16_t port, int receiveBuffer = 0, const char* source = nullptr) {
        close();
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0) return false;
        const int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (receiveBuffer > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        if (source) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            if (::inet_pton(AF_INET, source, &local.sin_addr) != 1 ||
                ::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
                close();
                return false;
            }
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close();
            return false;
        }
        return true;
    }

    void close() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        m_buffer.clear();
    }

    // Ends the connection in both directions; wakes a send() blocked in
    // another thread (which close() must not race with).
    void shutdown() {
        if (m_fd >= 0) ::shutdown(m_fd, SHUT_RDWR);
    }

    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // The next line (without its line feed), or nothing when none arrives
    // within timeout or the server closed the connection.
    std::optional<std::string>
    readLine(std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (const std::size_t end = m_buffer.find('\n'); end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                return line;
            }
            if (!waitReadable(deadline)) return std::nullopt;
            char chunk[4096];
            const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (n <= 0) return std::nullopt;
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // One request, one reply.
    std::optional<std::string> ask(std::string_view request,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
        if (!send(std::string(request) + "\n")) return std::nullopt;
        return readLine(timeout);
    }

    // True once the server has closed the connection (end of stream seen
    // within timeout; pending lines are read and dropped).
    bool closedByServer(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (!waitReadable(deadline)) return false;
            char chunk[4096];
            const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (n <= 0) return true;
        }
    }

private:
    bool waitReadable(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{m_fd, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(std::max<int64_t>(0, left.count()))) > 0;
    }

    int m_fd = -1;
    std::string m_buffer;
};

} // namespace vfctest
