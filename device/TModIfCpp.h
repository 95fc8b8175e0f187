// TModIfCpp / TModIfError: the application's binding of the device library.
// Every QV_ call's status goes through check(), which turns a non-zero status
// into a TModIfError; handlers catch it without looking at the status.
#pragma once

#include "vexif.h"

#include <cstdint>

class TModIfError {
public:
    explicit TModIfError(int32_t status) : m_status(status) {}
    int32_t status() const { return m_status; }

private:
    int32_t m_status;
};

// Throws TModIfError for a non-zero library status.
inline void check(int32_t status) {
    if (status != QV_OK) throw TModIfError(status);
}

// Owns one library handle: QV_Initialize on construction, QV_Finalize on
// destruction. A failing QV_Initialize throws, so an object always holds a
// handle that must be finalised.
class TModIfCpp {
public:
    TModIfCpp();
    ~TModIfCpp();
    TModIfCpp(const TModIfCpp&) = delete;
    TModIfCpp& operator=(const TModIfCpp&) = delete;

    int32_t handle() const { return m_handle; }

private:
    int32_t m_handle = 0;
};
