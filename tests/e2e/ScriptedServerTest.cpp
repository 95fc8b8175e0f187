// The library against a scripted line server: an older one without the
// newer requests, and odd or malformed replies to them.
#include "vexif.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A loopback line server for one connection, answering each request by its
// command word; words not in the table get "50 unknown command". A client
// that connects again is never greeted.
class ScriptedServer {
public:
    explicit ScriptedServer(std::map<std::string, std::string> replies = {})
        : m_replies(std::move(replies)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* any = reinterpret_cast<sockaddr*>(&address);
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::bind(m_listener, any, length) || ::listen(m_listener, 4) ||
            ::getsockname(m_listener, any, &length))
            return;
        m_port = ntohs(address.sin_port);
        m_replies["HELLO"] = "0 1";
        m_thread = std::thread([this] {
            if (const int client = ::accept(m_listener, nullptr, nullptr); client >= 0) {
                talk(client);
                ::close(client);
            }
        });
    }
    ~ScriptedServer() {
        ::shutdown(m_listener, SHUT_RDWR);
        if (m_thread.joinable()) m_thread.join();
        ::close(m_listener);
    }
    uint16_t port() const { return m_port; } // 0: not listening

private:
    void talk(int client) {
        std::string buffer;
        char chunk[512];
        for (ssize_t n; (n = ::recv(client, chunk, sizeof chunk, 0)) > 0;) {
            buffer.append(chunk, static_cast<size_t>(n));
            for (size_t end; (end = buffer.find('\n')) != std::string::npos;) {
                const auto found = m_replies.find(buffer.substr(0, buffer.find_first_of(" \n")));
                std::string reply = found != m_replies.end() ? found->second : "50 unknown command";
                buffer.erase(0, end + 1);
                reply += '\n';
                if (::send(client, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) return;
            }
        }
    }

    std::map<std::string, std::string> m_replies;
    int m_listener = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
};

// A handle connected to the scripted server, finalised with the test.
struct Connected {
    int32_t handle = 0;
    explicit Connected(const ScriptedServer& server) {
        EXPECT_EQ(QV_Initialize(&handle), QV_OK);
        EXPECT_EQ(QV_ConnectToServer(handle, "127.0.0.1", server.port()), QV_OK);
    }
    ~Connected() { QV_Finalize(handle); }
};

TEST(ScriptedServer, AnOlderServerGivesNotSupportedAndTheOtherCallsStillWork) {
    // What a server of the first protocol version answers to the 15.
    // clang-format off
    ScriptedServer server({{"*IDN?", "0 vexcountd,1.0.0,2024-05-14,09:12:03"},
                           {"MOD:COUNT?", "0 1"}, {"MOD:INFO?", "0 QVSIMR01 rfp"},
                           {"MOD:OPEN", "0"}, {"MOD:OPEN?", "0 1"}});
    // clang-format on
    ASSERT_NE(server.port(), 0);
    Connected c(server);
    ASSERT_EQ(QV_OpenMod(c.handle, "QVSIMR01"), QV_OK);

    QV_ChannelMeasures measures[8];
    for (QV_ChannelMeasures& m : measures)
        m = {sizeof m, 7, 0, 0, 0, 0, 0};
    QV_TimeBase timeBase{sizeof timeBase, 7, 0, 0, 0, 0, 0, 0};
    char problems[32] = "untouched";
    for (int round = 0; round < 2; ++round) { // nothing is remembered wrongly
        EXPECT_EQ(QV_FCGetMeasures(c.handle, measures, 8), QV_ERR_NOT_SUPPORTED);
        EXPECT_EQ(QV_GetTimeBase(c.handle, &timeBase), QV_ERR_NOT_SUPPORTED);
        EXPECT_EQ(QV_GetDeviceProblems(c.handle, problems, sizeof problems), QV_ERR_NOT_SUPPORTED);
    }
    EXPECT_EQ(measures[7].referenced, 7); // the caller's memory is left alone
    EXPECT_EQ(timeBase.channel, 7);
    EXPECT_STREQ(problems, "untouched");
    // The same connection carries on with the 15.
    char id[64] = {};
    EXPECT_EQ(QV_QueryServerID(c.handle, id, sizeof id), QV_OK);
    EXPECT_STREQ(id, "vexcountd,1.0.0,2024-05-14,09:12:03");
    // The 15's own requests still treat "unknown command" as a fault.
    EXPECT_EQ(QV_FCRun(c.handle, 0, 0, 0, nullptr, 0), QV_ERR_PROTOCOL);
}

// Each reply to the newer requests is passed on, cut to the caller's buffer
// or refused as a protocol error.
TEST(ScriptedServer, RepliesToTheNewRequestsAreReadStrictly) {
    using Call = std::function<int32_t(int32_t, std::string&)>;
    const auto problems = [](int32_t length) -> Call {
        return [length](int32_t h, std::string& got) {
            char buffer[64];
            std::memset(buffer, 'x', sizeof buffer);
            const int32_t status = QV_GetDeviceProblems(h, buffer, length);
            got = status == QV_OK ? std::string(buffer) : "";
            return status;
        };
    };
    const auto text = [](std::initializer_list<double> values) {
        std::string out;
        for (const double v : values)
            out += std::to_string(v) + " ";
        return out;
    };
    // Channel 0's referenced flag, frequency, period and duty; entry 3's frequency.
    const Call measures = [&](int32_t h, std::string& got) {
        QV_ChannelMeasures m[4];
        for (QV_ChannelMeasures& e : m)
            e.size = sizeof e;
        const int32_t status = QV_FCGetMeasures(h, m, 4);
        if (status == QV_OK)
            got = text(
                {double(m[0].referenced), m[0].frequency, m[0].period, m[0].duty, m[3].frequency});
        return status;
    };
    const Call timeBase = [&](int32_t h, std::string& got) {
        QV_TimeBase tb;
        tb.size = sizeof tb;
        const int32_t status = QV_GetTimeBase(h, &tb);
        if (status == QV_OK)
            got = text({double(tb.channel), double(tb.locked), tb.referenceHz, tb.offsetPpm,
                        tb.measuredRate, tb.nominalRate});
        return status;
    };
    const double nan = NAN;
    const char* three = "0 one%0Atwo%0Athree%0A";
    const struct {
        const char* what;
        const char* command;
        const char* reply;
        Call call;
        int32_t status;
        std::string got;
    } cases[] = {
        // clang-format off
        {"problems that fit", "DEV:PROBLEMS?", three, problems(64), QV_OK, "one\ntwo\nthree\n"},
        {"problems cut at a line end", "DEV:PROBLEMS?", three, problems(9), QV_OK, "one\ntwo\n"},
        {"problems without a whole line", "DEV:PROBLEMS?", three, problems(3), QV_OK, "on"},
        {"problems in a buffer of 1", "DEV:PROBLEMS?", three, problems(1), QV_OK, ""},
        {"no problems", "DEV:PROBLEMS?", "0", problems(64), QV_OK, ""},
        {"a broken escape", "DEV:PROBLEMS?", "0 bad%zz", problems(64), QV_ERR_PROTOCOL, ""},
        {"two channels of measures", "FC:MEASURES?",
         "0 1 25000 nan 1e-05 3e-05 0.25 1 10000 nan 5e-05 5e-05 0.5", measures, QV_OK,
         text({1, 25000, nan, 0.25, nan})},
        {"measures a word short", "FC:MEASURES?", "0 1 25000 nan 1e-05 3e-05", measures,
         QV_ERR_PROTOCOL, ""},
        {"measures of five channels for four", "FC:MEASURES?",
         "0 0 1 1 1 1 1 0 1 1 1 1 1 0 1 1 1 1 1 0 1 1 1 1 1 0 1 1 1 1 1", measures,
         QV_ERR_PROTOCOL, ""},
        {"measures refused", "FC:MEASURES?", "2 bad argument", measures, QV_ERR_BAD_ARGUMENT, ""},
        {"a locked reference", "TIMEBASE?", "0 7 1 10000 150.5 1000150.5 1000000", timeBase, QV_OK,
         text({7, 1, 10000, 150.5, 1000150.5, 1e6})},
        {"a time base cut short", "TIMEBASE?", "0 7 1 10000", timeBase, QV_ERR_PROTOCOL, ""},
        {"locked 2", "TIMEBASE?", "0 7 2 10000 0 1 1", timeBase, QV_ERR_PROTOCOL, ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server(std::map<std::string, std::string>{{c.command, c.reply}});
        ASSERT_NE(server.port(), 0);
        Connected session(server);
        std::string got;
        EXPECT_EQ(c.call(session.handle, got), c.status);
        EXPECT_EQ(got, c.got);
    }
}

} // namespace
