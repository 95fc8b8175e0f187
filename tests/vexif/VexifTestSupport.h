// Helpers for tests of the real libvexif: a handle that finalises itself.
#pragma once

#include "vexif.h"

#include <gtest/gtest.h>

#include <string>

// A library handle for one test, finalised at the end of it.
class ScopedHandle {
public:
    ScopedHandle() { EXPECT_EQ(QV_Initialize(&m_handle), QV_OK); }
    ~ScopedHandle() {
        if (m_handle) QV_Finalize(m_handle);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    operator int32_t() const { return m_handle; }
    // Connects to the built-in server.
    ScopedHandle& connected() {
        EXPECT_EQ(QV_ConnectToServer(m_handle, nullptr, 0), QV_OK);
        return *this;
    }
    int32_t finalise() {
        int32_t status = QV_Finalize(m_handle);
        m_handle = 0;
        return status;
    }

private:
    int32_t m_handle = 0;
};

// Index of the named module in the list, -1 if absent.
inline int32_t moduleIndex(int32_t handle, const std::string& name) {
    int32_t count = 0;
    if (QV_ModCount(handle, &count) != QV_OK) return -1;
    for (int32_t i = 0; i < count; ++i) {
        char n[QV_MODULE_NAME_SIZE] = {};
        char info[QV_MODULE_INFO_SIZE] = {};
        if (QV_ModInfo(handle, i, n, info) == QV_OK && name == n) return i;
    }
    return -1;
}

// Info bytes of the named module as handle sees them.
inline std::string moduleInfo(int32_t handle, const std::string& name) {
    char n[QV_MODULE_NAME_SIZE] = {};
    char info[QV_MODULE_INFO_SIZE] = {};
    EXPECT_EQ(QV_ModInfo(handle, moduleIndex(handle, name), n, info), QV_OK);
    return std::string(info, 3);
}
