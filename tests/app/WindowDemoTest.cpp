// The main window on the real library's built-in server with libsigrok's
// demo device (VEXIF_DEVICES=demo): the analyser appears in the module box as
// an ordinary Vex18e beside the simulations, opens, and completes a frequency
// count of its incremental pattern (channel k: 1 MHz / 2^(k+1)). Everything
// runs on the window's own poll timer; every wait has a deadline.
#include "WindowDriver.h"

#include "app/ToolStrip.h"
#include "counter/ResultText.h"
#include "modules/vfcmodsel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

using namespace windowtest;

enum { kRunButton = 1 }; // tool strip: Continuous, Run, Stop, ...

TEST(WindowOnDemoDevice, ListsTheAnalyserBesideTheSimulationsAndCountsIt) {
    // Read when the process's built-in engine starts, with the window's connection.
    ::setenv("VEXIF_DEVICES", "demo", 1);
    auto form = std::make_unique<TMainForm>();

    // Discovery runs in the background; the list refresh then opens the
    // analyser, the only real module.
    ASSERT_TRUE(waitUntil([&] { return moduleText(*form) == "Using QVDEMO01"; }, 3000))
        << moduleText(*form).toStdString();
    QComboBox* box = form->moduleGroup()->box();
    ASSERT_EQ(box->count(), 1);
    EXPECT_EQ(box->itemText(0), "QVDEMO01    (Vex18e)");
    EXPECT_EQ(form->moduleGroup()->title(), "1 Module");
    EXPECT_EQ(form->grid()->rowCount(), 19);

    // The simulations join it; the analyser stays in use.
    QTest::mouseClick(form->moduleGroup()->simCheck(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return box->count() == 3; }, 2000));
    EXPECT_EQ(box->itemText(box->currentIndex()), "QVDEMO01    (Vex18e)");
    EXPECT_EQ(moduleText(*form), "Using QVDEMO01");

    // The pins show the live pattern: channel 0 toggles at 500 kHz, channel 8
    // does not exist on the analyser.
    ASSERT_TRUE(waitUntil([&] { return pinText(*form).startsWith('B'); }, 2000));
    EXPECT_EQ(pinText(*form).mid(8), QString(10, '0'));

    // Frequency over the default 100 ms gate.
    ASSERT_TRUE(waitUntil([&] { return form->runAction()->isEnabled(); }, 1000));
    QTest::mouseClick(qobject_cast<QToolButton*>(form->toolBar()->items()[kRunButton]),
                      Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return stateText(*form) == "Frequency Count Finished"; }, 3000))
        << stateText(*form).toStdString();
    const std::vector<std::string> texts = results(*form);
    for (int k = 0; k < 8; ++k) {
        SCOPED_TRACE(k);
        const int64_t edges = 50000 >> k; // 1 MHz / 2^(k+1) x 0.1 s, rounded down
        const std::string shown = texts[static_cast<size_t>(k)];
        EXPECT_TRUE(shown == FrequencyText(edges, QV_GATE_100MS) ||
                    shown == FrequencyText(edges + 1, QV_GATE_100MS) ||
                    shown == FrequencyText(edges - 1, QV_GATE_100MS))
            << shown;
    }
    form.reset();
}

} // namespace
