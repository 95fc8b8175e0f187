// Pictures of High Resolution for review (see WindowShots.cpp): a frequency
// and a period count of the first module with Counter > High Resolution on,
// and Help > Device Problems.... The pictures in docs/ come from a capture
// with a reference in VEXIF_DEVICES, e.g. "replay:file=capture.sr:ref=1MHz@0",
// and bad entries beside it for the problems.
#include "WindowDriver.h"

#include "app/vfcmain.h"
#include "display/DeviceProblemsDialog.h"
#include "modules/vfcmodsel.h"

#include <QAction>
#include <QCheckBox>

#include <gtest/gtest.h>

namespace {

using namespace windowtest;

// Runs a count of the selected type and saves the window when it has finished.
void countAndShoot(TMainForm& form, const QString& finished, const char* name) {
    ASSERT_TRUE(waitUntil([&] { return form.runAction()->isEnabled(); }, 3000));
    form.runAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return stateText(form) == finished; }, 15000));
    shootArea(form, form.frameGeometry(), name);
}

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
    countAndShoot(form, "Frequency Count Finished", "high-resolution.png");
    clickItem(*form.countTypeGroup(), 1); // period
    countAndShoot(form, "Period Count Finished", "high-resolution-period.png");

    form.deviceProblemsAction()->trigger();
    QWidget* dialog = form.deviceProblemsDialog();
    ASSERT_TRUE(waitUntil([&] { return dialog->isVisible(); }, 2000));
    QTest::qWait(100);
    shootArea(*dialog, dialog->frameGeometry(), "device-problems.png");
}

} // namespace
