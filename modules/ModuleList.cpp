// ModuleList: module filter, item texts, sort order and selection of the
// module selection group.
#include "modules/ModuleList.h"

#include "TModIfCpp.h"

#include <algorithm>
#include <cstring>

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

ModuleList::ModuleList(bool extendedModels, std::string_view productWord)
    : m_primaryFamily(productWord == "vex"), m_partnerFamily(productWord == "glimbur"),
      m_simPrefix(m_primaryFamily ? "QVSIM" : "GMSIM"), m_extendedModels(extendedModels) {}

void ModuleList::read(int32_t handle, const std::string& currentName, bool allowSimulations) {
    m_entries.clear();
    int32_t count = 0;
    check(QV_ModCount(handle, &count));
    for (int32_t index = 0; index < count; ++index) {
        char name[QV_MODULE_NAME_SIZE] = {};
        char info[QV_MODULE_INFO_SIZE] = {};
        check(QV_ModInfo(handle, index, name, info));
        // The library promises a terminated name; a remote server's reply is
        // still not trusted to stay inside the buffer.
        ModuleReport module{std::string(name, strnlen(name, sizeof name)), info[0], info[1],
                            info[2]};
        if (accepts(module, currentName, allowSimulations))
            m_entries.push_back({std::move(module.name), module.modelCode});
    }
}

bool ModuleList::isSimulation(std::string_view name) const {
    return name.substr(0, m_simPrefix.size()) == m_simPrefix;
}

bool ModuleList::accepts(const ModuleReport& module, const std::string& currentName,
                         bool allowSimulations) const {
    const char code = module.modelCode;
    if (m_primaryFamily) {
        const bool wanted = code == 'c' || (m_extendedModels && (code == 'o' || code == 'r'));
        if (!wanted) return false;
    }
    if (m_partnerFamily && code != 'b') return false;
    if (isSimulation(module.name) && !allowSimulations) return false;
    if (module.present != 'p') return false;
    // A module held by this program may be reported taken; it stays listed so
    // the choice in use does not drop out of the box.
    if (module.freeFlag != 'f' && module.name != currentName) return false;
    return true;
}

ModuleListView ModuleList::view(const std::string& remembered) const {
    ModuleListView result;
    std::string toSelect = "none";
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        ModuleItem item{itemText(m_entries[i]), i};
        if (m_entries[i].name == remembered) toSelect = item.text;
        result.items.push_back(std::move(item));
    }
    std::stable_sort(
        result.items.begin(), result.items.end(),
        [](const ModuleItem& a, const ModuleItem& b) { return sortsBefore(a.text, b.text); });
    result.caption = caption(result.items.size());
    if (!result.items.empty()) {
        const auto found =
            std::find_if(result.items.begin(), result.items.end(),
                         [&](const ModuleItem& item) { return item.text == toSelect; });
        result.selected =
            found == result.items.end() ? 0 : static_cast<int>(found - result.items.begin());
    }
    return result;
}

ModuleEntry ModuleList::resolve(std::optional<std::size_t> entry,
                                const std::string& itemText) const {
    if (!entry || *entry >= m_entries.size()) return {};
    const ModuleEntry& candidate = m_entries[*entry];
    // After a failed refresh an index may still be in range but point at a
    // different module than the item shows; handing that one over would open
    // a module the user did not pick.
    if (ModuleList::itemText(candidate) != itemText) return {};
    return candidate;
}

std::string ModuleList::itemText(const ModuleEntry& entry) {
    std::string text = entry.name;
    text += modelText(entry.modelCode);
    return text;
}

std::string_view ModuleList::modelText(char modelCode) {
    switch (modelCode) {
    case 'r':
        return "    (Vex8)";
    case 'o':
        return "    (Vex16)";
    case 'c':
        return "    (Vex18e)";
    case 'b':
        return "    (Glimbur K34)";
    default:
        return "    (unrecognized)";
    }
}

std::string ModuleList::caption(std::size_t count) {
    if (count == 0) return "No Modules";
    return std::to_string(count) + (count == 1 ? " Module" : " Modules");
}

bool ModuleList::sortsBefore(const std::string& a, const std::string& b) {
    const auto foldedLess = [](const std::string& x, const std::string& y) {
        return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(),
                                            [](char c, char d) { return lower(c) < lower(d); });
    };
    if (foldedLess(a, b)) return true;
    if (foldedLess(b, a)) return false;
    return a < b;
}
