// The main window from the keyboard: the Tab chain with its focus marks, the
// Alt+letter mnemonics (each does one thing), the check mark of Continuous,
// and Ctrl+Q. The scripted fake of the device library stands in for the server.
#include "FakeVexif.h"
#include "WindowDriver.h"
#include "app/vfcmain.h"
#include "counter/vfcgroups.h"
#include "counter/vfcgroups_thresh.h"
#include "display/vfcgrid.h"
#include "modules/vfcmodsel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QStyleOptionMenuItem>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

namespace {

using windowtest::clickItem;

class Keyboard : public testing::Test {
protected:
    void SetUp() override {
        fakevexif::reset();
        form = std::make_unique<TMainForm>();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    QMenu* menu(int index) const { return form->menuBar()->actions()[index]->menu(); }
    QMenu* menuTitled(const QString& title) const {
        for (QAction* item : form->menuBar()->actions())
            if (item->text() == title) return item->menu();
        return nullptr;
    }

    std::unique_ptr<TMainForm> form;
};

// The Alt+letters of one scope: letter -> the captions that claim it.
using Mnemonics = std::map<QString, QStringList>;

void claim(Mnemonics& scope, const QString& caption) {
    const QKeySequence key = QKeySequence::mnemonic(caption);
    if (!key.isEmpty()) scope[key.toString()] << caption;
}

// Mnemonics of the window itself (menu bar titles and every visible button,
// radio item and check box) and of each menu.
std::vector<Mnemonics> scopes(const TMainForm& form) {
    std::vector<Mnemonics> all(1);
    for (QAction* title : form.menuBar()->actions()) {
        claim(all[0], title->text());
        Mnemonics items;
        for (QAction* item : title->menu()->actions())
            claim(items, item->text());
        all.push_back(items);
    }
    for (QAbstractButton* button : form.findChildren<QAbstractButton*>())
        if (button->isVisible()) claim(all[0], button->text());
    return all;
}

TEST_F(Keyboard, TabRunsLeftToRightIntoTheGridShowingWhereTheFocusIs) {
    // With the infinite gate picked, Tab stops at it where the gate group is.
    for (const bool infinite : {false, true}) {
        SCOPED_TRACE(infinite);
        if (infinite) {
            clickItem(*form->countTypeGroup(), 1);
            clickItem(*form->gateGroup(), 3);
        }
        const std::vector<QWidget*> expected = {
            form->moduleGroup()->simCheck(),
            form->countTypeGroup()->itemButton(form->countTypeGroup()->itemIndex()),
            form->gateGroup()->itemButton(form->gateGroup()->itemIndex()),
            form->edgeGroup()->itemButton(form->edgeGroup()->itemIndex()),
            form->threshGroup()->spinButton(),
            form->grid(),
            form->moduleGroup()->box(),
        };
        form->moduleGroup()->box()->setFocus(Qt::TabFocusReason);
        std::vector<QWidget*> seen;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen.push_back(QApplication::focusWidget());
        }
        EXPECT_EQ(seen, expected);
    }

    // Where the style draws no focus mark, the window does: a frame round
    // the threshold arrows, round the module box and inside the grid's
    // current cell.
    const QColor highlight = form->palette().color(QPalette::Highlight);
    form->threshGroup()->spinButton()->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(form->threshGroup()->spinButton()->grab().toImage().pixelColor(0, 0), highlight);
    form->grid()->setFocus(Qt::TabFocusReason);
    const QRect cell = form->grid()->visualRect(form->grid()->currentIndex());
    const QImage grid = form->grid()->viewport()->grab().toImage();
    EXPECT_EQ(grid.pixelColor(cell.left() + 1, cell.center().y()), highlight);
    form->moduleGroup()->box()->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(form->moduleGroup()->box()->grab().toImage().pixelColor(0, 10), highlight);
    EXPECT_NE(
        form->grid()->viewport()->grab().toImage().pixelColor(cell.left() + 1, cell.center().y()),
        highlight);
}

TEST_F(Keyboard, EveryAltLetterDoesOneThing) {
    // Unique in every scope, with and without the infinite gate.
    for (const int type : {0, 1}) {
        clickItem(*form->countTypeGroup(), type);
        for (const Mnemonics& scope : scopes(*form))
            for (const auto& [key, captions] : scope)
                EXPECT_EQ(captions.size(), 1)
                    << key.toStdString() << ": " << captions.join(", ").toStdString();
    }

    // And each does its thing (a button clicks itself a moment after its
    // mnemonic, so the user sees it pressed).
    const auto alt = [this](Qt::Key key, const std::function<bool()>& done) {
        QTest::keyClick(form.get(), key, Qt::AltModifier);
        return windowtest::waitUntil(done, 1000);
    };
    EXPECT_TRUE(alt(Qt::Key_I, [&] { return form->gateGroup()->itemIndex() == 3; }));
    EXPECT_TRUE(alt(Qt::Key_T, [&] { return form->edgeGroup()->itemIndex() == 1; }));
    EXPECT_TRUE(alt(Qt::Key_Q, [&] { return form->countTypeGroup()->itemIndex() == 0; }));
    EXPECT_EQ(form->grid()->ResultHeading(), "Frequency"); // as a click does
    EXPECT_EQ(form->gateGroup()->itemCount(), 3);
    EXPECT_TRUE(alt(Qt::Key_F, [&] { return menu(0)->isVisible(); }));
    menu(0)->close();
}

// Qt draws a menu item's check mark only when the item shows no picture.
TEST_F(Keyboard, ContinuousShowsACheckMarkInTheMenu) {
    struct Probe : QMenu {
        static QStyleOptionMenuItem option(QMenu* menu, QAction* action) {
            QStyleOptionMenuItem item;
            (menu->*(&Probe::initStyleOption))(&item, action);
            return item;
        }
    };
    QAction* continuous = form->continuousAction();
    QMenu* const counterMenu = menuTitled("&Counter");
    ASSERT_NE(counterMenu, nullptr);
    ASSERT_EQ(counterMenu->actions()[0], continuous);
    EXPECT_FALSE(Probe::option(counterMenu, continuous).checked);
    continuous->trigger();
    const QStyleOptionMenuItem checked = Probe::option(counterMenu, continuous);
    EXPECT_TRUE(checked.checked);
    EXPECT_EQ(checked.checkType, QStyleOptionMenuItem::NonExclusive);
    EXPECT_TRUE(checked.icon.isNull());
    // The tool button keeps its picture.
    EXPECT_FALSE(continuous->icon().isNull());
}

TEST_F(Keyboard, CtrlQQuits) {
    EXPECT_EQ(form->quitAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    QTest::keyClick(form->grid(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(form->isVisible());
}

} // namespace
