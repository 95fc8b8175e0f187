// The measures and the time base through the library (vexcountd and the
// built-in server) on a replayed capture with a 10 kHz reference, taken at a
// true 1 MHz by an analyser claiming 999 850 samples/s (+150 ppm fast).
#include "../acquisition/CaptureFixtures.h"
#include "RunCount.h"
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint64_t kClaimedRate = 999'850;                          // samples/s the capture claims
constexpr double kTrueRate = 1e6;                                   // samples/s it was taken at
constexpr double kOffsetPpm = (kTrueRate / kClaimedRate - 1) * 1e6; // +150.0225
// 0.1 s of true time: whole periods of both waves, so the loop has no seam.
constexpr size_t kSamples = 100'000;

// Channel 0: the 10 kHz reference, 50 %; channel 1: 25 kHz, 25 %; the others low.
std::vector<uint8_t> referencedSamples() {
    std::vector<uint8_t> samples(kSamples);
    for (size_t k = 0; k < kSamples; ++k)
        samples[k] = uint8_t(((k + 50) % 100 < 50) | ((k + 30) % 40 < 10) << 1);
    return samples;
}

class ReferenceMeasures : public ::testing::TestWithParam<bool> { // true: through vexcountd
protected:
    void SetUp() override {
        const std::string device = vexacq::testing::replayFixture(
            dir, referencedSamples(), kClaimedRate, GetParam(), ":speed=10:ref=10kHz@0");
        ASSERT_FALSE(device.empty());
        ASSERT_EQ(QV_Initialize(&handle), QV_OK);
        ASSERT_TRUE(vfctest::connectToDevice(handle, device, GetParam(), server));
        const auto deadline = Clock::now() + 5s;
        while (QV_OpenMod(handle, "QVRPLY01") != QV_OK) {
            ASSERT_LT(Clock::now(), deadline) << "the replay never appeared";
            std::this_thread::sleep_for(20ms);
        }
    }
    void TearDown() override { QV_Finalize(handle); }

    // Runs a count to its end and returns its measures (18 channels).
    std::vector<QV_ChannelMeasures> measuredCount(int32_t type, int32_t gate,
                                                  std::vector<int64_t>& counts) {
        std::vector<uint32_t> states;
        EXPECT_TRUE(vfctest::runCount(handle, type, gate, states, counts));
        std::vector<QV_ChannelMeasures> measures(18);
        for (QV_ChannelMeasures& m : measures)
            m.size = sizeof m;
        EXPECT_EQ(QV_FCGetMeasures(handle, measures.data(), 18), QV_OK);
        return measures;
    }

    vexacq::testing::TempDir dir;
    std::unique_ptr<vfctest::ServerProcess> server;
    int32_t handle = 0;
};

TEST_P(ReferenceMeasures, TheReferenceTimesEveryCountAndItsMeasures) {
    // The first count after opening is already timed by the reference: 25 000
    // periods of channel 1 in 1 s of true time (24 996 by the analyser's clock).
    std::vector<int64_t> counts, periodCounts; // period counts: 64 periods in 10 ns ticks
    const auto frequency = measuredCount(QV_COUNT_FREQUENCY, QV_GATE_1S, counts);
    const auto period = measuredCount(QV_COUNT_PERIOD, QV_GATE_100MS, periodCounts);
    struct Expected {
        int channel;
        int64_t count, periodCount;
        double frequency, positiveWidth, negativeWidth, duty, period;
    };
    for (const Expected& e : {Expected{0, 10'000, 640'000, 10e3, 50e-6, 50e-6, 0.5, 100e-6},
                              Expected{1, 25'000, 256'000, 25e3, 10e-6, 30e-6, 0.25, 40e-6}}) {
        SCOPED_TRACE(e.channel);
        const auto i = static_cast<size_t>(e.channel);
        const QV_ChannelMeasures& m = frequency[i];
        EXPECT_EQ(counts[i], e.count);
        EXPECT_EQ(periodCounts[i], e.periodCount);
        EXPECT_EQ(m.referenced, 1);
        EXPECT_NEAR(m.frequency, e.frequency, e.frequency * 1e-9); // 150 ppm off is 1.5e-4
        EXPECT_NEAR(m.positiveWidth, e.positiveWidth, 1e-12);
        EXPECT_NEAR(m.negativeWidth, e.negativeWidth, 1e-12);
        EXPECT_NEAR(m.duty, e.duty, 1e-9);
        EXPECT_TRUE(std::isnan(m.period)); // a frequency count has none
        EXPECT_NEAR(period[i].period, e.period, 1e-12);
    }
    EXPECT_TRUE(std::isnan(frequency[2].frequency)); // a steady input has neither
    EXPECT_TRUE(std::isnan(period[2].period));

    QV_TimeBase tb{};
    tb.size = sizeof tb;
    ASSERT_EQ(QV_GetTimeBase(handle, &tb), QV_OK);
    EXPECT_EQ(tb.channel, 0);
    EXPECT_EQ(tb.locked, 1);
    EXPECT_EQ(tb.referenceHz, 10e3);
    EXPECT_NEAR(tb.offsetPpm, kOffsetPpm, 0.01);
    EXPECT_NEAR(tb.measuredRate, kTrueRate, 0.01);
    EXPECT_EQ(tb.nominalRate, double(kClaimedRate));
}

INSTANTIATE_TEST_SUITE_P(Servers, ReferenceMeasures, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Vexcountd" : "BuiltIn"; });

} // namespace
