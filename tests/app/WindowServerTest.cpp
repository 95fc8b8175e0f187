// The whole main window on the real device library and its built-in server,
// tried as a new user would: allow the simulations, let the first simulated
// Vex18e open, then count with it. Everything runs on the window's own 100 ms
// poll timer; every wait has a deadline.
#include "WindowDriver.h"

#include "TModIfCpp.h"
#include "app/ToolStrip.h"
#include "counter/ResultText.h"
#include "counter/vfcgroups.h"
#include "modules/vfcmodsel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

namespace {

using namespace windowtest;

// Periods (ns) of the signals on channels 0 to 17 of the simulated modules;
// 0 = static level (engine/README.md).
constexpr int64_t kPeriodNs[18] = {1000,      1000000, 1000000, 100000,   10000, 1000000000,
                                   0,         0,       100,     80,       20000, 500000,
                                   100000000, 3000000, 142857,  10000000, 200,   40000};

// Tool strip buttons, left to right: Continuous, Run, Stop, gap, Help, gap, Quit.
enum { kContinuousButton = 0, kRunButton = 1, kStopButton = 2 };

class WindowOnServer : public testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TMainForm>();
        recorder = std::make_unique<StateRecorder>(*form);
    }
    void TearDown() override {
        recorder.reset();
        form.reset();
    }

    void click(int button) {
        QTest::mouseClick(qobject_cast<QToolButton*>(form->toolBar()->items()[button]),
                          Qt::LeftButton);
    }
    bool moduleOpen() const {
        int32_t open = 0;
        check(QV_ModIsOpen(form->library()->handle(), &open));
        return open == 1;
    }
    // Ticks "Allow Simulations" and waits until the first simulation is in use.
    bool allowSimulations() {
        QTest::mouseClick(form->moduleGroup()->simCheck(), Qt::LeftButton);
        return waitUntil(
            [&] { return moduleText(*form) == "Using QVSIMC01" && form->runAction()->isEnabled(); },
            1500);
    }
    // Clicks Run and waits until the count has ended (Run enabled again).
    bool runCount(int timeoutMs) {
        recorder->clear();
        click(kRunButton);
        recorder->note();
        return waitUntil([&] { return form->runAction()->isEnabled(); }, timeoutMs);
    }

    std::unique_ptr<TMainForm> form;
    std::unique_ptr<StateRecorder> recorder;
};

// Every channel's result is the text of the rising edges that the gate holds:
// exact where whole periods fill the gate, one of the two neighbours elsewhere.
template <class MakeText>
void expectEdgesInGate(const std::vector<std::string>& results, int64_t gateNs, MakeText text) {
    ASSERT_EQ(results.size(), 18u);
    for (size_t i = 0; i < 18; ++i) {
        SCOPED_TRACE(i);
        const int64_t period = kPeriodNs[i];
        if (period == 0) {
            EXPECT_EQ(results[i], text(0));
        } else if (gateNs % period == 0) {
            EXPECT_EQ(results[i], text(gateNs / period));
        } else {
            const int64_t edges = gateNs / period;
            EXPECT_TRUE(results[i] == text(edges) || results[i] == text(edges + 1)) << results[i];
        }
    }
}

// "Running", "Counting" while the gate is open (a 100 ms gate may close before
// the first tick sees it), the finished text, and "Idle" on the next tick.
void expectSingleCount(const std::vector<std::string>& texts, const std::string& finished) {
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts.front(), "Running");
    size_t i = 1;
    if (texts[i] == "Counting") ++i;
    ASSERT_LT(i, texts.size());
    EXPECT_EQ(texts[i], finished);
    EXPECT_LE(texts.size(), i + 2);
    if (texts.size() == i + 2) {
        EXPECT_EQ(texts[i + 1], "Idle");
    }
}

TEST_F(WindowOnServer, AllowingSimulationsOpensTheFirstSimulatedVex18e) {
    // Before: the built-in server has no real modules.
    ASSERT_TRUE(waitUntil([&] { return form->moduleGroup()->title() == "No Modules"; }, 1000));
    EXPECT_FALSE(form->runAction()->isEnabled());

    ASSERT_TRUE(allowSimulations()) << moduleText(*form).toStdString();
    QComboBox* box = form->moduleGroup()->box();
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(0), "QVSIMC01    (Vex18e)");
    EXPECT_EQ(box->itemText(1), "QVSIMC02    (Vex18e)");
    EXPECT_EQ(box->currentIndex(), 0);
    EXPECT_EQ(form->moduleGroup()->title(), "2 Modules");
    EXPECT_TRUE(moduleOpen());
    EXPECT_FALSE(form->stopAction()->isEnabled());
    EXPECT_EQ(form->grid()->rowCount(), 19);
    EXPECT_EQ(form->moduleInfo().channelCount, 18);

    // The pin panel shows the simulated levels: channel 0 (1 MHz) changes both
    // ways between two reads, 6 is static low, 7 static high.
    ASSERT_TRUE(waitUntil([&] { return pinText(*form).startsWith('B'); }, 1000));
    const QString pins = pinText(*form);
    ASSERT_EQ(pins.size(), 18);
    EXPECT_EQ(pins[6], '0');
    EXPECT_EQ(pins[7], '1');
    EXPECT_EQ(pins[8], 'B');
    EXPECT_TRUE(waitUntil([&] { return stateText(*form) == "Idle"; }, 500));
}

// The list shows what the user allows: unticking removes the simulations at
// the next refresh, the one in use too, so the module closes, and the status
// bar no longer names it.
TEST_F(WindowOnServer, UntickingClosesTheSimulationAtTheNextRefresh) {
    ASSERT_TRUE(allowSimulations());
    QTest::mouseClick(form->moduleGroup()->simCheck(), Qt::LeftButton);
    EXPECT_TRUE(moduleOpen()); // nothing changes before the refresh

    ASSERT_TRUE(waitUntil([&] { return form->moduleGroup()->title() == "No Modules"; }, 1500));
    EXPECT_EQ(form->moduleGroup()->box()->count(), 0);
    EXPECT_FALSE(moduleOpen());
    EXPECT_FALSE(form->runAction()->isEnabled());
    EXPECT_FALSE(form->stopAction()->isEnabled());
    EXPECT_EQ(stateText(*form), "Module not listed");
    EXPECT_EQ(pinText(*form), QString(18, '0'));
    EXPECT_EQ(moduleText(*form), "No module open");
    ASSERT_TRUE(waitTicks(*form, 3));
    EXPECT_EQ(stateText(*form), "Module not listed");
}

TEST_F(WindowOnServer, FrequencyPeriodAndEventCountsShowWhatTheSignalsPredict) {
    ASSERT_TRUE(allowSimulations());
    TCountTypeGroup& type = *form->countTypeGroup();
    TGateLengthGroup& gate = *form->gateGroup();

    // Frequency over the default 100 ms gate.
    EXPECT_EQ(form->grid()->ResultHeading(), "Frequency");
    ASSERT_TRUE(runCount(2000));
    expectSingleCount(recorder->texts(), "Frequency Count Finished");
    expectEdgesInGate(results(*form), 100000000,
                      [](int64_t edges) { return FrequencyText(edges, QV_GATE_100MS); });
    EXPECT_EQ(results(*form)[8], "10000000|Hz$[ period: 100.0 ns ]");
    ASSERT_TRUE(waitUntil([&] { return stateText(*form) == "Idle"; }, 500));

    // A new counter type clears the frequencies: under "Period" they would
    // read as periods.
    clickItem(type, 1);
    EXPECT_EQ(form->grid()->ResultHeading(), "Period");
    EXPECT_EQ(results(*form), std::vector<std::string>(18, "No data"));
    EXPECT_TRUE(form->grid()->PlainResults());

    // Period, rising to rising, 100 ms: the mean of 64 periods wherever they
    // fit into the gate. The other channels (1 Hz, 10 Hz, 100 Hz, 333.33 Hz
    // and the static ones) timed out: they say so and show no period.
    ASSERT_TRUE(runCount(2000));
    expectSingleCount(recorder->texts(), "Period Count Finished");
    const std::vector<std::string> periods = results(*form);
    for (size_t i = 0; i < 18; ++i) {
        SCOPED_TRACE(i);
        const int64_t period = kPeriodNs[i];
        if (period != 0 && 64 * period < 100000000)
            EXPECT_EQ(periods[i], PeriodText(64 * period / 10));
        else
            EXPECT_EQ(periods[i], "---|ns$[ timed out ]");
    }
    EXPECT_EQ(periods[1], "1000000|ns$[ frequency: 1000.0 Hz ]");
    EXPECT_EQ(periods[13], "---|ns$[ timed out ]"); // not "1500000 ns [ 666.7 Hz ]"
    EXPECT_EQ(periods[5], "---|ns$[ timed out ]");
    // For the user manual: VFC_SHOT_PERIOD names a PNG file for the window.
    if (const QString shot = qEnvironmentVariable("VFC_SHOT_PERIOD"); !shot.isEmpty()) {
        EXPECT_TRUE(form->grab().save(shot));
    }

    // Events over 1 s: running totals while counting, then the gate's edges.
    clickItem(type, 2);
    clickItem(gate, 1);
    ASSERT_EQ(gate.itemIndex(), 1);
    EXPECT_EQ(form->grid()->ResultHeading(), "Event Count");
    ASSERT_TRUE(runCount(3000));
    const std::vector<std::string> expected = {"Running", "Counting", "Event Count Finished"};
    EXPECT_EQ(std::vector<std::string>(recorder->texts().begin(),
                                       recorder->texts().begin() +
                                           std::min<size_t>(3, recorder->texts().size())),
              expected);
    expectEdgesInGate(results(*form), 1000000000, [](int64_t edges) { return EventText(edges); });
    EXPECT_EQ(results(*form)[0], "1000000|Events");
    EXPECT_TRUE(waitUntil([&] { return stateText(*form) == "Idle"; }, 500));
}

// Continuous: the panel alternates "Running" / "Counting"; a gate changed
// during a count applies from the next restart on.
TEST_F(WindowOnServer, ContinuousRestartsWithTheGateOfTheMoment) {
    ASSERT_TRUE(allowSimulations());
    clickItem(*form->countTypeGroup(), 2);
    clickItem(*form->gateGroup(), 1); // 1 s
    click(kContinuousButton);
    ASSERT_TRUE(form->continuousAction()->isChecked());

    // Each tick's state text and channel 1's total (1 kHz: at most 100 events
    // in a 100 ms gate, up to 1000 in 1 s).
    std::set<std::string> within100ms;
    for (int64_t n = 0; n <= 100; ++n)
        within100ms.insert(EventText(n));
    struct Sample {
        std::string state;
        bool beyond100ms;
    };
    std::vector<Sample> samples;
    QObject context;
    QObject::connect(form->pollTimer(), &QTimer::timeout, &context, [&] {
        samples.push_back({stateText(*form).toStdString(),
                           within100ms.count(form->grid()->Result(1).toStdString()) == 0});
    });
    auto restarts = [&](size_t from) {
        int n = 0;
        for (size_t i = from + 1; i < samples.size(); ++i)
            n += samples[i].state == "Running" && samples[i - 1].state == "Counting";
        return n;
    };

    click(kRunButton);
    EXPECT_EQ(stateText(*form), "Running");
    // Running, Counting..., Running (the restart), Counting...
    ASSERT_TRUE(
        waitUntil([&] { return restarts(0) >= 1 && samples.back().state == "Running"; }, 3500));
    for (const Sample& s : samples)
        EXPECT_TRUE(s.state == "Running" || s.state == "Counting") << s.state;

    // Right after that restart the user picks 100 ms. The count just started
    // keeps its 1 s gate: its totals pass 100 before it ends.
    clickItem(*form->gateGroup(), 0);
    const size_t changedAt = samples.size();
    ASSERT_TRUE(waitUntil([&] { return restarts(changedAt - 1) >= 1; }, 2000));
    bool passed100 = false;
    for (size_t i = changedAt; i < samples.size(); ++i)
        passed100 = passed100 || samples[i].beyond100ms;
    EXPECT_TRUE(passed100);

    // From the next restart on the counts run 100 ms: quick restarts, totals
    // within a 100 ms gate.
    const size_t restartedAt = samples.size();
    ASSERT_TRUE(waitTicks(*form, 8));
    for (size_t i = restartedAt; i < samples.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(samples[i].beyond100ms);
        EXPECT_TRUE(samples[i].state == "Running" || samples[i].state == "Counting");
    }

    // Continuous off: the current count ends the run.
    click(kContinuousButton);
    EXPECT_TRUE(waitUntil([&] { return form->runAction()->isEnabled(); }, 1000));
    EXPECT_FALSE(form->stopAction()->isEnabled());
}

// Channel 6 is static low, so a code "1" on it never opens the gate: the
// panel says the count waits for its trigger, never "Counting", until Stop.
TEST_F(WindowOnServer, ACountThatNeverArmsWaitsForItsTrigger) {
    ASSERT_TRUE(allowSimulations());
    TModGrid& grid = *form->grid();
    const QRect code = grid.visualRect(grid.model()->index(grid.RowOfChannel(6), 0));
    for (int click = 0; click < 2; ++click) // "-" -> "0" -> "1"
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, code.center());
    ASSERT_EQ(grid.ChannelCode(6), '1');

    click(kRunButton);
    ASSERT_TRUE(waitTicks(*form, 5)); // five times the 100 ms gate
    EXPECT_EQ(recorder->texts().back(), "Waiting for trigger");
    EXPECT_EQ(std::count(recorder->texts().begin(), recorder->texts().end(), "Counting"), 0);
    EXPECT_EQ(form->runState(), 1);
    click(kStopButton);
    EXPECT_EQ(stateText(*form), "Stopping");

    // With the code back to "-" the same count arms at once.
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, code.center());
    ASSERT_EQ(grid.ChannelCode(6), '-');
    clickItem(*form->countTypeGroup(), 2);
    clickItem(*form->gateGroup(), 3); // infinite
    click(kRunButton);
    EXPECT_TRUE(waitUntil([&] { return stateText(*form) == "Counting"; }, 1000));
    click(kStopButton);
}

TEST_F(WindowOnServer, StopShowsStoppingAndReadsNoMoreCounts) {
    ASSERT_TRUE(allowSimulations());
    clickItem(*form->countTypeGroup(), 2);
    clickItem(*form->gateGroup(), 3); // infinite
    click(kRunButton);
    EXPECT_FALSE(form->runAction()->isEnabled());
    EXPECT_TRUE(form->stopAction()->isEnabled());
    EXPECT_EQ(form->runState(), 1);
    ASSERT_TRUE(waitTicks(*form, 3));
    EXPECT_EQ(stateText(*form), "Counting");

    // The library's counts freeze at the stop, later than the last poll: had
    // the window read them again, channel 0 (1 MHz) would show more.
    click(kStopButton);
    const std::vector<std::string> before = results(*form);
    EXPECT_EQ(stateText(*form), "Stopping");
    EXPECT_TRUE(form->runAction()->isEnabled());
    EXPECT_FALSE(form->stopAction()->isEnabled());
    EXPECT_EQ(form->runState(), 0);
    ASSERT_TRUE(waitTicks(*form, 3));
    EXPECT_EQ(results(*form), before);
    EXPECT_EQ(stateText(*form), "Idle");
    EXPECT_TRUE(moduleOpen());
}

} // namespace
