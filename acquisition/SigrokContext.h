// Small helpers over libsigrok's GLib types. Internal to acquisition/.
#pragma once

#include <libsigrok/libsigrok.h>

#include <string>

namespace vexacq {

// The value text of a config option as the GVariant libsigrok's key expects
// (a floating reference), or nullptr when the key is unknown or the text
// does not fit its type; error then says why.
GVariant* optionValue(const sr_key_info* info, const std::string& text, std::string& error);

} // namespace vexacq
