// vexcountd's request-to-engine mapping, line by line against a real engine
// on a manual clock: what a client sees for each command, ownership between
// clients, and what a vanished client leaves behind.
#include "ClientSession.h"
#include "TcpProtocol.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <utility>
#include <vector>

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

// Channel `channel`'s six words of an FC:MEASURES? reply (referenced,
// frequency, period, positive and negative width, duty), and the word count.
std::pair<std::string, int> channelWords(const std::string& reply, int channel) {
    std::istringstream in(reply.substr(reply.rfind("0 ", 0) == 0 ? 2 : reply.size()));
    std::string word, words;
    int count = 0;
    for (; in >> word; ++count)
        if (count / 6 == channel) words += (words.empty() ? "" : " ") + word;
    return {words, count};
}

TEST_F(ClientSessionTest, AnswersTheMeasuresOfEachKindOfCount) {
    // QVSIMR01's channels: 1 1 kHz 50 %, 2 1 kHz 25 %, 5 1 Hz, 6 low.
    const struct {
        const char* run;
        int channel;
        const char* words;
    } cases[] = {
        {"FC:RUN 0 3 0 --------", 2, "0 1000 nan 0.00025 0.00075 0.25"},
        {"FC:RUN 0 3 0 --------", 6, "0 nan nan nan nan nan"},
        {"FC:RUN 2 3 0 --------", 1, "0 1000 nan 5e-04 5e-04 0.5"},
        // Period counts: the mean period; none without all 64 intervals in the gate.
        {"FC:RUN 1 3 0 --------", 2, "0 nan 0.001 nan nan nan"},
        {"FC:RUN 1 3 0 --------", 5, "0 nan nan nan nan nan"},
    };
    ClientSession client(engine);
    EXPECT_EQ(ask(client, "FC:MEASURES? 8"), "9 no module open");
    ASSERT_EQ(ask(client, "MOD:OPEN QVSIMR01"), "0"); // 8 channels
    EXPECT_EQ(ask(client, "FC:MEASURES? 7"), "2 bad argument");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.run) + ", channel " + std::to_string(c.channel));
        ASSERT_EQ(ask(client, c.run), "0");
        clock->advance(150 * vexengine::kMillisecond);
        EXPECT_EQ(channelWords(ask(client, "FC:MEASURES? 100"), c.channel),
                  std::make_pair(std::string(c.words), 48));
    }
}

TEST_F(ClientSessionTest, AnswersTheTimeBaseAndTheDeviceProblems) {
    ClientSession client(engine);
    EXPECT_EQ(ask(client, "TIMEBASE?"), "9 no module open");
    EXPECT_EQ(ask(client, "DEV:PROBLEMS?"), "0"); // none, and no module needed
    ASSERT_EQ(ask(client, "MOD:OPEN QVSIMC01"), "0");
    EXPECT_EQ(ask(client, "TIMEBASE?"), "0 -1 0 0 0 0 0"); // no reference, not sampled

    // Lines as the log states them, escaped into one reply line.
    engine.setDeviceProblems({"VEXIF_DEVICES: 'ref=-5MHz@0': a negative frequency",
                              "capture '/tmp/100%.sr': no such file"});
    EXPECT_EQ(ask(client, "DEV:PROBLEMS?"),
              "0 VEXIF_DEVICES: 'ref=-5MHz@0': a negative frequency%0A"
              "capture '/tmp/100%25.sr': no such file%0A");
    // Whole lines only, as many as fit a reply.
    engine.setDeviceProblems(std::vector<std::string>(1000, std::string(100, 'p')));
    const std::string reply = ask(client, "DEV:PROBLEMS?");
    EXPECT_LE(reply.size(), vexif::wire::kMaxReplyBytes);
    EXPECT_EQ(reply.substr(reply.size() - 4), "p%0A");
    client.release();
    EXPECT_EQ(ask(client, "DEV:PROBLEMS?"), "1 session closed");
}

} // namespace
