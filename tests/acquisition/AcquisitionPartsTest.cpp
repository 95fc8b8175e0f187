// The acquired module's pure parts, one table each: the transition table,
// count placement, stream health on an injected clock, device identity and
// the sample rate; and the loop's call() guard.
#include "AcquisitionLoop.h"
#include "AcquisitionState.h"
#include "CountPlacement.h"
#include "DeviceMatch.h"
#include "ReferenceWatch.h"
#include "SampleRate.h"
#include "StreamHealth.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using vexacq::CountPlacement;
using vexacq::StreamHealth;
using Fit = CountPlacement::Fit;
using S = vexacq::AcquisitionState;

TEST(AcquisitionState, TheTableAllowsTheLifecyclesPathsAndRefusesEveryOtherMove) {
    const std::vector<std::vector<S>> paths = {
        {S::idle, S::starting, S::running, S::stopping, S::idle}, // open, release
        {S::idle, S::starting, S::running, S::idle, S::starting}, // ended by itself, restart
        {S::idle, S::starting, S::lost, S::idle},                 // did not open; back
        {S::idle, S::starting, S::running, S::idle, S::lost},     // kept ending
        {S::idle, S::lost, S::idle, S::starting},                 // unplugged while idle
    };
    bool legal[5][5] = {};
    for (const auto& path : paths)
        for (size_t i = 1; i < path.size(); ++i) {
            EXPECT_TRUE(vexacq::legalTransition(path[i - 1], path[i]))
                << stateName(path[i - 1]) << " -> " << stateName(path[i]);
            legal[static_cast<int>(path[i - 1])][static_cast<int>(path[i])] = true;
        }
    // Nothing else: e.g. idle -> running, lost -> starting, stopping -> running.
    for (int from = 0; from < 5; ++from)
        for (int to = 0; to < 5; ++to)
            if (!legal[from][to]) {
                EXPECT_FALSE(vexacq::legalTransition(S(from), S(to)))
                    << stateName(S(from)) << " -> " << stateName(S(to));
            }
}

TEST(AcquisitionLoopDeathTest, CallFromTheLoopThreadAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            vexacq::AcquisitionLoop loop;
            loop.call([&] { loop.call([] {}); });
        },
        "call from the loop thread");
}

TEST(CountPlacement, ABufferDevicesGateFitsOneBufferAtTheHighestRateThatLetsIt) {
    const vexacq::RateChoices offered{{1000, 10'000, 100'000}};
    const CountPlacement::Buffers of1200{1200, offered, false, 8}; // samples a buffer
    struct Case {
        const char* what;
        int gateCode;
        CountPlacement::Buffers buffers;
        uint64_t rate; // the stream's, Hz
        Fit fit;
        uint64_t gateRate;
    };
    // clang-format off
    const Case cases[] = {
        {"100 ms of 1200 samples: 10 kHz, as now", 0, of1200, 10'000, Fit::restart, 10'000},
        {"1 s of 1200 samples: restart at 1 kHz", 1, of1200, 10'000, Fit::restart, 1000},
        {"10 s fits at no rate", 2, of1200, 10'000, Fit::refuse, 0},
        {"an endless gate", 7, of1200, 10'000, Fit::refuse, 0},
        {"the config's rate fits", 0, {1200, offered, true, 8}, 10'000, Fit::fits, 0},
        {"the config's rate does not", 1, {1200, offered, true, 8}, 10'000, Fit::refuse, 0},
        {"buffer size unknown", 1, {0, offered, false, 8}, 10'000, Fit::fits, 0},
        {"no rates known yet", 2, {1200, {}, false, 8}, 0, Fit::fits, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CountPlacement placement;
        placement.begin(vexengine::CountSettings{0, 3, c.gateCode, "--------"});
        EXPECT_EQ(placement.fitGate(c.buffers, c.rate), c.fit);
        EXPECT_EQ(placement.gateRate(), c.gateRate);
        EXPECT_EQ(placement.phase(), c.fit == Fit::refuse ? CountPlacement::Phase::refused
                                                          : CountPlacement::Phase::waiting);
        // Asked again at the rate it restarted at: it fits now.
        if (c.fit == Fit::restart) {
            EXPECT_EQ(placement.fitGate(c.buffers, c.gateRate), Fit::fits);
        }
    }
}

TEST(CountPlacement, ACountWaitsForTheReferencesLockAtMostTheWindowAndOneSecond) {
    // 10 periods or 1 s, plus 1 s; never more than 30 s.
    for (const auto& [hz, seconds] :
         std::vector<std::pair<double, double>>{{1e3, 2}, {5, 3}, {1, 11}, {0.5, 21}, {0.1, 30}})
        EXPECT_DOUBLE_EQ(vexacq::ReferenceWatch::waitSeconds(hz), seconds) << hz;

    using Start = CountPlacement::ReferenceStart;
    using enum CountPlacement::ReferenceStart;
    const struct {
        const char* what;
        std::vector<bool> locked; // before each 1000-sample packet
        std::vector<Start> starts;
    } cases[] = {
        // clang-format off
        {"locked at once", {true}, {referenced}},
        {"locks after two packets", {false, false, true}, {wait, wait, referenced}},
        {"waits 3000 samples, then counts without it",
         {false, false, false, false}, {wait, wait, wait, unreferenced}},
        {"a lock at the bound counts", {false, false, false, true}, {wait, wait, wait, referenced}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CountPlacement placement;
        placement.begin(vexengine::CountSettings{});
        std::vector<Start> starts;
        for (bool locked : c.locked)
            starts.push_back(placement.beforePacket(locked, 3000, 1000));
        EXPECT_EQ(starts, c.starts);
        placement.placed(starts.back() == Start::referenced);
        EXPECT_EQ(placement.referenced(), starts.back() == Start::referenced);
        // A new count starts its wait afresh, unreferenced until placed.
        placement.begin(vexengine::CountSettings{});
        EXPECT_FALSE(placement.referenced());
        EXPECT_EQ(placement.beforePacket(false, 3000, 1000), Start::wait);
    }
}

TEST(StreamHealth, APacketIsLateOnlyWhenMoreThan250msBehindTheStreamsPace) {
    struct Packet {
        std::chrono::milliseconds at; // since the stream's first packet
        uint64_t samples;             // at 10 kHz
    };
    const struct {
        const char* what;
        std::vector<Packet> packets;
        uint64_t late;
    } cases[] = {
        {"0.4 s after a packet of 0.1 s", {{0ms, 1000}, {100ms, 1000}, {500ms, 1000}}, 1},
        {"just within 250 ms", {{0ms, 1000}, {100ms, 1000}, {440ms, 1000}}, 0},
        {"a burst ahead of pace moves the pace up", {{0ms, 1000}, {10ms, 5000}, {350ms, 1000}}, 0},
        {"... and is late from there", {{0ms, 1000}, {10ms, 5000}, {400ms, 1000}}, 1},
        {"behind, then the pace starts afresh",
         {{0ms, 1000}, {500ms, 1000}, {600ms, 1000}, {1200ms, 1000}},
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const StreamHealth::Clock::time_point start{1s};
        auto now = start;
        StreamHealth health([&] { return now; });
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

TEST(DeviceMatch, SerialThenConnectionThenAnAbsentModuleNeverAPresentOne) {
    const struct {
        const char* what;
        std::vector<vexacq::ModuleIdentity> modules;
        std::vector<vexacq::DeviceIdentity> devices;
        std::vector<int> expected;
    } cases[] = {
        // clang-format off
        {"the same serial at another connection",
         {{"S1", "1.1", true}, {"S2", "1.2", true}}, {{"S2", "1.9"}, {"S1", "1.7"}}, {1, 0}},
        {"a serial number never takes a module by connection",
         {{"", "1.1", true}}, {{"S9", "1.1"}}, {-1}},
        {"without a serial: the same connection, the present module too",
         {{"", "1.1", false}, {"", "1.2", false}}, {{"", "1.2"}, {"", "1.1"}}, {1, 0}},
        {"without a serial at a new connection: an absent module",
         {{"", "1.1", false}, {"", "1.3", true}}, {{"", "1.7"}}, {1}},
        {"... never a present one's",
         {{"", "1.1", false}, {"S2", "1.2", true}}, {{"", "1.7"}}, {-1}},
        {"a connection match goes before an absent module",
         {{"", "1.3", true}, {"", "1.1", true}}, {{"", "1.9"}, {"", "1.1"}}, {0, 1}},
        {"each module takes one device",
         {{"S1", "1.1", true}}, {{"S1", "1.1"}, {"S1", "1.2"}}, {0, -1}},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(vexacq::matchDevices(c.modules, c.devices), c.expected) << c.what;
}

// The rate to acquire at: the highest offered up to the cap, or up to a limit.
TEST(SampleRate, HighestOfferedUpToTheCapFromListsAndRanges) {
    struct Case {
        const char* what;
        vexacq::RateChoices rates;
        int channels;
        uint64_t expected;
    };
    const Case cases[] = {
        {"list, 8 channels", {{1'000'000, 12'000'000, 24'000'000, 48'000'000}}, 8, 24'000'000},
        {"list, 16 channels", {{1'000'000, 12'000'000, 24'000'000, 48'000'000}}, 16, 12'000'000},
        {"list above the cap only", {{48'000'000, 96'000'000}}, 8, 48'000'000},
        {"range beyond the cap", {{}, 1000, 100'000'000, 1000}, 8, 24'000'000},
        {"range beyond the cap, 16 channels", {{}, 1000, 100'000'000, 1000}, 16, 12'000'000},
        {"range with an odd step", {{}, 20'000, 100'000'000, 30'000}, 8, 23'990'000},
        {"range without a step", {{}, 1'000'000, 50'000'000, 0}, 9, 12'000'000},
        {"range below the cap", {{}, 1000, 5'000'000, 1000}, 8, 5'000'000},
        {"nothing offered", {}, 8, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(vexacq::chooseSampleRate(c.rates, c.channels, 0), c.expected) << c.what;
    EXPECT_EQ(vexacq::chooseSampleRate(cases[0].rates, 8, 1'000'000), 1'000'000u);
    // Up to a limit as well (a gate that must fit a buffer): none may be.
    EXPECT_EQ(vexacq::highestRate(cases[3].rates, 8, 123'456), 123'000u);
    EXPECT_EQ(vexacq::highestRate(cases[0].rates, 8, 999'999), 0u);
}

} // namespace
