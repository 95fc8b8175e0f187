// The main window's shell: actions, menu, tool bar, panels, size and place,
// the poll timer, the server connection and its failure. The scripted fake of
// the device library stands in for the server.
#include "FakeVexif.h"
#include "app/HelpWindow.h"
#include "app/ImageList.h"
#include "app/RecordsController.h"
#include "app/ToolStrip.h"
#include "app/TopPanel.h"
#include "app/vfcmain.h"
#include "counter/vfcgroups.h"
#include "counter/vfcgroups_thresh.h"
#include "display/vfcgrid.h"
#include "modules/vfcmodsel.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MainWindow : public testing::Test {
protected:
    void SetUp() override { fakevexif::reset(); }

    std::unique_ptr<TMainForm> makeForm(std::vector<std::string> arguments = {}) {
        return std::make_unique<TMainForm>(arguments);
    }
};

TEST_F(MainWindow, ActionsAsTheTableSays) {
    auto form = makeForm();
    const struct {
        QAction* action;
        const char* caption;
        const char* hint;
        int image;
        QKeySequence shortcut;
    } rows[] = {
        {form->continuousAction(), "&Continuous", "Continuous measurements", 31, {}},
        {form->runAction(), "&Run", "Run", 29, QKeySequence(Qt::Key_F5)},
        {form->stopAction(), "&Stop", "Stop immediately", 30, QKeySequence(Qt::Key_F6)},
        {form->helpAction(), "&Help", "Help contents", 5, QKeySequence(Qt::Key_F1)},
        {form->aboutAction(), "&About", "The About window", 5, {}},
        {form->quitAction(), "&Quit", "Exit the program", 26, QKeySequence(Qt::CTRL | Qt::Key_Q)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.caption);
        EXPECT_EQ(row.action->text(), row.caption);
        EXPECT_EQ(row.action->toolTip(), row.hint);
        EXPECT_EQ(row.action->statusTip(), row.hint);
        EXPECT_EQ(row.action->shortcut(), row.shortcut);
        const QImage expected = form->imageList().image(row.image).toImage();
        EXPECT_EQ(row.action->icon().pixmap(16, 16).toImage().convertToFormat(expected.format()),
                  expected);
        EXPECT_EQ(row.action->isCheckable(), row.action == form->continuousAction());
    }
    // Run and Stop wait for a module; the others are ready.
    EXPECT_FALSE(form->runAction()->isEnabled());
    EXPECT_FALSE(form->stopAction()->isEnabled());
    EXPECT_TRUE(form->continuousAction()->isEnabled());
    EXPECT_TRUE(form->helpAction()->isEnabled());
    EXPECT_TRUE(form->aboutAction()->isEnabled());
    EXPECT_TRUE(form->quitAction()->isEnabled());
}

TEST_F(MainWindow, ImageListHoldsThePicturesTheActionsUse) {
    ImageList images;
    ASSERT_EQ(images.count(), 32);
    for (int i = 0; i < images.count(); ++i)
        EXPECT_EQ(images.image(i).size(), QSize(16, 16));
    for (int used : {5, 26, 29, 30, 31}) {
        const QImage image = images.image(used).toImage();
        int opaque = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                opaque += qAlpha(image.pixel(x, y)) != 0;
        EXPECT_GT(opaque, 30) << "picture " << used;
    }
    EXPECT_TRUE(images.image(32).isNull());
}

TEST_F(MainWindow, MenuItemsShowTheirActions) {
    auto form = makeForm();
    const RecordsController& records = *form->records();
    const QList<QAction*> top = form->menuBar()->actions();
    ASSERT_EQ(top.size(), 4);
    EXPECT_EQ(top[0]->text(), "&File");
    EXPECT_EQ(top[1]->text(), "E&dit");
    EXPECT_EQ(top[2]->text(), "&Counter");
    EXPECT_EQ(top[3]->text(), "&Help");
    // Separators stand where the lists hold null.
    const auto items = [](QAction* menu) {
        QList<QAction*> actions = menu->menu()->actions();
        for (QAction*& action : actions)
            if (action->isSeparator()) action = nullptr;
        return actions;
    };
    EXPECT_EQ(items(top[0]), QList<QAction*>({records.logAction(), nullptr, form->quitAction()}));
    EXPECT_EQ(items(top[1]), QList<QAction*>({records.copyAction()}));
    EXPECT_EQ(items(top[2]),
              QList<QAction*>({form->continuousAction(), form->runAction(), form->stopAction(),
                               nullptr, form->highResolutionAction(), records.statisticsAction()}));
    EXPECT_EQ(items(top[3]), QList<QAction*>({form->helpAction(), form->deviceProblemsAction(),
                                              form->aboutAction()}));
    EXPECT_TRUE(form->highResolutionAction()->isCheckable());
    EXPECT_FALSE(form->highResolutionAction()->isChecked());

    // The record actions: captions, short-cuts, and only logging is checked.
    EXPECT_EQ(records.logAction()->text(), "&Log to File...");
    EXPECT_TRUE(records.logAction()->isCheckable());
    EXPECT_FALSE(records.logAction()->isChecked());
    EXPECT_EQ(records.copyAction()->text(), "&Copy");
    EXPECT_EQ(records.copyAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
    EXPECT_EQ(records.statisticsAction()->text(), "S&tatistics...");
    EXPECT_EQ(records.statisticsAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_T));

    // Within each menu every mnemonic letter is used once, and no two actions
    // of the window share a short-cut.
    for (QAction* menu : top) {
        QSet<QChar> letters;
        for (QAction* action : menu->menu()->actions()) {
            const QString text = action->text();
            const qsizetype amp = text.indexOf('&');
            if (amp < 0) continue;
            EXPECT_FALSE(letters.contains(text[amp + 1].toLower())) << text.toStdString();
            letters.insert(text[amp + 1].toLower());
        }
    }
    QSet<QKeySequence> keys;
    for (QAction* action : form->actions()) {
        if (action->shortcut().isEmpty()) continue;
        EXPECT_FALSE(keys.contains(action->shortcut())) << action->text().toStdString();
        keys.insert(action->shortcut());
    }
}

TEST_F(MainWindow, ToolBarButtonsStandSideBySide) {
    auto form = makeForm();
    const std::vector<QWidget*>& items = form->toolBar()->items();
    ASSERT_EQ(items.size(), 7u);
    QAction* const expectedActions[] = {
        form->continuousAction(), form->runAction(), form->stopAction(), nullptr,
        form->helpAction(),       nullptr,           form->quitAction()};
    const int expectedLeft[] = {2, 31, 60, 89, 103, 132, 146};
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(i);
        auto* button = qobject_cast<QToolButton*>(items[i]);
        const bool separator = expectedActions[i] == nullptr;
        EXPECT_EQ(items[i]->x(), expectedLeft[i]);
        EXPECT_EQ(items[i]->width(), separator ? 14 : 29);
        EXPECT_EQ(items[i]->height(), 25);
        if (separator) {
            EXPECT_EQ(button, nullptr);
        } else {
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->defaultAction(), expectedActions[i]);
        }
    }
    EXPECT_EQ(form->toolBar()->height(), 27);
    EXPECT_EQ(form->toolBar()->y(), 0);
    EXPECT_EQ(form->topPanel()->height(), 120);
}

TEST_F(MainWindow, ContinuousButtonStaysPressedWhileChecked) {
    auto form = makeForm();
    auto* button = qobject_cast<QToolButton*>(form->toolBar()->items()[0]);
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isCheckable());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(form->continuousAction()->isChecked());
    EXPECT_TRUE(button->isChecked());
    form->continuousAction()->trigger(); // the menu item does the same
    EXPECT_FALSE(form->continuousAction()->isChecked());
    EXPECT_FALSE(button->isChecked());
}

TEST_F(MainWindow, RunAndStopButtonsFollowEnableRunStop) {
    auto form = makeForm();
    auto* run = qobject_cast<QToolButton*>(form->toolBar()->items()[1]);
    auto* stop = qobject_cast<QToolButton*>(form->toolBar()->items()[2]);
    EXPECT_FALSE(run->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    form->EnableRunStop(true, false);
    EXPECT_TRUE(run->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    // Run disables itself and enables Stop; Stop does the reverse.
    QTest::mouseClick(run, Qt::LeftButton);
    EXPECT_FALSE(form->runAction()->isEnabled());
    EXPECT_TRUE(form->stopAction()->isEnabled());
    QTest::mouseClick(stop, Qt::LeftButton);
    EXPECT_TRUE(form->runAction()->isEnabled());
    EXPECT_FALSE(form->stopAction()->isEnabled());
}

TEST_F(MainWindow, FixedWindowCentredOnlyAtStart) {
    auto form = makeForm();
    EXPECT_EQ(form->windowTitle(), "Vex Frequency And Event Counter");
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(form->minimumSize(), form->maximumSize());

    // Five groups 623 pixels wide and 6 beyond; the menu bar, the top panel,
    // 19 grid rows of 25 pixels and the closing line, the status bar.
    const int fixedPart = form->height() - (25 * 19 + 1);
    EXPECT_EQ(form->width(), 629);
    EXPECT_EQ(fixedPart, form->menuBar()->sizeHint().height() + 120 + form->statusBar()->height());
    EXPECT_EQ(form->statusBar()->height(), form->fontMetrics().height() + 6);

    const QRect screen = form->screen()->geometry();
    EXPECT_EQ(form->pos(), QPoint(screen.x() + (screen.width() - form->width()) / 2,
                                  screen.y() + (screen.height() - form->height()) / 2));

    // A later fit keeps the top-left corner and follows the channel count.
    form->move(40, 30);
    form->FitWindow(8, false);
    EXPECT_EQ(form->pos(), QPoint(40, 30));
    EXPECT_EQ(form->height(), fixedPart + 25 * 9 + 1);
    EXPECT_EQ(form->width(), 629);
}

TEST_F(MainWindow, GroupsStandLeftToRightAndSetTheWidth) {
    auto form = makeForm();
    // Left to right: module, counter type, gate length, edges, threshold.
    const struct {
        QGroupBox* group;
        const char* caption;
        int left;
        int width;
    } rows[] = {
        {form->moduleGroup(), "No Modules", 0, 220},
        {form->countTypeGroup(), "Counter Type", 220, 110},
        {form->gateGroup(), "GateLength", 330, 110},
        {form->edgeGroup(), "Edges", 440, 110},
        {form->threshGroup(), "Threshold", 550, 73},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.caption);
        EXPECT_EQ(row.group->parentWidget(), form->topPanel());
        EXPECT_EQ(row.group->geometry(), QRect(row.left, 27, row.width, 93));
        EXPECT_TRUE(row.group->isVisible());
    }
    EXPECT_EQ(form->topPanel()->groups(),
              (std::vector<QWidget*>{form->moduleGroup(), form->countTypeGroup(), form->gateGroup(),
                                     form->edgeGroup(), form->threshGroup()}));
    EXPECT_EQ(form->width(), 623 + 6);
    // The grid fills the window's width.
    EXPECT_EQ(form->grid()->width(), form->width());
}

TEST_F(MainWindow, CounterTypeSetsHeadingAndGateChoices) {
    auto form = makeForm();
    // Applied once at start for the initial type, Frequency.
    EXPECT_EQ(form->grid()->ResultHeading(), "Frequency");
    EXPECT_EQ(form->gateGroup()->itemCount(), 3);
    QRadioButton* events = form->countTypeGroup()->itemButton(2);
    QTest::mouseClick(events, Qt::LeftButton, {}, QPoint(6, events->height() / 2));
    EXPECT_EQ(form->grid()->ResultHeading(), "Event Count");
    EXPECT_EQ(form->gateGroup()->itemCount(), 4);
}

TEST_F(MainWindow, ClientPanelIsGreenUnderTheTopPanel) {
    auto form = makeForm();
    QWidget* client = form->clientPanel();
    EXPECT_TRUE(client->autoFillBackground());
    EXPECT_EQ(client->palette().color(QPalette::Window), QColor(0, 128, 0));
    EXPECT_EQ(client->mapTo(form.get(), QPoint(0, 0)).y(),
              form->topPanel()->mapTo(form.get(), QPoint(0, 0)).y() + 120);
    EXPECT_EQ(client->width(), form->width());
    EXPECT_EQ(form->grid()->parentWidget(), client);
    EXPECT_EQ(form->grid()->rowCount(), 19);
}

TEST_F(MainWindow, ConnectsToTheBuiltInServerWithoutArguments) {
    auto form = makeForm();
    const auto connect = fakevexif::lastCall("QV_ConnectToServer");
    ASSERT_TRUE(connect);
    EXPECT_TRUE(connect->textNull);
    EXPECT_EQ(connect->args, (std::vector<int64_t>{form->library()->handle(), 0}));
    EXPECT_FALSE(form->server().host);
}

TEST_F(MainWindow, ConnectsToTheServerOfTheCommandLine) {
    auto form = makeForm({"-x", "SERVER=Lab-PC:9000"});
    const auto connect = fakevexif::lastCall("QV_ConnectToServer");
    ASSERT_TRUE(connect);
    EXPECT_FALSE(connect->textNull);
    EXPECT_EQ(connect->text, "lab-pc");
    EXPECT_EQ(connect->args.back(), 9000);
}

TEST_F(MainWindow, FinalisesItsSessionWhenDestroyed) {
    auto form = makeForm();
    const int32_t handle = form->library()->handle();
    EXPECT_EQ(fakevexif::liveHandles(), 1);
    form.reset();
    EXPECT_EQ(fakevexif::liveHandles(), 0);
    const auto finalize = fakevexif::lastCall("QV_Finalize");
    ASSERT_TRUE(finalize);
    EXPECT_EQ(finalize->args, (std::vector<int64_t>{handle}));
}

TEST_F(MainWindow, FailedConnectionEndsTheStartWithStatusOne) {
    const struct {
        const char* failing;
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {"QV_ConnectToServer",
         {"server=lab-pc:9000"},
         "Failed to connect to server (lab-pc) on port 9000"},
        {"QV_ConnectToServer", {}, "Failed to connect to server (local) on default port."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        fakevexif::reset();
        fakevexif::failNext(c.failing, QV_ERR_CONNECT_FAILED);
        testing::internal::CaptureStderr();
        int status = -1;
        try {
            TMainForm form(c.arguments);
        } catch (const ProcessExit& exit) {
            status = exit.status();
        }
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, 1);
        EXPECT_NE(err.find(std::string("Vex Frequency And Event Counter - Server: Fatal Error: ") +
                           c.message + "\n"),
                  std::string::npos)
            << err;
        // Nothing of the session is left behind.
        EXPECT_EQ(fakevexif::liveHandles(), 0);
    }
}

TEST_F(MainWindow, PollTimerTicksEvery100ms) {
    auto form = makeForm();
    ASSERT_NE(form->pollTimer(), nullptr);
    EXPECT_EQ(form->pollTimer()->interval(), 100);
    EXPECT_TRUE(form->pollTimer()->isActive());
    EXPECT_EQ(form->runState(), 0);
}

TEST_F(MainWindow, HelpOpensAtTheMainTopic) {
    auto form = makeForm();
    EXPECT_EQ(form->helpWindow(), nullptr);
    form->helpAction()->trigger();
    HelpWindow* help = form->helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->browser()->source().fragment(), "topic4810");
    const QString text = help->browser()->toPlainText();
    EXPECT_TRUE(text.contains("server=HOST:PORT")) << text.toStdString();
    EXPECT_TRUE(text.contains("vexcountd"));
    // A second request reuses the window.
    form->helpAction()->trigger();
    EXPECT_EQ(form->helpWindow(), help);
}

TEST_F(MainWindow, F1ShortCutOpensTheHelp) {
    auto form = makeForm();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_F1);
    ASSERT_NE(form->helpWindow(), nullptr);
    EXPECT_TRUE(form->helpWindow()->isVisible());
}

TEST_F(MainWindow, QuitClosesTheWindow) {
    auto form = makeForm();
    form->quitAction()->trigger();
    EXPECT_FALSE(form->isVisible());
}

} // namespace
