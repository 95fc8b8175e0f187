// The whole main window on the scripted fake of the device library: the poll
// tick's schedule, module attachment through the real module group, library
// failures during a count and around an open, the About action, and a start
// whose model look-up fails.
#include "FakeVexif.h"
#include "WindowDriver.h"

#include "app/Application.h"
#include "modules/vfcmodsel.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

using namespace windowtest;

class WindowModules : public testing::Test {
protected:
    void SetUp() override {
        fakevexif::reset();
        fakevexif::setModules({{"QV000001", 'c'}, {"QV000002", 'c'}});
    }

    // The window with the first module opened by the timer's first refresh.
    void openFirst() {
        form = std::make_unique<TMainForm>();
        ASSERT_TRUE(waitUntil(
            [&] { return moduleText(*form) == "Using QV000001" && form->runAction()->isEnabled(); },
            1500));
    }
    int32_t handle() const { return form->library()->handle(); }
    std::string openModule() const { return fakevexif::openModule(handle()); }
    // The user picks the next module in the box with the arrow key.
    void pickSecond() {
        fakevexif::clearCalls();
        QTest::keyClick(form->moduleGroup()->box(), Qt::Key_Down);
    }
    std::vector<std::string> openAndCloseCalls() const {
        std::vector<std::string> names = fakevexif::callNames();
        std::erase_if(names, [](const std::string& n) {
            return n != "QV_OpenMod" && n != "QV_CloseMod" && n != "QV_Info";
        });
        return names;
    }
    // Closed, naming no module, with the reason in the state panel.
    void expectModuleLess(const QString& reason) {
        EXPECT_EQ(openModule(), "");
        EXPECT_FALSE(form->runAction()->isEnabled());
        EXPECT_FALSE(form->stopAction()->isEnabled());
        EXPECT_EQ(moduleText(*form), "No module open");
        EXPECT_EQ(stateText(*form), reason);
        EXPECT_EQ(pinText(*form), QString(18, '0'));
        EXPECT_EQ(form->runState(), 0);
    }

    std::unique_ptr<TMainForm> form;
};

TEST_F(WindowModules, IdleTicksReadPinsEveryTickAndTheListEveryTenth) {
    form = std::make_unique<TMainForm>();
    form->pollTimer()->stop(); // the test ticks by hand
    fakevexif::setPinText("01RFB0000000000001");
    const QString initialHeartbeat = panel(*form, TModStatusBar::HeartbeatPanel);
    std::vector<int> refreshTicks;
    std::vector<QString> heartbeats;
    for (int tick = 1; tick <= 12; ++tick) {
        const int lists = fakevexif::callCount("QV_ModCount");
        const int pins = fakevexif::callCount("QV_GetPinStatus");
        form->PollTick();
        if (fakevexif::callCount("QV_ModCount") > lists) refreshTicks.push_back(tick);
        // Pins from the tick after the open on, every tick.
        if (tick > 2) {
            EXPECT_EQ(fakevexif::callCount("QV_GetPinStatus"), pins + 1) << tick;
        }
        heartbeats.push_back(panel(*form, TModStatusBar::HeartbeatPanel));
    }
    EXPECT_EQ(refreshTicks, (std::vector<int>{2, 12}));
    EXPECT_EQ(heartbeats[0], initialHeartbeat);
    EXPECT_NE(heartbeats[1], heartbeats[0]);  // flipped with the first refresh
    EXPECT_EQ(heartbeats[10], heartbeats[1]); // and not in between
    EXPECT_NE(heartbeats[11], heartbeats[10]);
    EXPECT_EQ(moduleText(*form), "Using QV000001");
    EXPECT_EQ(pinText(*form), "01RFB0000000000001");

    // While a count runs the pins, the list and the heartbeat wait.
    fakevexif::setStatusWords({1});
    form->runAction()->trigger();
    ASSERT_EQ(form->runState(), 1);
    fakevexif::clearCalls();
    for (int tick = 0; tick < 12; ++tick)
        form->PollTick();
    EXPECT_EQ(fakevexif::callCount("QV_GetPinStatus"), 0);
    EXPECT_EQ(fakevexif::callCount("QV_ModCount"), 0);
    EXPECT_EQ(fakevexif::callCount("QV_FCGetStatus"), 12);
    EXPECT_EQ(panel(*form, TModStatusBar::HeartbeatPanel), heartbeats[11]);
}

TEST_F(WindowModules, SwitchingClosesTheOldModuleBeforeOpeningTheNew) {
    openFirst();
    pickSecond();
    EXPECT_EQ(openAndCloseCalls(),
              (std::vector<std::string>{"QV_CloseMod", "QV_OpenMod", "QV_Info"}));
    EXPECT_EQ(fakevexif::lastCall("QV_OpenMod")->text, "QV000002");
    EXPECT_EQ(openModule(), "QV000002");
    EXPECT_EQ(moduleText(*form), "Using QV000002");
    EXPECT_EQ(stateText(*form), "Idle");
    EXPECT_TRUE(form->runAction()->isEnabled());
    EXPECT_FALSE(form->stopAction()->isEnabled());
}

TEST_F(WindowModules, OpenFailureLeavesTheWindowModuleLessUntilChosenAgain) {
    openFirst();
    fakevexif::failNext("QV_OpenMod", QV_ERR_MODULE_TAKEN);
    pickSecond();
    expectModuleLess("Module taken");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr); // no message box
    // The next refreshes hand over the same name: no new attempt, and the
    // reason stays up through the idle ticks.
    ASSERT_TRUE(waitTicks(*form, 12));
    EXPECT_EQ(fakevexif::callCount("QV_OpenMod"), 1);
    QComboBox* box = form->moduleGroup()->box();
    EXPECT_EQ(box->currentIndex(), 1);
    EXPECT_EQ(stateText(*form), "Module taken");

    // The user chooses the same module again in the box: it opens now.
    emit box->activated(box->currentIndex());
    EXPECT_EQ(fakevexif::callCount("QV_OpenMod"), 2);
    EXPECT_EQ(openModule(), "QV000002");
    EXPECT_EQ(moduleText(*form), "Using QV000002");
    EXPECT_EQ(stateText(*form), "Idle");
    EXPECT_TRUE(form->runAction()->isEnabled());
    // Choosing the open module again changes nothing.
    emit box->activated(box->currentIndex());
    EXPECT_EQ(fakevexif::callCount("QV_OpenMod"), 2);
    EXPECT_EQ(fakevexif::callCount("QV_CloseMod"), 1);
}

TEST_F(WindowModules, InfoFailureAfterOpenClosesTheModuleAgain) {
    openFirst();
    const QSize size = form->size();
    fakevexif::failNext("QV_Info", QV_ERR_UNKNOWN_MODEL);
    pickSecond();
    EXPECT_EQ(openAndCloseCalls(),
              (std::vector<std::string>{"QV_CloseMod", "QV_OpenMod", "QV_Info", "QV_CloseMod"}));
    expectModuleLess("Open failed");
    EXPECT_EQ(form->grid()->rowCount(), 19);
    EXPECT_EQ(form->size(), size);
}

TEST_F(WindowModules, ListFailureClosesTheModule) {
    openFirst();
    fakevexif::failNext("QV_ModInfo", QV_ERR_CONNECTION_LOST);
    ASSERT_TRUE(waitUntil([&] { return openModule().empty(); }, 1500));
    expectModuleLess("Library error");
    EXPECT_EQ(fakevexif::callCount("QV_CloseMod"), 1);
}

TEST_F(WindowModules, CountFailureClosesTheModuleSilentlyAndTheTimerGoesOn) {
    openFirst();
    clickItem(*form->countTypeGroup(), 2); // events: counts read at every poll
    fakevexif::setStatusWords({1});
    fakevexif::setCounts({5, 6, 7});
    form->runAction()->trigger();
    ASSERT_TRUE(waitUntil([] { return fakevexif::callCount("QV_FCGetCounts") >= 2; }, 1000));
    EXPECT_EQ(form->grid()->Result(2), "7|Events");

    testing::internal::CaptureStderr();
    fakevexif::failNext("QV_FCGetCounts", QV_ERR_CONNECTION_LOST);
    const bool closed = waitUntil([&] { return openModule().empty(); }, 1000);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr); // no message box
    const int checks = fakevexif::callCount("QV_ModIsOpen");
    const int lists = fakevexif::callCount("QV_ModCount");
    ASSERT_TRUE(waitTicks(*form, 11));
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(closed);
    expectModuleLess("Library error");
    EXPECT_EQ(err, ""); // handled, not escaped

    // Still ticking: the cycle asks about the module and the list is read
    // again; the same module stays selected, so it is not opened again.
    EXPECT_GT(fakevexif::callCount("QV_ModIsOpen"), checks + 10);
    EXPECT_GT(fakevexif::callCount("QV_ModCount"), lists);
    EXPECT_EQ(fakevexif::callCount("QV_OpenMod"), 1);
    EXPECT_TRUE(form->pollTimer()->isActive());
}

TEST_F(WindowModules, AboutShowsTheServerOfTheCommandLine) {
    fakevexif::setServerId("vexcountd,1.2,2024-05-01,10:00:00");
    form = std::make_unique<TMainForm>(std::vector<std::string>{"server=Lab-PC:9000"});
    QString caption;
    QString serverLabel;
    QTimer::singleShot(0, form.get(), [&] {
        QWidget* about = QApplication::activeModalWidget();
        if (!about) return;
        caption = about->windowTitle();
        if (auto* label = about->findChild<QLabel*>("serverLabel")) serverLabel = label->text();
        about->close();
    });
    form->aboutAction()->trigger(); // returns when the window is closed
    EXPECT_EQ(caption, "About Vex Frequency And Event Counter");
    EXPECT_TRUE(serverLabel.contains("The Server on lab-pc, port 9000,"))
        << serverLabel.toStdString();
    EXPECT_TRUE(serverLabel.contains("vexcountd")) << serverLabel.toStdString();
    ASSERT_TRUE(fakevexif::lastCall("QV_QueryServerID"));
    EXPECT_EQ(fakevexif::lastCall("QV_QueryServerID")->args.front(), handle());
}

// The data model's look-up of its default model is the first library call of
// the program; when it fails, the start ends as a failed connection does.
TEST(WindowStart, FailingModelLookUpEndsTheStartWithStatusOne) {
    for (const char* failing : {"QV_Initialize", "QV_Info"}) {
        SCOPED_TRACE(failing);
        fakevexif::reset();
        fakevexif::failNext(failing, QV_ERR_INTERNAL);
        testing::internal::CaptureStderr();
        const int status = runMainWindow({});
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, 1);
        EXPECT_NE(err.find("Vex Frequency And Event Counter - Device Library: Fatal Error: Failed "
                           "to read the default model description from the device library "
                           "(status 15)."),
                  std::string::npos)
            << err;
        EXPECT_EQ(fakevexif::callCount("QV_ConnectToServer"), 0);
        EXPECT_EQ(fakevexif::liveHandles(), 0);
        EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    }
}

} // namespace
