// Pictures of High Resolution for review (see WindowShots.cpp): a frequency
// count and a period count with Counter > High Resolution on and the
// time-base panel. Built twice: app_window_shots counts with the real library
// (the first module; VEXIF_DEVICES may name a capture with a reference, e.g.
// "replay:file=capture.sr:ref=1MHz@0"), app_window_shots_fake with the
// scripted library playing a module with a locked 1 MHz reference on channel
// 0. Writes into the folder VFC_SHOT_DIR; does nothing without it.
#include "WindowDriver.h"

#include "app/HelpWindow.h"
#include "app/RecordsController.h"
#include "app/vfcmain.h"
#include "display/DeviceProblemsDialog.h"
#include "display/StatisticsWindow.h"
#include "modules/vfcmodsel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QScreen>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#ifdef VFC_SHOT_FAKE
#include "FakeVexif.h"
#endif

namespace {

using namespace windowtest;

// Saves a picture into VFC_SHOT_DIR with the PNG writer's best compression
// (quality 0): the pictures go into the repository.
void savePicture(const QPixmap& picture, const char* name) {
    const QString path = qEnvironmentVariable("VFC_SHOT_DIR") + "/" + name;
    EXPECT_TRUE(picture.save(path, "PNG", 0)) << path.toStdString();
}

void shoot(const TMainForm& form, const char* name) {
    QApplication::processEvents();
    QTest::qWait(50);
    const QRect area = form.frameGeometry();
    savePicture(form.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()),
                name);
}

// Prints what a picture shows of channel 0 and the time-base panel, so that
// the figures can be checked beside the picture.
void printFigures(const TMainForm& form, const char* what) {
    std::printf("%s: channel 0 \"%s\", state \"%s\", time base \"%s\"\n", what,
                results(form).front().c_str(), stateText(form).toUtf8().constData(),
                panel(form, TModStatusBar::TimeBasePanel).toUtf8().constData());
    std::fflush(stdout);
}

// Help > Device Problems..., the dialog alone.
void shootDeviceProblems(TMainForm& form) {
    form.deviceProblemsAction()->trigger();
    QWidget* dialog = form.deviceProblemsDialog();
    ASSERT_TRUE(waitUntil([&] { return dialog->isVisible(); }, 2000));
    QTest::qWait(100);
    const QRect area = dialog->frameGeometry();
    savePicture(dialog->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()),
                "device-problems.png");
    dialog->close();
}

#ifdef VFC_SHOT_FAKE
// A module of 18 channels whose sample clock runs 153.6 ppm fast against a
// locked 1 MHz reference on channel 0, sampling at 12 MS/s; 1 s gates.
void scriptModule() {
    fakevexif::reset();
    fakevexif::setModules({{"QVRPLY01", 'c'}});
    QV_TimeBase timeBase{};
    timeBase.size = sizeof timeBase;
    timeBase.channel = 0;
    timeBase.locked = 1;
    timeBase.referenceHz = 1e6;
    timeBase.offsetPpm = 153.6;
    timeBase.nominalRate = 12e6;
    timeBase.measuredRate = 12e6 * (1.0 + 153.6e-6);
    fakevexif::setTimeBase(timeBase);
    const double hz[18] = {1e6,         999.999874,  1000.000021, 9999.99912, 100000.0047,
                           1.00000012,  0,           0,           9999999.83, 12500000.11,
                           50000.00093, 1999.999978, 10.00000004, 333.333341, 7000.000102,
                           99.9999991,  5000000.061, 25000.00037};
    const double duty[18] = {0.495, 0.5, 0.25, 0.5, 0.5, 0.5,  NAN, NAN, 0.5,
                             0.5,   0.5, 0.5,  0.5, 0.5, 0.75, 0.5, 0.5, 0.5};
    std::vector<QV_ChannelMeasures> measures;
    std::vector<int64_t> frequencyCounts;
    std::vector<int64_t> periodCounts;
    for (int i = 0; i < 18; ++i) {
        QV_ChannelMeasures m = fakevexif::unknownMeasures();
        m.referenced = 1;
        if (hz[i] > 0.0) {
            m.frequency = hz[i];
            m.period = 1.0 / hz[i];
            m.duty = duty[i];
        }
        measures.push_back(m);
        frequencyCounts.push_back(std::llround(hz[i]));
        periodCounts.push_back(hz[i] > 0.0 ? std::llround(6.4e9 / hz[i]) : 0);
    }
    fakevexif::setMeasures(measures);
    fakevexif::setCounts(frequencyCounts);
    // Not busy, every channel done: each count ends on its first poll.
    fakevexif::setStatusWords(std::vector<uint32_t>(19, QV_CH_DONE));
    fakevexif::queueCounts(frequencyCounts);
    fakevexif::setCounts(periodCounts);
}
#endif

TEST(WindowShots, HighResolution) {
    if (qEnvironmentVariableIsEmpty("VFC_SHOT_DIR")) GTEST_SKIP() << "VFC_SHOT_DIR not set";
#ifdef VFC_SHOT_FAKE
    scriptModule();
#endif
    TMainForm form;
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
#ifndef VFC_SHOT_FAKE
    if (qEnvironmentVariableIsEmpty("VEXIF_DEVICES"))
        QTest::mouseClick(form.moduleGroup()->simCheck(), Qt::LeftButton);
#endif
    ASSERT_TRUE(waitUntil([&] { return form.runAction()->isEnabled(); }, 5000));
    clickItem(*form.gateGroup(), 1); // 1 s
#ifndef VFC_SHOT_FAKE
    // The first count after opening, as it is at start-up (High Resolution
    // off): on a module with a reference it waits for the lock.
    StateRecorder states(form);
    form.runAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return stateText(form) == "Frequency Count Finished"; }, 15000));
    for (const std::string& state : states.texts())
        std::printf("first count: state \"%s\"\n", state.c_str());
    printFigures(form, "first count");
#endif
    form.highResolutionAction()->setChecked(true);
    // A reference, if the module has one, shows within a second; the first
    // count after opening may wait for its lock.
    waitUntil([&] { return !panel(form, TModStatusBar::TimeBasePanel).isEmpty(); }, 2000);

    form.runAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return stateText(form) == "Frequency Count Finished"; }, 15000));
    shoot(form, "high-resolution.png");
    printFigures(form, "high-resolution.png");

    clickItem(*form.countTypeGroup(), 1); // period
    ASSERT_TRUE(waitUntil([&] { return form.runAction()->isEnabled(); }, 3000));
    form.runAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return stateText(form) == "Period Count Finished"; }, 15000));
    shoot(form, "high-resolution-period.png");
    printFigures(form, "high-resolution-period.png");

#ifndef VFC_SHOT_FAKE
    // Help > Device Problems... as the server states them (VEXIF_DEVICES
    // with bad entries beside a good one shows some).
    shootDeviceProblems(form);
#endif

#ifdef VFC_SHOT_FAKE
    // A new device problem in the status bar, then all of them listed; and
    // the Statistics window over High Resolution frequency counts.
    fakevexif::setDeviceProblems(
        "VEXIF_DEVICES entry 2 (fx2lafw:ref=-5MHz@0): ref: a negative frequency\n"
        "VEXIF_DEVICES entry 3 (replay:file=/data/none.sr): cannot read /data/none.sr: No such "
        "file or directory\n");
    ASSERT_TRUE(waitUntil([&] { return !form.modStatusBar()->message().isEmpty(); }, 3000));
    shoot(form, "device-problem-message.png");
    shootDeviceProblems(form);

    clickItem(*form.countTypeGroup(), 0); // frequency
    form.records()->statisticsAction()->trigger();
    QWidget* statistics = form.records()->statisticsWindow();
    for (int count = 0; count < 3; ++count) {
        ASSERT_TRUE(waitUntil([&] { return form.runAction()->isEnabled(); }, 3000));
        form.runAction()->trigger();
        ASSERT_TRUE(waitUntil([&] { return stateText(form) == "Frequency Count Finished"; }, 3000));
    }
    QTest::qWait(1500);
    const QRect area = statistics->frameGeometry();
    savePicture(
        statistics->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()),
        "statistics-high-resolution.png");

    // The help at its High Resolution section.
    form.helpAction()->trigger();
    HelpWindow* help = form.helpWindow();
    ASSERT_NE(help, nullptr);
    help->browser()->scrollToAnchor(QStringLiteral("highres"));
    QTest::qWait(300);
    const QRect helpArea = help->frameGeometry();
    savePicture(help->screen()->grabWindow(0, helpArea.x(), helpArea.y(), helpArea.width(),
                                           helpArea.height()),
                "help-high-resolution.png");
#endif
}

} // namespace
