// The main window with what the engine measures beside the counts, on the
// scripted fake of the library: High Resolution, the time-base panel, the
// statistics and the log split by time base, the device problems, and a
// server that predates all of it.
#include "FakeVexif.h"
#include "WindowDriver.h"

#include "app/RecordsController.h"
#include "counter/ChannelStatistics.h"
#include "counter/ResultText.h"
#include "display/DeviceProblemsDialog.h"

#include <QAction>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>

namespace {

using namespace windowtest;
using fakevexif::referenceTimeBase;

QV_ChannelMeasures measures(double hz, double periodS, int32_t referenced) {
    QV_ChannelMeasures m = fakevexif::unknownMeasures();
    m.frequency = hz;
    m.period = periodS;
    m.duty = 0.495;
    m.referenced = referenced;
    return m;
}

class WindowMeasures : public testing::Test {
protected:
    void SetUp() override {
        fakevexif::reset();
        fakevexif::setModules({{"QV000001", 'c'}});
        fakevexif::setTimeBase(referenceTimeBase(1e6, 0, 0.0)); // not locked yet
        form = std::make_unique<TMainForm>();
        // The first refresh opens the module; then the test ticks by hand.
        ASSERT_TRUE(waitUntil([&] { return form->runAction()->isEnabled(); }, 1500));
        form->pollTimer()->stop();
        clickItem(*form->gateGroup(), 1); // 1 s
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            form->PollTick();
    }
    // A 1 s count that ends on its first poll, channel 0 done with `count`.
    void runCount(int64_t count) {
        fakevexif::setCounts({count});
        fakevexif::setStatusWords({QV_STATUS_ARMED, QV_CH_DONE});
        form->runAction()->trigger();
        ticks(1);
        ASSERT_TRUE(stateText(*form).endsWith("Count Finished"));
    }
    std::string cell() const { return form->grid()->Result(0).toStdString(); }
    bool timeBaseShown() const {
        return form->modStatusBar()
            ->panelWidget(TModStatusBar::TimeBasePanel)
            ->isVisibleTo(form->modStatusBar());
    }

    std::unique_ptr<TMainForm> form;
};

// The panel's three states; an unarmed count waits for an unlocked reference from its first poll.
TEST_F(WindowMeasures, TimeBasePanelAndTheWaitForTheReference) {
    fakevexif::setStatusWords({QV_STATUS_BUSY});
    form->runAction()->trigger();
    ticks(1);
    EXPECT_EQ(stateText(*form), "Waiting for reference");
    const struct {
        QV_TimeBase timeBase;
        uint32_t word0;   // the running count's status word 0
        const char* text; // "": hidden
        const char* state;
    } cases[] = {
        {referenceTimeBase(1e6, 1, 153.6), QV_STATUS_BUSY, "Ref 1 MHz: locked, +153.6 ppm",
         "Waiting for trigger"},
        {referenceTimeBase(1e6, 0, 0.0), QV_STATUS_BUSY | QV_STATUS_ARMED, "Ref 1 MHz: not locked",
         "Counting"},
        {referenceTimeBase(0.0, 0, 0.0), QV_STATUS_BUSY, "", "Waiting for trigger"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        fakevexif::setTimeBase(c.timeBase);
        fakevexif::setStatusWords({c.word0});
        ticks(10); // the time base is read once a second
        EXPECT_EQ(panel(*form, TModStatusBar::TimeBasePanel), c.text);
        EXPECT_EQ(timeBaseShown(), *c.text != '\0');
        EXPECT_EQ(stateText(*form), c.state);
    }
}

// Channel 0's cell and statistics value, with a locked reference at 12 MS/s.
TEST_F(WindowMeasures, HighResolutionTexts) {
    const struct {
        int type;
        bool high;
        double hz, periodS; // channel 0's measures
        int64_t count;
        const char* text;
        double value;
    } cases[] = {
        {0, false, 999846.4031, NAN, 999846, "999846|Hz$[ period: 1000.2 ns ]", 999846.0},
        {0, true, 999846.4031, NAN, 999846, "999846.40310|Hz$[ 1000.1536 ns, duty 49.5 % ]",
         999846.4031},
        {0, true, NAN, NAN, 999846, "999846|Hz$[ period: 1000.2 ns ]", 999846.0},
        {1, false, NAN, 1.00015e-6, 6401, "1000|ns$[ frequency: 999843.8 Hz ]", 1000.15625},
        {1, true, NAN, 1.00015e-6, 6401, "1000|ns$[ 1.00 MHz, duty 49.5 % ]", 1000.15},
        {2, true, 1e6, 1e-6, 42, "42|Events", 42.0},
    };
    fakevexif::setTimeBase(referenceTimeBase(1e6, 1, 0.0));
    ticks(10);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        fakevexif::setMeasures({measures(c.hz, c.periodS, 1)});
        clickItem(*form->countTypeGroup(), c.type);
        form->highResolutionAction()->setChecked(c.high);
        runCount(c.count);
        EXPECT_EQ(cell(), c.text);
        const ChannelStatistics& statistics = form->records()->statistics();
        EXPECT_DOUBLE_EQ(statistics.channel(0).last(), c.value);
        EXPECT_EQ(statistics.configuration().highResolution, c.high && c.type != 2);
    }
    EXPECT_EQ(fakevexif::callCount("QV_FCGetMeasures"), 6) << "one a count";
}

// Referenced and unreferenced counts, High Resolution or not, never share a
// statistics set; Copy carries the grid's value, the log the time base.
TEST_F(WindowMeasures, StatisticsSplitByTimeBaseAndTheLogColumn) {
    QTemporaryDir folder;
    const QString path = folder.filePath("log.csv");
    ASSERT_TRUE(form->records()->startLogging(path));
    fakevexif::setTimeBase(referenceTimeBase(1e6, 1, -153.6));
    ticks(10);
    const struct {
        bool high;
        int32_t referenced;
        int64_t setCounts; // counts in the statistics set afterwards
    } steps[] = {{false, 0, 1}, {false, 0, 2}, {false, 1, 1}, {true, 1, 1}};
    for (const auto& step : steps) {
        form->highResolutionAction()->setChecked(step.high);
        fakevexif::setMeasures(
            {measures(step.referenced ? 1e6 : 999846.4031, NAN, step.referenced)});
        runCount(step.referenced ? 1000000 : 999846);
        EXPECT_EQ(form->records()->statistics().counts(), step.setCounts);
        EXPECT_EQ(form->records()->statistics().regressionReadings(), step.high);
        EXPECT_TRUE(
            form->records()->copyText().contains(form->grid()->Result(0).section('|', 0, 0)));
    }
    form->records()->stopLogging();
    std::ifstream in(path.toStdString());
    std::vector<std::string> ends;
    for (std::string line; std::getline(in, line);)
        ends.push_back(line.substr(line.rfind(',') + 1));
    EXPECT_EQ(ends, (std::vector<std::string>{"timebase", "internal", "internal", "reference",
                                              "reference"}));
}

// One good device and two bad entries: each new problem shown once in the
// status bar, all of them listed, and the good device still counts.
TEST_F(WindowMeasures, DeviceProblemsShownOnceAndListed) {
    const QStringList listed{"entry 2: ref: a negative frequency", "entry 3: no such file"};
    const std::string both = (listed.join('\n') + '\n').toStdString();
    const struct {
        std::string problems;
        QString message; // in the status bar afterwards
        QStringList listed;
    } steps[] = {
        {both, "2 device problems (Help > Device Problems): " + listed[0], listed},
        {both, "", listed}, // nothing new: not shown again
        {(listed[1] + '\n').toStdString(), "", {listed[1]}},
        {both, "Device problem: " + listed[0], listed},
        {"", "", {}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.problems);
        form->modStatusBar()->ShowMessage({}); // the message's time is up
        fakevexif::setDeviceProblems(step.problems);
        ticks(10);
        EXPECT_EQ(form->modStatusBar()->message(), step.message);
        // A click on the first message opens the dialog.
        if (!form->deviceProblemsDialog())
            QTest::mouseClick(form->modStatusBar()->panelWidget(TModStatusBar::FillerPanel),
                              Qt::LeftButton);
        ASSERT_NE(form->deviceProblemsDialog(), nullptr);
        EXPECT_EQ(form->deviceProblemsDialog()->problems(), step.listed);
    }
    EXPECT_TRUE(form->deviceProblemsDialog()->isVisible());
    EXPECT_EQ(form->deviceProblemsDialog()->summary(), DeviceProblemsDialog::kNoProblems);
    EXPECT_EQ(fakevexif::callCount("QV_GetDeviceProblems"), 1 + 5) << "once a second";
    runCount(1000);
    EXPECT_EQ(cell(), FrequencyText(1000, QV_GATE_1S));
}

TEST_F(WindowMeasures, AnOldServerLeavesTheWindowAsBefore) {
    fakevexif::setOldServer(true);
    fakevexif::setTimeBase(referenceTimeBase(1e6, 1, 153.6));
    fakevexif::setDeviceProblems("a problem\n");
    fakevexif::setMeasures({measures(1e6, NAN, 1)});
    form->highResolutionAction()->setChecked(true);
    fakevexif::clearCalls();
    for (int count = 0; count < 3; ++count) {
        runCount(999846);
        ticks(10);
        EXPECT_EQ(cell(), FrequencyText(999846, QV_GATE_1S));
    }
    EXPECT_FALSE(timeBaseShown());
    EXPECT_EQ(form->modStatusBar()->message(), "");
    EXPECT_FALSE(form->records()->statistics().regressionReadings());
    EXPECT_EQ(form->records()->statistics().counts(), 3);
    // Each request is tried once, then left alone.
    for (const char* request : {"QV_FCGetMeasures", "QV_GetTimeBase", "QV_GetDeviceProblems"})
        EXPECT_LE(fakevexif::callCount(request), 1) << request;
}

} // namespace
