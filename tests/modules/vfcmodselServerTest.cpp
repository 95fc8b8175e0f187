// TModSelGroup and module attachment against the real device library and its
// built-in server, the way a new user meets them: tick "Allow Simulations",
// and the next refresh lists and opens the simulated Vex18e modules.
#include "modules/vfcmodsel.h"

#include "ModuleWindowState.h"
#include "TModIfCpp.h"
#include "modules/vladata.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class ModSelServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_library = std::make_unique<TModIfCpp>();
        check(QV_ConnectToServer(m_library->handle(), nullptr, 0));
        m_window.handle = m_library->handle();
        m_data = std::make_unique<AnalyserData>();
        m_panel = std::make_unique<QWidget>();
        m_panel->resize(900, 93);
        m_group = new TModSelGroup(m_panel.get(), "Module", m_data.get());
        m_attachment = std::make_unique<ModuleAttachment>(m_window, *m_data, m_info);
        m_data->AddListener(&ModuleAttachment::listener, m_attachment.get());
    }
    void TearDown() override {
        m_data.reset();
        m_panel.reset();
    }

    bool refresh() { return m_group->RefreshModules(m_library.get()); }
    QStringList items() const {
        QStringList texts;
        for (int i = 0; i < m_group->box()->count(); ++i)
            texts << m_group->box()->itemText(i);
        return texts;
    }
    bool isOpen() const {
        int32_t open = 0;
        check(QV_ModIsOpen(m_library->handle(), &open));
        return open == 1;
    }

    ModuleWindowState m_window;
    QV_ModuleInfo m_info{};
    std::unique_ptr<TModIfCpp> m_library;
    std::unique_ptr<AnalyserData> m_data;
    std::unique_ptr<QWidget> m_panel;
    TModSelGroup* m_group = nullptr;
    std::unique_ptr<ModuleAttachment> m_attachment;
};

TEST_F(ModSelServerTest, AllowingSimulationsListsAndOpensTheFirstVex18e) {
    ASSERT_TRUE(refresh());
    const int realModules = m_group->box()->count();
    for (const QString& item : items())
        EXPECT_FALSE(item.startsWith("QVSIM")) << item.toStdString();

    QTest::mouseClick(m_group->simCheck(), Qt::LeftButton);
    ASSERT_TRUE(m_data->allowSimulations());
    ASSERT_TRUE(refresh());

    QStringList simulations;
    for (const QString& item : items()) {
        EXPECT_TRUE(item.endsWith("    (Vex18e)")) << item.toStdString();
        if (item.startsWith("QVSIM")) simulations << item;
    }
    ASSERT_GE(simulations.size(), 2);
    QStringList sorted = items();
    sorted.sort(Qt::CaseInsensitive);
    EXPECT_EQ(items(), sorted);
    EXPECT_EQ(m_group->title(), QString("%1 Modules").arg(items().size()));
    EXPECT_EQ(items().size(), realModules + simulations.size());

    // The first in sorted order is handed over and opened.
    const QString first = items().front();
    EXPECT_EQ(m_group->box()->currentIndex(), 0);
    EXPECT_EQ(QString::fromStdString(m_data->moduleName()), first.left(8));
    EXPECT_TRUE(isOpen());
    EXPECT_EQ(m_window.moduleText, "Using " + m_data->moduleName());
    EXPECT_TRUE(m_window.runEnabled);
    EXPECT_EQ(m_window.gridChannels, 18);
    m_attachment->PollPins();
    EXPECT_EQ(m_window.pins.size(), 18u);
    EXPECT_EQ(m_window.pins.find_first_not_of("01RFB"), std::string::npos);
}

TEST_F(ModSelServerTest, ModuleOfAnotherSessionIsNotListedButOursIs) {
    m_data->SetAllowSimulations(true);
    ASSERT_TRUE(refresh());
    ASSERT_GE(m_group->box()->count(), 2);
    const std::string ours = m_data->moduleName();
    const std::string other = m_group->box()->itemText(1).left(8).toStdString();

    TModIfCpp otherSession;
    check(QV_ConnectToServer(otherSession.handle(), nullptr, 0));
    check(QV_OpenMod(otherSession.handle(), other.c_str()));
    ASSERT_TRUE(refresh());
    EXPECT_FALSE(items().contains(QString::fromStdString(other) + "    (Vex18e)"));
    EXPECT_TRUE(items().contains(QString::fromStdString(ours) + "    (Vex18e)"));
    EXPECT_EQ(m_data->moduleName(), ours);
    EXPECT_TRUE(isOpen());
}

// Unticking removes the simulations at the next refresh, the one in use too:
// the list shows what the user allows, and the module in use gives way to the
// first remaining module, or to none.
TEST_F(ModSelServerTest, UntickingDropsTheSimulationInUseAtTheNextRefresh) {
    QTest::mouseClick(m_group->simCheck(), Qt::LeftButton);
    ASSERT_TRUE(refresh());
    const std::string simulation = m_data->moduleName();
    ASSERT_EQ(simulation.rfind("QVSIM", 0), 0u);

    QTest::mouseClick(m_group->simCheck(), Qt::LeftButton);
    ASSERT_FALSE(m_data->allowSimulations());
    EXPECT_EQ(m_data->moduleName(), simulation); // nothing changes before the refresh
    EXPECT_TRUE(isOpen());

    ASSERT_TRUE(refresh());
    for (const QString& item : items())
        EXPECT_FALSE(item.startsWith("QVSIM")) << item.toStdString();
    EXPECT_NE(m_data->moduleName(), simulation);
    if (items().isEmpty()) {
        EXPECT_EQ(m_group->title(), "No Modules");
        EXPECT_EQ(m_data->moduleName(), "");
        EXPECT_FALSE(isOpen());
        EXPECT_FALSE(m_window.runEnabled);
        EXPECT_EQ(m_window.pins, std::string(18, '0'));
    }
}

} // namespace
