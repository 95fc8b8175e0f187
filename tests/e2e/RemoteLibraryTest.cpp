// libvexif against a real vexcountd on a loopback port of the test's own:
// the QV_ functions over TCP, two sessions contending for a module, a killed
// client process, a server that stops, stalls or comes back, and the limits.
#include "ServerProcess.h"
#include "vexif.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

using namespace std::chrono_literals;
using vfctest::ServerProcess;
using Clock = std::chrono::steady_clock;

namespace {

// One library handle, finalised on scope exit.
class Session {
public:
    Session() { EXPECT_EQ(QV_Initialize(&m_handle), QV_OK); }
    ~Session() { QV_Finalize(m_handle); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int32_t connect(uint16_t port, const char* host = "127.0.0.1") {
        return QV_ConnectToServer(m_handle, host, port);
    }
    int32_t handle() const { return m_handle; }

    // Flags of module index as QV_ModInfo gives them: "<model><free><present>".
    std::string info(int32_t index) {
        char name[QV_MODULE_NAME_SIZE] = {};
        char flags[QV_MODULE_INFO_SIZE] = {};
        if (QV_ModInfo(m_handle, index, name, flags) != QV_OK) return "error";
        return std::string(name) + " " + std::string(flags, 3);
    }
    int32_t isOpen(int32_t& open) { return QV_ModIsOpen(m_handle, &open); }

private:
    int32_t m_handle = 0;
};

// Polls until pred() holds; bounded in time.
template <typename Pred> bool eventually(Pred pred, std::chrono::milliseconds timeout = 3s) {
    const auto deadline = Clock::now() + timeout;
    do {
        if (pred()) return true;
        std::this_thread::sleep_for(5ms);
    } while (Clock::now() < deadline);
    return false;
}

template <typename F> std::chrono::milliseconds timed(F&& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

TEST(RemoteLibrary, RunsAnEventCountThroughTheServer) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    Session s;
    ASSERT_EQ(s.connect(server.port(), ""), QV_OK); // "" is this machine

    char id[64];
    ASSERT_EQ(QV_QueryServerID(s.handle(), id, sizeof id), QV_OK);
    const std::string identity = id;
    EXPECT_EQ(identity.rfind("vexcountd,1.1.0,", 0), 0u) << identity;
    EXPECT_EQ(std::count(identity.begin(), identity.end(), ','), 3);
    char shortId[10];
    ASSERT_EQ(QV_QueryServerID(s.handle(), shortId, sizeof shortId), QV_OK);
    EXPECT_STREQ(shortId, "vexcountd");

    int32_t count = 0;
    ASSERT_EQ(QV_ModCount(s.handle(), &count), QV_OK);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(s.info(0), "QVSIMC01 cfp");
    EXPECT_EQ(s.info(3), "QVSIMR01 rfp");
    EXPECT_EQ(s.info(5), "error");

    ASSERT_EQ(QV_OpenMod(s.handle(), "QVSIMC01"), QV_OK);
    int32_t open = 0;
    ASSERT_EQ(s.isOpen(open), QV_OK);
    EXPECT_EQ(open, 1);
    char pins[18];
    ASSERT_EQ(QV_GetPinStatus(s.handle(), pins, 18), QV_OK);
    EXPECT_EQ(pins[6], '0'); // row 6 of the simulations is static low
    EXPECT_EQ(pins[7], '1');
    EXPECT_EQ(QV_GetPinStatus(s.handle(), pins, 17), QV_ERR_BAD_ARGUMENT);
    ASSERT_EQ(QV_SetThreshold(s.handle(), 0, 14), QV_OK);
    ASSERT_EQ(
        QV_FCRun(s.handle(), QV_COUNT_EVENTS, QV_EDGE_RISE_RISE, QV_GATE_INFINITE, "--------", 1),
        QV_OK);
    std::this_thread::sleep_for(50ms);

    std::array<uint32_t, 20> words{};
    std::array<int64_t, 19> counts{};
    ASSERT_EQ(QV_FCGetStatus(s.handle(), words.data(), 20), QV_OK);
    EXPECT_EQ(words[0], QV_STATUS_BUSY | QV_STATUS_ARMED); // all "-" arms at once
    EXPECT_EQ(words[1], uint32_t{QV_CH_COUNTING});
    EXPECT_EQ(words[19], 0u); // beyond the channels: zeroed
    ASSERT_EQ(QV_FCGetCounts(s.handle(), counts.data(), 19), QV_OK);
    EXPECT_GT(counts[0], 40000); // 1 MHz for at least 50 ms
    EXPECT_EQ(counts[6], 0);     // static low

    ASSERT_EQ(QV_FCRun(s.handle(), 0, 0, 0, nullptr, 0), QV_OK);
    ASSERT_EQ(QV_FCGetStatus(s.handle(), words.data(), 19), QV_OK);
    EXPECT_EQ(words[0], QV_STATUS_ARMED);
    EXPECT_EQ(words[1], uint32_t{QV_CH_FORCED_STOP});
    EXPECT_EQ(QV_FCGetStatus(s.handle(), words.data(), 18), QV_ERR_BAD_ARGUMENT);

    // Channel 6 is static low: coded "1" it never opens the gate.
    ASSERT_EQ(
        QV_FCRun(s.handle(), QV_COUNT_FREQUENCY, QV_EDGE_RISE_RISE, QV_GATE_100MS, "------1-", 1),
        QV_OK);
    std::this_thread::sleep_for(150ms);
    ASSERT_EQ(QV_FCGetStatus(s.handle(), words.data(), 19), QV_OK);
    EXPECT_EQ(words[0], QV_STATUS_BUSY);
    ASSERT_EQ(QV_FCRun(s.handle(), 0, 0, 0, nullptr, 0), QV_OK);
    ASSERT_EQ(QV_CloseMod(s.handle()), QV_OK);
    EXPECT_EQ(QV_FCGetCounts(s.handle(), counts.data(), 19), QV_ERR_NO_MODULE_OPEN);
    EXPECT_EQ(QV_OpenMod(s.handle(), "NOSUCH"), QV_ERR_NO_SUCH_MODULE);
    EXPECT_EQ(QV_OpenMod(s.handle(), "QV SIM"), QV_ERR_NO_SUCH_MODULE);
}

TEST(RemoteLibrary, TwoSessionsContendForOneModule) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    Session a, b;
    ASSERT_EQ(a.connect(server.port()), QV_OK);
    ASSERT_EQ(b.connect(server.port()), QV_OK);
    ASSERT_EQ(QV_OpenMod(a.handle(), "QVSIMC02"), QV_OK);
    EXPECT_EQ(a.info(1), "QVSIMC02 cfp");
    EXPECT_EQ(b.info(1), "QVSIMC02 ctp");
    EXPECT_EQ(QV_OpenMod(b.handle(), "QVSIMC02"), QV_ERR_MODULE_TAKEN);
    int32_t open = 1;
    ASSERT_EQ(b.isOpen(open), QV_OK);
    EXPECT_EQ(open, 0);

    ASSERT_EQ(QV_CloseMod(a.handle()), QV_OK);
    EXPECT_EQ(b.info(1), "QVSIMC02 cfp");
    ASSERT_EQ(QV_OpenMod(b.handle(), "QVSIMC02"), QV_OK);
    EXPECT_EQ(QV_OpenMod(a.handle(), "QVSIMC02"), QV_ERR_MODULE_TAKEN);

    // Finalising the holder frees the module as soon as the server sees the
    // connection end.
    QV_Finalize(b.handle());
    EXPECT_TRUE(eventually([&] { return a.info(1) == "QVSIMC02 cfp"; }));
    EXPECT_EQ(QV_OpenMod(a.handle(), "QVSIMC02"), QV_OK);
}

TEST(RemoteLibrary, KillingAClientProcessFreesItsModule) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const std::string helper =
        ServerProcess::binaryPath().substr(0, ServerProcess::binaryPath().rfind('/') + 1) +
        "e2e_hold_module";
    const std::string port = std::to_string(server.port());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execl(helper.c_str(), helper.c_str(), port.c_str(), "QVSIMO01", nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    char said[8] = {};
    pollfd p{out[0], POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    ASSERT_GT(::read(out[0], said, sizeof said - 1), 0);
    ::close(out[0]);
    EXPECT_STREQ(said, "held\n");

    Session s;
    ASSERT_EQ(s.connect(server.port()), QV_OK);
    EXPECT_EQ(s.info(2), "QVSIMO01 otp");
    EXPECT_EQ(QV_OpenMod(s.handle(), "QVSIMO01"), QV_ERR_MODULE_TAKEN);

    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(eventually([&] { return s.info(2) == "QVSIMO01 ofp"; }, 2s));
    EXPECT_EQ(QV_OpenMod(s.handle(), "QVSIMO01"), QV_OK);
    std::array<uint32_t, 17> words{};
    ASSERT_EQ(QV_FCGetStatus(s.handle(), words.data(), 17), QV_OK);
    EXPECT_EQ(words[0], 0u); // the killed client's count is gone with it
}

TEST(RemoteLibrary, CallsFailFastWhileTheServerIsGoneAndReconnectWhenItIsBack) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    const uint16_t port = server.port();
    Session s;
    ASSERT_EQ(s.connect(port), QV_OK);
    ASSERT_EQ(QV_OpenMod(s.handle(), "QVSIMC01"), QV_OK);
    ASSERT_EQ(QV_FCRun(s.handle(), 2, 3, 7, "--------", 1), QV_OK);

    server.kill();
    // Poll like the application for 2.5 s: three calls a tick, every tick.
    std::chrono::milliseconds worst{};
    int failed = 0, calls = 0;
    for (int tick = 0; tick < 25; ++tick) {
        std::array<uint32_t, 19> words{};
        std::array<int64_t, 18> counts{};
        int32_t open = 0;
        worst = std::max(worst, timed([&] { failed += s.isOpen(open) != QV_OK; }));
        worst = std::max(
            worst, timed([&] { failed += QV_FCGetStatus(s.handle(), words.data(), 19) != QV_OK; }));
        worst = std::max(worst, timed([&] {
                             failed += QV_FCGetCounts(s.handle(), counts.data(), 18) != QV_OK;
                         }));
        calls += 3;
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(failed, calls);
    EXPECT_LT(worst, 800ms); // a reconnection try is bounded to 0.5 s

    // Back on the same port: a later call reconnects within about a second,
    // as a new session that holds no module.
    ASSERT_TRUE(server.start(port));
    int32_t open = 1;
    EXPECT_TRUE(eventually([&] { return s.isOpen(open) == QV_OK; }, 3s));
    EXPECT_EQ(open, 0);
    EXPECT_EQ(QV_OpenMod(s.handle(), "QVSIMC01"), QV_OK);
}

TEST(RemoteLibrary, AStalledServerTimesOutAndALateReplyIsNeverTaken) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    Session s;
    ASSERT_EQ(s.connect(server.port()), QV_OK);
    ASSERT_EQ(QV_OpenMod(s.handle(), "QVSIMR01"), QV_OK);

    ::kill(server.pid(), SIGSTOP);
    int32_t count = 0;
    const auto waited = timed([&] { EXPECT_EQ(QV_ModCount(s.handle(), &count), QV_ERR_TIMEOUT); });
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(waited, 2000ms);
    // Right after a timeout the next call fails at once.
    EXPECT_LT(timed([&] { EXPECT_NE(QV_ModCount(s.handle(), &count), QV_OK); }), 200ms);

    // The server wakes up and answers the old request on the old connection;
    // the library must not read that "5" as the answer to anything later.
    ::kill(server.pid(), SIGCONT);
    char id[64] = {};
    EXPECT_TRUE(eventually([&] { return QV_QueryServerID(s.handle(), id, 64) == QV_OK; }, 3s));
    EXPECT_EQ(std::string(id).rfind("vexcountd,", 0), 0u) << id;
    int32_t open = 1;
    ASSERT_EQ(s.isOpen(open), QV_OK);
    EXPECT_EQ(open, 0); // a new session
    ASSERT_EQ(QV_ModCount(s.handle(), &count), QV_OK);
    EXPECT_EQ(count, 5);
}

TEST(RemoteLibrary, ConnectingFailsInBoundedTime) {
    // Nothing listens: refused at once.
    uint16_t closedPort = 0;
    {
        ServerProcess server;
        ASSERT_TRUE(server.start());
        closedPort = server.port();
    }
    Session refused;
    EXPECT_LT(timed([&] { EXPECT_EQ(refused.connect(closedPort), QV_ERR_CONNECT_FAILED); }), 500ms);
    EXPECT_EQ(QV_ModCount(refused.handle(), nullptr), QV_ERR_NOT_CONNECTED);

    // Something listens but never answers: given up after the 2 s connect
    // time.
    const int mute = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(mute, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(mute, 4), 0);
    ASSERT_EQ(::getsockname(mute, reinterpret_cast<sockaddr*>(&address), &length), 0);
    Session silent;
    const auto waited =
        timed([&] { EXPECT_EQ(silent.connect(ntohs(address.sin_port)), QV_ERR_CONNECT_FAILED); });
    EXPECT_GE(waited, 1900ms);
    EXPECT_LT(waited, 3000ms);
    ::close(mute);
}

TEST(RemoteLibrary, ASessionBeyondTheClientLimitIsRefused) {
    ServerProcess server({"--max-clients", "2"});
    ASSERT_TRUE(server.start());
    Session a, b, c;
    ASSERT_EQ(a.connect(server.port()), QV_OK);
    ASSERT_EQ(b.connect(server.port()), QV_OK);
    EXPECT_EQ(c.connect(server.port()), QV_ERR_SERVER_BUSY);
    QV_Finalize(a.handle());
    ASSERT_TRUE(server.waitForLog("disconnected: closed by client (1 of 2"));
    Session d;
    EXPECT_EQ(d.connect(server.port()), QV_OK);
}

TEST(RemoteLibrary, ASessionDroppedAsIdleComesBackOnTheNextCall) {
    ServerProcess server({"--idle-timeout", "0.3"});
    ASSERT_TRUE(server.start());
    Session s;
    ASSERT_EQ(s.connect(server.port()), QV_OK);
    ASSERT_EQ(QV_OpenMod(s.handle(), "QVSIMB01"), QV_OK);
    ASSERT_TRUE(server.waitForLog("disconnected: idle timeout"));
    // The server ended the session, and the module with it; a later call
    // (within the reconnection interval) meets a fresh session.
    int32_t open = 1;
    EXPECT_TRUE(eventually([&] { return s.isOpen(open) == QV_OK; }, 2s));
    EXPECT_EQ(open, 0);
}

} // namespace
