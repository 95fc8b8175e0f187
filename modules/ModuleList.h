// ModuleList: the window-free half of the module selection group. It reads the
// library's module list, keeps the modules this program may work with (its
// own model family, simulations only when allowed, present, free or the one in
// use), and turns them into the sorted items, the caption and the selection
// that the group's combo box shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The product word compiled into this program; it decides which model family
// the list shows and which name prefix marks the library's simulations.
inline constexpr std::string_view kProductWord = "vex";

// One module accepted by the last refresh.
struct ModuleEntry {
    std::string name;
    char modelCode = 'u';

    bool operator==(const ModuleEntry&) const = default;
};

// What QV_ModInfo reports about one module, as the filter reads it.
struct ModuleReport {
    std::string name;
    char modelCode = 0; // info byte 0
    char freeFlag = 0;  // info byte 1: 'f' free for this program, anything else taken
    char present = 0;   // info byte 2: 'p' present
};

// One line of the combo box: its text and the index of the entry it stands for.
struct ModuleItem {
    std::string text;
    std::size_t entry = 0;

    bool operator==(const ModuleItem&) const = default;
};

// Everything a rebuild of the combo box needs, items already in sorted order.
struct ModuleListView {
    std::vector<ModuleItem> items;
    int selected = -1; // index into items, -1 for no selection
    std::string caption;
};

class ModuleList {
public:
    explicit ModuleList(bool extendedModels = false, std::string_view productWord = kProductWord);

    // Reads the module list of the library session `handle` and keeps the
    // accepted modules in library order. `currentName` is the module in use (a
    // taken module is listed only if it is this one). Throws TModIfError when
    // QV_ModCount or QV_ModInfo fails; the entries read before the failure
    // stay in the list.
    void read(int32_t handle, const std::string& currentName, bool allowSimulations);

    // Whether a reported module belongs in the list.
    bool accepts(const ModuleReport& module, const std::string& currentName,
                 bool allowSimulations) const;
    bool isSimulation(std::string_view name) const;

    const std::vector<ModuleEntry>& entries() const { return m_entries; }
    void setEntries(std::vector<ModuleEntry> entries) { m_entries = std::move(entries); }

    // The items in the combo box's sorted order, the caption, and the item to
    // select: the one of `remembered` if listed, else the first.
    ModuleListView view(const std::string& remembered) const;

    // The module an item stands for. An item that no longer matches its entry
    // (a refresh failed after the box was filled, so the entry list is shorter
    // or different) gives an empty selection, as does no item at all.
    ModuleEntry resolve(std::optional<std::size_t> entry, const std::string& itemText) const;

    // "QV000001    (Vex18e)": the name followed by the model's display text.
    static std::string itemText(const ModuleEntry& entry);
    static std::string_view modelText(char modelCode);
    // "No Modules", "1 Module", "3 Modules".
    static std::string caption(std::size_t count);
    // Order of the sorted combo box: case-insensitive first, like the
    // platform's sorted lists, then by exact text so equal-looking items keep a
    // fixed order.
    static bool sortsBefore(const std::string& a, const std::string& b);

private:
    bool m_primaryFamily;
    bool m_partnerFamily;
    std::string_view m_simPrefix;
    bool m_extendedModels;
    std::vector<ModuleEntry> m_entries;
};
