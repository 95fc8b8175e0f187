// Stream health on an injected clock: late packets against the stream's
// pace, samples per second, silence, dropped streams.
#include "StreamHealth.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using vexacq::StreamHealth;

struct Packet {
    std::chrono::milliseconds at; // since the stream's first packet
    uint64_t samples;
};

TEST(StreamHealth, APacketIsLateOnlyWhenMoreThan250msBehindTheStreamsPace) {
    struct Case {
        const char* what;
        std::vector<Packet> packets; // at 10 kHz
        uint64_t late;
    };
    const Case cases[] = {
        {"on pace", {{0ms, 1000}, {100ms, 1000}, {200ms, 1000}, {300ms, 1000}}, 0},
        {"0.4 s after a packet of 0.1 s", {{0ms, 1000}, {100ms, 1000}, {500ms, 1000}}, 1},
        {"just within 250 ms", {{0ms, 1000}, {100ms, 1000}, {440ms, 1000}}, 0},
        {"a burst ahead of pace moves the pace up", {{0ms, 1000}, {10ms, 5000}, {350ms, 1000}}, 0},
        {"... and is late from there", {{0ms, 1000}, {10ms, 5000}, {400ms, 1000}}, 1},
        {"behind, then the pace starts afresh",
         {{0ms, 1000}, {500ms, 1000}, {600ms, 1000}, {1200ms, 1000}},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StreamHealth::Clock::time_point now{1s};
        StreamHealth health([&] { return now; });
        const auto start = now;
        health.newStream();
        for (const Packet& p : c.packets) {
            now = start + p.at;
            health.packet(p.samples, 10'000);
        }
        EXPECT_EQ(health.stats().latePackets, c.late);
    }
}

TEST(StreamHealth, SamplesPerSecondOverTheLastSecondAndNoneAfterASilence) {
    StreamHealth::Clock::time_point now{1s};
    StreamHealth health([&] { return now; });
    EXPECT_TRUE(health.stats().acquired);
    for (int i = 0; i <= 10; ++i) {
        health.packet(2400, 24'000); // 100 ms each
        if (i < 10) now += 100ms;
    }
    EXPECT_DOUBLE_EQ(health.stats().samplesPerSecond, 11 * 2400 / 1.0);
    now += 2001ms;
    EXPECT_EQ(health.stats().samplesPerSecond, 0);
    health.dropped();
    EXPECT_EQ(health.stats().droppedPackets, 1u);
    EXPECT_EQ(health.stats().samples, 11u * 2400u);
}

} // namespace
