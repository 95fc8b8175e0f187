// The measurement cycle against the real library and its built-in server: real
// counts of a simulated module in real time. Only the results that the signal
// table predicts whatever the gate's phase are compared exactly.
#include "counter/MeasurementCycle.h"

#include "TModIfCpp.h"
#include "counter/ResultText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

// Periods (ns) of channels 0 to 17 of the simulated modules; 0 = static.
constexpr int64_t kPeriodNs[18] = {1000,      1000000, 1000000, 100000,   10000, 1000000000,
                                   0,         0,       100,     80,       20000, 500000,
                                   100000000, 3000000, 142857,  10000000, 200,   40000};

class Host : public CycleHost {
public:
    int32_t handle = 0;
    int32_t n = 0;
    CounterSettings settings;
    std::vector<std::string> results = std::vector<std::string>(18);
    std::vector<std::string> stateTexts;
    int closes = 0;

    int32_t libraryHandle() const override { return handle; }
    int32_t channelCount() const override { return n; }
    CounterSettings counterSettings() const override { return settings; }
    bool continuousChecked() const override { return false; }
    char channelCode(int32_t) const override { return '-'; }
    int32_t rowCount() const override { return n + 1; }
    void setResultHeading(std::string_view) override {}
    void writeResult(int32_t channel, std::string_view text) override {
        results.at(static_cast<size_t>(channel)) = text;
    }
    void setRunStateText(std::string_view text) override {
        if (stateTexts.empty() || stateTexts.back() != text) stateTexts.emplace_back(text);
    }
    void enableRunStop(bool, bool) override {}
    void closeModule() override { ++closes; }
};

// Each channel's result is the text of the rising edges that a 100 ms gate
// holds: exact where a whole number of periods fills the gate (the same number
// of edges wherever it starts), one of the two neighbours elsewhere.
template <typename MakeText>
void expectEdgesOf100ms(const std::vector<std::string>& results, MakeText makeText) {
    constexpr int64_t kGateNs = 100000000;
    for (size_t i = 0; i < 18; ++i) {
        SCOPED_TRACE(i);
        const int64_t period = kPeriodNs[i];
        if (period == 0) {
            EXPECT_EQ(results[i], makeText(0));
        } else if (kGateNs % period == 0) {
            EXPECT_EQ(results[i], makeText(kGateNs / period));
        } else {
            const int64_t edges = kGateNs / period;
            EXPECT_TRUE(results[i] == makeText(edges) || results[i] == makeText(edges + 1))
                << results[i];
        }
    }
}

class CycleOnLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        host.handle = library.handle();
        ASSERT_EQ(QV_ConnectToServer(host.handle, nullptr, 0), QV_OK);
        ASSERT_EQ(QV_OpenMod(host.handle, "QVSIMC01"), QV_OK);
        QV_ModuleInfo info{};
        ASSERT_EQ(QV_Info('c', &info, sizeof info), QV_OK);
        host.n = info.channelCount;
        ASSERT_EQ(host.n, 18);
    }

    // Runs one count at the 100 ms tick until it ends; false after 5 s.
    bool runCount() {
        cycle.UpdateCounter(false, true, false);
        for (int ticks = 0; ticks < 50 && cycle.runState() == 1; ++ticks) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            cycle.UpdateCounter(false, false, false);
        }
        return cycle.runState() == 0;
    }

    TModIfCpp library;
    Host host;
    MeasurementCycle cycle{host};
};

} // namespace

TEST_F(CycleOnLibrary, FrequencyCountOf100ms) {
    host.settings = {QV_COUNT_FREQUENCY, QV_GATE_100MS, QV_EDGE_RISE_RISE, 14};
    ASSERT_TRUE(runCount());
    EXPECT_EQ(host.closes, 0);
    // A 100 ms gate may close before the first tick polls it.
    ASSERT_GE(host.stateTexts.size(), 2u);
    EXPECT_EQ(host.stateTexts.front(), "Running");
    EXPECT_EQ(host.stateTexts.back(), "Frequency Count Finished");
    EXPECT_LE(host.stateTexts.size(), 3u);
    expectEdgesOf100ms(host.results, [](int64_t edges) { return FrequencyText(edges, 0); });
    EXPECT_EQ(host.results[8], "10000000|Hz$[ period: 100.0 ns ]");

    cycle.UpdateCounter(false, false, false);
    EXPECT_EQ(host.stateTexts.back(), "Idle");
}

TEST_F(CycleOnLibrary, PeriodCountOf1sWritesChannelsAsTheyFinish) {
    host.settings = {QV_COUNT_PERIOD, QV_GATE_1S, QV_EDGE_RISE_RISE, 14};
    ASSERT_TRUE(runCount());
    EXPECT_EQ(host.closes, 0);
    EXPECT_EQ(host.stateTexts.back(), "Period Count Finished");
    for (int i = 0; i < 18; ++i) {
        SCOPED_TRACE(i);
        const int64_t period = kPeriodNs[i];
        // 64 whole periods within the gate, each a whole number of 10 ns ticks:
        // the mean interval is the period itself.
        if (period != 0 && 64 * period < 1000000000 && period % 10 == 0)
            EXPECT_EQ(host.results[i], PeriodText(64 * period / 10));
        else
            EXPECT_FALSE(host.results[i].empty()) << "timed-out channels show their count";
    }
    EXPECT_EQ(host.results[13], "3000000|ns$[ frequency: 333.3 Hz ]");
}

TEST_F(CycleOnLibrary, EventCountOf100ms) {
    host.settings = {QV_COUNT_EVENTS, QV_GATE_100MS, QV_EDGE_RISE_RISE, 14};
    ASSERT_TRUE(runCount());
    EXPECT_EQ(host.closes, 0);
    EXPECT_EQ(host.stateTexts.back(), "Event Count Finished");
    expectEdgesOf100ms(host.results, [](int64_t edges) { return EventText(edges); });
}
