// The main window with what the engine measures beside the counts, on the
// scripted fake of the library: High Resolution in the grid, the statistics
// and the log, the time-base panel, the device problems in the status bar and
// their dialog, and a server that predates all of it.
#include "FakeVexif.h"
#include "WindowDriver.h"

#include "app/RecordsController.h"
#include "counter/ChannelStatistics.h"
#include "counter/ResultText.h"
#include "display/DeviceProblemsDialog.h"

#include <QAction>
#include <QTemporaryDir>

#include <cmath>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

namespace {

using namespace windowtest;

using fakevexif::referenceTimeBase;

QV_ChannelMeasures channelMeasures(double hz, int32_t referenced) {
    QV_ChannelMeasures m = fakevexif::unknownMeasures();
    m.frequency = hz;
    m.duty = 0.495;
    m.referenced = referenced;
    return m;
}

class WindowMeasures : public testing::Test {
protected:
    void SetUp() override {
        fakevexif::reset();
        fakevexif::setModules({{"QV000001", 'c'}});
        form = std::make_unique<TMainForm>();
        // The first refresh opens the module; then the test ticks by hand.
        ASSERT_TRUE(waitUntil(
            [&] { return moduleText(*form) == "Using QV000001" && form->runAction()->isEnabled(); },
            1500));
        form->pollTimer()->stop();
        clickItem(*form->gateGroup(), 1); // 1 s
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            form->PollTick();
    }
    // One single 1 s count that ends on its first poll, channel 0 done with
    // `count`.
    void runCount(int64_t count) {
        fakevexif::setCounts({count});
        fakevexif::setStatusWords({QV_STATUS_ARMED, QV_CH_DONE});
        form->runAction()->trigger();
        ticks(1);
        ASSERT_TRUE(stateText(*form).endsWith("Count Finished"));
    }
    std::string cell() const { return form->grid()->Result(0).toStdString(); }
    QString timeBasePanel() const { return panel(*form, TModStatusBar::TimeBasePanel); }
    bool timeBaseShown() const {
        return form->modStatusBar()
            ->panelWidget(TModStatusBar::TimeBasePanel)
            ->isVisibleTo(form->modStatusBar());
    }

    std::unique_ptr<TMainForm> form;
};

// The time-base panel's three states, and the state a running count that
// is not armed yet shows: it waits for a reference that is not locked.
TEST_F(WindowMeasures, TimeBasePanelAndTheWaitForTheReference) {
    const struct {
        QV_TimeBase timeBase;
        uint32_t word0; // the running count's status word 0
        bool shown;
        const char* text;
        const char* state;
    } cases[] = {
        // clang-format off
        {referenceTimeBase(1e6, 1, 153.6), QV_STATUS_BUSY, true, "Ref 1 MHz: locked, +153.6 ppm",
         "Waiting for trigger"},
        {referenceTimeBase(1e6, 0, 0.0), QV_STATUS_BUSY, true, "Ref 1 MHz: not locked",
         "Waiting for reference"},
        {referenceTimeBase(1e6, 0, 0.0), QV_STATUS_BUSY | QV_STATUS_ARMED, true,
         "Ref 1 MHz: not locked", "Counting"},
        {referenceTimeBase(0.0, 0, 0.0), QV_STATUS_BUSY, false, "", "Waiting for trigger"},
        // clang-format on
    };
    fakevexif::setStatusWords({QV_STATUS_BUSY});
    form->runAction()->trigger();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        fakevexif::setTimeBase(c.timeBase);
        fakevexif::setStatusWords({c.word0});
        ticks(10); // the time base is read once a second
        EXPECT_EQ(timeBasePanel(), c.text);
        EXPECT_EQ(timeBaseShown(), c.shown);
        EXPECT_EQ(stateText(*form), c.state);
    }
}

TEST_F(WindowMeasures, HighResolutionTexts) {
    // Channel 0 of a module with a locked reference (an older server: the
    // last test).
    const struct {
        const char* what;
        int type;
        bool high;
        double hz, periodS; // channel 0's measures
        int64_t count;      // channel 0's count
        const char* text;   // channel 0's cell
        double value;       // channel 0's value in the statistics
    } cases[] = {
        {"frequency, off", 0, false, 999846.4031, NAN, 999846, "999846|Hz$[ period: 1000.2 ns ]",
         999846.0},
        {"frequency, on", 0, true, 999846.4031, NAN, 999846,
         "999846.40310|Hz$[ 1000.1536 ns, duty 49.5 % ]", 999846.4031},
        {"frequency, on, unknown", 0, true, NAN, NAN, 999846, "999846|Hz$[ period: 1000.2 ns ]",
         999846.0},
        {"period, off", 1, false, NAN, 1.00015e-6, 6401, "1000|ns$[ frequency: 999843.8 Hz ]",
         1000.15625},
        // 64 intervals of 1 us at 12 MS/s resolve 3 digits.
        {"period, on", 1, true, NAN, 1.00015e-6, 6401, "1000|ns$[ 1.00 MHz, duty 49.5 % ]",
         1000.15},
        {"events, on: unchanged", 2, true, 1e6, 1e-6, 42, "42|Events", 42.0},
    };
    fakevexif::setTimeBase(referenceTimeBase(1e6, 1, 0.0)); // 12 MS/s
    ticks(10);
    ASSERT_EQ(form->engineWatch().sampleRate(), 12e6);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QV_ChannelMeasures m = channelMeasures(c.hz, 1);
        m.period = c.periodS;
        fakevexif::setMeasures({m});
        clickItem(*form->countTypeGroup(), c.type);
        form->highResolutionAction()->setChecked(c.high);
        runCount(c.count);
        EXPECT_EQ(cell(), c.text);
        const ChannelStatistics& statistics = form->records()->statistics();
        EXPECT_DOUBLE_EQ(statistics.channel(0).last(), c.value);
        EXPECT_TRUE(statistics.configuration().referenced);
        EXPECT_EQ(statistics.configuration().highResolution, c.high && c.type != 2);
    }
    EXPECT_EQ(fakevexif::callCount("QV_FCGetMeasures"), 6) << "one a count";
}

// Run pressed as soon as the module opened: the count's first poll already
// knows the reference is not locked (the time base is read before it).
TEST_F(WindowMeasures, TheFirstCountAfterOpeningWaitsForTheReferenceFromItsFirstPoll) {
    form.reset();
    fakevexif::reset();
    fakevexif::setModules({{"QV000001", 'c'}});
    fakevexif::setTimeBase(referenceTimeBase(1e6, 0, 0.0));
    fakevexif::setStatusWords({QV_STATUS_BUSY});
    form = std::make_unique<TMainForm>();
    ASSERT_TRUE(waitUntil([&] { return form->runAction()->isEnabled(); }, 1500));
    form->pollTimer()->stop();
    form->runAction()->trigger();
    ticks(1);
    EXPECT_EQ(stateText(*form).toStdString(), "Waiting for reference");
}

TEST_F(WindowMeasures, HighResolutionStatisticsAndLog) {
    QTemporaryDir folder;
    const QString path = folder.filePath("log.csv");
    ASSERT_TRUE(form->records()->startLogging(path));
    fakevexif::setTimeBase(referenceTimeBase(1e6, 1, -153.6));
    ticks(10);

    // Each step: one count; the first two are not referenced (the reference
    // was not locked yet), the rest are.
    const struct {
        bool high;
        int32_t referenced;
        const char* cell;
        int64_t setCounts; // counts in the statistics set afterwards
        bool regression;
    } steps[] = {
        {false, 0, "999846|Hz$[ period: 1000.2 ns ]", 1, false},
        {false, 0, "999846|Hz$[ period: 1000.2 ns ]", 2, false},
        {false, 1, "1000000|Hz$[ period: 1000.0 ns ]", 1, false},
        {true, 1, "1000000.0000|Hz$[ 1000.0000 ns, duty 49.5 % ]", 1, true},
        {true, 1, "1000000.0000|Hz$[ 1000.0000 ns, duty 49.5 % ]", 2, true},
    };
    for (const auto& step : steps) {
        form->highResolutionAction()->setChecked(step.high);
        fakevexif::setMeasures(
            {channelMeasures(step.referenced ? 1e6 : 999846.4031, step.referenced)});
        runCount(step.referenced ? 1000000 : 999846);
        EXPECT_EQ(cell(), step.cell);
        EXPECT_EQ(form->records()->statistics().counts(), step.setCounts);
        EXPECT_EQ(form->records()->statistics().regressionReadings(), step.regression);
        // Copy carries the same value as the grid.
        EXPECT_TRUE(form->records()->copyText().contains(
            QString::fromStdString(step.cell).section('|', 0, 0)));
    }
    // The statistics hold the measured value, the log its time base.
    EXPECT_DOUBLE_EQ(form->records()->statistics().channel(0).mean(), 1e6);
    form->records()->stopLogging();
    std::ifstream in(path.toStdString());
    std::vector<std::string> ends;
    for (std::string line; std::getline(in, line);)
        ends.push_back(line.substr(line.rfind(',') + 1));
    EXPECT_EQ(ends, (std::vector<std::string>{"timebase", "internal", "internal", "reference",
                                              "reference", "reference"}));
}

TEST_F(WindowMeasures, DeviceProblemsShownOnceAndListed) {
    // A device config of one good and two bad entries: the good one counts,
    // the two bad ones are the server's problems.
    const std::string bad1 = "VEXIF_DEVICES entry 2 \"ref=-5MHz@0\": a negative frequency";
    const std::string bad2 = "VEXIF_DEVICES entry 3: capture /data/none.sr: no such file";
    const std::string both = bad1 + "\n" + bad2 + "\n";
    const QStringList listed{bad1.c_str(), bad2.c_str()};
    const struct {
        const char* what;
        std::string problems; // scripted before the step
        QString message;      // the status bar's message after the step
        QStringList listed;
    } steps[] = {
        {"both new", both, "2 device problems (Help > Device Problems): " + listed[0], listed},
        {"nothing new: not shown again", both, "", listed},
        {"one gone", bad2 + "\n", "", {listed[1]}},
        {"one back", both, "Device problem: " + listed[0], listed},
        {"none", "", "", {}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        form->modStatusBar()->ShowMessage({}); // the message's time is up
        fakevexif::setDeviceProblems(step.problems);
        ticks(10);
        EXPECT_EQ(form->modStatusBar()->message(), step.message);
        // The user clicks the first message: the dialog lists them all.
        if (!form->deviceProblemsDialog())
            QTest::mouseClick(form->modStatusBar()->panelWidget(TModStatusBar::FillerPanel),
                              Qt::LeftButton);
        ASSERT_NE(form->deviceProblemsDialog(), nullptr);
        EXPECT_EQ(form->deviceProblemsDialog()->problems(), step.listed);
    }
    DeviceProblemsDialog* dialog = form->deviceProblemsDialog();
    EXPECT_TRUE(dialog->isVisible());
    // Read once a second (every tenth tick), not on every tick.
    EXPECT_EQ(fakevexif::callCount("QV_GetDeviceProblems"), 1 + 5);
    EXPECT_EQ(dialog->summary(), DeviceProblemsDialog::kNoProblems);

    // The good device still counts.
    runCount(1000);
    EXPECT_EQ(cell(), FrequencyText(1000, QV_GATE_1S));
}

TEST_F(WindowMeasures, AnOldServerLeavesTheWindowAsBefore) {
    fakevexif::setOldServer(true);
    fakevexif::setTimeBase(referenceTimeBase(1e6, 1, 153.6));
    fakevexif::setDeviceProblems("a problem\n");
    fakevexif::setMeasures({channelMeasures(1e6, 1)});
    form->highResolutionAction()->setChecked(true);
    fakevexif::clearCalls();
    for (int count = 0; count < 3; ++count) {
        runCount(999846);
        ticks(10);
        EXPECT_EQ(cell(), FrequencyText(999846, QV_GATE_1S));
    }
    EXPECT_FALSE(timeBaseShown());
    EXPECT_EQ(form->modStatusBar()->message(), "");
    EXPECT_TRUE(form->engineWatch().problems().empty());
    EXPECT_FALSE(form->records()->statistics().configuration().referenced);
    EXPECT_FALSE(form->records()->statistics().regressionReadings());
    EXPECT_EQ(form->records()->statistics().counts(), 3);
    // Each request is tried once, then left alone.
    EXPECT_LE(fakevexif::callCount("QV_FCGetMeasures"), 1);
    EXPECT_LE(fakevexif::callCount("QV_GetTimeBase"), 1);
    EXPECT_LE(fakevexif::callCount("QV_GetDeviceProblems"), 1);
}

} // namespace
