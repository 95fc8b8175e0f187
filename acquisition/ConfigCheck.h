// The one validation of device configs. vexcountd's --device and each entry
// of VEXIF_DEVICES go through readDeviceConfig() at start-up (vexcountd
// refuses a bad one with exit status 2; the library drops only that entry
// and lists it as a device problem), and the source checks every device it
// attaches against its config with checkAttached() (a problem, never a
// crash): what the device's channels and sample rate make of the config.
//
// At start-up: the text parses (DeviceConfig.h); a replay's options hold
// (file, speed a decimal number in (0, 1000]); samplerate= at most 1 GHz;
// ref= between 0.001 Hz and half of 1 GHz. At attach: the reference's
// channel exists on the device and its frequency is at most half the
// device's sample rate; the rate is at most 1 GHz.
#pragma once

#include "DeviceBackend.h"
#include "DeviceConfig.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vexacq {

// The lowest reference frequency, Hz (a 1 PPS is 1 Hz).
constexpr double kMinReferenceHz = 0.001;

// What is wrong with a parsed config before any device is seen; nullopt: nothing.
std::optional<ConfigError> checkConfig(const DeviceConfig& config);

// Parses and checks one config; the message names the config and its fault.
std::variant<DeviceConfig, ConfigError> readDeviceConfig(std::string_view text);

// A ';'-separated list (VEXIF_DEVICES): the good configs, and one error per
// bad entry (a bad entry drops only itself).
struct DeviceEntries {
    std::vector<DeviceConfig> configs;
    std::vector<ConfigError> errors;
};
DeviceEntries readDeviceEntries(std::string_view text);

// What the attached device makes of its config: one message per fault
// (a reference channel it lacks, a reference above half its sample rate, a
// rate above 1 GHz); empty: none. The rate is the device's preferred one or
// the config's samplerate=; unknown rates are not checked.
std::vector<std::string> checkAttached(const DeviceConfig& config, const DeviceInfo& info);

// The config as text, in the form it is written: "demo:samplerate=1M:ref=1MHz@0".
std::string configText(const DeviceConfig& config);

// "10 MHz", "0.001 Hz": a reference frequency for messages.
std::string frequencyText(double hz);

} // namespace vexacq
