// Parsing of device configs; see DeviceConfig.h.
#include "DeviceConfig.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

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

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

} // namespace

std::optional<double> parseDecimal(std::string_view text) {
    const bool digits =
        std::any_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const bool plain = std::all_of(text.begin(), text.end(),
                                   [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
    if (!digits || !plain || std::count(text.begin(), text.end(), '.') > 1) return std::nullopt;
    // from_chars, not strtod: the window's process runs in the user's locale,
    // where strtod may stop at the '.' ("0.5" read as 0).
    double value = 0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::variant<ReferenceInput, ConfigError> parseReference(std::string_view text) {
    const std::string usage =
        "ref needs FREQ@CH with FREQ in Hz, kHz or MHz and CH a channel 0 to " +
        std::to_string(kMaxReferenceChannel) + ", e.g. ref=10MHz@7";
    // The fault first, then what is wanted.
    const auto fault = [&](const std::string& what) {
        return ConfigError{"ref: " + what + "; " + usage};
    };
    const std::size_t at = text.find('@');
    if (at == std::string_view::npos) return fault("no '@'");
    const std::string_view frequency = text.substr(0, at), channel = text.substr(at + 1);
    const std::string quoted = "'" + std::string(frequency) + "'";
    // The unit is the end of the text; the number is what comes before it.
    double scale = 0;
    std::string_view number;
    for (const auto& [unit, factor] : {std::pair{"MHz", 1e6}, {"kHz", 1e3}, {"Hz", 1.0}}) {
        const std::size_t length = std::string_view(unit).size();
        if (frequency.size() >= length &&
            equalsIgnoringCase(frequency.substr(frequency.size() - length), unit)) {
            scale = factor;
            number = frequency.substr(0, frequency.size() - length);
            break;
        }
    }
    const bool prefixed =
        !number.empty() && std::isalpha(static_cast<unsigned char>(number.back()));
    if (scale == 0 || prefixed) return fault(quoted + " has no unit Hz, kHz or MHz");
    if (number.starts_with('-') && parseDecimal(number.substr(1)))
        return fault(quoted + " is a negative frequency");
    const std::optional<double> value = parseDecimal(number);
    if (!value)
        return fault("'" + std::string(number) +
                     "' is no decimal number (digits with at most one '.')");
    if (!(*value > 0)) return fault(quoted + " is a frequency of 0");
    ReferenceInput input{*value * scale, 0};
    const bool numeric =
        !channel.empty() && channel.size() <= 2 &&
        std::all_of(channel.begin(), channel.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (numeric) input.channel = std::atoi(std::string(channel).c_str());
    if (!numeric || input.channel > kMaxReferenceChannel)
        return fault("'" + std::string(channel) + "' is no channel");
    return input;
}

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
        if (repeated || (key == "ref" && config.reference))
            return ConfigError{"device config " + quoted + ": option '" + key + "' given twice"};
        if (key == "ref") { // ours: not passed on to libsigrok
            auto reference = parseReference(value);
            if (auto* error = std::get_if<ConfigError>(&reference))
                return ConfigError{"device config " + quoted + ": " + error->message};
            config.reference = std::get<ReferenceInput>(reference);
            continue;
        }
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
