// The library against servers that are not today's vexcountd: an older one
// that does not know the measures, time base and device-problem requests,
// and one whose replies to them are cut, odd or malformed.
#include "ScriptedLineServer.h"
#include "vexif.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

namespace {

// A handle connected to the scripted server, finalised with the test.
struct Connected {
    int32_t handle = 0;
    explicit Connected(const vfctest::ScriptedLineServer& server) {
        EXPECT_EQ(QV_Initialize(&handle), QV_OK);
        EXPECT_EQ(QV_ConnectToServer(handle, "127.0.0.1", server.port()), QV_OK);
    }
    ~Connected() { QV_Finalize(handle); }
};

// What a server of the first protocol version answers to the 15.
void answerAsAnOlderServer(vfctest::ScriptedLineServer& server) {
    server.answer("*IDN?", "0 vexcountd,1.0.0,2024-05-14,09:12:03");
    server.answer("MOD:COUNT?", "0 1");
    server.answer("MOD:INFO?", "0 QVSIMR01 rfp");
    server.answer("MOD:OPEN", "0");
    server.answer("MOD:OPEN?", "0 1");
    server.answer("FC:RUN", "0");
    server.answer("FC:STATUS?", "0 2 2 2 2 2 2 2 2 2");
    server.answer("FC:COUNTS?", "0 100000 100 100 1000 10000 0 0 0");
}

TEST(ScriptedServer, AnOlderServerGivesNotSupportedAndTheOtherCallsStillWork) {
    vfctest::ScriptedLineServer server;
    ASSERT_NE(server.port(), 0);
    answerAsAnOlderServer(server);
    Connected c(server);
    ASSERT_EQ(QV_OpenMod(c.handle, "QVSIMR01"), QV_OK);

    QV_ChannelMeasures measures[8];
    for (QV_ChannelMeasures& m : measures) {
        std::memset(&m, 0x5a, sizeof m);
        m.size = sizeof m;
    }
    QV_TimeBase timeBase;
    std::memset(&timeBase, 0x5a, sizeof timeBase);
    timeBase.size = sizeof timeBase;
    char problems[32] = "untouched";
    for (int round = 0; round < 2; ++round) { // asked twice: nothing is remembered wrongly
        EXPECT_EQ(QV_FCGetMeasures(c.handle, measures, 8), QV_ERR_NOT_SUPPORTED);
        EXPECT_EQ(QV_GetTimeBase(c.handle, &timeBase), QV_ERR_NOT_SUPPORTED);
        EXPECT_EQ(QV_GetDeviceProblems(c.handle, problems, sizeof problems), QV_ERR_NOT_SUPPORTED);
    }
    EXPECT_EQ(measures[7].referenced, 0x5a5a5a5a);
    EXPECT_EQ(timeBase.channel, 0x5a5a5a5a);
    EXPECT_STREQ(problems, "untouched");

    // The same connection carries on with the 15.
    char id[64] = {};
    EXPECT_EQ(QV_QueryServerID(c.handle, id, sizeof id), QV_OK);
    EXPECT_STREQ(id, "vexcountd,1.0.0,2024-05-14,09:12:03");
    int32_t open = 0;
    EXPECT_EQ(QV_ModIsOpen(c.handle, &open), QV_OK);
    EXPECT_EQ(open, 1);
    EXPECT_EQ(
        QV_FCRun(c.handle, QV_COUNT_FREQUENCY, QV_EDGE_RISE_RISE, QV_GATE_100MS, "--------", 1),
        QV_OK);
    int64_t counts[8] = {};
    EXPECT_EQ(QV_FCGetCounts(c.handle, counts, 8), QV_OK);
    EXPECT_EQ(counts[0], 100000);
    EXPECT_EQ(server.connections(), 1);

    // The 15's own requests still treat "unknown command" as a fault.
    server.answer("FC:STOP", "");
    EXPECT_EQ(QV_FCRun(c.handle, 0, 0, 0, nullptr, 0), QV_ERR_PROTOCOL);
}

// How the library reads each reply of the new requests: passed on, cut to
// the caller's buffer, or refused as a protocol error.
TEST(ScriptedServer, RepliesToTheNewRequestsAreReadStrictly) {
    const double nan = std::nan("");
    struct Case {
        const char* what;
        const char* command;
        const char* reply;
        std::function<int32_t(int32_t, std::string&)> call; // the call and what it got
        int32_t status;
        std::string got;
    };
    const auto problems = [](int32_t length) {
        return [length](int32_t h, std::string& got) {
            char buffer[64];
            std::memset(buffer, 'x', sizeof buffer);
            const int32_t status = QV_GetDeviceProblems(h, buffer, length);
            got = status == QV_OK ? std::string(buffer) : "";
            return status;
        };
    };
    // Frequency, period and duty of channel 0 and the frequency of the last entry.
    const auto measures = [](int32_t h, std::string& got) {
        QV_ChannelMeasures m[4];
        for (QV_ChannelMeasures& e : m)
            e.size = sizeof e;
        const int32_t status = QV_FCGetMeasures(h, m, 4);
        if (status == QV_OK)
            got = std::to_string(m[0].referenced) + " " + std::to_string(m[0].frequency) + " " +
                  std::to_string(m[0].period) + " " + std::to_string(m[0].duty) + " " +
                  std::to_string(m[3].frequency);
        return status;
    };
    const auto timeBase = [](int32_t h, std::string& got) {
        QV_TimeBase tb;
        tb.size = sizeof tb;
        const int32_t status = QV_GetTimeBase(h, &tb);
        if (status == QV_OK)
            got = std::to_string(tb.channel) + " " + std::to_string(tb.locked) + " " +
                  std::to_string(tb.referenceHz) + " " + std::to_string(tb.offsetPpm) + " " +
                  std::to_string(tb.measuredRate) + " " + std::to_string(tb.nominalRate);
        return status;
    };
    const std::string nanText = std::to_string(nan);
    const char* three = "0 one%0Atwo%0Athree%0A";
    // clang-format off
    const Case cases[] = {
        {"problems that fit", "DEV:PROBLEMS?", three, problems(64), QV_OK, "one\ntwo\nthree\n"},
        {"problems cut at a line end", "DEV:PROBLEMS?", three, problems(9), QV_OK, "one\ntwo\n"},
        {"problems cut at the first line end", "DEV:PROBLEMS?", three, problems(8), QV_OK, "one\n"},
        {"problems without a whole line", "DEV:PROBLEMS?", three, problems(3), QV_OK, "on"},
        {"problems in a buffer of 1", "DEV:PROBLEMS?", three, problems(1), QV_OK, ""},
        {"no problems", "DEV:PROBLEMS?", "0", problems(64), QV_OK, ""},
        {"a broken escape", "DEV:PROBLEMS?", "0 bad%zz", problems(64), QV_ERR_PROTOCOL, ""},
        {"two channels of measures", "FC:MEASURES?",
         "0 1 25000 nan 1e-05 3e-05 0.25 1 10000 nan 5e-05 5e-05 0.5", measures, QV_OK,
         "1 25000.000000 " + nanText + " 0.250000 " + nanText},
        {"a period count", "FC:MEASURES?", "0 0 nan 4e-05 nan nan nan", measures, QV_OK,
         "0 " + nanText + " 0.000040 " + nanText + " " + nanText},
        {"measures a word short", "FC:MEASURES?", "0 1 25000 nan 1e-05 3e-05", measures,
         QV_ERR_PROTOCOL, ""},
        {"measures of five channels for four", "FC:MEASURES?",
         "0 0 1 1 1 1 1 0 1 1 1 1 1 0 1 1 1 1 1 0 1 1 1 1 1 0 1 1 1 1 1", measures,
         QV_ERR_PROTOCOL, ""},
        {"measures refused", "FC:MEASURES?", "2 bad argument", measures, QV_ERR_BAD_ARGUMENT, ""},
        {"a locked reference", "TIMEBASE?", "0 7 1 10000 150.5 1000150.5 1000000", timeBase, QV_OK,
         "7 1 10000.000000 150.500000 1000150.500000 1000000.000000"},
        {"a time base cut short", "TIMEBASE?", "0 7 1 10000", timeBase, QV_ERR_PROTOCOL, ""},
        {"locked 2", "TIMEBASE?", "0 7 2 10000 0 1 1", timeBase, QV_ERR_PROTOCOL, ""},
    };
    // clang-format on
    vfctest::ScriptedLineServer server;
    ASSERT_NE(server.port(), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        server.answer(c.command, c.reply);
        Connected session(server); // a protocol error ends the connection
        std::string got;
        EXPECT_EQ(c.call(session.handle, got), c.status);
        EXPECT_EQ(got, c.got);
        server.answer(c.command, "");
    }
}

} // namespace
