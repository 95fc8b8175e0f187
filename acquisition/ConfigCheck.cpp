// The one validation of device configs; see ConfigCheck.h.
#include "ConfigCheck.h"

#include "Capture.h"
#include "ReplayConfig.h"
#include "SessionFile.h"

#include <cstdio>

namespace vexacq {
namespace {

// The config's samplerate= in Hz, if it reads as one.
std::optional<uint64_t> configRate(const DeviceConfig& config) {
    for (const auto& [key, value] : config.options)
        if (key == "samplerate") return parseRateText(value);
    return std::nullopt;
}

std::string referenceText(const ReferenceInput& reference) {
    std::string text = frequencyText(reference.hz);
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return "ref=" + text + "@" + std::to_string(reference.channel);
}

} // namespace

std::string frequencyText(double hz) {
    const char* unit = hz >= 1e6 ? "MHz" : hz >= 1e3 ? "kHz" : "Hz";
    const double scaled = hz >= 1e6 ? hz / 1e6 : hz >= 1e3 ? hz / 1e3 : hz;
    char text[48];
    std::snprintf(text, sizeof text, "%.9g %s", scaled, unit);
    return text;
}

std::string configText(const DeviceConfig& config) {
    std::string text = config.driver;
    for (const auto& [key, value] : config.options)
        text += ":" + key + "=" + value;
    if (config.reference) text += ":" + referenceText(*config.reference);
    return text;
}

std::optional<ConfigError> checkConfig(const DeviceConfig& config) {
    const std::string where = "device config '" + configText(config) + "': ";
    if (config.driver == kReplayDriver) {
        auto replay = parseReplayConfig(config);
        if (auto* error = std::get_if<ConfigError>(&replay))
            return ConfigError{where + error->message};
    }
    for (const auto& [key, value] : config.options)
        if (key == "samplerate") {
            const std::optional<uint64_t> rate = parseRateText(value);
            if (rate && *rate > kMaxSampleRate)
                return ConfigError{where + "samplerate=" + value + " is above the " +
                                   rateText(kMaxSampleRate) + " a device may have"};
            if (rate && *rate == 0) return ConfigError{where + "samplerate=" + value + " is 0"};
        }
    if (const auto& reference = config.reference) {
        if (reference->hz < kMinReferenceHz)
            return ConfigError{where + referenceText(*reference) + " is below the lowest " +
                               "reference frequency, " + frequencyText(kMinReferenceHz)};
        if (reference->hz > kMaxSampleRate / 2.0)
            return ConfigError{where + referenceText(*reference) + " is above " +
                               frequencyText(kMaxSampleRate / 2.0) +
                               ", half the highest sample rate"};
    }
    return std::nullopt;
}

std::variant<DeviceConfig, ConfigError> readDeviceConfig(std::string_view text) {
    auto parsed = parseDeviceConfig(text);
    if (auto* error = std::get_if<ConfigError>(&parsed)) return *error;
    if (auto error = checkConfig(std::get<DeviceConfig>(parsed))) return *error;
    return parsed;
}

DeviceEntries readDeviceEntries(std::string_view text) {
    DeviceEntries entries;
    for (;;) {
        const std::size_t semicolon = text.find(';');
        const std::string_view item = text.substr(0, semicolon);
        if (item.find_first_not_of(" \t") != std::string_view::npos) {
            auto read = readDeviceConfig(item);
            if (auto* error = std::get_if<ConfigError>(&read))
                entries.errors.push_back(*error);
            else
                entries.configs.push_back(std::get<DeviceConfig>(std::move(read)));
        }
        if (semicolon == std::string_view::npos) break;
        text.remove_prefix(semicolon + 1);
    }
    return entries;
}

std::vector<std::string> checkAttached(const DeviceConfig& config, const DeviceInfo& info) {
    std::vector<std::string> problems;
    const std::string where = "device config '" + configText(config) + "': ";
    uint64_t rate = info.preferredRate;
    if (!rate) rate = configRate(config).value_or(0);
    if (rate > kMaxSampleRate)
        problems.push_back(where + "the device's sample rate " + rateText(rate) + " is above the " +
                           rateText(kMaxSampleRate) + " it may have");
    if (const auto& reference = config.reference) {
        if (reference->channel >= info.logicChannels)
            problems.push_back(where + "the reference channel " +
                               std::to_string(reference->channel) + " is not among the device's " +
                               std::to_string(info.logicChannels) +
                               " logic channels; counting with the nominal rate");
        else if (rate && reference->hz > rate / 2.0)
            problems.push_back(where + "the reference " + frequencyText(reference->hz) +
                               " is above half the device's sample rate " + rateText(rate) +
                               "; counting with the nominal rate");
    }
    return problems;
}

} // namespace vexacq
