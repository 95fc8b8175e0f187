// The replay clock: which samples of a capture are due when, in packets
// that loop at the capture's end and never burst without bound after a stall.
#include "ReplayPacer.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using vexacq::ReplayPacer;
using Span = ReplayPacer::Span;
using std::chrono::milliseconds;

TEST(ReplayPacer, PlaysInRealTimeTimesSpeedInPacketsThatLoop) {
    struct Call {
        int64_t atMs;
        std::vector<Span> spans;
    };
    const struct {
        const char* name;
        uint64_t count, rate;
        double speed;
        std::vector<Call> calls;
        uint64_t loops;
    } cases[] = {
        // clang-format off
        {"real time, 1 MHz", 1'000'000, 1'000'000, 1,
         {{0, {}}, {10, {{0, 10'000}}}, {25, {{10'000, 10'000}, {20'000, 5000}}}, {25, {}}}, 0},
        {"loops at the end", 15'000, 1'000'000, 1,
         {{10, {{0, 10'000}}}, {20, {{10'000, 5000}, {0, 5000}}}, {30, {{5000, 10'000}}}}, 2},
        {"twice as fast", 1'000'000, 1'000'000, 2, {{10, {{0, 10'000}, {10'000, 10'000}}}}, 0},
        {"half as fast", 1'000'000, 1'000'000, 0.5, {{10, {{0, 5000}}}, {30, {{5000, 10'000}}}}, 0},
        {"a slow rate plays whole samples on time", 100, 3, 1,
         {{333, {}}, {334, {{0, 1}}}, {666, {}}, {667, {{1, 1}}}}, 0},
        {"one sample, looped", 1, 1000, 1, {{3, {{0, 1}, {0, 1}, {0, 1}}}}, 3},
        {"a short stall is made up", 1'000'000, 1'000'000, 1,
         {{10, {{0, 10'000}}},
          {60, {{10'000, 10'000}, {20'000, 10'000}, {30'000, 10'000}, {40'000, 10'000},
                {50'000, 10'000}}}}, 0},
        {"a bad speed plays at 1", 1'000'000, 1'000'000, -3, {{10, {{0, 10'000}}}}, 0},
        // clang-format on
    };
    for (const auto& c : cases) {
        ReplayPacer pacer(c.count, c.rate, c.speed);
        for (const Call& call : c.calls) {
            std::vector<Span> spans;
            pacer.due(milliseconds(call.atMs), spans);
            EXPECT_EQ(spans, call.spans) << c.name << " at " << call.atMs << " ms";
        }
        EXPECT_EQ(pacer.loops(), c.loops) << c.name;
        EXPECT_EQ(pacer.slipped().count(), 0) << c.name;
    }
}

TEST(ReplayPacer, LateOrTooFastCallsPlayABoundedAmountAndTheScheduleSlips) {
    // Five seconds late at 1 MHz: 100 ms of samples, no more, and the stream
    // goes on from where it was (nothing skipped), then keeps time again.
    ReplayPacer late(10'000'000, 1'000'000, 1);
    std::vector<Span> spans;
    EXPECT_EQ(late.due(milliseconds(10), spans), 10'000u);
    spans.clear();
    EXPECT_EQ(late.due(milliseconds(5010), spans), 100'000u);
    ASSERT_EQ(spans.size(), 10u);
    EXPECT_EQ(spans.front(), (Span{10'000, 10'000}));
    EXPECT_EQ(late.slipped(), milliseconds(4900));
    spans.clear();
    EXPECT_EQ(late.due(milliseconds(5020), spans), 10'000u);
    EXPECT_EQ(spans, (std::vector<Span>{{110'000, 10'000}}));

    // 12 MHz at 1000 times asks for 120 M samples per 10 ms: each call plays
    // its bound and the schedule falls behind.
    ReplayPacer fast(12'032'000, 12'000'000, 1000);
    for (int tick = 1; tick <= 5; ++tick)
        EXPECT_EQ(fast.due(milliseconds(10 * tick), spans), ReplayPacer::kMaxCallSamples);
    EXPECT_EQ(fast.samplesPlayed(), 5 * ReplayPacer::kMaxCallSamples);
    EXPECT_GT(fast.slipped(), milliseconds(40));
}

TEST(ReplayPacer, IrregularCallsGiveAContinuousStreamOfBoundedPackets) {
    // Whatever the calls' timing, the spans continue each other modulo the
    // capture, stay within one packet and the capture, and add up to what is
    // due (seeded, so a failure repeats).
    const struct {
        uint64_t count, rate;
        double speed;
    } cases[] = {{12'032'000, 12'000'000, 1}, {777, 1'000'000, 3.7}, {1'000'003, 44'100, 0.25}};
    std::mt19937 random(18);
    for (const auto& c : cases) {
        ReplayPacer pacer(c.count, c.rate, c.speed);
        uint64_t next = 0, total = 0;
        int64_t nowUs = 0;
        for (int i = 0; i < 2000; ++i) {
            nowUs += std::uniform_int_distribution<int64_t>(0, 30'000)(random);
            std::vector<Span> spans;
            const uint64_t n = pacer.due(std::chrono::microseconds(nowUs), spans);
            uint64_t sum = 0;
            for (const Span& span : spans) {
                ASSERT_EQ(span.first, next % c.count) << c.count;
                ASSERT_GT(span.count, 0u);
                ASSERT_LE(span.count, pacer.packetSamples());
                ASSERT_LE(span.first + span.count, c.count);
                next += span.count;
                sum += span.count;
            }
            ASSERT_EQ(sum, n);
            total += n;
        }
        const long double due = nowUs * 1e-6L * c.rate * c.speed;
        EXPECT_NEAR(static_cast<double>(total), static_cast<double>(due), 1.0) << c.count;
        EXPECT_EQ(pacer.samplesPlayed(), total);
    }
}

} // namespace
