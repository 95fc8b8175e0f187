// Arming by channel codes: the instant the gate opens, and a count that
// waits for it.
#include "Counter.h"
#include "EngineFixture.h"
#include "Simulations.h"

namespace {

using vexengine::findArmTime;
using vexengine::kNever;

constexpr int64_t us = vexengine::kMicrosecond;
constexpr int64_t ms = vexengine::kMillisecond;
constexpr int64_t sec = vexengine::kSecond;

// Channels 0..7 of every simulation: 1 MHz, 1 kHz, 1 kHz 25 %, 10 kHz
// (phase 25 us), 100 kHz 10 %, 1 Hz, static low, static high.
TEST(Arming, OpensAtTheFirstInstantAllCodesHold) {
    const auto& signals = vexengine::simulationSignals();
    struct Case {
        const char* codes;
        int64_t start;
        int64_t opens;
    };
    const Case cases[] = {
        {"--------", 123, 123},          // nothing to wait for
        {"0-------", 100, 500},          // 1 MHz is high until 500 ns
        {"1-------", 600, 1000},         // ... and low until 1000 ns
        {"R-------", 1, 1000},           //
        {"F-------", 0, 500},            //
        {"E-------", 501, 1000},         //
        {"R-------", 1000, 1000},        // an edge at the start instant counts
        {"-----R--", 300 * ms, 1 * sec}, // the slow 1 Hz channel
        {"-R---R--", 1 * ms, 1 * sec},   // two edges that coincide
        {"R-R-----", 1, 1 * ms},         //
        {"--1--F--", 0, 500 * ms},       // 1 Hz falls while channel 2 is high
        {"---R0---", 0, 75 * us},        // 100 kHz 10 % is low at 75 us
        {"------01", 5, 5},              // static levels that hold
        {"------1-", 0, kNever},         // a static low channel is never high
        {"-------R", 0, kNever},         // nor does a static channel have edges
        {"--0--F--", 0, kNever},         // channel 2 is always high when 1 Hz falls
    };
    for (const Case& c : cases)
        EXPECT_EQ(findArmTime(signals, c.codes, c.start), c.opens) << c.codes << " @" << c.start;
}

TEST(Arming, SearchIsBoundedAndAnswersOnlyValidInstants) {
    // Rising edges of 10 kHz (phase 25 us) and 7 kHz (142857 ns) rarely meet.
    std::vector<vexengine::Signal> signals = {vexengine::simulationSignals()[3],
                                              vexengine::simulationSignals()[14]};
    int64_t t = findArmTime(signals, "RR", 0);
    if (t != kNever) {
        EXPECT_EQ(signals[0].nextRising(t), t);
        EXPECT_EQ(signals[1].nextRising(t), t);
    }
}

using ArmedCount = EngineFixture;

TEST_F(ArmedCount, WaitsForARisingEdgeOnASlowChannel) {
    at(300 * ms);
    start(2, 3, 0, "-----R--"); // events, 100 ms gate, armed by the 1 Hz channel
    at(999 * ms);
    EXPECT_TRUE(status().busy);
    EXPECT_FALSE(status().armed);
    EXPECT_EQ(states(), std::string(18, '1'));
    EXPECT_EQ(counts(), std::vector<int64_t>(18, 0));
    at(1050 * ms);
    EXPECT_TRUE(status().armed);
    EXPECT_EQ(counts()[1], 50);
    at(1100 * ms);
    EXPECT_FALSE(status().busy);
    EXPECT_TRUE(status().armed); // stays set once the count has finished
    EXPECT_EQ(counts()[1], 100);
    EXPECT_EQ(counts()[5], 1); // the arming edge itself is in the gate
}

TEST_F(ArmedCount, ACountThatNeverArmsWaitsUntilStopped) {
    start(0, 3, 0, "------1-");
    at(60 * s);
    EXPECT_TRUE(status().busy);
    EXPECT_EQ(counts(), std::vector<int64_t>(18, 0));
    engine.stopCount(session);
    EXPECT_FALSE(status().busy);
    EXPECT_FALSE(status().armed);
    EXPECT_EQ(states(), std::string(18, '3'));
}

} // namespace
