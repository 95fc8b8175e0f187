// ModuleList: which modules are listed, how the box shows them, and how an
// item resolves to a module, driven through the scripted device library.
#include "modules/ModuleList.h"

#include "FakeVexif.h"
#include "TModIfCpp.h"

#include <gtest/gtest.h>

namespace {

struct FilterCase {
    const char* label;
    ModuleReport module;
    const char* current;
    bool allowSimulations;
    bool listed;
};

class ModuleFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(ModuleFilter, ListsOnlyUsableModulesOfTheFamily) {
    const FilterCase& c = GetParam();
    EXPECT_EQ(ModuleList().accepts(c.module, c.current, c.allowSimulations), c.listed);
}

INSTANTIATE_TEST_SUITE_P(
    Vex, ModuleFilter,
    ::testing::Values(
        FilterCase{"free_present_c", {"QV000001", 'c', 'f', 'p'}, "", false, true},
        FilterCase{"model_o_not_listed", {"QV000002", 'o', 'f', 'p'}, "", false, false},
        FilterCase{"model_r_not_listed", {"QV000003", 'r', 'f', 'p'}, "", false, false},
        FilterCase{"model_b_not_listed", {"GM000004", 'b', 'f', 'p'}, "", false, false},
        FilterCase{"absent", {"QV000001", 'c', 'f', 'a'}, "", false, false},
        FilterCase{"absent_even_if_current", {"QV000001", 'c', 'f', 0}, "QV000001", true, false},
        FilterCase{"taken_by_other", {"QV000001", 'c', 't', 'p'}, "QV000009", false, false},
        FilterCase{"taken_but_current", {"QV000001", 'c', 't', 'p'}, "QV000001", false, true},
        FilterCase{
            "taken_name_differs_in_case", {"QV000001", 'c', 't', 'p'}, "qv000001", false, false},
        FilterCase{"simulation_not_allowed", {"QVSIM001", 'c', 'f', 'p'}, "", false, false},
        FilterCase{"simulation_allowed", {"QVSIM001", 'c', 'f', 'p'}, "", true, true},
        // Unticking drops every simulation, the one in use too.
        FilterCase{"current_simulation_not_allowed",
                   {"QVSIM001", 'c', 'f', 'p'},
                   "QVSIM001",
                   false,
                   false},
        FilterCase{"prefix_needs_all_five", {"QVSI0001", 'c', 'f', 'p'}, "", false, true},
        FilterCase{
            "partner_prefix_is_no_simulation", {"GMSIM001", 'c', 'f', 'p'}, "", false, true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ModuleFilterFamilies, ExtendedModelsAddVex16AndVex8) {
    const ModuleList extended(true);
    EXPECT_TRUE(extended.accepts({"QV000001", 'o', 'f', 'p'}, "", false));
    EXPECT_TRUE(extended.accepts({"QV000001", 'r', 'f', 'p'}, "", false));
    EXPECT_TRUE(extended.accepts({"QV000001", 'c', 'f', 'p'}, "", false));
    EXPECT_FALSE(extended.accepts({"QV000001", 'b', 'f', 'p'}, "", false));
}

TEST(ModuleFilterFamilies, PartnerWordListsGlimburWithItsOwnSimulations) {
    const ModuleList partner(false, "glimbur");
    EXPECT_EQ(partner.simPrefix(), "GMSIM");
    EXPECT_TRUE(partner.accepts({"GM000001", 'b', 'f', 'p'}, "", false));
    EXPECT_FALSE(partner.accepts({"QV000001", 'c', 'f', 'p'}, "", false));
    EXPECT_FALSE(partner.accepts({"GMSIM001", 'b', 'f', 'p'}, "", false));
    EXPECT_TRUE(partner.accepts({"QVSIM001", 'b', 'f', 'p'}, "", false));
    // Any other word applies no model filter at all.
    EXPECT_TRUE(ModuleList(false, "Vex").accepts({"QV000001", 'x', 'f', 'p'}, "", false));
}

TEST(ModuleItemText, AppendsTheModelNameAfterFourBlanks) {
    const std::pair<char, const char*> table[] = {
        {'r', "QV000001    (Vex8)"},         {'o', "QV000001    (Vex16)"},
        {'c', "QV000001    (Vex18e)"},       {'b', "QV000001    (Glimbur K34)"},
        {'x', "QV000001    (unrecognized)"}, {'u', "QV000001    (unrecognized)"}};
    for (const auto& [code, text] : table)
        EXPECT_EQ(ModuleList::itemText({"QV000001", code}), text) << code;
}

TEST(ModuleListView, SortsItemsAndKeepsTheirEntryIndex) {
    ModuleList list;
    list.setEntries({{"QVb00002", 'c'}, {"QVA00003", 'c'}, {"QV000001", 'c'}});
    const ModuleListView view = list.view("QVb00002");
    ASSERT_EQ(view.items.size(), 3u);
    EXPECT_EQ(view.items[0], (ModuleItem{"QV000001    (Vex18e)", 2}));
    EXPECT_EQ(view.items[1], (ModuleItem{"QVA00003    (Vex18e)", 1}));
    EXPECT_EQ(view.items[2], (ModuleItem{"QVb00002    (Vex18e)", 0}));
    EXPECT_EQ(view.selected, 2);
    EXPECT_EQ(view.caption, "3 Modules");
}

TEST(ModuleListView, FallsBackToTheFirstSortedItem) {
    ModuleList list;
    list.setEntries({{"QV000002", 'c'}, {"QV000001", 'c'}});
    EXPECT_EQ(list.view("QV000009").selected, 0);
    EXPECT_EQ(list.view("").selected, 0);
    // The remembered name is compared exactly.
    EXPECT_EQ(list.view("qv000002").selected, 0);
    EXPECT_EQ(list.view("QV000002").selected, 1);
}

TEST(ModuleListView, EmptyListSelectsNothing) {
    const ModuleListView view = ModuleList().view("QV000001");
    EXPECT_TRUE(view.items.empty());
    EXPECT_EQ(view.selected, -1);
    EXPECT_EQ(view.caption, "No Modules");
}

TEST(ModuleListResolve, StaleOrMissingItemsGiveAnEmptySelection) {
    ModuleList list;
    list.setEntries({{"QV000001", 'c'}, {"QV000002", 'c'}});
    EXPECT_EQ(list.resolve(1, "QV000002    (Vex18e)"), (ModuleEntry{"QV000002", 'c'}));
    EXPECT_EQ(list.resolve(std::nullopt, ""), ModuleEntry{});
    EXPECT_EQ(list.resolve(2, "QV000003    (Vex18e)"), ModuleEntry{});
    EXPECT_EQ(list.resolve(SIZE_MAX, "QV000003    (Vex18e)"), ModuleEntry{});
    // In range, but the entry list changed under the item.
    EXPECT_EQ(list.resolve(0, "QV000002    (Vex18e)"), ModuleEntry{});
}

class ModuleListRead : public ::testing::Test {
protected:
    void SetUp() override {
        fakevexif::reset();
        m_library = std::make_unique<TModIfCpp>();
        check(QV_ConnectToServer(m_library->handle(), nullptr, 0));
    }
    int32_t handle() const { return m_library->handle(); }
    std::unique_ptr<TModIfCpp> m_library;
    ModuleList m_list;
};

TEST_F(ModuleListRead, KeepsAcceptedModulesInLibraryOrder) {
    fakevexif::setModules({{"QV000003", 'c', 'f', 'p'},
                           {"QV000001", 'o', 'f', 'p'},
                           {"QV000002", 'c', 't', 'p'},
                           {"QV000004", 'c', 'f', 'x'},
                           {"QVSIM001", 'c', 'f', 'p'},
                           {"QV000005", 'c', 't', 'p'}});
    m_list.read(handle(), "QV000005", false);
    EXPECT_EQ(m_list.entries(), (std::vector<ModuleEntry>{{"QV000003", 'c'}, {"QV000005", 'c'}}));
    m_list.read(handle(), "", true);
    EXPECT_EQ(m_list.entries(), (std::vector<ModuleEntry>{{"QV000003", 'c'}, {"QVSIM001", 'c'}}));
}

TEST_F(ModuleListRead, NamesAreCutToTheirBuffer) {
    fakevexif::setModules({{"QV0000012345", 'c', 'f', 'p'}});
    m_list.read(handle(), "", false);
    ASSERT_EQ(m_list.entries().size(), 1u);
    EXPECT_EQ(m_list.entries()[0].name.size(), 8u);
}

} // namespace
