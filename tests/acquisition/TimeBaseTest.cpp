// The streaming counter's time base and measures on synthetic streams of a
// known truth: a sample clock off by a known amount, a reference of known
// frequency, PWM of known widths; and the reference estimator's lock rules.
#include "ReferenceEstimator.h"
#include "StreamCounter.h"
#include "SynthStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using vexacq::ReferenceEstimator;
using vexacq::StreamCounter;
using vexacq::synth::Synth;
using vexacq::synth::Wave;
using vexengine::ChannelMeasures;
using vexengine::CountSettings;

constexpr int kChannels = 18;

// Runs a count (frequency unless `type` says otherwise) of `gateCode` from
// now on, feeding packets of `packet` samples until it ends.
void runCount(StreamCounter& counter, Synth& synth, int gateCode, size_t packet, int type = 0) {
    counter.start(CountSettings{type, 3, gateCode, "--------"});
    vexengine::CounterStatus status;
    for (int i = 0; i < 1000000; ++i) {
        synth.feed(counter, packet);
        counter.status(status);
        if (!status.busy) return;
    }
    FAIL() << "the count did not end";
}

TEST(TimeBase, AReferenceCorrectsASampleClock150PpmOff) {
    struct Case {
        const char* what;
        uint64_t nominal; // the rate the device claims, Hz
        Wave reference;   // hz: the reference's nominal frequency
        std::vector<Wave> measured;
        unsigned unitsize = 1;    // 2: 16 channels
        double regression = 1e-9; // bound, relative: the reference's own fit is this fine
    };
    // clang-format off
    const Case cases[] = {
        {"1 kHz reference", 24000000, {0, 1e3}, {{1, 1.0}, {2, 5e6, 0.4}, {3, 1000.0123}}, 1, 1e-8},
        {"10 MHz reference", 24000000, {7, 10e6}, {{1, 1.0}, {2, 5e6, 0.4}, {3, 100e3, 0.1}}},
        // One reference edge per gate: the regression converts with the estimate.
        {"1 PPS reference", 2000000, {3, 1.0, 0.1}, {{0, 100e3}, {1, 1000.0123, 0.3}}, 1, 1e-7},
        {"1 kHz reference, 16 channels", 2000000, {11, 1e3},
         {{9, 1.0}, {15, 100e3, 0.2}, {3, 1000.0123}}, 2, 1e-8},
    };
    // clang-format on
    const double offset = 150e-6; // the sample clock runs fast by this much
    for (const Case& c : cases) {
        for (const bool withReference : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (withReference ? "" : ", not configured"));
            std::vector<Wave> waves = c.measured;
            waves.push_back(c.reference);
            Synth synth(c.nominal * (1 + static_cast<long double>(offset)), waves, c.unitsize);
            StreamCounter counter(8 * static_cast<int>(c.unitsize), kChannels);
            counter.setSampleRate(c.nominal);
            if (withReference) counter.setReference(c.reference.channel, c.reference.hz);
            const size_t packet = c.nominal / 1000;
            // Until locked: the window (1 s or 10 periods) from the first edge.
            const double window = std::max(1.0, 10 / c.reference.hz) + 1 / c.reference.hz;
            for (int ms = 0; ms < window * 1000 + 50; ++ms)
                synth.feed(counter, packet);
            const vexengine::TimeBase base = counter.timeBase();
            EXPECT_EQ(base.external, withReference);
            EXPECT_EQ(base.locked, withReference);
            if (withReference) {
                EXPECT_NEAR(base.offsetPpm, 150, 0.1);
            }

            runCount(counter, synth, 1, packet);
            std::vector<int64_t> counts;
            counter.counts(counts);
            std::vector<ChannelMeasures> measures;
            counter.measures(measures);
            const double scale = withReference ? 1 : 1 / (1 + offset);      // what a reading shows
            const double resolution = 1.0 / static_cast<double>(c.nominal); // one sample per 1 s
            for (const Wave& w : c.measured) {
                SCOPED_TRACE(w.hz);
                const double truth = w.hz * scale;
                EXPECT_NEAR(static_cast<double>(counts[w.channel]), truth, 1e-7 * truth + 1);
                if (w.hz < 2) continue; // a 1 PPS has one period per gate at most
                EXPECT_NEAR(measures[w.channel].reciprocalHz / truth, 1, 1e-7 + resolution);
                EXPECT_NEAR(measures[w.channel].duty, w.duty, w.hz * 2 / c.nominal);
                EXPECT_NEAR(measures[w.channel].regressionHz / truth, 1,
                            withReference ? c.regression : 1e-8);
                EXPECT_EQ(measures[w.channel].referenced, withReference);
            }
            if (!withReference) { // really 150 ppm off, not within the tolerance
                const Wave& w = c.measured[1];
                EXPECT_GT(std::abs(measures[w.channel].reciprocalHz / w.hz - 1), 140e-6);
            }
            // Period counts: 64 periods in 10 ns ticks, within a sample and a tick.
            runCount(counter, synth, 1, packet, 1);
            counter.counts(counts);
            for (const Wave& w : c.measured) {
                if (w.hz < 2) continue;
                SCOPED_TRACE(w.hz);
                const double ticks = 64e8 / (w.hz * scale);
                EXPECT_NEAR(static_cast<double>(counts[w.channel]), ticks,
                            1e8 / static_cast<double>(c.nominal) + 1 + 1e-7 * ticks);
            }
        }
    }
}

TEST(TimeBase, ReciprocalResolvesOneSamplePerGate) {
    // 1000.0123 Hz at 24 MHz in a 1 s gate: counting edges reads 1000 or
    // 1001, the reciprocal reads to 1e-7.
    Synth synth(24e6, {{0, 1000.0123, 0.5, 0.9}});
    StreamCounter counter(8, kChannels);
    counter.setSampleRate(24000000);
    synth.feed(counter, 1000);
    runCount(counter, synth, 1, 24000);
    std::vector<ChannelMeasures> m;
    counter.measures(m);
    EXPECT_NEAR(m[0].reciprocalHz / 1000.0123, 1, 1e-7);
    EXPECT_TRUE(std::isnan(m[1].reciprocalHz)); // static
    EXPECT_TRUE(std::isnan(m[8].duty));         // absent
}

TEST(TimeBase, PulseWidthsAndDutyOfPwmAreExactToASample) {
    struct Case {
        int period, high; // samples
        unsigned unitsize;
        int channel;
    };
    const Case cases[] = {
        {1000, 10, 1, 0}, {1000, 500, 1, 5}, {1000, 990, 2, 9}, {7, 3, 2, 15}, {3, 1, 1, 2}};
    const uint64_t rate = 24000000;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.high << "/" << c.period);
        StreamCounter counter(8 * static_cast<int>(c.unitsize), kChannels);
        counter.setSampleRate(rate);
        counter.start(CountSettings{0, 3, 0, "--------"}); // 100 ms
        // Edges half a sample before whole samples: exactly high of period samples.
        const double s = static_cast<double>(rate), period = c.period;
        Synth synth(rate, {{c.channel, s / period, c.high / period, 0.5 / period}}, c.unitsize);
        std::mt19937 rng(c.period);
        for (uint64_t n = 0; n < rate / 10 + 10;) { // random packet sizes, then past the gate
            const size_t count = std::uniform_int_distribution<size_t>(1, 5000)(rng);
            synth.feed(counter, count);
            n += count;
        }
        std::vector<ChannelMeasures> m;
        counter.measures(m);
        EXPECT_DOUBLE_EQ(m[c.channel].positiveWidth, c.high / s);
        EXPECT_DOUBLE_EQ(m[c.channel].negativeWidth, (period - c.high) / s);
        EXPECT_DOUBLE_EQ(m[c.channel].duty, c.high / period);
        EXPECT_DOUBLE_EQ(m[c.channel].reciprocalHz, s / period);
    }
}

TEST(TimeBase, RegressionResolvesFinerThanOneSamplePerGate) {
    // One sample per gate at 24 MS/s: 4.2e-7 in 0.1 s, 4.2e-8 in 1 s. Bounds
    // relative to the truth, with and without 1 ns rms of edge jitter.
    const struct {
        double hz; // nominal; the truth is off by an irrational ratio
        int gateCode;
        double bound;
    } rows[] = {{1e3, 0, 1e-7}, {1e3, 1, 5e-9}, {1e5, 1, 3e-10}, {1e6, 1, 1e-9}, {5e6, 1, 1e-9}};
    const uint64_t rate = 24000000;
    const double golden = (std::sqrt(5.0) - 1) / 2 * 1e-3;
    for (const auto& r : rows) {
        for (const double jitter : {0.0, 1e-9}) {
            const double truth = r.hz * (1 + golden);
            SCOPED_TRACE(testing::Message()
                         << truth << " Hz, gate " << r.gateCode << ", jitter " << jitter);
            const ChannelMeasures m =
                vexacq::synth::countWave(rate, Wave{0, truth, 0.5, 0.25, jitter}, r.gateCode);
            EXPECT_LT(std::abs(m.regressionHz / truth - 1), r.bound);
            EXPECT_NEAR(m.reciprocalHz / truth, 1, 1.5 / (rate * (r.gateCode ? 1 : 0.1)));
        }
    }
    // The worst case, 0.05 ppm off 24 MS/s / 24: the edges' phases barely
    // move, yet the fit is no worse than one sample per gate.
    const double nearFraction = 1e6 * (1 + 5e-8);
    const ChannelMeasures m = vexacq::synth::countWave(rate, Wave{0, nearFraction}, 1);
    EXPECT_LT(std::abs(m.regressionHz / nearFraction - 1), 1.0 / rate);
}

// The estimator on analytic edges: a reference of `hz` seen by a clock
// running `ratio` times its nominal rate, delivered in 1 ms batches.
struct EdgeSource {
    double nominal, hz, ratio;
    double next = 0.3; // sample position of the next edge
    uint64_t position = 0;

    void run(ReferenceEstimator& e, double seconds, bool edges = true) {
        const double perCycle = nominal * ratio / hz;
        const auto batch = static_cast<uint64_t>(nominal / 1000);
        for (double t = 0; t < seconds; t += 1e-3) {
            const uint64_t end = position + batch;
            uint64_t first = 0, last = 0, count = 0;
            for (; std::ceil(next) < static_cast<double>(end); next += perCycle) {
                const auto at = static_cast<uint64_t>(std::ceil(next));
                if (count++ == 0) first = at;
                last = at;
            }
            if (edges && count) e.addEdges(first, last, count);
            e.advance(end);
            position = end;
        }
    }
};

TEST(TimeBase, ReferenceLocksUnlocksAndRelocks) {
    struct Step {
        double ratio;   // sample clock / nominal (or reference off by the inverse)
        double seconds; // how long
        bool edges;     // the reference delivers edges
        bool locked;    // afterwards
    };
    struct Case {
        const char* what;
        double nominal, hz;
        std::vector<Step> steps;
    };
    constexpr double fast = 1.00015; // 150 ppm
    // clang-format off
    const Case cases[] = {
        {"not before a full window", 1e6, 1e3, {{fast, 0.9, true, false}, {fast, 0.2, true, true}}},
        {"reference stops, comes back", 24e6, 10e6,
         {{fast, 1.1, true, true}, {fast, 0.02, false, false}, {fast, 0.5, true, false},
          {fast, 0.6, true, true}}},
        {"a short pause is no gap", 1e6, 1e3,
         {{1, 1.1, true, true}, {1, 0.008, false, true}, {1, 0.1, true, true}}},
        {"1 % off unlocks, 0.5 % does not", 1e6, 1e3,
         {{1, 1.1, true, true}, {1.005, 1.1, true, true}, {1.0101, 1.1, true, false},
          {1.005, 1.1, true, false}, {1.0002, 1.1, true, true}}},
        {"never locks 0.5 % off", 1e6, 1e3, {{0.995, 3, true, false}}},
        {"1 PPS: ten periods", 1e6, 1,
         {{1.0001, 9.5, true, false}, {1.0001, 1.2, true, true}, {1.0001, 2.2, false, false}}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ReferenceEstimator estimator(c.hz, c.nominal);
        EdgeSource source{c.nominal, c.hz, 1};
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            source.ratio = s.ratio;
            source.run(estimator, s.seconds, s.edges);
            EXPECT_EQ(estimator.locked(), s.locked) << "step " << i;
            // A window wholly of this step reads its offset (a pause inside
            // the window costs the cycles it hid).
            const double window = std::max(1.0, 10 / c.hz);
            if (estimator.locked() && s.seconds >= window) {
                EXPECT_NEAR(estimator.offsetPpm(), (s.ratio - 1) * 1e6, 0.2) << "step " << i;
                EXPECT_DOUBLE_EQ(estimator.rate(), estimator.estimate());
            } else if (!estimator.locked()) {
                EXPECT_EQ(estimator.rate(), c.nominal);
                EXPECT_EQ(estimator.offsetPpm(), 0);
            }
        }
    }
}

} // namespace
