// Recorded captures counted through the real library: a session file written
// at test time played by a real vexcountd (--device replay:file=...), and a
// raw binary file in the built-in server (VEXIF_DEVICES). The capture loops
// without a seam, so every count is exact: a sample lost, repeated or
// reordered anywhere in the replay path changes one.
#include "../acquisition/CaptureFixtures.h"
#include "RunCount.h"
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint64_t kRate = 1'000'000; // Hz
// 0.1 s: a whole number of periods of every channel, so the loop has no seam.
constexpr size_t kSamples = 100'000;

// Channel 0: period 10 samples (100 kHz); channel 1: period 16 (62.5 kHz);
// channel 2: always high; channels 3-7: low. No rising edge falls on sample
// 0, so a gate of whole periods holds the same number of rising edges
// whether it starts at the stream's first sample (which has no edge) or
// later.
std::vector<uint8_t> fixtureSamples() {
    std::vector<uint8_t> samples(kSamples);
    for (size_t k = 0; k < kSamples; ++k)
        samples[k] = uint8_t(((k + 5) % 10 < 5) | ((k + 8) % 16 < 8) << 1 | 1 << 2);
    return samples;
}

struct Fixture {
    bool server; // through vexcountd, else the built-in server
    const char* format;

    friend std::ostream& operator<<(std::ostream& out, const Fixture& f) {
        return out << (f.server ? "vexcountd, " : "built-in, ") << f.format;
    }
};

class ReplayDevice : public ::testing::TestWithParam<Fixture> {
protected:
    void SetUp() override {
        const std::string device = vexacq::testing::replayFixture(
            dir, fixtureSamples(), kRate, std::string(GetParam().format) == "sr", ":speed=10");
        ASSERT_FALSE(device.empty());
        ASSERT_EQ(QV_Initialize(&handle), QV_OK);
        ASSERT_TRUE(vfctest::connectToDevice(handle, device, GetParam().server, server));
    }
    void TearDown() override { QV_Finalize(handle); }

    // Opens the module once the server has found it (within 5 s).
    bool opened(const char* module) {
        const auto deadline = Clock::now() + 5s;
        while (QV_OpenMod(handle, module) != QV_OK) {
            if (Clock::now() > deadline) return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    // Runs a count to its end; counts of channels 0-7 (8-17 are absent).
    std::vector<int64_t> count(int32_t type, int32_t gate, std::vector<uint32_t>& states) {
        std::vector<int64_t> counts;
        EXPECT_TRUE(vfctest::runCount(handle, type, gate, states, counts));
        counts.resize(18);
        EXPECT_EQ(std::vector<int64_t>(counts.begin() + 8, counts.end()), std::vector<int64_t>(10));
        counts.resize(8);
        return counts;
    }

    vexacq::testing::TempDir dir;
    std::unique_ptr<vfctest::ServerProcess> server;
    int32_t handle = 0;
};

TEST_P(ReplayDevice, CountsTheRecordingExactlyAcrossItsLoops) {
    ASSERT_TRUE(opened("QVRPLY01"));
    std::vector<uint32_t> states;

    // 1 s of the recording (ten loops, 0.1 s of wall time at speed 10).
    const auto frequency = count(QV_COUNT_FREQUENCY, QV_GATE_1S, states);
    EXPECT_EQ(frequency, (std::vector<int64_t>{100'000, 62'500, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(states[0], uint32_t(QV_CH_DONE));

    // 64 periods in 10 ns ticks: 640 and 1024 samples at 1 MHz.
    const auto period = count(QV_COUNT_PERIOD, QV_GATE_100MS, states);
    EXPECT_EQ(period[0], 64'000);
    EXPECT_EQ(period[1], 102'400);
    EXPECT_EQ(states[0], uint32_t(QV_CH_DONE));
    EXPECT_EQ(states[1], uint32_t(QV_CH_DONE));
    EXPECT_EQ(QV_CloseMod(handle), QV_OK);

    // Closed and opened again at once: the replay starts afresh.
    ASSERT_EQ(QV_OpenMod(handle, "QVRPLY01"), QV_OK);
    EXPECT_EQ(count(QV_COUNT_FREQUENCY, QV_GATE_100MS, states)[0], 10'000);
    EXPECT_EQ(QV_CloseMod(handle), QV_OK);
}

INSTANTIATE_TEST_SUITE_P(Files, ReplayDevice,
                         ::testing::Values(Fixture{true, "sr"}, Fixture{false, "binary"}),
                         [](const auto& info) {
                             return std::string(info.param.server ? "Vexcountd" : "BuiltIn") + "_" +
                                    info.param.format;
                         });

TEST(ReplayDeviceConfig, AFileThatCannotBeReadIsNamedWithTheReasonInTheServersLog) {
    vfctest::ServerProcess server({"--device", "replay:file=/nonexistent/capture.sr"});
    ASSERT_TRUE(server.start());
    const auto deadline = Clock::now() + 5s;
    while (server.log().find("no such file") == std::string::npos && Clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    EXPECT_NE(server.log().find("capture '/nonexistent/capture.sr': no such file"),
              std::string::npos)
        << server.log();
}

} // namespace
