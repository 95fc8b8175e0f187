// Test helper: a tiny line-protocol server on a loopback port that answers
// each request by its command word from a table the test sets, the way an
// older or a misbehaving vexcountd would. HELLO is answered as vexcountd
// does; a command word not in the table gets vexcountd's own
// "50 unknown command".
#pragma once

#include <atomic>
#include <cctype>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vfctest {

class ScriptedLineServer {
public:
    ScriptedLineServer() {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) ||
            ::listen(m_listener, 4) ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length))
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~ScriptedLineServer() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_listener >= 0) ::close(m_listener);
    }
    ScriptedLineServer(const ScriptedLineServer&) = delete;
    ScriptedLineServer& operator=(const ScriptedLineServer&) = delete;

    uint16_t port() const { return m_port; } // 0: not listening

    // The whole reply line (without line end) to requests with this
    // command word (upper case); an empty reply removes the entry.
    void answer(const std::string& command, const std::string& reply) {
        std::lock_guard lock(m_mutex);
        if (reply.empty())
            m_replies.erase(command);
        else
            m_replies[command] = reply;
    }
    int connections() const { return m_connections; }

private:
    // One client at a time, which is all the library's tests need.
    void serve() {
        while (!m_stop) {
            pollfd listener{m_listener, POLLIN, 0};
            if (::poll(&listener, 1, 20) <= 0) continue;
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client < 0) continue;
            ++m_connections;
            talk(client);
            ::close(client);
        }
    }

    void talk(int client) {
        std::string buffer;
        while (!m_stop) {
            pollfd p{client, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            char chunk[512];
            const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
            if (n <= 0) return;
            buffer.append(chunk, static_cast<size_t>(n));
            for (size_t end; (end = buffer.find('\n')) != std::string::npos;) {
                const std::string reply = replyTo(buffer.substr(0, end)) + "\n";
                buffer.erase(0, end + 1);
                if (::send(client, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) return;
            }
        }
    }

    std::string replyTo(const std::string& line) {
        std::string word = line.substr(0, line.find(' '));
        for (char& c : word)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (word == "HELLO") return "0 1";
        std::lock_guard lock(m_mutex);
        const auto found = m_replies.find(word);
        return found == m_replies.end() ? "50 unknown command" : found->second;
    }

    int m_listener = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::mutex m_mutex;
    std::map<std::string, std::string> m_replies;
    std::thread m_thread;
};

} // namespace vfctest
