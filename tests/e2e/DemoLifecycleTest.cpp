// The demo device's acquisition life through a real vexcountd: two clients
// take turns opening, counting and closing the module (each close followed at
// once by the other's open), and every period count is exact; a frequency
// count right after a reopen has no edge more than the pattern.
#include "ServerProcess.h"
#include "vexif.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kRate = 1e6; // the demo device's sample rate, Hz
constexpr int kWords = 19;    // status words of a model 'c' module

class DemoLifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        for (int32_t& h : handles) {
            ASSERT_EQ(QV_Initialize(&h), QV_OK);
            ASSERT_EQ(QV_ConnectToServer(h, "127.0.0.1", server.port()), QV_OK);
        }
        ASSERT_TRUE(server.waitForLog("QVDEMO01"));
    }
    void TearDown() override {
        for (int32_t h : handles)
            QV_Finalize(h);
    }

    // Runs a count on h to its end (bounded); the states and counts of 0..7.
    bool count(int32_t h, int32_t type, int32_t gate, std::vector<uint32_t>& states,
               std::vector<int64_t>& counts) {
        if (QV_FCRun(h, type, QV_EDGE_RISE_RISE, gate, "--------", 1) != QV_OK) return false;
        uint32_t words[kWords] = {};
        const auto deadline = Clock::now() + 3s;
        do {
            std::this_thread::sleep_for(5ms);
            if (QV_FCGetStatus(h, words, kWords) != QV_OK) return false;
        } while ((words[0] & QV_STATUS_BUSY) && Clock::now() < deadline);
        int64_t c[18] = {};
        if (QV_FCGetCounts(h, c, 18) != QV_OK) return false;
        states.assign(words + 1, words + 9);
        counts.assign(c, c + 8);
        return !(words[0] & QV_STATUS_BUSY);
    }

    vfctest::ServerProcess server{{"--device", "demo"}};
    int32_t handles[2] = {0, 0};
};

TEST_F(DemoLifecycle, TwoClientsTakeTurnsAHundredTimesAndEveryPeriodCountIsExact) {
    std::vector<uint32_t> states;
    std::vector<int64_t> counts;
    for (int cycle = 0; cycle < 100; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        const int32_t h = handles[cycle % 2];
        ASSERT_EQ(QV_OpenMod(h, "QVDEMO01"), QV_OK);
        ASSERT_TRUE(count(h, QV_COUNT_PERIOD, QV_GATE_100MS, states, counts));
        for (int k = 0; k < 8; ++k) {
            // 64 periods of 2^(k+1) samples, in 10 ns ticks.
            ASSERT_EQ(counts[k], std::llround(64 * std::pow(2, k + 1) * 1e8 / kRate)) << k;
            ASSERT_EQ(states[k], static_cast<uint32_t>(QV_CH_DONE)) << k;
        }
        ASSERT_EQ(QV_CloseMod(h), QV_OK);
    }
    const std::string log = server.log();
    EXPECT_EQ(log.find("lost"), std::string::npos) << log;
    EXPECT_EQ(log.find("ended by itself"), std::string::npos) << log;
    EXPECT_EQ(log.find("could not start"), std::string::npos) << log;
}

// 100 ms at 1 MHz: channels 0-4 (periods of 2 to 32 samples, which divide the
// gate) have exactly 100000 / 2^(k+1) rising edges whatever the phase; one
// edge more (say from comparing the first sample with an earlier stream's
// last one) fails. Channels 5-7 lie between the floor and the ceiling.
TEST_F(DemoLifecycle, FrequencyCountsRightAfterAReopenHaveNoEdgeTooMany) {
    std::vector<uint32_t> states;
    std::vector<int64_t> counts;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const int32_t h = handles[round % 2];
        ASSERT_EQ(QV_OpenMod(h, "QVDEMO01"), QV_OK);
        ASSERT_TRUE(count(h, QV_COUNT_FREQUENCY, QV_GATE_100MS, states, counts));
        for (int k = 0; k < 8; ++k) {
            const double exact = kRate * 0.1 / std::pow(2, k + 1);
            if (k <= 4)
                EXPECT_EQ(counts[k], static_cast<int64_t>(exact)) << k;
            else
                EXPECT_TRUE(counts[k] == std::floor(exact) || counts[k] == std::ceil(exact))
                    << k << ": " << counts[k];
            EXPECT_EQ(states[k], static_cast<uint32_t>(QV_CH_DONE)) << k;
        }
        ASSERT_EQ(QV_CloseMod(h), QV_OK);
    }
}

} // namespace
