// Small helpers over libsigrok's GLib types. Internal to acquisition/.
#pragma once

#include <libsigrok/libsigrok.h>

#include <string>

namespace vexacq {

class Backend;

// The value text of a config option as the GVariant libsigrok's key expects
// (a floating reference), or nullptr when the key is unknown or the text
// does not fit its type; error then says why.
GVariant* optionValue(const sr_key_info* info, const std::string& text, std::string& error);

// The libsigrok context of a backend made by makeSigrokBackend() while it
// runs (between init() and shutdown()); nullptr otherwise or for another
// backend. Loop thread only.
sr_context* sigrokContext(Backend& backend);

} // namespace vexacq
