// Replay device configs; see ReplayConfig.h.
#include "ReplayConfig.h"

#include <cmath>
#include <cstdlib>

namespace vexacq {

std::variant<ReplayConfig, ConfigError> parseReplayConfig(const DeviceConfig& config) {
    const auto fault = [](const std::string& what) { return ConfigError{what}; };
    if (config.driver != kReplayDriver) return fault("not a replay config");
    ReplayConfig replay;
    std::vector<std::string> formatOptions;
    for (const auto& [key, value] : config.options) {
        if (key == "file") {
            replay.file.path = value;
        } else if (key == "format") {
            replay.file.format = value;
        } else if (key == "speed") {
            const std::optional<double> speed = parseDecimal(value);
            if (!speed || !(*speed >= kMinSpeed) || *speed > kMaxSpeed)
                return fault("speed=" + value +
                             ": expected a decimal number above 0 and up to 1000 (at least "
                             "0.000001; digits with at most one '.')");
            replay.speed = *speed;
        } else {
            replay.file.options.emplace_back(key, value);
            formatOptions.push_back(key);
        }
    }
    if (replay.file.path.empty()) return fault("needs file=PATH (the capture to play)");
    if (replay.file.format.empty() && !formatOptions.empty())
        return fault("option '" + formatOptions.front() +
                     "' belongs to an input format: give format=NAME (a session file takes none)");
    return replay;
}

} // namespace vexacq
