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
            char* end = nullptr;
            replay.speed = std::strtod(value.c_str(), &end);
            if (*end || !std::isfinite(replay.speed) || replay.speed <= 0 || replay.speed > 1000)
                return fault("speed=" + value + ": expected a number above 0 and up to 1000");
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
