// The libsigrok context one source shares with its modules, the lock that
// serialises configuration work on it, and small helpers over libsigrok's
// GLib types. Internal to acquisition/.
#pragma once

#include <libsigrok/libsigrok.h>

#include <functional>
#include <mutex>
#include <string>

namespace vexacq {

struct SigrokContext {
    sr_context* context = nullptr;
    // Held for scans, opening, configuring, closing and session setup; never
    // while a session runs its event loop.
    std::mutex lock;
    // One line about a device event (found, lost, failed); may be empty.
    std::function<void(const std::string&)> log;

    void report(const std::string& line) const {
        if (log) log(line);
    }
};

// The value text of a config option as the GVariant libsigrok's key expects
// (a floating reference), or nullptr when the key is unknown or the text
// does not fit its type; error then says why.
GVariant* optionValue(const sr_key_info* info, const std::string& text, std::string& error);

} // namespace vexacq
