// The library's handle table: small positive handles, each owning the
// backend of its session once connected. Thread-safe.
#pragma once

#include "Backend.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace vexif {

// One handle. Its mutex serialises the calls made with it, so a backend is
// never used by two threads at once.
struct HandleEntry {
    std::mutex mutex;
    std::unique_ptr<Backend> backend; // null until connected
    bool finalised = false;           // set under mutex by QV_Finalize
};

class HandleTable {
public:
    // Live handles at most; QV_Initialize beyond that fails.
    static constexpr int kMaxHandles = 1024;

    // New handle into *handle; QV_ERR_TOO_MANY_HANDLES when full. Handles
    // count up from 1 and are not reused until the count wraps, so a
    // finalised handle stays invalid.
    int32_t create(int32_t* handle);
    // The entry of a live handle, or null.
    std::shared_ptr<HandleEntry> find(int32_t handle) const;
    // Removes the handle and returns its entry (null if unknown).
    std::shared_ptr<HandleEntry> remove(int32_t handle);

private:
    mutable std::mutex m_mutex;
    std::map<int32_t, std::shared_ptr<HandleEntry>> m_entries;
    int32_t m_next = 1;
};

// The table of this process.
HandleTable& handleTable();

} // namespace vexif
