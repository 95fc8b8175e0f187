// Frequency, period and event counts on the simulated signals, with time
// stepped by hand: every number here is exact.
#include "EngineFixture.h"
#include "Readings.h"

#include <cmath>

namespace {

using Counter = EngineFixture;

TEST_F(Counter, FrequencyCountsRisingEdgesOfEveryChannelOverTheGate) {
    at(1 * ms);
    start(0, 3, 0); // 100 ms gate: [1 ms, 101 ms)
    at(101 * ms - 1);
    EXPECT_TRUE(status().busy);
    EXPECT_EQ(states(), std::string(18, '1'));
    at(101 * ms);
    EXPECT_FALSE(status().busy);
    EXPECT_EQ(states(), std::string(18, '2'));
    // One row per channel of QVSIMC01 (README's table, rows 0..17).
    const std::vector<int64_t> expected = {100000, 100, 100,     1000,    10000,  0,
                                           0,      0,   1000000, 1250000, 5000,   200,
                                           1,      33,  700,     10,      500000, 2500};
    EXPECT_EQ(counts(), expected);
    at(5 * s); // frozen once the gate has closed
    EXPECT_EQ(counts(), expected);
}

// Reciprocal frequency, widths and duty through the engine: each wave's own
// values once two rising edges are inside the gate, NaN before and for static
// channels and period counts.
TEST_F(Counter, MeasuresAreTheWavesExactValues) {
    const struct {
        int channel;
        double hz, positive, negative, duty; // s for the widths
    } rows[] = {
        {0, 1e6, 500e-9, 500e-9, 0.5},
        {2, 1e3, 250e-6, 750e-6, 0.25},
        {4, 1e5, 1e-6, 9e-6, 0.1},
        {5, 1, 0.5, 0.5, 0.5},
        {14, 1e9 / 142857, 71428e-9, 71429e-9, 71428.0 / 142857},
        {16, 5e6, 80e-9, 120e-9, 0.4},
    };
    std::vector<vexengine::ChannelMeasures> m;
    start(0, 3, 2); // 10 s gate
    at(1 * s - 1);  // channel 5 (1 Hz) has risen once only, at 0
    ASSERT_EQ(engine.measures(session, m), vexengine::Result::ok);
    EXPECT_TRUE(std::isnan(m[5].reciprocalHz));
    at(2 * s); // twice: a reciprocal, no regression yet
    ASSERT_EQ(engine.measures(session, m), vexengine::Result::ok);
    EXPECT_DOUBLE_EQ(m[5].reciprocalHz, 1);
    EXPECT_TRUE(std::isnan(m[5].regressionHz));
    at(3 * s);
    ASSERT_EQ(engine.measures(session, m), vexengine::Result::ok);
    ASSERT_EQ(m.size(), 18u);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.channel);
        EXPECT_DOUBLE_EQ(m[r.channel].reciprocalHz, r.hz);
        EXPECT_DOUBLE_EQ(m[r.channel].positiveWidth, r.positive);
        EXPECT_DOUBLE_EQ(m[r.channel].negativeWidth, r.negative);
        EXPECT_DOUBLE_EQ(m[r.channel].duty, r.duty);
        EXPECT_DOUBLE_EQ(m[r.channel].regressionHz, r.hz);
        EXPECT_TRUE(std::isnan(m[r.channel].meanPeriod));
    }
    EXPECT_TRUE(std::isnan(m[6].reciprocalHz)); // static low
    EXPECT_TRUE(std::isnan(m[7].duty));         // static high
    vexengine::TimeBase base;
    ASSERT_EQ(engine.timeBase(session, base), vexengine::Result::ok);
    EXPECT_FALSE(base.external); // the simulation's own clock
    start(1, 3, 1);              // period, rising to rising: the mean interval, exact
    at(5 * s);
    ASSERT_EQ(engine.measures(session, m), vexengine::Result::ok);
    EXPECT_TRUE(std::isnan(m[0].reciprocalHz));
    EXPECT_DOUBLE_EQ(m[0].meanPeriod, 1e-6);
    EXPECT_DOUBLE_EQ(m[14].meanPeriod, 142857e-9);
    EXPECT_TRUE(std::isnan(m[5].meanPeriod)); // 1 Hz: no interval ends inside the 1 s gate
    EXPECT_TRUE(std::isnan(m[6].meanPeriod)); // static
}

TEST_F(Counter, GatesOfOneAndTenSecondsAndAnInfiniteOne) {
    start(0, 3, 1);
    at(1 * s);
    EXPECT_EQ(counts()[0], 1000000);
    EXPECT_EQ(counts()[5], 1); // the 1 Hz edge at 0 opens the gate and counts
    start(0, 3, 2);
    at(11 * s - 1);
    EXPECT_TRUE(status().busy);
    at(11 * s);
    EXPECT_FALSE(status().busy);
    EXPECT_EQ(counts()[1], 10000);
    EXPECT_EQ(counts()[5], 10);
    start(2, 3, 7); // events until stopped
    at(3611 * s);
    EXPECT_TRUE(status().busy);
    EXPECT_EQ(counts()[5], 3600);
    EXPECT_EQ(counts()[0], 3600LL * 1000000);
}

// The endless gate (7) and codes that are no gate never become a length.
TEST(GateCode, InSecondsAsADurationAndBack) {
    struct Row {
        int32_t code;
        double seconds;
        int64_t ms;
        int32_t back; // gateCodeForSeconds(seconds), infinity for the endless gate
    };
    const Row rows[] = {{0, 0.1, 100, 0}, {1, 1, 1000, 1}, {2, 10, 10000, 2},
                        {7, 0, 0, -1},    {3, 0, 0, -1},   {-1, 0, 0, -1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_DOUBLE_EQ(vexengine::gateSeconds(row.code), row.seconds);
        EXPECT_EQ(vexengine::gateDuration(row.code).count(), row.ms);
        EXPECT_EQ(vexengine::gateCodeForSeconds(row.seconds), row.back);
    }
    EXPECT_EQ(vexengine::gateCodeForSeconds(INFINITY), 7);
    EXPECT_EQ(vexengine::gateCodeForSeconds(0.5), -1);
}

TEST_F(Counter, PeriodOfA1kHzChannelRisingToRising) {
    start(1, 3, 0);
    at(64 * ms - 1);
    EXPECT_EQ(status().channelStates[1], 1u);
    at(64 * ms + 1); // the 64th interval ends at 64 ms, seen from then on
    EXPECT_EQ(status().channelStates[1], 2u);
    EXPECT_EQ(counts()[1], 6400000);
    EXPECT_EQ(counts()[0], 64 * 1000 / 10); // 1 MHz: done long ago
}

TEST_F(Counter, PeriodEdgePairsOnA25PercentDutyChannel) {
    // Channel 2: 1 kHz, high for 250 us of every 1 ms.
    struct Case {
        int edge;
        int64_t ticks;
    };
    int64_t base = 0;
    for (const Case& c : {Case{3, 6400000}, Case{1, 1600000}, Case{2, 4800000}, Case{0, 6400000}}) {
        base += s;
        at(base);
        start(1, c.edge, 1);
        at(base + 70 * ms);
        EXPECT_EQ(status().channelStates[2], 2u) << c.edge;
        EXPECT_EQ(counts()[2], c.ticks) << c.edge;
    }
}

TEST_F(Counter, PeriodSumsFreeRunningTicksForIntervalsNotAWholeNumberOfTicks) {
    start(1, 3, 0);
    at(100 * ms);
    // Channel 14: period 142857 ns = 14285.7 ticks; 64 of them read as
    // 914284 or 914285 depending on where they fall.
    EXPECT_NEAR(static_cast<double>(counts()[14]), 914284.8, 1.0);
    EXPECT_EQ(status().channelStates[14], 2u);
}

TEST_F(Counter, PeriodTimesOutWhenTheGateClosesFirst) {
    start(1, 3, 0); // 100 ms gate
    at(99 * ms);
    EXPECT_TRUE(status().busy);
    at(100 * ms);
    auto st = status();
    EXPECT_FALSE(st.busy);
    EXPECT_EQ(st.channelStates[0], 2u);  // 1 MHz
    EXPECT_EQ(st.channelStates[5], 5u);  // 1 Hz: 64 s needed
    EXPECT_EQ(st.channelStates[6], 5u);  // static low: no edges at all
    EXPECT_EQ(st.channelStates[12], 5u); // 10 Hz: its first interval ends as the gate closes
    EXPECT_EQ(counts()[12], 0);
}

TEST_F(Counter, PeriodIsBusyUntilEveryChannelIsFinal) {
    engine.closeModule(session);
    ASSERT_EQ(engine.openModule(session, "QVSIMR01"), vexengine::Result::ok);
    // 'r' channels 0..7 include 1 Hz and static ones: with a 10 s gate the
    // count stays busy until the gate closes.
    start(1, 3, 2);
    at(9 * s);
    EXPECT_TRUE(status().busy);
    EXPECT_EQ(states(), "22222111");
    at(10 * s);
    EXPECT_FALSE(status().busy);
    EXPECT_EQ(states(), "22222555");
}

TEST_F(Counter, EventCountIsReadableMidGate) {
    start(2, 3, 1); // 1 s gate
    at(250 * ms);
    auto st = status();
    EXPECT_TRUE(st.busy);
    EXPECT_EQ(st.channelStates[1], 1u);
    EXPECT_EQ(counts()[1], 250);
    EXPECT_EQ(counts()[0], 250000);
    at(2 * s);
    EXPECT_FALSE(status().busy);
    EXPECT_EQ(counts()[1], 1000);
    EXPECT_EQ(status().channelStates[1], 2u);
}

// A stop freezes the counts and marks forced stop only where no result was
// final yet; after the gate has closed it changes nothing.
TEST_F(Counter, StopFreezesTheCountsAndMarksUnfinishedChannels) {
    start(2, 3, 7);
    at(300 * ms);
    ASSERT_EQ(engine.stopCount(session), vexengine::Result::ok);
    at(900 * ms);
    EXPECT_FALSE(status().busy);
    EXPECT_EQ(states(), std::string(18, '3'));
    EXPECT_EQ(counts()[1], 300);
    EXPECT_EQ(counts()[0], 300000);

    at(1 * s);
    start(1, 3, 2); // period, 10 s gate
    at(1200 * ms);
    engine.stopCount(session);
    at(20 * s);
    const auto st = status();
    EXPECT_FALSE(st.busy);
    EXPECT_EQ(st.channelStates[0], 2u); // 1 MHz finished its 64 intervals
    EXPECT_EQ(st.channelStates[1], 2u); // 1 kHz too (64 ms)
    EXPECT_EQ(st.channelStates[5], 3u); // 1 Hz was still counting
    EXPECT_EQ(st.channelStates[12], 3u);
    EXPECT_EQ(counts()[12], 10000000); // one 100 ms interval completed before the stop

    start(0, 3, 0);
    at(21 * s);
    engine.stopCount(session);
    EXPECT_EQ(states(), std::string(18, '2'));
    EXPECT_EQ(counts()[0], 100000);
}

TEST_F(Counter, RestartReplacesTheRunningCountAndReopeningResets) {
    start(2, 3, 7);
    at(500 * ms);
    start(2, 3, 0);
    at(550 * ms);
    EXPECT_EQ(counts()[1], 50);
    ASSERT_EQ(engine.openModule(session, "QVSIMC01"), vexengine::Result::ok);
    EXPECT_EQ(states(), std::string(18, '0'));
    EXPECT_FALSE(status().busy);
    EXPECT_EQ(counts(), std::vector<int64_t>(18, 0));
}

} // namespace
