// Parsing of device configs; see DeviceConfig.h.
#include "DeviceConfig.h"

#include <algorithm>

namespace vexacq {
namespace {

std::string_view trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// libsigrok's driver and option names: lower-case letters, digits, '-', '_'.
bool isName(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
}

// Values are printable ASCII without blanks (they may hold '/', '.', ',').
bool isValue(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 127; });
}

} // namespace

std::variant<DeviceConfig, ConfigError> parseDeviceConfig(std::string_view text) {
    const std::string quoted = "'" + std::string(text) + "'";
    text = trim(text);
    if (text.empty()) return ConfigError{"empty device config (expected DRIVER[:key=value...])"};
    DeviceConfig config;
    std::size_t colon = text.find(':');
    config.driver = std::string(text.substr(0, colon));
    if (!isName(config.driver))
        return ConfigError{"device config " + quoted + ": the driver name '" + config.driver +
                           "' may hold only a-z, 0-9, '-' and '_'"};
    while (colon != std::string_view::npos) {
        text.remove_prefix(colon + 1);
        colon = text.find(':');
        const std::string_view item = text.substr(0, colon);
        const std::size_t eq = item.find('=');
        if (eq == std::string_view::npos)
            return ConfigError{"device config " + quoted + ": option '" + std::string(item) +
                               "' needs the form key=value"};
        const std::string key(item.substr(0, eq));
        const std::string value(item.substr(eq + 1));
        if (!isName(key))
            return ConfigError{"device config " + quoted + ": bad option name '" + key + "'"};
        if (!isValue(value))
            return ConfigError{"device config " + quoted + ": option '" + key +
                               "' needs a value without blanks"};
        const bool repeated = std::any_of(config.options.begin(), config.options.end(),
                                          [&](const auto& option) { return option.first == key; });
        if (repeated)
            return ConfigError{"device config " + quoted + ": option '" + key + "' given twice"};
        config.options.emplace_back(key, value);
    }
    return config;
}

std::variant<std::vector<DeviceConfig>, ConfigError> parseDeviceList(std::string_view text) {
    std::vector<DeviceConfig> configs;
    for (;;) {
        const std::size_t semicolon = text.find(';');
        const std::string_view item = text.substr(0, semicolon);
        if (!trim(item).empty()) {
            auto parsed = parseDeviceConfig(item);
            if (auto* error = std::get_if<ConfigError>(&parsed)) return *error;
            configs.push_back(std::get<DeviceConfig>(std::move(parsed)));
        }
        if (semicolon == std::string_view::npos) break;
        text.remove_prefix(semicolon + 1);
    }
    return configs;
}

} // namespace vexacq
