// Pictures of the main window for review, taken from the screen of a real X
// server (popup menus included): the focus on the grid, the Counter menu with
// Continuous on, the status bar right after a frequency count, High Resolution
// and Help > Device Problems.... Runs the real library with its built-in server
// and the first simulated module, or the first of VEXIF_DEVICES. Writes into
// the folder VFC_SHOT_DIR; does nothing without it.
#include "WindowDriver.h"

#include "app/RecordsController.h"
#include "app/vfcmain.h"
#include "counter/vfcgroups_thresh.h"
#include "display/DeviceProblemsDialog.h"
#include "display/StatisticsWindow.h"
#include "modules/vfcmodsel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

using namespace windowtest;

// Saves the screen's picture of an area (the whole screen when empty), as
// small as PNG goes (quality 0).
void shootArea(const QWidget& on, QRect area, const char* name) {
    QApplication::processEvents();
    QTest::qWait(50);
    if (area.isEmpty()) area = on.screen()->geometry();
    const QPixmap picture =
        on.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const QString path = qEnvironmentVariable("VFC_SHOT_DIR") + "/" + name;
    EXPECT_TRUE(picture.save(path, "PNG", 0)) << path.toStdString();
}

// Saves the screen's picture of the window's area, grown by `extra` pixels
// below and right (for a menu that pops out of it).
void shoot(const TMainForm& form, const char* name, QSize extra = {}) {
    const QRect area = form.frameGeometry();
    shootArea(form, QRect(area.topLeft(), area.size() + extra), name);
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
    shoot(form, "grid-focus.png");

    // A single frequency count; the picture is taken on the tick that finishes it.
    form.continuousAction()->setChecked(false);
    bool shot = false;
    QObject context;
    QObject::connect(form.pollTimer(), &QTimer::timeout, &context, [&] {
        if (!shot && stateText(form) == "Frequency Count Finished") {
            shot = true;
            shoot(form, "statusbar.png");
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
    shoot(form, "counter-menu.png", QSize(0, 0));
    counter->close();
    form.continuousAction()->setChecked(false);
}

// The grid after a click on a glyph (the focus frame on it, a code typed
// there), a long name cut with an ellipsis and its tool tip, and the
// Statistics window beside the main window: the steady 1 MHz of channel 0 in
// the trend, then an endless event count ended by Stop.
TEST(WindowShots, GridAndStatistics) {
    if (qEnvironmentVariableIsEmpty("VFC_SHOT_DIR")) GTEST_SKIP() << "VFC_SHOT_DIR not set";
    TMainForm form;
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::mouseClick(form.moduleGroup()->simCheck(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return form.runAction()->isEnabled(); }, 3000));
    TModGrid* grid = form.grid();
    const auto at = [&](int row, int column) { return grid->model()->index(row, column); };

    // The focus is on the threshold arrows; a click on channel 2's glyph
    // takes it to the glyph, where F sets the code.
    form.threshGroup()->spinButton()->setFocus(Qt::TabFocusReason);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(at(3, TModGrid::CodeColumn)).center());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F);
    shoot(form, "grid-glyph-click.png");

    // A long name: cut with an ellipsis, in full in the tool tip.
    const QPoint name = grid->visualRect(at(1, TModGrid::NameColumn)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, name);
    auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(at(1, TModGrid::NameColumn)));
    ASSERT_NE(editor, nullptr);
    editor->setText("Reference clock of the second test board");
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::mouseMove(grid->viewport(), name);
    QHelpEvent help(QEvent::ToolTip, name, grid->viewport()->mapToGlobal(name));
    QApplication::sendEvent(grid->viewport(), &help);
    shoot(form, "grid-long-name.png", QSize(200, 0));

    // Continuous 100 ms frequency counts with the Statistics window open.
    form.records()->statisticsAction()->trigger();
    StatisticsWindow* window = form.records()->statisticsWindow();
    ASSERT_NE(window, nullptr);
    form.continuousAction()->setChecked(true);
    form.runAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return form.records()->statistics().counts() >= 12; }, 10000));
    form.continuousAction()->setChecked(false);
    ASSERT_TRUE(waitUntil([&] { return form.runAction()->isEnabled(); }, 2000));
    QTest::qWait(StatisticsWindow::kRefreshInterval + 200);
    shootArea(form, {}, "statistics-beside.png");

    // An endless event count, ended by Stop.
    QTest::mouseClick(window->resetButton(), Qt::LeftButton);
    clickItem(*form.countTypeGroup(), 2);
    clickItem(*form.gateGroup(), 3);
    form.runAction()->trigger();
    ASSERT_TRUE(waitTicks(form, 8));
    form.stopAction()->trigger();
    QTest::qWait(StatisticsWindow::kRefreshInterval + 200);
    shootArea(*window, window->frameGeometry(), "statistics-stopped.png");
}

// docs/high-resolution*.png and docs/device-problems.png (see CMakeLists.txt).
TEST(WindowShots, HighResolution) {
    if (qEnvironmentVariableIsEmpty("VFC_SHOT_DIR")) GTEST_SKIP() << "VFC_SHOT_DIR not set";
    TMainForm form;
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    if (qEnvironmentVariableIsEmpty("VEXIF_DEVICES"))
        QTest::mouseClick(form.moduleGroup()->simCheck(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return form.runAction()->isEnabled(); }, 5000));
    clickItem(*form.gateGroup(), 1); // 1 s
    form.highResolutionAction()->setChecked(true);
    const struct {
        int type;
        const char* finished;
        const char* name;
    } counts[] = {{0, "Frequency Count Finished", "high-resolution.png"},
                  {1, "Period Count Finished", "high-resolution-period.png"}};
    for (const auto& count : counts) {
        clickItem(*form.countTypeGroup(), count.type);
        ASSERT_TRUE(waitUntil([&] { return form.runAction()->isEnabled(); }, 3000));
        form.runAction()->trigger();
        ASSERT_TRUE(waitUntil([&] { return stateText(form) == count.finished; }, 15000));
        shootArea(form, form.frameGeometry(), count.name);
    }
    form.deviceProblemsAction()->trigger();
    QWidget* dialog = form.deviceProblemsDialog();
    ASSERT_TRUE(waitUntil([&] { return dialog->isVisible(); }, 2000));
    QTest::qWait(100);
    shootArea(*dialog, dialog->frameGeometry(), "device-problems.png");
}

} // namespace
