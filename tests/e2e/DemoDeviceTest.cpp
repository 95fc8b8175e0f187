// libsigrok's demo device counted through the real library, on the built-in
// server (VEXIF_DEVICES=demo) and on a real vexcountd --device demo on a
// loopback port: the module is listed, opens, and counts its incremental
// pattern (channel k a square wave of S / 2^(k+1), S = 1 MHz, paced in real
// time) exactly; the module list answers at once whatever the discovery does.
#include "ServerProcess.h"
#include "vexif.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kRate = 1e6; // the demo device's sample rate, Hz
constexpr int kWords = 19;    // status words of a model 'c' module

class DemoDevice : public ::testing::TestWithParam<bool> { // true: through vexcountd
protected:
    void SetUp() override {
        ASSERT_EQ(QV_Initialize(&handle), QV_OK);
        if (GetParam()) {
            ASSERT_TRUE(server.start());
            ASSERT_EQ(QV_ConnectToServer(handle, "127.0.0.1", server.port()), QV_OK);
        } else {
            // Read when the process's built-in engine starts (first connection).
            ::setenv("VEXIF_DEVICES", "demo", 1);
            ASSERT_EQ(QV_ConnectToServer(handle, nullptr, 0), QV_OK);
        }
    }
    void TearDown() override { QV_Finalize(handle); }

    // Index of the demo module once discovery has listed it; -1 if not in 5 s.
    int32_t demoIndex() {
        const auto deadline = Clock::now() + 5s;
        do {
            int32_t count = 0;
            EXPECT_EQ(QV_ModCount(handle, &count), QV_OK);
            for (int32_t i = 0; i < count; ++i) {
                char name[QV_MODULE_NAME_SIZE] = {};
                char info[QV_MODULE_INFO_SIZE] = {};
                if (QV_ModInfo(handle, i, name, info) == QV_OK && std::string(name) == "QVDEMO01") {
                    EXPECT_EQ(std::string(info, 3), "cfp");
                    return i;
                }
            }
            std::this_thread::sleep_for(20ms);
        } while (Clock::now() < deadline);
        return -1;
    }

    // Runs a count to its end (bounded) and returns the counts of channels 0..7.
    std::vector<int64_t> count(int32_t type, int32_t gate,
                               std::vector<uint32_t>* states = nullptr) {
        EXPECT_EQ(QV_FCRun(handle, type, QV_EDGE_RISE_RISE, gate, "--------", 1), QV_OK);
        uint32_t words[kWords] = {};
        const auto deadline = Clock::now() + 3s;
        do {
            std::this_thread::sleep_for(10ms);
            EXPECT_EQ(QV_FCGetStatus(handle, words, kWords), QV_OK);
        } while ((words[0] & QV_STATUS_BUSY) && Clock::now() < deadline);
        EXPECT_FALSE(words[0] & QV_STATUS_BUSY) << "the count did not end";
        if (states) states->assign(words + 1, words + kWords);
        int64_t counts[18] = {};
        EXPECT_EQ(QV_FCGetCounts(handle, counts, 18), QV_OK);
        for (int k = 8; k < 18; ++k)
            EXPECT_EQ(counts[k], 0) << "absent channel " << k;
        return std::vector<int64_t>(counts, counts + 8);
    }

    vfctest::ServerProcess server{{"--device", "demo"}};
    int32_t handle = 0;
};

TEST_P(DemoDevice, IsListedOpensAndCountsItsPatternExactly) {
    ASSERT_GE(demoIndex(), 5) << "after the simulations";
    ASSERT_EQ(QV_OpenMod(handle, "QVDEMO01"), QV_OK);

    // Frequency, 100 ms gate: S / 2^(k+1) x 0.1 rising edges, within one.
    const auto frequency = count(QV_COUNT_FREQUENCY, QV_GATE_100MS);
    for (int k = 0; k < 8; ++k)
        EXPECT_NEAR(frequency[k], kRate / std::pow(2, k + 1) * 0.1, 1.0) << "channel " << k;

    // Period, rising to rising: 64 periods of 2^(k+1) samples in 10 ns ticks.
    std::vector<uint32_t> states;
    const auto period = count(QV_COUNT_PERIOD, QV_GATE_100MS, &states);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(period[k], std::llround(64 * std::pow(2, k + 1) * 1e8 / kRate)) << k;
        EXPECT_EQ(states[k], static_cast<uint32_t>(QV_CH_DONE)) << k;
    }

    // Events, infinite gate: the count grows while we watch (the demo device
    // delivers its samples every 100 ms or so).
    ASSERT_EQ(QV_FCRun(handle, QV_COUNT_EVENTS, QV_EDGE_RISE_RISE, QV_GATE_INFINITE, "--------", 1),
              QV_OK);
    int64_t counts[18] = {};
    std::vector<int64_t> seen;
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(150ms);
        ASSERT_EQ(QV_FCGetCounts(handle, counts, 18), QV_OK);
        seen.push_back(counts[7]);
    }
    EXPECT_GT(seen[1], seen[0]);
    EXPECT_GT(seen[2], seen[1]);
    ASSERT_EQ(QV_FCRun(handle, 0, 0, 0, nullptr, 0), QV_OK);
    EXPECT_EQ(QV_CloseMod(handle), QV_OK);
}

// Every QV_ModCount asks the discovery thread for a rescan and returns
// without waiting for it (a scan that is slow on purpose is tested in
// tests/acquisition).
TEST_P(DemoDevice, ModuleCountAsksForRescansWithoutWaiting) {
    ASSERT_GE(demoIndex(), 0);
    for (int i = 0; i < 20; ++i) {
        const auto start = Clock::now();
        int32_t count = 0;
        ASSERT_EQ(QV_ModCount(handle, &count), QV_OK);
        EXPECT_LT(Clock::now() - start, 50ms) << "call " << i;
        std::this_thread::sleep_for(5ms);
    }
}

INSTANTIATE_TEST_SUITE_P(BuiltInAndServer, DemoDevice, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Vexcountd" : "BuiltIn"; });

} // namespace
