// What one --monitor option asks for: a module to hold and count without
// pause, the kind of count, its gate and the channels whose values are
// exported. Parsed by a pure function so every mistake has a clear message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vexcountd {

// Channels a --monitor list may name: 0 .. kMaxMonitorChannel.
constexpr int kMaxMonitorChannel = 63;

struct MonitorRequest {
    std::string module;        // module name, e.g. QVSIMC01
    int32_t counterType = 0;   // engine counter type: 0 frequency, 1 period, 2 events
    int32_t gateCode = 0;      // engine gate code: 0 0.1 s, 1 1 s, 2 10 s, 7 infinite
    std::vector<int> channels; // ascending, no repeats; empty: every channel
    std::string text;          // the option as given, for log lines

    // Whether channel is exported (the list, or every channel).
    bool exports(int channel) const;
};

struct MonitorRequestError {
    std::string message;
};

// "MODULE:TYPE:GATE[:CHANNELS]": TYPE freq, per or tot; GATE 0.1, 1, 10 (s)
// or inf (per and tot only); CHANNELS e.g. "0-3,7" (default: all).
std::variant<MonitorRequest, MonitorRequestError> parseMonitorRequest(std::string_view text);

} // namespace vexcountd
