// --monitor texts; see MonitorRequest.h.
#include "MonitorRequest.h"

#include "Readings.h"
#include "TextSplit.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <utility>

namespace vexcountd {
namespace {

bool parseChannel(std::string_view text, int& channel) {
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), channel);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size() && channel >= 0 &&
           channel <= kMaxMonitorChannel;
}

// "0-3,7" into ascending channels; false on any malformed item.
bool parseChannels(std::string_view text, std::vector<int>& channels) {
    for (std::string_view item : splitAt(text, ',')) {
        const std::size_t dash = item.find('-');
        int first = 0;
        int last = 0;
        if (dash == std::string_view::npos) {
            if (!parseChannel(item, first)) return false;
            last = first;
        } else if (!parseChannel(item.substr(0, dash), first) ||
                   !parseChannel(item.substr(dash + 1), last) || last < first) {
            return false;
        }
        for (int c = first; c <= last; ++c)
            channels.push_back(c);
    }
    std::sort(channels.begin(), channels.end());
    channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
    return true;
}

} // namespace

bool MonitorRequest::exports(int channel) const {
    return channels.empty() || std::binary_search(channels.begin(), channels.end(), channel);
}

std::variant<MonitorRequest, MonitorRequestError> parseMonitorRequest(std::string_view text) {
    const auto fail = [&](const std::string& why) {
        return MonitorRequestError{"--monitor '" + std::string(text) + "': " + why +
                                   " (MODULE:TYPE:GATE[:CHANNELS], e.g. QVSIMC01:freq:1:0-3,7)"};
    };
    const std::vector<std::string_view> parts = splitAt(text, ':');
    if (parts.size() < 3 || parts.size() > 4)
        return fail("needs three or four ':'-separated parts");
    MonitorRequest request;
    request.text = std::string(text);
    request.module = std::string(parts[0]);
    if (request.module.empty() || request.module.size() > 8)
        return fail("the module name has 1 to 8 characters");

    const std::string_view type = parts[1];
    if (type == "freq")
        request.counterType = 0;
    else if (type == "per")
        request.counterType = 1;
    else if (type == "tot")
        request.counterType = 2;
    else
        return fail("the type is freq, per or tot, not '" + std::string(type) + "'");

    // The gate as written: exactly one of these texts.
    const std::string_view gate = parts[2];
    const std::pair<std::string_view, double> gates[] = {
        {"0.1", 0.1}, {"1", 1}, {"10", 10}, {"inf", std::numeric_limits<double>::infinity()}};
    request.gateCode = -1;
    for (const auto& [text, seconds] : gates)
        if (gate == text) request.gateCode = vexengine::gateCodeForSeconds(seconds);
    if (request.gateCode < 0)
        return fail("the gate is 0.1, 1, 10 or inf (seconds), not '" + std::string(gate) + "'");
    if (request.counterType == 0 && vexengine::endlessGate(request.gateCode))
        return fail("a frequency count needs a finite gate: 0.1, 1 or 10");

    if (parts.size() == 4 && parts[3] != "all" && !parseChannels(parts[3], request.channels))
        return fail("the channels are a list such as 0-3,7 (0 to " +
                    std::to_string(kMaxMonitorChannel) + "), not '" + std::string(parts[3]) + "'");
    return request;
}

} // namespace vexcountd
