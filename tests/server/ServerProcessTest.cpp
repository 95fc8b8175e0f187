// The real vexcountd on a loopback port of its own, talked to with raw
// sockets: junk and over-long lines, clients that stall, SCPI clients that
// go away while a query waits, the client limit, the idle timeout and a
// clean stop. What a vanishing library client leaves behind is tested
// through the library in tests/e2e.
#include "ServerProcess.h"
#include "LineClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace std::chrono_literals;
using vfctest::LineClient;
using vfctest::ServerProcess;

namespace {

using Clock = std::chrono::steady_clock;

// Reads lines until one starts with prefix; bounded by count and time.
bool readUntil(LineClient& client, const std::string& prefix, int maxLines = 100000) {
    const auto deadline = Clock::now() + 5s;
    for (int i = 0; i < maxLines && Clock::now() < deadline; ++i) {
        const auto line = client.readLine(2s);
        if (!line) return false;
        if (line->rfind(prefix, 0) == 0) return true;
    }
    return false;
}

TEST(ServerProcess, SurvivesJunkAndOverLongLinesAndStillAnswersIdentity) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    LineClient junk;
    ASSERT_TRUE(junk.connect(server.port()));

    std::mt19937 random(8279);
    std::string bytes(256 * 1024, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xff);
    ASSERT_TRUE(junk.send(bytes));
    ASSERT_TRUE(junk.send("\nBOGUS\nMOD:INFO? x\nFC:RUN 9 9 9 ????????\n"));
    ASSERT_TRUE(junk.send(std::string(100 * 1024, 'A') + "\n")); // one over-long line
    ASSERT_TRUE(junk.send("*IDN?\n"));
    EXPECT_TRUE(readUntil(junk, "0 vexcountd,")) << server.log();

    // Every reply is a status line, and a fresh client is served as usual.
    LineClient fresh;
    ASSERT_TRUE(fresh.connect(server.port()));
    const auto identity = fresh.ask("*IDN?");
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->rfind("0 vexcountd,1.1.0,", 0), 0u) << *identity;
    EXPECT_EQ(fresh.ask("FOO"), "50 unknown command");
    EXPECT_EQ(fresh.ask(std::string(5000, 'x')), "52 line too long");
    EXPECT_EQ(fresh.ask("MOD:COUNT?"), "0 5");
    EXPECT_TRUE(server.running());
}

TEST(ServerProcess, StalledClientsDoNotDelayOthers) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    LineClient halfLine, silent, flooder;
    ASSERT_TRUE(halfLine.connect(server.port()));
    ASSERT_TRUE(silent.connect(server.port()));
    ASSERT_TRUE(flooder.connect(server.port(), 4096));
    ASSERT_TRUE(halfLine.send("*ID"));
    // Requests without ever reading the replies: the server's writes to
    // this client stall once the socket buffers are full.
    std::string flood;
    for (int i = 0; i < 500000; ++i)
        flood += "MOD:INFO? 0\n";
    std::thread floodThread([&] { flooder.send(flood); });

    LineClient client;
    ASSERT_TRUE(client.connect(server.port()));
    Clock::duration worst{};
    for (int i = 0; i < 200; ++i) {
        const auto start = Clock::now();
        ASSERT_EQ(client.ask("MOD:OPEN?"), "0 0");
        worst = std::max(worst, Clock::now() - start);
    }
    EXPECT_LT(worst, 500ms); // a stall would last until the idle timeout, 60 s
    EXPECT_TRUE(server.running());
    flooder.shutdown(); // ends the flood thread's send with an error
    floodThread.join();
}

// Every kind of SCPI wait notices a client that goes away: the module is
// free for another client at once, not when the wait would have ended
// (gate plus idle timeout: never, for these endless counts, within 60 s).
TEST(ServerProcess, ScpiClientGoneDuringAWaitFreesItsModuleAtOnce) {
    ServerProcess server({"--scpi", "127.0.0.1:0"});
    ASSERT_TRUE(server.start());
    const std::string marker = "SCPI listening on 127.0.0.1:";
    ASSERT_TRUE(server.waitForLog(marker));
    const std::string log = server.log();
    const auto scpiPort =
        static_cast<uint16_t>(std::stoi(log.substr(log.find(marker) + marker.size())));

    // Channel 6 is static: an endless period count on it never ends. Each
    // kind of wait gets a module of its own, as the rival keeps the one it
    // took last.
    const std::string endless = "CONF:PER (@6);PER:GATE:TIME INF;";
    const std::pair<std::string, std::string> waits[] = {
        {"QVSIMC01", endless + "READ?"},
        {"QVSIMC02", endless + "INIT;*OPC?"},
        {"QVSIMO01", endless + "INIT;*WAI;*IDN?"},
        {"QVSIMB01", endless + "INIT;FETC?"},
    };
    LineClient rival;
    ASSERT_TRUE(rival.connect(scpiPort));
    for (const auto& [module, wait] : waits) {
        SCOPED_TRACE(wait);
        const std::string select = "INST:SEL " + module + ";INST:SEL?";
        LineClient holder;
        ASSERT_TRUE(holder.connect(scpiPort));
        ASSERT_EQ(holder.ask(select), "\"" + module + "\"");
        ASSERT_TRUE(holder.send(wait + "\n"));
        EXPECT_FALSE(holder.readLine(200ms));               // waiting
        EXPECT_NE(rival.ask(select), "\"" + module + "\""); // taken
        holder.close();
        const auto closed = Clock::now();
        std::optional<std::string> selected;
        while (selected != "\"" + module + "\"" && Clock::now() - closed < 2s)
            selected = rival.ask(select);
        EXPECT_EQ(selected, "\"" + module + "\"");
        EXPECT_LT(Clock::now() - closed, 1s);
    }
    ASSERT_EQ(rival.ask("*CLS;INST:SEL QVSIMC01;INST:SEL?"), "\"QVSIMC01\"");

    // Lines sent during a wait are run after it, in order.
    ASSERT_TRUE(rival.send("MEAS:TOT? (@6)\n"));
    EXPECT_FALSE(rival.readLine(200ms));
    ASSERT_TRUE(rival.send("*IDN?;SYST:ERR?\n"));
    EXPECT_EQ(rival.readLine(2s), "0");
    const auto identity = rival.readLine(2s);
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->rfind("Vex,vexcountd,", 0), 0u) << *identity;
    EXPECT_NE(identity->find(";0,\"No error\""), std::string::npos) << *identity;
}

TEST(ServerProcess, RefusesClientsBeyondTheLimitWithAReason) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    std::vector<LineClient> clients(64);
    for (LineClient& c : clients) {
        ASSERT_TRUE(c.connect(server.port()));
        ASSERT_EQ(c.ask("HELLO 1"), "0 1");
    }
    LineClient extra;
    ASSERT_TRUE(extra.connect(server.port()));
    extra.send("HELLO 1\n"); // sent before it learns it is refused
    EXPECT_EQ(extra.readLine(), "14 server busy: 64 clients connected");
    EXPECT_TRUE(extra.closedByServer(2s));
    EXPECT_EQ(clients.front().ask("MOD:COUNT?"), "0 5"); // the others are unaffected

    // A place that frees up is taken by the next client.
    clients.back().close();
    ASSERT_TRUE(server.waitForLog("disconnected: closed by client (63 of 64"));
    ASSERT_TRUE(extra.connect(server.port()));
    EXPECT_EQ(extra.ask("HELLO 1"), "0 1");
}

TEST(ServerProcess, DropsClientsThatStaySilent) {
    ServerProcess server({"--idle-timeout", "0.5"});
    ASSERT_TRUE(server.start());
    LineClient silent, halfLine, busy;
    ASSERT_TRUE(silent.connect(server.port()));
    ASSERT_TRUE(halfLine.connect(server.port()));
    ASSERT_TRUE(busy.connect(server.port()));
    const auto start = Clock::now();
    ASSERT_TRUE(halfLine.send("MOD:COU"));
    // A client that asks every 100 ms is never idle.
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(busy.ask("MOD:OPEN?"), "0 0") << i;
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(silent.readLine(1s), "53 idle timeout, closing");
    EXPECT_TRUE(silent.closedByServer(1s));
    EXPECT_EQ(halfLine.readLine(1s), "53 idle timeout, closing");
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_EQ(server.countInLog("disconnected: idle timeout"), 2);
}

TEST(ServerProcess, StopsCleanlyOnSignalsAndLogsEveryClient) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        ServerProcess server;
        ASSERT_TRUE(server.start());
        LineClient a, b;
        ASSERT_TRUE(a.connect(server.port()));
        ASSERT_TRUE(b.connect(server.port()));
        ASSERT_EQ(a.ask("QUIT"), "0 bye");
        EXPECT_TRUE(a.closedByServer(2s));
        ASSERT_EQ(b.ask("MOD:OPEN QVSIMO01"), "0");

        ::kill(server.pid(), signal);
        EXPECT_TRUE(b.closedByServer(2s));
        EXPECT_EQ(server.waitForExit(), 0);
        EXPECT_TRUE(server.waitForLog("vexcountd: stopped"));
        EXPECT_EQ(server.countInLog(" connected ("), 2);
        EXPECT_EQ(server.countInLog("disconnected: quit"), 1);
        EXPECT_EQ(server.countInLog("disconnected: server stopping"), 1);
    }
}

TEST(ServerProcess, ReportsAPortInUse) {
    ServerProcess first;
    ASSERT_TRUE(first.start());
    ServerProcess second;
    EXPECT_FALSE(second.start(first.port()));
    EXPECT_NE(second.log().find("cannot listen on 127.0.0.1:" + std::to_string(first.port())),
              std::string::npos)
        << second.log();
}

} // namespace
