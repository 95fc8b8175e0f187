// The main window (offscreen) against a real vexcountd on a loopback port of
// the test's own, started with "server=127.0.0.1:PORT" as a user would: it
// lists, opens and counts with a simulated module, shows no module (and says
// why) and keeps ticking while the server is gone, and opens the module again
// by itself when the server is back; it names the server in the About window
// and shares the server with another window.
// Everything runs on the window's own 100 ms poll timer; every wait has a
// deadline.
#include "ServerProcess.h"
#include "WindowDriver.h"

#include "TModIfCpp.h"
#include "counter/ResultText.h"
#include "modules/vfcmodsel.h"
#include "vexif.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

using namespace windowtest;
using vfctest::ServerProcess;

std::unique_ptr<TMainForm> windowOn(uint16_t port) {
    return std::make_unique<TMainForm>(
        std::vector<std::string>{"server=127.0.0.1:" + std::to_string(port)});
}

// Ticks "Allow Simulations" and waits until the window uses module.
bool allowSimulations(TMainForm& form, const QString& module = "QVSIMC01") {
    QTest::mouseClick(form.moduleGroup()->simCheck(), Qt::LeftButton);
    return waitUntil(
        [&] { return moduleText(form) == "Using " + module && form.runAction()->isEnabled(); },
        2500);
}

// A library session of its own on the server, to see what other clients see.
class Observer {
public:
    explicit Observer(uint16_t port) {
        EXPECT_EQ(QV_Initialize(&m_handle), QV_OK);
        EXPECT_EQ(QV_ConnectToServer(m_handle, "127.0.0.1", port), QV_OK);
    }
    ~Observer() { QV_Finalize(m_handle); }
    Observer(const Observer&) = delete;
    Observer& operator=(const Observer&) = delete;

    // "<name> <model><free><present>" of module index, e.g. "QVSIMC01 ctp".
    std::string info(int32_t index) const {
        char name[QV_MODULE_NAME_SIZE] = {};
        char flags[QV_MODULE_INFO_SIZE] = {};
        if (QV_ModInfo(m_handle, index, name, flags) != QV_OK) return "error";
        return std::string(name) + " " + std::string(flags, 3);
    }
    std::string identity() const {
        char id[64] = {};
        return QV_QueryServerID(m_handle, id, sizeof id) == QV_OK ? id : "error";
    }

private:
    int32_t m_handle = 0;
};

// The longest time between two poll timer ticks while it is alive.
class TickGaps {
public:
    explicit TickGaps(TMainForm& form) {
        m_clock.start();
        QObject::connect(form.pollTimer(), &QTimer::timeout, &m_context, [this] {
            m_longest = std::max(m_longest, m_clock.restart());
            ++m_ticks;
        });
    }
    qint64 longestMs() const { return m_longest; }
    int ticks() const { return m_ticks; }

private:
    QObject m_context;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
    int m_ticks = 0;
};

TEST(RemoteWindow, OpensASimulationAndCountsFrequenciesThroughTheServer) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    auto form = windowOn(server.port());
    EXPECT_EQ(form->server().host, "127.0.0.1");
    EXPECT_EQ(form->server().port, server.port());

    // The server has no real modules; the simulations appear once allowed.
    ASSERT_TRUE(waitUntil([&] { return form->moduleGroup()->title() == "No Modules"; }, 1500));
    EXPECT_FALSE(form->runAction()->isEnabled());
    ASSERT_TRUE(allowSimulations(*form)) << moduleText(*form).toStdString();
    QComboBox* box = form->moduleGroup()->box();
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(0), "QVSIMC01    (Vex18e)");
    EXPECT_EQ(box->itemText(1), "QVSIMC02    (Vex18e)");
    EXPECT_EQ(form->grid()->rowCount(), 19);
    Observer other(server.port());
    EXPECT_EQ(other.info(0), "QVSIMC01 ctp"); // held by the window's session

    // Pins as the simulated signals have them: 0 (1 MHz) both ways between
    // two reads, 6 static low, 7 static high.
    ASSERT_TRUE(waitUntil([&] { return pinText(*form).startsWith('B'); }, 1500));
    EXPECT_EQ(pinText(*form).mid(6, 2), "01");

    // A frequency count over the default 100 ms gate. Channels whose period
    // divides the gate show an exact number of edges.
    form->runAction()->trigger();
    EXPECT_TRUE(form->stopAction()->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return form->runAction()->isEnabled(); }, 3000));
    EXPECT_FALSE(form->stopAction()->isEnabled());
    EXPECT_EQ(stateText(*form), "Frequency Count Finished");
    const std::vector<std::string> texts = results(*form);
    ASSERT_EQ(texts.size(), 18u);
    EXPECT_EQ(texts[0], "1000000|Hz$[ period: 1000.0 ns ]");
    EXPECT_EQ(texts[8], "10000000|Hz$[ period: 100.0 ns ]");
    const struct {
        int channel;
        int64_t edges; // rising edges in 100 ms
    } exact[] = {{1, 100},     {2, 100},  {3, 1000}, {4, 10000},   {6, 0},     {7, 0},
                 {9, 1250000}, {11, 200}, {12, 1},   {16, 500000}, {17, 2500}, {10, 5000}};
    for (const auto& c : exact)
        EXPECT_EQ(texts[c.channel], FrequencyText(c.edges, kGate100ms)) << "channel " << c.channel;
    EXPECT_TRUE(waitUntil([&] { return stateText(*form) == "Idle"; }, 1000));
}

TEST(RemoteWindow, ClosesTheModuleWhenTheServerGoesAndReopensItWhenItIsBack) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    const uint16_t port = server.port();
    auto form = windowOn(port);
    ASSERT_TRUE(allowSimulations(*form));

    // An event count without end, so the server goes in the middle of it.
    clickItem(*form->countTypeGroup(), 2);
    clickItem(*form->gateGroup(), 3);
    form->runAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return stateText(*form) == "Counting"; }, 1500));

    server.kill();
    TickGaps gaps(*form);
    // No module named, the reason shown, no message box.
    auto moduleless = [&] {
        return !form->runAction()->isEnabled() && !form->stopAction()->isEnabled() &&
               stateText(*form) == "Server lost" && moduleText(*form) == "No module open" &&
               pinText(*form) == QString(18, '0') && form->runState() == 0;
    };
    EXPECT_TRUE(waitUntil(moduleless, 1500))
        << "run " << form->runAction()->isEnabled() << " stop " << form->stopAction()->isEnabled()
        << " module '" << moduleText(*form).toStdString() << "' state '"
        << stateText(*form).toStdString() << "' pins '" << pinText(*form).toStdString() << "'";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // Seconds without the server: the window stays module-less, and every tick
    // comes on time although each one meets a dead connection.
    ASSERT_TRUE(waitUntil([&] { return gaps.ticks() >= 25; }, 4000));
    EXPECT_TRUE(moduleless());
    EXPECT_LT(gaps.longestMs(), 1200);
    const QString heartbeat = panel(*form, TModStatusBar::HeartbeatPanel);

    // Back on the same port: the window's session reconnects, the module
    // list is read again (the heartbeat beats again with it), and the chosen
    // module, listed again, is opened again without the user's help.
    ASSERT_TRUE(server.start(port));
    ASSERT_TRUE(
        waitUntil([&] { return panel(*form, TModStatusBar::HeartbeatPanel) != heartbeat; }, 3000));
    EXPECT_EQ(form->moduleGroup()->title(), "2 Modules");
    EXPECT_TRUE(waitUntil(
        [&] {
            return moduleText(*form) == "Using QVSIMC01" && form->runAction()->isEnabled() &&
                   stateText(*form) == "Idle";
        },
        1500))
        << moduleText(*form).toStdString() << " / " << stateText(*form).toStdString();
    EXPECT_EQ(Observer(port).info(0), "QVSIMC01 ctp"); // held again, on the new server

    // The user picks the other module and the window holds it.
    QTest::keyClick(form->moduleGroup()->box(), Qt::Key_Down);
    EXPECT_TRUE(waitUntil(
        [&] { return moduleText(*form) == "Using QVSIMC02" && form->runAction()->isEnabled(); },
        1000));
    Observer other(port);
    EXPECT_EQ(other.info(1), "QVSIMC02 ctp");
    EXPECT_TRUE(waitUntil([&] { return stateText(*form) == "Idle"; }, 1000));
    EXPECT_LT(gaps.longestMs(), 1200);
}

TEST(RemoteWindow, AboutNamesTheServerAndItsIdentity) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    auto form = windowOn(server.port());
    const std::string identity = Observer(server.port()).identity();

    // The About action runs its window modally; a timer reads the server
    // label and closes it (repeatedly, so nothing can keep the test waiting).
    auto about = [&] {
        QString label;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, form.get(), [&] {
            QWidget* window = QApplication::activeModalWidget();
            if (!window) return;
            if (auto* text = window->findChild<QLabel*>("serverLabel")) label = text->text();
            window->close();
        });
        closer.start(20);
        form->aboutAction()->trigger(); // returns when the window is closed
        return label.toStdString();
    };

    // "vexcountd,1.0.0,2024-05-14,09:12:03" as four lines under the address.
    std::string lines = "\r\n    Name: " + identity;
    for (const char* field : {"\r\n    Version: ", "\r\n    Start Date: ", "\r\n    Start Time: "})
        lines.replace(lines.find(','), 1, field);
    EXPECT_EQ(about(),
              "The Server on 127.0.0.1, port " + std::to_string(server.port()) + ", is:" + lines);
    EXPECT_EQ(identity.rfind("vexcountd,", 0), 0u) << identity;

    // Without the server the window says so instead, and still closes.
    server.kill();
    EXPECT_EQ(about(), "Could not connect to the Server to retrieve Server Version");
}

TEST(RemoteWindow, AModuleHeldByOneWindowIsTakenForAnother) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    auto first = windowOn(server.port());
    ASSERT_TRUE(allowSimulations(*first, "QVSIMC01"));

    // The second window does not list the first one's module, so it opens the
    // other Vex18e.
    auto second = windowOn(server.port());
    ASSERT_TRUE(allowSimulations(*second, "QVSIMC02"));
    QComboBox* box = second->moduleGroup()->box();
    ASSERT_EQ(box->count(), 1);
    EXPECT_EQ(box->itemText(0), "QVSIMC02    (Vex18e)");
    EXPECT_EQ(second->moduleGroup()->title(), "1 Module");
    Observer other(server.port());
    EXPECT_EQ(other.info(0), "QVSIMC01 ctp");
    EXPECT_EQ(other.info(1), "QVSIMC02 ctp");

    // Both count at once, each on its own module.
    StateRecorder firstStates(*first), secondStates(*second);
    first->runAction()->trigger();
    second->runAction()->trigger();
    EXPECT_TRUE(waitUntil(
        [&] { return first->runAction()->isEnabled() && second->runAction()->isEnabled(); }, 3000));
    for (const StateRecorder* states : {&firstStates, &secondStates})
        EXPECT_TRUE(std::ranges::count(states->texts(), "Frequency Count Finished") == 1);
    EXPECT_EQ(results(*first)[0], "1000000|Hz$[ period: 1000.0 ns ]");
    EXPECT_EQ(results(*second)[0], "1000000|Hz$[ period: 1000.0 ns ]");

    // The first window goes: its module is free again and the second window
    // lists it at its next refresh, keeping its own.
    first.reset();
    EXPECT_TRUE(waitUntil([&] { return box->count() == 2; }, 2500));
    EXPECT_EQ(moduleText(*second), "Using QVSIMC02");
    EXPECT_EQ(box->currentText(), "QVSIMC02    (Vex18e)");
    EXPECT_EQ(other.info(0), "QVSIMC01 cfp");
}

} // namespace
