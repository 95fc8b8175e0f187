// Device configs: which logic analyser to count, as the user writes it on the
// command line (vexcountd --device DEVICE) or in VEXIF_DEVICES:
//
//   DRIVER[:key=value[:key=value...]]     e.g. demo, fx2lafw, fx2lafw:conn=1.5
//
// DRIVER is a libsigrok driver name; the options are libsigrok option names
// with their values (connection options for the scan, such as conn, or device
// settings, such as samplerate). Parsing is pure: whether the driver and the
// keys exist is checked when the device is looked for.
//
// One option is ours, not libsigrok's: ref=FREQ@CH names a reference input,
// a signal of known frequency on a logic channel that the counts take their
// time from (e.g. fx2lafw:ref=10MHz@7, ref=1Hz@3 for a 1 PPS). FREQ is a
// decimal number with the unit Hz, kHz or MHz.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace vexacq {

// A reference input: its nominal frequency and the channel carrying it.
struct ReferenceInput {
    double hz = 0;   // > 0
    int channel = 0; // 0 .. kMaxReferenceChannel

    bool operator==(const ReferenceInput&) const = default;
};

// Acquired modules have 18 channels (0..17).
constexpr int kMaxReferenceChannel = 17;

struct DeviceConfig {
    std::string driver;
    std::vector<std::pair<std::string, std::string>> options; // in the order given, without ref
    std::optional<ReferenceInput> reference = std::nullopt;   // ref=FREQ@CH

    bool operator==(const DeviceConfig&) const = default;
};

// A config that cannot be used, with a message naming the fault.
struct ConfigError {
    std::string message;

    bool operator==(const ConfigError&) const = default;
};

// A decimal number as configs write them: digits with at most one '.', no
// sign, exponent, hex or words (so "0x10", "1e-9", "nan" and "-1" are none).
std::optional<double> parseDecimal(std::string_view text);

// One config; blanks around it are ignored.
std::variant<DeviceConfig, ConfigError> parseDeviceConfig(std::string_view text);

// The value of ref=: "10MHz@7", "1Hz@3", "2.5kHz@0"; a message naming the
// fault otherwise (no unit, no decimal number, a negative or zero frequency,
// no channel). The range a reference may have is ConfigCheck's.
std::variant<ReferenceInput, ConfigError> parseReference(std::string_view text);

// Configs separated by ';' (VEXIF_DEVICES); empty items are skipped, so ""
// gives no config. The first bad config makes the whole list an error.
std::variant<std::vector<DeviceConfig>, ConfigError> parseDeviceList(std::string_view text);

} // namespace vexacq
