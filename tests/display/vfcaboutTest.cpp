// The About window against the scripted library: geometry, texts, and which
// clicks close it.
#include "display/vfcabout.h"

#include "FakeVexif.h"
#include "vexif.h"

#include <QDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class AboutWindow : public ::testing::Test {
protected:
    void SetUp() override {
        fakevexif::reset();
        ASSERT_EQ(QV_Initialize(&m_handle), QV_OK);
        ASSERT_EQ(QV_ConnectToServer(m_handle, nullptr, 0), QV_OK);
        fakevexif::setServerId("S,1.0,d,t");
    }

    std::unique_ptr<QDialog> build(std::optional<std::string> host = std::nullopt,
                                   int32_t port = 0) {
        return BuildAboutWindow(nullptr, "About Vex Frequency And Event Counter",
                                AboutServerInfo{m_handle, std::move(host), port});
    }

    static QLabel* label(QDialog& w, const char* name) {
        auto* l = w.findChild<QLabel*>(name);
        EXPECT_NE(l, nullptr) << name;
        return l;
    }

    int32_t m_handle = 0;
};

QColor textColour(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

} // namespace

TEST_F(AboutWindow, IsAFixedCentredWindowWithTwoSunkenPanels) {
    auto w = build();
    EXPECT_EQ(w->windowTitle(), "About Vex Frequency And Event Counter");
    EXPECT_TRUE(w->isModal());
    EXPECT_EQ(w->size(), QSize(330, 260));
    EXPECT_EQ(w->minimumSize(), QSize(330, 260));
    EXPECT_EQ(w->maximumSize(), QSize(330, 260));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(w->pos(), QPoint((screen.width() - 330) / 2, (screen.height() - 260) / 2));

    auto* upper = w->findChild<QFrame*>("upperPanel");
    auto* lower = w->findChild<QFrame*>("lowerPanel");
    ASSERT_TRUE(upper && lower);
    EXPECT_EQ(upper->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(lower->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(lower->size(), upper->size());
    EXPECT_LT(upper->geometry().bottom(), lower->y());

    // Server label in the lower panel; the hidden line below the version text,
    // in the panel's colour.
    QLabel* version = label(*w, "versionLabel");
    QLabel* server = label(*w, "serverLabel");
    QLabel* hidden = label(*w, "hiddenLabel");
    ASSERT_TRUE(version && server && hidden);
    EXPECT_EQ(version->parentWidget(), upper);
    EXPECT_EQ(server->parentWidget(), lower);
    EXPECT_EQ(hidden->parentWidget(), upper);
    EXPECT_GT(hidden->y(), version->geometry().bottom());
    EXPECT_EQ(textColour(hidden), upper->palette().color(QPalette::Window));
    EXPECT_TRUE(version->text().startsWith("Software Version: Apr 14 2008\r\n"));
    // Every text fits inside its panel, also a long remote identity.
    for (const QLabel* l : {version, hidden})
        EXPECT_TRUE(upper->contentsRect().contains(l->geometry())) << l->objectName().toStdString();
    fakevexif::setServerId("vexcountd,1.0.0,2024-05-01,12:34:56");
    auto remote = build(std::string("lab-pc.example.org"), 65535);
    EXPECT_TRUE(remote->findChild<QFrame*>("lowerPanel")
                    ->contentsRect()
                    .contains(label(*remote, "serverLabel")->geometry()));
}

// The texts themselves are tested in vfcaboutTextTest.cpp.
TEST_F(AboutWindow, ServerLabelComesFromTheLibrary) {
    auto builtIn = build();
    EXPECT_TRUE(label(*builtIn, "serverLabel")->text().startsWith("The built-in server is:"));
    EXPECT_EQ(fakevexif::callCount("QV_QueryServerID"), 1);
    EXPECT_EQ(fakevexif::lastCall("QV_QueryServerID")->args, (std::vector<int64_t>{m_handle, 64}));

    auto remote = build(std::string("lab-pc"), 0);
    EXPECT_TRUE(
        label(*remote, "serverLabel")->text().startsWith("The Server on lab-pc, port 8279"));

    fakevexif::failNext("QV_QueryServerID", QV_ERR_CONNECTION_LOST);
    auto failed = build(std::string("lab-pc"), 9000);
    EXPECT_EQ(label(*failed, "serverLabel")->text(),
              "Could not connect to the Server to retrieve Server Version");

    // An identity as long as the buffer is cut, not overrun.
    fakevexif::setServerId(std::string(200, 'N'));
    EXPECT_TRUE(label(*build(), "serverLabel")
                    ->text()
                    .startsWith("The built-in server is:\r\n    Name: " + QString(63, 'N') +
                                "\r\n    Version: "));
}

TEST_F(AboutWindow, ClickAnywhereButTheHiddenLineCloses) {
    for (const char* target :
         {"aboutWindow", "upperPanel", "lowerPanel", "versionLabel", "serverLabel"}) {
        auto w = build();
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        QWidget* widget = w->objectName() == target ? w.get() : w->findChild<QWidget*>(target);
        ASSERT_NE(widget, nullptr) << target;
        // The window's own background: a point in the margin, outside both panels.
        const QPoint at = widget == w.get() ? QPoint(3, 3) : QPoint(2, 2);
        QTest::mouseClick(widget, Qt::LeftButton, {}, at);
        EXPECT_FALSE(w->isVisible()) << target;
    }
}

TEST_F(AboutWindow, HiddenLineTogglesRedWithoutClosing) {
    auto w = build();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    QLabel* hidden = label(*w, "hiddenLabel");
    const QColor panel = w->findChild<QFrame*>("upperPanel")->palette().color(QPalette::Window);
    ASSERT_NE(panel, QColor(Qt::red));

    QTest::mouseClick(hidden, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(textColour(hidden), QColor(Qt::red));
    EXPECT_TRUE(w->isVisible());
    QTest::mouseClick(hidden, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(textColour(hidden), panel);
    EXPECT_TRUE(w->isVisible());
    // Other buttons do nothing anywhere.
    QTest::mouseClick(w->findChild<QWidget*>("upperPanel"), Qt::RightButton, {}, QPoint(2, 2));
    EXPECT_TRUE(w->isVisible());
}

TEST_F(AboutWindow, ShowRunsModallyUntilClicked) {
    QWidget mainWindow;
    mainWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mainWindow));
    bool clicked = false;
    // Click the lower panel once the modal loop runs; a second timer ends a
    // loop that the click did not end, so the test cannot hang.
    QTimer::singleShot(50, &mainWindow, [&clicked] {
        auto* modal = QApplication::activeModalWidget();
        if (!modal) return;
        QTest::mouseClick(modal->findChild<QWidget*>("lowerPanel"), Qt::LeftButton, {},
                          QPoint(2, 2));
        clicked = true;
    });
    QPointer<QWidget> leftOpen;
    QTimer::singleShot(5000, &mainWindow, [&leftOpen] {
        if ((leftOpen = QApplication::activeModalWidget())) leftOpen->close();
    });
    ShowAboutWindow(&mainWindow, "About X", AboutServerInfo{m_handle, std::nullopt, 0});
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(leftOpen.isNull());
    EXPECT_EQ(mainWindow.findChildren<QDialog*>().size(), 0) << "the window is freed";
}
