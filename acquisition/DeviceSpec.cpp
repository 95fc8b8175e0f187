// Parsing of device specs; see DeviceSpec.h.
#include "DeviceSpec.h"

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

std::variant<DeviceSpec, SpecError> parseDeviceSpec(std::string_view text) {
    const std::string quoted = "'" + std::string(text) + "'";
    text = trim(text);
    if (text.empty()) return SpecError{"empty device spec (expected DRIVER[:key=value...])"};
    DeviceSpec spec;
    std::size_t colon = text.find(':');
    spec.driver = std::string(text.substr(0, colon));
    if (!isName(spec.driver))
        return SpecError{"device spec " + quoted + ": the driver name '" + spec.driver +
                         "' may hold only a-z, 0-9, '-' and '_'"};
    while (colon != std::string_view::npos) {
        text.remove_prefix(colon + 1);
        colon = text.find(':');
        const std::string_view item = text.substr(0, colon);
        const std::size_t eq = item.find('=');
        if (eq == std::string_view::npos)
            return SpecError{"device spec " + quoted + ": option '" + std::string(item) +
                             "' needs the form key=value"};
        const std::string key(item.substr(0, eq));
        const std::string value(item.substr(eq + 1));
        if (!isName(key))
            return SpecError{"device spec " + quoted + ": bad option name '" + key + "'"};
        if (!isValue(value))
            return SpecError{"device spec " + quoted + ": option '" + key +
                             "' needs a value without blanks"};
        const bool repeated = std::any_of(spec.options.begin(), spec.options.end(),
                                          [&](const auto& option) { return option.first == key; });
        if (repeated)
            return SpecError{"device spec " + quoted + ": option '" + key + "' given twice"};
        spec.options.emplace_back(key, value);
    }
    return spec;
}

std::variant<std::vector<DeviceSpec>, SpecError> parseDeviceList(std::string_view text) {
    std::vector<DeviceSpec> specs;
    for (;;) {
        const std::size_t semicolon = text.find(';');
        const std::string_view item = text.substr(0, semicolon);
        if (!trim(item).empty()) {
            auto parsed = parseDeviceSpec(item);
            if (auto* error = std::get_if<SpecError>(&parsed)) return *error;
            specs.push_back(std::get<DeviceSpec>(std::move(parsed)));
        }
        if (semicolon == std::string_view::npos) break;
        text.remove_prefix(semicolon + 1);
    }
    return specs;
}

} // namespace vexacq
