// The handle table of the library.
#include "HandleTable.h"

#include <limits>

namespace vexif {

int32_t HandleTable::create(int32_t* handle) {
    std::lock_guard lock(m_mutex);
    if (static_cast<int>(m_entries.size()) >= kMaxHandles) return QV_ERR_TOO_MANY_HANDLES;
    while (m_entries.count(m_next))
        m_next = m_next == std::numeric_limits<int32_t>::max() ? 1 : m_next + 1;
    int32_t h = m_next;
    m_next = m_next == std::numeric_limits<int32_t>::max() ? 1 : m_next + 1;
    m_entries.emplace(h, std::make_shared<HandleEntry>());
    *handle = h;
    return QV_OK;
}

std::shared_ptr<HandleEntry> HandleTable::find(int32_t handle) const {
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(handle);
    return it == m_entries.end() ? nullptr : it->second;
}

std::shared_ptr<HandleEntry> HandleTable::remove(int32_t handle) {
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(handle);
    if (it == m_entries.end()) return nullptr;
    std::shared_ptr<HandleEntry> entry = std::move(it->second);
    m_entries.erase(it);
    return entry;
}

HandleTable& handleTable() {
    static HandleTable table;
    return table;
}

} // namespace vexif
