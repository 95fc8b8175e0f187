// The real vexcountd guarding its slots: --allow ranges, the per-address
// cap, clients that send only blank lines, a low open-file limit, a
// connection flood against the log, and signed junk in arguments. All on
// loopback: 127.0.0.2 serves as a second host.
#include "LineClient.h"
#include "ServerProcess.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using vfctest::LineClient;
using vfctest::ServerProcess;

namespace {

using Clock = std::chrono::steady_clock;

TEST(ServerAccess, AdmitsOnlyTheAllowedAddresses) {
    ServerProcess server({"--allow", "127.0.0.2/32"});
    ASSERT_TRUE(server.start());
    LineClient stranger;
    ASSERT_TRUE(stranger.connect(server.port()));
    stranger.send("*IDN?\n");
    EXPECT_TRUE(stranger.closedByServer(2s)); // not a word to a stranger
    EXPECT_TRUE(server.waitForLog("client 127.0.0.1:"));
    EXPECT_TRUE(server.waitForLog("refused: address not allowed"));

    LineClient friendly;
    ASSERT_TRUE(friendly.connect(server.port(), 0, "127.0.0.2"));
    const auto identity = friendly.ask("*IDN?");
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->rfind("0 vexcountd,", 0), 0u) << *identity;
}

TEST(ServerAccess, CapsTheConnectionsOfOneAddressWithAReason) {
    ServerProcess server({"--max-per-address", "2"});
    ASSERT_TRUE(server.start());
    LineClient a, b, c, other;
    ASSERT_TRUE(a.connect(server.port()));
    ASSERT_TRUE(b.connect(server.port()));
    ASSERT_EQ(a.ask("HELLO 1"), "0 1");
    ASSERT_EQ(b.ask("HELLO 1"), "0 1");
    ASSERT_TRUE(c.connect(server.port()));
    EXPECT_EQ(c.readLine(), "14 too many connections from 127.0.0.1: 2 at once");
    EXPECT_TRUE(c.closedByServer(2s));
    // Another address still gets in, and a freed place is taken again.
    ASSERT_TRUE(other.connect(server.port(), 0, "127.0.0.2"));
    EXPECT_EQ(other.ask("HELLO 1"), "0 1");
    a.close();
    ASSERT_TRUE(server.waitForLog("disconnected: closed by client"));
    ASSERT_TRUE(c.connect(server.port()));
    EXPECT_EQ(c.ask("HELLO 1"), "0 1");
}

TEST(ServerAccess, BlankLinesDoNotHoldClientSlotsOrModules) {
    ServerProcess server({"--idle-timeout", "0.5"});
    ASSERT_TRUE(server.start());
    // 64 clients take every slot, five of them a module each, and then send
    // only line feeds.
    const char* modules[] = {"QVSIMC01", "QVSIMC02", "QVSIMO01", "QVSIMR01", "QVSIMB01"};
    std::vector<LineClient> hogs(64);
    for (std::size_t i = 0; i < hogs.size(); ++i) {
        ASSERT_TRUE(hogs[i].connect(server.port()));
        if (i < 5) {
            ASSERT_EQ(hogs[i].ask(std::string("MOD:OPEN ") + modules[i]), "0");
        }
    }
    const auto start = Clock::now();
    LineClient fresh;
    bool served = false;
    while (!served && Clock::now() - start < 3s) {
        for (LineClient& hog : hogs)
            hog.send("\n");
        std::this_thread::sleep_for(100ms);
        if (fresh.connect(server.port())) served = fresh.ask("MOD:OPEN QVSIMC01") == "0";
    }
    EXPECT_TRUE(served);
    EXPECT_LT(Clock::now() - start, 1500ms); // the idle timeout and a little
    EXPECT_EQ(hogs.front().readLine(), "53 idle timeout, closing");
}

TEST(ServerAccess, ALowOpenFileLimitKeepsTheRefusalLine) {
    // 64 files: 24 kept back, 5 for refusals being read, so 35 clients.
    ServerProcess server;
    server.setFileLimit(64);
    ASSERT_TRUE(server.start());
    EXPECT_TRUE(server.waitForLog("open-file limit 64: serving at most 35 clients instead of 64"));
    std::vector<LineClient> clients(35);
    for (LineClient& c : clients) {
        ASSERT_TRUE(c.connect(server.port()));
        ASSERT_EQ(c.ask("HELLO 1"), "0 1");
    }
    // More than the lingering refusals at once: each still reads its reason.
    for (int i = 0; i < 12; ++i) {
        LineClient extra;
        ASSERT_TRUE(extra.connect(server.port()));
        EXPECT_EQ(extra.readLine(), "14 server busy: 35 clients connected") << i;
    }
    EXPECT_EQ(clients.back().ask("MOD:COUNT?"), "0 5");
}

TEST(ServerAccess, AConnectionFloodGetsASummaryInsteadOfALineEach) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    const auto start = Clock::now();
    int connections = 0;
    for (; connections < 400 && Clock::now() - start < 900ms; ++connections) {
        LineClient c;
        ASSERT_TRUE(c.connect(server.port()));
    }
    ASSERT_GT(connections, 150) << "too slow a machine for a flood";
    // Two lines a connection, at most 100 of them a second.
    EXPECT_TRUE(server.waitForLog("more client messages", 3s)) << server.log();
    EXPECT_LE(server.countInLog("client 127.0.0.1:"), 2 * 100 + 10);
    LineClient c;
    ASSERT_TRUE(c.connect(server.port()));
    EXPECT_EQ(c.ask("MOD:INFO? +-5"), "51 argument is not a 32-bit number");
    EXPECT_EQ(c.ask("THRESH 0 +14"), "9 no module open"); // a plain "+" still reads
}

} // namespace
