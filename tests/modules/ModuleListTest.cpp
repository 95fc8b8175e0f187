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
    bool extended = false;
    const char* word = "vex";
};

TEST(ModuleFilter, ListsOnlyUsableModulesOfTheFamily) {
    const FilterCase cases[] = {
        {"free, present, c", {"QV000001", 'c', 'f', 'p'}, "", false, true},
        {"model o", {"QV000002", 'o', 'f', 'p'}, "", false, false},
        {"model r", {"QV000003", 'r', 'f', 'p'}, "", false, false},
        {"model b", {"GM000004", 'b', 'f', 'p'}, "", false, false},
        {"absent", {"QV000001", 'c', 'f', 'a'}, "", false, false},
        {"absent, even if current", {"QV000001", 'c', 'f', 0}, "QV000001", true, false},
        {"taken by another", {"QV000001", 'c', 't', 'p'}, "QV000009", false, false},
        {"taken, but current", {"QV000001", 'c', 't', 'p'}, "QV000001", false, true},
        {"taken, name differs in case", {"QV000001", 'c', 't', 'p'}, "qv000001", false, false},
        {"simulation not allowed", {"QVSIM001", 'c', 'f', 'p'}, "", false, false},
        {"simulation allowed", {"QVSIM001", 'c', 'f', 'p'}, "", true, true},
        // Unticking drops every simulation, the one in use too.
        {"current simulation not allowed", {"QVSIM001", 'c', 'f', 'p'}, "QVSIM001", false, false},
        {"prefix needs all five", {"QVSI0001", 'c', 'f', 'p'}, "", false, true},
        {"partner prefix is no simulation", {"GMSIM001", 'c', 'f', 'p'}, "", false, true},
        // Extended models add the Vex16 and Vex8.
        {"extended o", {"QV000001", 'o', 'f', 'p'}, "", false, true, true},
        {"extended r", {"QV000001", 'r', 'f', 'p'}, "", false, true, true},
        {"extended b", {"QV000001", 'b', 'f', 'p'}, "", false, false, true},
        // The partner word lists its own model with its own simulations.
        {"partner b", {"GM000001", 'b', 'f', 'p'}, "", false, true, false, "glimbur"},
        {"partner c", {"QV000001", 'c', 'f', 'p'}, "", false, false, false, "glimbur"},
        {"partner simulation", {"GMSIM001", 'b', 'f', 'p'}, "", false, false, false, "glimbur"},
        {"other prefix for partner",
         {"QVSIM001", 'b', 'f', 'p'},
         "",
         false,
         true,
         false,
         "glimbur"},
        // Any other word applies no model filter at all.
        {"other word", {"QV000001", 'x', 'f', 'p'}, "", false, true, false, "Vex"},
    };
    for (const FilterCase& c : cases)
        EXPECT_EQ(ModuleList(c.extended, c.word).accepts(c.module, c.current, c.allowSimulations),
                  c.listed)
            << c.label;
}

TEST(ModuleListView, SortsItemsKeepsTheirEntryAndSelectsTheRememberedName) {
    for (const auto& [code, text] : {std::pair{'r', "QV000001    (Vex8)"},
                                     {'b', "QV000001    (Glimbur K34)"},
                                     {'u', "QV000001    (unrecognized)"}})
        EXPECT_EQ(ModuleList::itemText({"QV000001", code}), text) << code;

    ModuleList list;
    list.setEntries({{"QVb00002", 'c'}, {"QVA00003", 'c'}, {"QV000001", 'c'}});
    const ModuleListView view = list.view("QVb00002");
    EXPECT_EQ(view.items, (std::vector<ModuleItem>{{"QV000001    (Vex18e)", 2},
                                                   {"QVA00003    (Vex18e)", 1},
                                                   {"QVb00002    (Vex18e)", 0}}));
    EXPECT_EQ(view.selected, 2);
    EXPECT_EQ(view.caption, "3 Modules");
    // Unknown, empty or differently cased names fall back to the first item.
    for (const char* name : {"QV000009", "", "qvb00002"})
        EXPECT_EQ(list.view(name).selected, 0) << name;

    list.setEntries({{"QV000001", 'c'}});
    EXPECT_EQ(list.view("").caption, "1 Module");
    const ModuleListView empty = ModuleList().view("QV000001");
    EXPECT_TRUE(empty.items.empty());
    EXPECT_EQ(empty.selected, -1);
    EXPECT_EQ(empty.caption, "No Modules");
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

TEST(ModuleListRead, KeepsAcceptedModulesInLibraryOrderWithNamesCut) {
    fakevexif::reset();
    fakevexif::setModules({{"QV000003", 'c', 'f', 'p'},
                           {"QV000001", 'o', 'f', 'p'},
                           {"QV000002", 'c', 't', 'p'},
                           {"QV000004", 'c', 'f', 'x'},
                           {"QVSIM001", 'c', 'f', 'p'},
                           {"QV000005", 'c', 't', 'p'},
                           {"QV0000062345", 'c', 'f', 'p'}});
    TModIfCpp library;
    check(QV_ConnectToServer(library.handle(), nullptr, 0));
    ModuleList list;
    list.read(library.handle(), "QV000005", false);
    EXPECT_EQ(list.entries(),
              (std::vector<ModuleEntry>{{"QV000003", 'c'}, {"QV000005", 'c'}, {"QV000006", 'c'}}));
    list.read(library.handle(), "", true);
    EXPECT_EQ(list.entries(),
              (std::vector<ModuleEntry>{{"QV000003", 'c'}, {"QVSIM001", 'c'}, {"QV000006", 'c'}}));
}

} // namespace
