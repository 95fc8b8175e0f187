// vexcountd's request-to-engine mapping, line by line against a real engine
// on a manual clock: what a client sees for each command, ownership between
// clients, and what a vanished client leaves behind.
#include "ClientSession.h"

#include <gtest/gtest.h>

#include <memory>

using vexcountd::ClientSession;

namespace {

class ClientSessionTest : public ::testing::Test {
protected:
    std::string ask(ClientSession& session, std::string_view line) {
        const auto answer = session.handleLine(line);
        return answer ? answer->reply : "<none>";
    }

    std::shared_ptr<vexengine::ManualClock> clock = std::make_shared<vexengine::ManualClock>();
    vexengine::Engine engine{clock, {"vexcountd", "9.9", std::chrono::system_clock::now()}};
};

TEST_F(ClientSessionTest, AnswersACompleteFrequencyCount) {
    ClientSession client(engine);
    EXPECT_EQ(ask(client, "HELLO 1"), "0 1");
    EXPECT_EQ(ask(client, "MOD:COUNT?"), "0 5");
    EXPECT_EQ(ask(client, "MOD:INFO? 0"), "0 QVSIMC01 cfp");
    EXPECT_EQ(ask(client, "MOD:OPEN?"), "0 0");
    EXPECT_EQ(ask(client, "MOD:OPEN QVSIMC01"), "0");
    EXPECT_EQ(ask(client, "MOD:OPEN?"), "0 1");
    EXPECT_EQ(ask(client, "THRESH 0 14"), "0");
    EXPECT_EQ(ask(client, "FC:RUN 0 3 0 --------"), "0");
    EXPECT_EQ(ask(client, "FC:STATUS? 19").substr(0, 6), "0 3 1 "); // busy, armed, counting

    clock->advance(150 * vexengine::kMillisecond);
    const std::string status = ask(client, "FC:STATUS? 19");
    EXPECT_EQ(
        status, "0 2" + [] { // armed, no longer busy
            std::string done;
            for (int i = 0; i < 18; ++i)
                done += " 2";
            return done;
        }());
    // Rows 0 and 1 of the simulation table: 1 MHz and 1 kHz over 100 ms.
    const std::string counts = ask(client, "FC:COUNTS? 18");
    EXPECT_EQ(counts.substr(0, 13), "0 100000 100 ") << counts;
    EXPECT_EQ(ask(client, "MOD:CLOSE"), "0");
    EXPECT_EQ(ask(client, "MOD:OPEN?"), "0 0");
}

TEST_F(ClientSessionTest, ChecksTheCallersBufferSizesAgainstTheOpenModule) {
    ClientSession client(engine);
    ASSERT_EQ(ask(client, "MOD:OPEN QVSIMR01"), "0"); // 8 channels
    const std::pair<const char*, const char*> cases[] = {
        {"PINS? 7", "2 bad argument"},
        {"FC:STATUS? 8", "2 bad argument"}, // busy word + 8 channel words needed
        {"FC:STATUS? -2147483648", "2 bad argument"},
        {"FC:COUNTS? 7", "2 bad argument"},
        {"FC:COUNTS? -1", "2 bad argument"},
        {"FC:RUN 0 3 7 --------", "2 bad argument"}, // infinite gate for a frequency
        {"FC:RUN 2 3 0 ----X---", "2 bad argument"},
        {"FC:RUN 2 3 0 -------", "2 bad argument"},
        {"THRESH 2 14", "2 bad argument"},
        {"THRESH 0 26", "2 bad argument"},
        {"MOD:INFO? 5", "7 no such module"},
        {"MOD:INFO? -1", "7 no such module"},
        {"MOD:OPEN NOSUCHMO", "7 no such module"},
    };
    for (const auto& [request, reply] : cases)
        EXPECT_EQ(ask(client, request), reply) << request;
    EXPECT_EQ(ask(client, "PINS? 8").size(), 2u + 8u);
    EXPECT_EQ(ask(client, "FC:COUNTS? 100"), "0 0 0 0 0 0 0 0 0");
}

TEST_F(ClientSessionTest, AModuleHeldByOneClientIsTakenForAnotherUntilItsHolderGoes) {
    ClientSession a(engine);
    ClientSession b(engine);
    ASSERT_EQ(ask(a, "MOD:OPEN QVSIMC01"), "0");
    ASSERT_EQ(ask(a, "FC:RUN 2 3 7 --------"), "0");
    EXPECT_EQ(ask(a, "MOD:INFO? 0"), "0 QVSIMC01 cfp"); // free for its holder
    EXPECT_EQ(ask(b, "MOD:INFO? 0"), "0 QVSIMC01 ctp");
    EXPECT_EQ(ask(b, "MOD:OPEN QVSIMC01"), "8 module taken");
    EXPECT_EQ(ask(b, "MOD:OPEN?"), "0 0");
    EXPECT_EQ(ask(b, "FC:COUNTS? 18"), "9 no module open");

    // The holder vanishes (the server releases it when its client
    // disconnects): the module is free at once, with no count running.
    a.release();
    EXPECT_EQ(ask(a, "MOD:OPEN?"), "1 session closed");
    EXPECT_EQ(ask(b, "MOD:INFO? 0"), "0 QVSIMC01 cfp");
    EXPECT_EQ(ask(b, "MOD:OPEN QVSIMC01"), "0");
    EXPECT_EQ(ask(b, "FC:STATUS? 19").substr(0, 4), "0 0 ");
}

TEST_F(ClientSessionTest, AnswersTheIdentityAndTheConversationalCommands) {
    ClientSession client(engine);
    const std::string identity = ask(client, "*IDN?");
    EXPECT_EQ(identity.rfind("0 vexcountd,9.9,", 0), 0u) << identity;
    EXPECT_EQ(std::count(identity.begin(), identity.end(), ','), 3);
    EXPECT_EQ(ask(client, "HELLO 2"), "51 protocol version 1 only");
    EXPECT_EQ(ask(client, "help?").substr(0, 8), "0 HELLO ");
    EXPECT_EQ(ask(client, "   "), "<none>");
    EXPECT_EQ(ask(client, "BOGUS"), "50 unknown command");
    const auto quit = client.handleLine("QUIT");
    ASSERT_TRUE(quit);
    EXPECT_EQ(quit->reply, "0 bye");
    EXPECT_TRUE(quit->close);
}

} // namespace
