// Device configs: which logic analyser to count, as the user writes it on the
// command line (vexcountd --device DEVICE) or in VEXIF_DEVICES:
//
//   DRIVER[:key=value[:key=value...]]     e.g. demo, fx2lafw, fx2lafw:conn=1.5
//
// DRIVER is a libsigrok driver name; the options are libsigrok option names
// with their values (connection options for the scan, such as conn, or device
// settings, such as samplerate). Parsing is pure: whether the driver and the
// keys exist is checked when the device is looked for.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace vexacq {

struct DeviceConfig {
    std::string driver;
    std::vector<std::pair<std::string, std::string>> options; // in the order given

    bool operator==(const DeviceConfig&) const = default;
};

// A config that cannot be used, with a message naming the fault.
struct ConfigError {
    std::string message;

    bool operator==(const ConfigError&) const = default;
};

// One config; blanks around it are ignored.
std::variant<DeviceConfig, ConfigError> parseDeviceConfig(std::string_view text);

// Configs separated by ';' (VEXIF_DEVICES); empty items are skipped, so ""
// gives no config. The first bad config makes the whole list an error.
std::variant<std::vector<DeviceConfig>, ConfigError> parseDeviceList(std::string_view text);

} // namespace vexacq
