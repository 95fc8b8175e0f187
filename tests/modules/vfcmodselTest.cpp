// TModSelGroup with the real data model and module attachment, against the
// scripted device library: what the box lists, what it hands over, and how
// refresh failures and a dropped-down list are met.
#include "modules/vfcmodsel.h"

#include "FakeVexif.h"
#include "ModuleWindowState.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace {

class ModSelGroupTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakevexif::reset();
        m_panel.resize(900, 93);
        m.emplace(
            [this](AnalyserData& data) { m_group = new TModSelGroup(&m_panel, "Module", &data); });
    }

    bool refresh() { return m_group->RefreshModules(&m->library); }
    QComboBox* box() const { return m_group->box(); }
    QStringList items() const {
        QStringList texts;
        for (int i = 0; i < box()->count(); ++i)
            texts << box()->itemText(i);
        return texts;
    }
    std::string open() const { return fakevexif::openModule(m->library.handle()); }
    void keyDown() {
        box()->setFocus();
        QTest::keyClick(box(), Qt::Key_Down);
    }

    // The main window's order: the data model goes before the widgets.
    QWidget m_panel;
    std::optional<AttachedModel> m;
    TModSelGroup* m_group = nullptr;
};

TEST_F(ModSelGroupTest, BuildsItsControlsAndNeedsALibraryToRefresh) {
    EXPECT_EQ(m_group->toolTip(), "Module Select");
    EXPECT_FALSE(box()->isEditable());
    EXPECT_EQ(m_group->width(), 220);
    EXPECT_TRUE(m_group->rect().contains(box()->geometry()));
    // Inside the frame, not on it.
    EXPECT_TRUE(m_group->contentsRect().contains(m_group->simCheck()->geometry()));
    EXPECT_EQ(m_group->simCheck()->text(), "Allow Simulations");
    EXPECT_FALSE(m_group->simCheck()->isChecked());

    fakevexif::setModules({{"QV000001", 'c'}});
    fakevexif::clearCalls();
    EXPECT_TRUE(m_group->RefreshModules(nullptr));
    EXPECT_TRUE(fakevexif::calls().empty());
    EXPECT_EQ(m_group->title(), "Module");
}

TEST_F(ModSelGroupTest, NoModulesHandsOverAnEmptyName) {
    fakevexif::setModules({{"QV000001", 'c'}});
    ASSERT_TRUE(refresh());
    ASSERT_EQ(open(), "QV000001");
    EXPECT_EQ(m_group->title(), "1 Module");
    fakevexif::setModules({{"QV000002", 'o'}, {"QV000003", 'c', 'f', 'x'}});
    ASSERT_TRUE(refresh());
    EXPECT_EQ(m_group->title(), "No Modules");
    EXPECT_EQ(box()->count(), 0);
    EXPECT_EQ(box()->currentIndex(), -1);
    EXPECT_EQ(m->data.moduleName(), "");
    EXPECT_EQ(m->data.modelCode(), 'c'); // 'u' keeps the model description
    EXPECT_EQ(open(), "");
    EXPECT_FALSE(m->window.runEnabled);
}

TEST_F(ModSelGroupTest, ListsFreeAndOwnModulesOnly) {
    fakevexif::setModules({{"QV000004", 'c', 't', 'p'},
                           {"QV000003", 'c', 'f', 'p'},
                           {"QV000002", 'c', 'f', 'a'},
                           {"QV000001", 'c', 'f', 'p'}});
    ASSERT_TRUE(refresh());
    const QStringList listed = {"QV000001    (Vex18e)", "QV000003    (Vex18e)"};
    EXPECT_EQ(items(), listed);
    EXPECT_EQ(m->data.moduleName(), "QV000001");
    // The module in use reported taken stays listed and selected.
    fakevexif::setModules({{"QV000003", 'c', 'f', 'p'}, {"QV000001", 'c', 't', 'p'}});
    ASSERT_TRUE(refresh());
    EXPECT_EQ(items(), listed);
    EXPECT_EQ(box()->currentText(), listed[0]);
    EXPECT_EQ(open(), "QV000001");
}

TEST_F(ModSelGroupTest, UserChoiceSurvivesRefresh) {
    fakevexif::setModules({{"QV000002", 'c'}, {"QV000001", 'c'}});
    ASSERT_TRUE(refresh());
    ASSERT_EQ(open(), "QV000001");
    fakevexif::clearCalls();
    keyDown();
    EXPECT_EQ(m->data.moduleName(), "QV000002");
    EXPECT_EQ(fakevexif::callCount("QV_CloseMod"), 1);
    EXPECT_EQ(open(), "QV000002");

    fakevexif::clearCalls();
    ASSERT_TRUE(refresh());
    EXPECT_EQ(box()->currentText(), "QV000002    (Vex18e)");
    EXPECT_EQ(m->data.moduleName(), "QV000002");
    EXPECT_EQ(fakevexif::callCount("QV_OpenMod"), 0);
    EXPECT_EQ(fakevexif::callCount("QV_CloseMod"), 0);
}

TEST_F(ModSelGroupTest, VanishedModuleGivesWayToTheFirstSortedItem) {
    fakevexif::setModules({{"QV000003", 'c'}, {"QV000009", 'c'}, {"QV000002", 'c'}});
    ASSERT_TRUE(refresh());
    box()->setFocus();
    QTest::keyClick(box(), Qt::Key_End);
    ASSERT_EQ(open(), "QV000009");
    fakevexif::setModules({{"QV000003", 'c'}, {"QV000002", 'c'}});
    ASSERT_TRUE(refresh());
    EXPECT_EQ(box()->currentText(), "QV000002    (Vex18e)");
    EXPECT_EQ(m->data.moduleName(), "QV000002");
    EXPECT_EQ(open(), "QV000002");
    EXPECT_EQ(m_group->title(), "2 Modules");
}

TEST_F(ModSelGroupTest, DroppedDownListIsLeftAlone) {
    fakevexif::setModules({{"QV000001", 'c'}});
    ASSERT_TRUE(refresh());
    m_panel.show();
    box()->showPopup();
    ASSERT_TRUE(m_group->isDroppedDown());
    fakevexif::setModules({{"QV000001", 'c'}, {"QV000002", 'c'}});
    fakevexif::clearCalls();
    EXPECT_TRUE(refresh());
    EXPECT_EQ(fakevexif::callCount("QV_ModCount"), 0);
    EXPECT_EQ(box()->count(), 1);
    box()->hidePopup();
    ASSERT_FALSE(m_group->isDroppedDown());
    EXPECT_TRUE(refresh());
    EXPECT_EQ(box()->count(), 2);
}

TEST_F(ModSelGroupTest, SimulationsFollowTheCheckBoxFromTheNextRefresh) {
    fakevexif::setModules({{"QVSIMC02", 'c'}, {"QVSIMO01", 'o'}, {"QVSIMC01", 'c'}});
    ASSERT_TRUE(refresh());
    EXPECT_EQ(m_group->title(), "No Modules");

    QTest::mouseClick(m_group->simCheck(), Qt::LeftButton);
    EXPECT_TRUE(m->data.allowSimulations());
    EXPECT_EQ(box()->count(), 0); // nothing until the next refresh
    ASSERT_TRUE(refresh());
    EXPECT_EQ(items(), QStringList({"QVSIMC01    (Vex18e)", "QVSIMC02    (Vex18e)"}));
    EXPECT_EQ(m->data.moduleName(), "QVSIMC01");
    EXPECT_EQ(open(), "QVSIMC01");

    // The data model's flag drives the check box too.
    m->data.SetAllowSimulations(false);
    EXPECT_FALSE(m_group->simCheck()->isChecked());
    EXPECT_EQ(box()->count(), 2);
    ASSERT_TRUE(refresh());
    EXPECT_EQ(box()->count(), 0);
    EXPECT_EQ(m->data.moduleName(), "");
    EXPECT_EQ(open(), "");
}

TEST_F(ModSelGroupTest, FailedRefreshKeepsTheBoxButNoStaleModuleIsHandedOver) {
    fakevexif::setModules({{"QV000002", 'c'}, {"QV000001", 'c'}});
    ASSERT_TRUE(refresh());
    ASSERT_EQ(open(), "QV000001");
    for (const char* fn : {"QV_ModCount", "QV_ModInfo"}) {
        SCOPED_TRACE(fn);
        fakevexif::failNext(fn, QV_ERR_CONNECTION_LOST);
        EXPECT_FALSE(refresh());
        EXPECT_EQ(items(), QStringList({"QV000001    (Vex18e)", "QV000002    (Vex18e)"}));
        EXPECT_EQ(m_group->title(), "2 Modules");
    }
    // The window closes the module on the failed refresh; the user then picks
    // an item whose entry is gone.
    m->attachment.CloseModule();
    keyDown();
    EXPECT_EQ(m->data.moduleName(), "");
    EXPECT_EQ(open(), "");
    EXPECT_EQ(fakevexif::callsOf("QV_OpenMod").size(), 1u);

    // The next good refresh puts the list and the choice back.
    ASSERT_TRUE(refresh());
    EXPECT_EQ(m->data.moduleName(), "QV000001");
    EXPECT_EQ(open(), "QV000001");
}

TEST_F(ModSelGroupTest, FailureBehindAUserChoiceGoesToTheWindowsReport) {
    fakevexif::setModules({{"QV000001", 'c'}, {"QV000002", 'c'}});
    ASSERT_TRUE(refresh());
    std::vector<std::string> reports;
    m_group->OnHandlerFailure = [&](const char* handler, const std::exception_ptr& error) {
        try {
            std::rethrow_exception(error);
        } catch (const TModIfError& e) {
            reports.push_back(std::string(handler) + " " + std::to_string(e.status()));
        }
    };
    // The library cannot say whether a module is open, so closing the old
    // module fails: the exception must not reach Qt's event loop.
    fakevexif::failAlways("QV_ModIsOpen", QV_ERR_CONNECTION_LOST);
    keyDown();
    EXPECT_EQ(reports, std::vector<std::string>{"SelectionChange 5"});
    EXPECT_EQ(m->data.moduleName(), "QV000002");
}

} // namespace
