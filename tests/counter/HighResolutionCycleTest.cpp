// The measurement cycle with the engine's measures, against the scripted
// library: High Resolution texts and values of the three counter types, the
// count's time base, a server that predates the measures, and the wait for
// a reference.
#include "counter/MeasurementCycle.h"

#include "FakeVexif.h"
#include "TModIfCpp.h"
#include "counter/ResultText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace {

class MeasuresHost : public CycleHost {
public:
    int32_t handle = 0;
    CounterSettings settings;
    bool high = false;
    bool unlocked = false;
    std::string result0;
    std::string state;
    std::optional<FinishedCount> report;
    std::vector<std::optional<double>> values;

    int32_t libraryHandle() const override { return handle; }
    int32_t channelCount() const override { return 18; }
    CounterSettings counterSettings() const override { return settings; }
    bool continuousChecked() const override { return false; }
    char channelCode(int32_t) const override { return '-'; }
    int32_t rowCount() const override { return 19; }
    void setResultHeading(std::string_view) override {}
    void writeResult(int32_t channel, std::string_view text) override {
        if (channel == 0) result0 = text;
    }
    void setRunStateText(std::string_view text) override { state = text; }
    void enableRunStop(bool, bool) override {}
    void closeModule() override { FAIL() << "no library failure is scripted"; }
    void countFinished(const FinishedCount& count) override {
        report = count;
        values.assign(count.values.begin(), count.values.end());
        report->values = {};
    }
    bool highResolution() const override { return high; }
    double sampleRate() const override { return 12e6; }
    bool referenceUnlocked() const override { return unlocked; }
};

class HighResolutionCycle : public testing::Test {
protected:
    void SetUp() override {
        fakevexif::reset();
        fakevexif::setModules({{"QVREPLAY", 'c'}});
        ASSERT_EQ(QV_Initialize(&host.handle), QV_OK);
        ASSERT_EQ(QV_ConnectToServer(host.handle, nullptr, 0), QV_OK);
        ASSERT_EQ(QV_OpenMod(host.handle, "QVREPLAY"), QV_OK);
    }
    MeasuresHost host;
    MeasurementCycle cycle{host};
};

constexpr double kNaN = NAN;

TEST_F(HighResolutionCycle, TextsValuesAndTimeBaseOfEachCounterType) {
    const struct {
        const char* what;
        int32_t type;
        bool high, oldServer;
        double hz, periodS; // channel 0's measures
        int64_t count;      // channel 0's count
        const char* text;   // channel 0's cell
        double value;       // channel 0's value in the report
        bool referenced, highResolution;
    } cases[] = {
        {"frequency, off", 0, false, false, 999846.4031, kNaN, 999846,
         "999846|Hz$[ period: 1000.2 ns ]", 999846.0, true, false},
        {"frequency, on", 0, true, false, 999846.4031, kNaN, 999846,
         "999846.40310|Hz$[ 1000.1536 ns, duty 49.5 % ]", 999846.4031, true, true},
        {"frequency, on, old server", 0, true, true, 999846.4031, kNaN, 999846,
         "999846|Hz$[ period: 1000.2 ns ]", 999846.0, false, false},
        {"frequency, on, unknown", 0, true, false, kNaN, kNaN, 999846,
         "999846|Hz$[ period: 1000.2 ns ]", 999846.0, true, true},
        {"period, off", 1, false, false, kNaN, 1.00015e-6, 6401,
         "1000|ns$[ frequency: 999843.8 Hz ]", 1000.15625, true, false},
        {"period, on", 1, true, false, kNaN, 1.00015e-6, 6401,
         "1000.15|ns$[ 999850 Hz, duty 49.5 % ]", 1000.15, true, true},
        {"period, on, old server", 1, true, true, kNaN, 1.00015e-6, 6401,
         "1000|ns$[ frequency: 999843.8 Hz ]", 1000.15625, false, false},
        {"events, on: unchanged", 2, true, false, 1e6, 1e-6, 42, "42|Events", 42.0, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QV_ChannelMeasures m = fakevexif::unknownMeasures();
        m.referenced = 1;
        m.frequency = c.hz;
        m.period = c.periodS;
        m.duty = 0.495;
        fakevexif::setMeasures({m});
        fakevexif::setOldServer(c.oldServer);
        fakevexif::setCounts({c.count});
        // Not busy; channel 0 done.
        fakevexif::setStatusWords({QV_STATUS_ARMED, QV_CH_DONE});
        host.settings = {c.type, QV_GATE_1S, QV_EDGE_RISE_RISE, 14};
        host.high = c.high;
        host.report.reset();
        cycle.clearRunState(); // as a module change does: the server is asked again
        fakevexif::clearCalls();
        cycle.UpdateCounter(false, true, false);
        cycle.UpdateCounter(false, false, false);
        ASSERT_TRUE(host.report);
        EXPECT_EQ(host.result0, c.text);
        ASSERT_TRUE(host.values.at(0));
        EXPECT_DOUBLE_EQ(*host.values[0], c.value);
        EXPECT_EQ(host.report->referenced, c.referenced);
        EXPECT_EQ(host.report->highResolution, c.highResolution);
        // The measures are read once per count.
        EXPECT_EQ(fakevexif::callCount("QV_FCGetMeasures"), 1);
    }
}

TEST_F(HighResolutionCycle, AnOldServerIsAskedOnceUntilTheModuleChanges) {
    fakevexif::setOldServer(true);
    host.settings = {QV_COUNT_FREQUENCY, QV_GATE_100MS, QV_EDGE_RISE_RISE, 14};
    fakevexif::setStatusWords({QV_STATUS_ARMED});
    cycle.UpdateCounter(false, true, false);
    for (int count = 0; count < 3; ++count) {
        cycle.UpdateCounter(false, false, false); // finishes
        cycle.UpdateCounter(false, true, false);  // the next one
    }
    EXPECT_EQ(fakevexif::callCount("QV_FCGetMeasures"), 1);
    EXPECT_EQ(host.result0, FrequencyText(0, QV_GATE_100MS));
}

TEST_F(HighResolutionCycle, ACountThatIsNotArmedWaitsForAnUnlockedReference) {
    const struct {
        bool unlocked;
        uint32_t word0;
        const char* state;
    } cases[] = {
        {true, QV_STATUS_BUSY, "Waiting for reference"},
        {false, QV_STATUS_BUSY, "Waiting for trigger"},
        {true, QV_STATUS_BUSY | QV_STATUS_ARMED, "Counting"},
        {true, QV_STATUS_ARMED, "Frequency Count Finished"},
    };
    host.settings = {QV_COUNT_FREQUENCY, QV_GATE_1S, QV_EDGE_RISE_RISE, 14};
    cycle.UpdateCounter(false, true, false);
    for (const auto& c : cases) {
        host.unlocked = c.unlocked;
        fakevexif::setStatusWords({c.word0});
        cycle.UpdateCounter(false, false, false);
        EXPECT_EQ(host.state, c.state) << c.unlocked << " " << c.word0;
    }
}

} // namespace
