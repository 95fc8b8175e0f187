// The acquisition source with the real libsigrok demo device (no hardware):
// discovery into an engine, counts of the incremental pattern (channel k is a
// square wave of S / 2^(k+1) at S = 1 MHz, paced in real time), an
// acquisition that ends by itself mid-count, and a list call during a slow
// scan.
#include "SigrokSource.h"
#include "Engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace {

using namespace std::chrono_literals;
using vexengine::Result;

constexpr double kRate = 1e6; // the demo device's sample rate here, Hz

// Polls until the count is no longer busy (at most timeout).
bool waitIdle(vexengine::Engine& engine, vexengine::SessionId session,
              std::chrono::milliseconds timeout = 3s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    vexengine::CounterStatus status;
    while (std::chrono::steady_clock::now() < deadline) {
        if (engine.counterStatus(session, 64, status) != Result::ok) return false;
        if (!status.busy) return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

struct DemoSource : ::testing::Test {
    void SetUp() override {
        vexacq::SourceOptions options;
        options.configs = {config};
        options.rescanInterval = rescanInterval;
        source = std::make_unique<vexacq::SigrokSource>(engine, options);
        ASSERT_TRUE(source->waitForScans(1, 10s));
        session = engine.openSession();
    }

    vexacq::DeviceConfig config{"demo", {}};
    std::chrono::milliseconds rescanInterval = 5s;
    vexengine::Engine engine;
    std::unique_ptr<vexacq::SigrokSource> source;
    vexengine::SessionId session = 0;
};

TEST_F(DemoSource, ListsTheDemoAsAModelCModuleAfterTheSimulations) {
    const auto modules = engine.modules();
    ASSERT_FALSE(modules.empty());
    EXPECT_EQ(modules.back().name, "QVDEMO01");
    EXPECT_EQ(modules.back().model, 'c');
    EXPECT_TRUE(modules.back().present);
    EXPECT_EQ(modules.front().name, "QVSIMC01");
}

TEST_F(DemoSource, CountsTheIncrementalPatternExactly) {
    ASSERT_EQ(engine.openModule(session, "QVDEMO01"), Result::ok);
    int channels = 0;
    ASSERT_EQ(engine.channelCount(session, channels), Result::ok);
    EXPECT_EQ(channels, 18);

    // Frequency, 100 ms gate: S / 2^(k+1) x 0.1 rising edges within one.
    ASSERT_EQ(engine.startCount(session, {0, 3, 0, "--------"}), Result::ok);
    ASSERT_TRUE(waitIdle(engine, session));
    std::vector<int64_t> counts;
    ASSERT_EQ(engine.counts(session, 64, counts), Result::ok);
    for (int k = 0; k < 8; ++k)
        EXPECT_NEAR(counts[k], kRate / std::pow(2, k + 1) * 0.1, 1.0) << "channel " << k;
    for (int k = 8; k < 18; ++k)
        EXPECT_EQ(counts[k], 0) << "absent channel " << k;

    // Period rising to rising: 64 periods of 2^(k+1) samples in 10 ns ticks.
    ASSERT_EQ(engine.startCount(session, {1, 3, 0, "--------"}), Result::ok);
    ASSERT_TRUE(waitIdle(engine, session));
    vexengine::CounterStatus status;
    ASSERT_EQ(engine.counterStatus(session, 64, status), Result::ok);
    ASSERT_EQ(engine.counts(session, 64, counts), Result::ok);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(counts[k], std::llround(64 * std::pow(2, k + 1) * 1e8 / kRate)) << k;
        EXPECT_EQ(status.channelStates[k], 2u) << k;
    }
    EXPECT_EQ(status.channelStates[8], 0u);

    // Events, infinite gate: growing while we watch (the demo device delivers
    // its samples every 100 ms), frozen by stop.
    ASSERT_EQ(engine.startCount(session, {2, 3, 7, "--------"}), Result::ok);
    std::this_thread::sleep_for(150ms);
    ASSERT_EQ(engine.counts(session, 64, counts), Result::ok);
    const int64_t first = counts[0];
    std::this_thread::sleep_for(150ms);
    ASSERT_EQ(engine.counts(session, 64, counts), Result::ok);
    EXPECT_GT(first, 0);
    EXPECT_GT(counts[0], first);
    ASSERT_EQ(engine.stopCount(session), Result::ok);
    ASSERT_EQ(engine.counterStatus(session, 64, status), Result::ok);
    EXPECT_FALSE(status.busy);

    std::string pins;
    ASSERT_EQ(engine.pinStatus(session, 64, pins), Result::ok);
    EXPECT_EQ(pins.substr(0, 1), "B");
    EXPECT_EQ(pins.substr(8), std::string(10, '0'));
}

// A demo limited to 200 000 samples ends its acquisition by itself after
// 0.2 s, as an unplugged analyser does: the count fails with moduleGone, the
// module is released and listed not present, and a rescan brings it back.
struct EndingDemo : DemoSource {
    EndingDemo() {
        config = vexacq::DeviceConfig{"demo", {{"limit_samples", "200000"}}};
        rescanInterval = 100ms;
    }
};

TEST_F(EndingDemo, AnAcquisitionThatEndsMidCountFailsTheHoldersCalls) {
    ASSERT_EQ(engine.openModule(session, "QVDEMO01"), Result::ok);
    ASSERT_EQ(engine.startCount(session, {2, 3, 7, "--------"}), Result::ok);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    Result result = Result::ok;
    std::vector<int64_t> counts;
    while (result == Result::ok && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
        result = engine.counts(session, 64, counts);
    }
    EXPECT_EQ(result, Result::moduleGone);
    bool open = true;
    EXPECT_EQ(engine.isModuleOpen(session, open), Result::ok);
    EXPECT_FALSE(open);
    // Not present any more: opening it is refused. (Reading the list here
    // would race with the rescan that may already bring it back.)
    EXPECT_EQ(engine.openModule(session, "QVDEMO01"), Result::noSuchModule);

    // Asking for the list asks for a rescan, which finds the device again.
    const int scans = source->scansDone();
    engine.modules();
    ASSERT_TRUE(source->waitForScans(scans + 1, 5s));
    EXPECT_TRUE(engine.modules().back().present);
    EXPECT_EQ(engine.modules().back().name, "QVDEMO01");
    EXPECT_EQ(engine.openModule(session, "QVDEMO01"), Result::ok);
}

TEST(SlowScan, ListingTheModulesNeverWaitsForAScan) {
    vexengine::Engine engine;
    vexacq::SourceOptions options;
    options.configs = {vexacq::DeviceConfig{"demo", {}}};
    options.beforeScan = [] { std::this_thread::sleep_for(1500ms); };
    vexacq::SigrokSource source(engine, options);
    std::this_thread::sleep_for(50ms); // the first scan is under way
    const auto before = std::chrono::steady_clock::now();
    const int count = engine.moduleCount();
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_EQ(count, 5); // the simulations; the demo is not found yet
    EXPECT_LT(took, 50ms);
    EXPECT_EQ(source.scansDone(), 0);
}

} // namespace
