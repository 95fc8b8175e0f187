// Pictures of the main window for review, taken from the screen of a real X
// server (popup menus included): the focus on the grid, the Counter menu with
// Continuous on, and the status bar right after a frequency count. Runs the
// real library with its built-in server and the first simulated module.
// Writes into the folder VFC_SHOT_DIR; does nothing without it.
#include "WindowDriver.h"

#include "app/vfcmain.h"
#include "counter/vfcgroups_thresh.h"
#include "modules/vfcmodsel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

using namespace windowtest;

// Saves the screen's picture of the window's area, grown by `extra` pixels
// below and right (for a menu that pops out of it).
void shoot(const TMainForm& form, const char* name, QSize extra = {}) {
    QApplication::processEvents();
    QTest::qWait(50);
    const QRect area = form.frameGeometry();
    const QPixmap picture = form.screen()->grabWindow(
        0, area.x(), area.y(), area.width() + extra.width(), area.height() + extra.height());
    const QString path = qEnvironmentVariable("VFC_SHOT_DIR") + "/" + name;
    EXPECT_TRUE(picture.save(path)) << path.toStdString();
}

TEST(WindowShots, FocusMenuAndStatusBar) {
    if (qEnvironmentVariableIsEmpty("VFC_SHOT_DIR")) GTEST_SKIP() << "VFC_SHOT_DIR not set";
    TMainForm form;
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::mouseClick(form.moduleGroup()->simCheck(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return form.runAction()->isEnabled(); }, 3000));
    ASSERT_TRUE(waitTicks(form, 2)); // the pins are read on the ticks after opening

    // Tab from the threshold arrows into the grid; type a code on channel 1.
    // Continuous is on, so its tool button shows pressed.
    form.continuousAction()->setChecked(true);
    form.threshGroup()->spinButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_R);
    shoot(form, "issue13-grid-focus.png");

    // A single frequency count; the picture is taken on the tick that finishes it.
    form.continuousAction()->setChecked(false);
    bool shot = false;
    QObject context;
    QObject::connect(form.pollTimer(), &QTimer::timeout, &context, [&] {
        if (!shot && stateText(form) == "Frequency Count Finished") {
            shot = true;
            shoot(form, "issue13-statusbar.png");
        }
    });
    form.runAction()->trigger();
    EXPECT_TRUE(waitUntil([&] { return shot; }, 3000));

    form.continuousAction()->setChecked(true);
    form.runAction()->setEnabled(true);
    QMenu* counter = form.menuBar()->actions()[1]->menu();
    form.menuBar()->setActiveAction(counter->menuAction());
    ASSERT_TRUE(waitUntil([&] { return counter->isVisible(); }, 1000));
    counter->setActiveAction(form.continuousAction());
    shoot(form, "issue13-counter-menu.png", QSize(0, 0));
    counter->close();
    form.continuousAction()->setChecked(false);
}

} // namespace
