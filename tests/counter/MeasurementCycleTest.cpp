// The measurement cycle against the scripted library, with a host that records
// what the window would show.
#include "counter/MeasurementCycle.h"

#include "FakeVexif.h"
#include "TModIfCpp.h"
#include "counter/ResultText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Stands in for the main window: records the displays and behaves like its
// module close.
class RecordingHost : public CycleHost {
public:
    int32_t handle = 0;
    int32_t n = 18;
    int32_t rows = 19;
    CounterSettings settings;
    bool continuous = false;
    std::string codes = std::string(18, '-');
    MeasurementCycle* cycle = nullptr;

    std::string heading = "Result";
    std::vector<std::string> results = std::vector<std::string>(18, "No data");
    std::vector<int32_t> written;               // channels written, in order
    std::vector<std::string> stateTexts;        // every state panel text, in order
    std::vector<std::pair<bool, bool>> runStop; // every EnableRunStop
    int closes = 0;

    int32_t libraryHandle() const override { return handle; }
    int32_t channelCount() const override { return n; }
    CounterSettings counterSettings() const override { return settings; }
    bool continuousChecked() const override { return continuous; }
    char channelCode(int32_t index) const override {
        return codes[index >= 0 && index < 18 ? static_cast<size_t>(index) : 0];
    }
    int32_t rowCount() const override { return rows; }
    void setResultHeading(std::string_view text) override { heading = text; }
    void writeResult(int32_t channel, std::string_view text) override {
        results.at(static_cast<size_t>(channel)) = text;
        written.push_back(channel);
    }
    void setRunStateText(std::string_view text) override { stateTexts.emplace_back(text); }
    void enableRunStop(bool run, bool stop) override { runStop.emplace_back(run, stop); }
    void closeModule() override {
        ++closes;
        int32_t open = 0;
        check(QV_ModIsOpen(handle, &open));
        if (open == 1) (void)QV_CloseMod(handle);
        enableRunStop(false, false);
        setRunStateText({});
        cycle->clearRunState();
    }

    std::string state() const { return stateTexts.empty() ? "<none>" : stateTexts.back(); }
};

// Status word 0 of a count that is busy and whose gate has opened.
constexpr uint32_t kBusyArmed = QV_STATUS_BUSY | QV_STATUS_ARMED;

std::vector<uint32_t> words(uint32_t word0, std::vector<uint32_t> channelStates) {
    channelStates.insert(channelStates.begin(), word0);
    return channelStates;
}

class Cycle : public ::testing::Test {
protected:
    void SetUp() override {
        fakevexif::reset();
        fakevexif::setModules({{"QVSIM001", 'c'}, {"QVSIM002", 'r'}});
        ASSERT_EQ(QV_Initialize(&host.handle), QV_OK);
        ASSERT_EQ(QV_ConnectToServer(host.handle, nullptr, 0), QV_OK);
        ASSERT_EQ(QV_OpenMod(host.handle, "QVSIM001"), QV_OK);
        host.cycle = &cycle;
        fakevexif::clearCalls();
    }

    // What the Run and Stop actions of the window do.
    void run() {
        host.enableRunStop(false, true);
        cycle.UpdateCounter(false, true, false);
    }
    void stop() {
        host.enableRunStop(true, false);
        cycle.UpdateCounter(false, false, true);
    }
    void tick() { cycle.UpdateCounter(false, false, false); }

    static std::vector<int64_t> rampCounts(int64_t first, int n = 18) {
        std::vector<int64_t> counts;
        for (int i = 0; i < n; ++i)
            counts.push_back(first + 1000 * i);
        return counts;
    }

    RecordingHost host;
    MeasurementCycle cycle{host};
};

} // namespace

TEST_F(Cycle, SingleFrequencyCountFromRunToIdle) {
    host.settings = {QV_COUNT_FREQUENCY, QV_GATE_100MS, QV_EDGE_RISE_FALL, 17};
    host.codes = "01RFE-10" + std::string(10, '1');
    fakevexif::queueStatusWords({kBusyArmed});
    fakevexif::queueStatusWords({kBusyArmed});
    fakevexif::setStatusWords({QV_STATUS_ARMED});
    fakevexif::setCounts(rampCounts(5));

    run();
    EXPECT_EQ(cycle.runState(), 1);
    EXPECT_EQ(host.state(), "Running");
    EXPECT_EQ(fakevexif::callNames(), (std::vector<std::string>{"QV_ModIsOpen", "QV_SetThreshold",
                                                                "QV_SetThreshold", "QV_FCRun"}));
    const auto thresholds = fakevexif::callsOf("QV_SetThreshold");
    EXPECT_EQ(thresholds[0].args, (std::vector<int64_t>{host.handle, 0, 17}));
    EXPECT_EQ(thresholds[1].args, (std::vector<int64_t>{host.handle, 1, 17}));
    const auto start = fakevexif::lastCall("QV_FCRun");
    EXPECT_EQ(start->args, (std::vector<int64_t>{host.handle, 0, QV_EDGE_RISE_FALL, 0, 1}));
    EXPECT_EQ(start->text, "01RFE-10") << "exactly the codes of channels 0 to 7";

    // The gate changes in the groups; the running count keeps its own.
    host.settings.gateCode = QV_GATE_1S;
    for (int busyTick = 0; busyTick < 2; ++busyTick) {
        fakevexif::clearCalls();
        tick();
        EXPECT_EQ(host.state(), "Counting");
        EXPECT_EQ(host.heading, "Frequency");
        EXPECT_TRUE(host.written.empty());
        EXPECT_EQ(fakevexif::callNames(),
                  (std::vector<std::string>{"QV_ModIsOpen", "QV_FCGetStatus"}));
        EXPECT_EQ(fakevexif::lastCall("QV_FCGetStatus")->args,
                  (std::vector<int64_t>{host.handle, 19}));
    }

    tick();
    EXPECT_EQ(host.state(), "Frequency Count Finished");
    EXPECT_EQ(host.written.size(), 18u);
    EXPECT_EQ(fakevexif::lastCall("QV_FCGetCounts")->args, (std::vector<int64_t>{host.handle, 18}));
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(host.results[i], FrequencyText(5 + 1000 * i, QV_GATE_100MS)) << i;
    EXPECT_EQ(host.runStop.back(), std::make_pair(true, false));
    EXPECT_EQ(cycle.runState(), 0);

    fakevexif::clearCalls();
    tick();
    EXPECT_EQ(host.state(), "Idle");
    EXPECT_EQ(fakevexif::callNames(), (std::vector<std::string>{"QV_ModIsOpen"}));
}

// Only bits 0 to 2 are a channel's state; 1 is still counting. While the
// count is busy only final channels are written, and all final finishes it.
// Only a channel that is done shows a period: any other ending says why it
// has none (a partial sum over 64 would be a period never measured).
TEST_F(Cycle, PeriodCountWritesOnlyFinalChannels) {
    host.settings.counterType = QV_COUNT_PERIOD;
    fakevexif::setCounts(rampCounts(6400));
    const std::string done = PeriodText(11400); // channel 5's count
    const struct {
        uint32_t state;
        const char* channel5; // null: not final, the cell keeps its text
    } cases[] = {{0, "---|ns$[ not counted ]"},
                 {1, nullptr},
                 {2, done.c_str()},
                 {3, "---|ns$[ stopped ]"},
                 {4, "---|ns$[ stopped ]"},
                 {5, "---|ns$[ timed out ]"},
                 {6, "---|ns$[ not counted ]"},
                 {7, "---|ns$[ stopped ]"},
                 {0xF9, nullptr},
                 {0x100, "---|ns$[ not counted ]"},
                 {0x10A, done.c_str()}};
    for (const auto& c : cases) {
        const uint32_t state = c.state;
        SCOPED_TRACE(state);
        host.written.clear();
        host.results.assign(18, "No data");
        std::vector<uint32_t> states(18, 2);
        states[5] = state;
        fakevexif::setStatusWords(words(kBusyArmed, states)); // busy throughout
        run();
        tick();
        const bool final = c.channel5 != nullptr;
        EXPECT_EQ(host.heading, "Period");
        EXPECT_EQ(host.written.size(), final ? 18u : 17u);
        EXPECT_EQ(host.results[5], final ? c.channel5 : "No data");
        EXPECT_EQ(host.results[2], PeriodText(8400));
        EXPECT_EQ(cycle.runState(), final ? 0 : 1);
        EXPECT_EQ(host.state(), final ? "Period Count Finished" : "Counting");
        if (final) continue;
        // Not busy any more: finished, whatever the channels say.
        fakevexif::setStatusWords(words(QV_STATUS_ARMED, states));
        tick();
        EXPECT_EQ(host.state(), "Period Count Finished");
        EXPECT_EQ(host.results[5], "No data");
        EXPECT_EQ(cycle.runState(), 0);
    }
}

// Until the channel codes open the gate the panel says the count waits for
// its trigger, whatever the counter type; "Counting" once the gate is open.
TEST_F(Cycle, WaitsForTheTriggerUntilTheGateOpens) {
    const std::pair<int32_t, const char*> types[] = {
        {QV_COUNT_FREQUENCY, "Frequency Count Finished"},
        {QV_COUNT_PERIOD, "Period Count Finished"},
        {QV_COUNT_EVENTS, "Event Count Finished"}};
    const std::vector<uint32_t> counting(18, 1);
    for (const auto& [type, finished] : types) {
        SCOPED_TRACE(type);
        host.settings.counterType = type;
        host.stateTexts.clear();
        fakevexif::queueStatusWords(words(QV_STATUS_BUSY, counting));
        fakevexif::queueStatusWords(words(QV_STATUS_BUSY, counting));
        fakevexif::queueStatusWords(words(kBusyArmed, counting));
        fakevexif::setStatusWords(words(QV_STATUS_ARMED, std::vector<uint32_t>(18, 2)));
        run();
        for (int i = 0; i < 4; ++i)
            tick();
        EXPECT_EQ(host.stateTexts,
                  (std::vector<std::string>{"Running", "Waiting for trigger", "Waiting for trigger",
                                            "Counting", finished}));
    }
}

TEST_F(Cycle, EventCountRewritesEveryPoll) {
    host.settings = {QV_COUNT_EVENTS, QV_GATE_INFINITE, QV_EDGE_RISE_RISE, 14};
    fakevexif::setStatusWords({kBusyArmed});
    run();
    for (int64_t poll = 1; poll <= 3; ++poll) {
        host.written.clear();
        fakevexif::setCounts(rampCounts(poll));
        tick();
        EXPECT_EQ(host.heading, "Event Count");
        EXPECT_EQ(host.written.size(), 18u);
        EXPECT_EQ(host.results[17], EventText(poll + 17000));
        EXPECT_EQ(host.state(), "Counting");
    }
    fakevexif::setStatusWords({0});
    tick();
    EXPECT_EQ(host.state(), "Event Count Finished");
    EXPECT_EQ(cycle.runState(), 0);
}

TEST_F(Cycle, StopEndsTheCountWithoutReadingCounts) {
    host.settings.counterType = QV_COUNT_EVENTS;
    fakevexif::setStatusWords({kBusyArmed});
    fakevexif::setCounts(rampCounts(1));
    run();
    tick();
    const auto written = host.written.size();
    fakevexif::clearCalls();

    stop();
    EXPECT_EQ(cycle.runState(), 0);
    EXPECT_EQ(host.state(), "Stopping");
    const auto call = fakevexif::lastCall("QV_FCRun");
    ASSERT_TRUE(call);
    EXPECT_EQ(call->args, (std::vector<int64_t>{host.handle, 0, 0, 0, 0}));
    EXPECT_TRUE(call->textNull);

    tick();
    EXPECT_EQ(host.state(), "Idle");
    EXPECT_EQ(fakevexif::callCount("QV_FCGetStatus"), 0);
    EXPECT_EQ(fakevexif::callCount("QV_FCGetCounts"), 0);
    EXPECT_EQ(host.written.size(), written);

    // Stop while idle only shows "Idle"; start while running starts nothing.
    stop();
    EXPECT_EQ(host.state(), "Idle");
    run();
    fakevexif::clearCalls();
    cycle.UpdateCounter(false, true, false);
    EXPECT_EQ(fakevexif::callCount("QV_FCRun"), 0);
    EXPECT_EQ(host.state(), "Counting");
}

TEST_F(Cycle, ContinuousRestartsWithTheSettingsOfTheMoment) {
    host.continuous = true;
    host.settings = {QV_COUNT_FREQUENCY, QV_GATE_100MS, QV_EDGE_RISE_RISE, 14};
    fakevexif::setCounts(rampCounts(7));
    fakevexif::queueStatusWords({kBusyArmed});
    fakevexif::queueStatusWords({0});
    fakevexif::queueStatusWords({kBusyArmed});
    fakevexif::queueStatusWords({0});
    fakevexif::setStatusWords({0});
    run();
    const auto actionChanges = host.runStop.size();
    tick();
    host.settings.gateCode = QV_GATE_1S; // picked up at the next restart
    tick();
    EXPECT_EQ(host.results[0], FrequencyText(7, QV_GATE_100MS));
    EXPECT_EQ(fakevexif::lastCall("QV_FCRun")->args[3], QV_GATE_1S);
    tick();
    tick();
    EXPECT_EQ(host.results[0], FrequencyText(7, QV_GATE_1S));
    EXPECT_EQ(host.stateTexts, (std::vector<std::string>{
                                   "Running", "Counting", "Frequency Count Finished", "Running",
                                   "Counting", "Frequency Count Finished", "Running"}));
    EXPECT_EQ(cycle.runState(), 1);
    EXPECT_EQ(host.runStop.size(), actionChanges) << "Run and Stop keep their states";
    EXPECT_EQ(fakevexif::callCount("QV_SetThreshold"), 6);

    // Continuous off: the running count ends the run.
    host.continuous = false;
    tick();
    EXPECT_EQ(cycle.runState(), 0);
    EXPECT_EQ(host.runStop.back(), std::make_pair(true, false));
}

TEST_F(Cycle, LibraryFailureClosesTheModuleSilently) {
    struct FailureCase {
        const char* function;
        int ticksBeforeFailure; // ticks after Run; -1: fail in Run itself
        bool stopInstead;
    };
    const FailureCase cases[] = {
        {"QV_SetThreshold", -1, false}, {"QV_FCRun", -1, false}, {"QV_FCGetStatus", 1, false},
        {"QV_FCGetCounts", 1, false},   {"QV_FCRun", 1, true}, // the stop call
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.function) + (c.stopInstead ? " (stop)" : ""));
        ASSERT_EQ(QV_OpenMod(host.handle, "QVSIM001"), QV_OK);
        host.closes = 0;
        host.settings.counterType = QV_COUNT_EVENTS;
        fakevexif::setStatusWords({1});
        if (c.ticksBeforeFailure < 0) fakevexif::failNext(c.function, QV_ERR_CONNECTION_LOST);
        run();
        if (c.ticksBeforeFailure >= 0) {
            for (int i = 0; i < c.ticksBeforeFailure; ++i)
                tick();
            fakevexif::failNext(c.function, QV_ERR_CONNECTION_LOST);
            c.stopInstead ? stop() : tick();
        }
        EXPECT_EQ(host.closes, 1);
        EXPECT_EQ(fakevexif::openModule(host.handle), "");
        EXPECT_EQ(cycle.runState(), 0);
        EXPECT_EQ(host.state(), "");
        EXPECT_EQ(host.runStop.back(), std::make_pair(false, false));

        // The next ticks go on: the module is closed now, nothing more happens.
        fakevexif::clearCalls();
        EXPECT_NO_THROW(tick());
        EXPECT_NO_THROW(tick());
        EXPECT_EQ(fakevexif::callNames(),
                  (std::vector<std::string>{"QV_ModIsOpen", "QV_ModIsOpen"}));
        EXPECT_EQ(host.closes, 1);
    }
}

TEST_F(Cycle, ModuleNotOpenResetAndAFailingOpenQuery) {
    const auto actionChanges = host.runStop.size();
    fakevexif::setModuleVanished(true);
    cycle.UpdateCounter(false, true, false);
    EXPECT_EQ(cycle.runState(), 0);
    EXPECT_EQ(host.state(), "");
    EXPECT_EQ(fakevexif::callNames(), (std::vector<std::string>{"QV_ModIsOpen"}));
    EXPECT_EQ(host.runStop.size(), actionChanges);

    // A running count whose module vanished: idle, empty panel, no close.
    fakevexif::setModuleVanished(false);
    run();
    fakevexif::setModuleVanished(true);
    tick();
    EXPECT_EQ(cycle.runState(), 0);
    EXPECT_EQ(host.state(), "");
    EXPECT_EQ(host.closes, 0);
    EXPECT_EQ(host.runStop.back(), std::make_pair(false, true)) << "as Run left them";

    // A reset does not touch the library.
    fakevexif::setModuleVanished(false);
    run();
    fakevexif::clearCalls();
    cycle.UpdateCounter(true, true, true);
    EXPECT_EQ(cycle.runState(), 0);
    EXPECT_EQ(host.state(), "Idle");
    EXPECT_TRUE(fakevexif::calls().empty());

    // A failing open query leaves UpdateCounter; the module stays as it was.
    fakevexif::failNext("QV_ModIsOpen", QV_ERR_CONNECTION_LOST);
    EXPECT_THROW(cycle.UpdateCounter(false, true, false), TModIfError);
    EXPECT_EQ(host.closes, 0);
    EXPECT_EQ(fakevexif::callCount("QV_FCRun"), 0);
}

TEST_F(Cycle, ResultsOnlyForChannelsWithARowAndCodesForEightChannels) {
    // An eight-channel module in a grid with rows for channels 0 to 3 only.
    ASSERT_EQ(QV_OpenMod(host.handle, "QVSIM002"), QV_OK);
    host.n = 8;
    host.rows = 5;
    host.codes = "RF" + std::string(16, '-');
    host.settings.counterType = QV_COUNT_EVENTS;
    fakevexif::setCounts(rampCounts(3, 8));
    run();
    tick();
    EXPECT_EQ(host.written, (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(fakevexif::lastCall("QV_FCRun")->text, "RF------");
    EXPECT_EQ(fakevexif::lastCall("QV_FCGetStatus")->args[1], 9);
    EXPECT_EQ(fakevexif::lastCall("QV_FCGetCounts")->args[1], 8);
}
