// The device config of a replayed capture:
//
//   replay:file=PATH[:format=NAME][:speed=F][:OPTION=VALUE...]
//
// PATH: a libsigrok session file (.sr, as PulseView and sigrok-cli save
// them), or with format=NAME a file in that libsigrok input format ("vcd",
// "csv", "binary", ...), whose own options follow (e.g. samplerate=12M for
// "binary"). speed=F plays F times faster than recorded (0 < F <= 1000,
// default 1; a decimal number, at least 0.000001). Parsing is pure: the file is read when the
// device is made.
#pragma once

#include "Capture.h"
#include "DeviceConfig.h"

#include <variant>

namespace vexacq {

// The driver name of replay configs.
inline constexpr const char* kReplayDriver = "replay";

// Speeds a replay plays at: the replay clock counts in millionths.
constexpr double kMinSpeed = 1e-6;
constexpr double kMaxSpeed = 1000;

struct ReplayConfig {
    CaptureFile file;
    double speed = 1; // times real time

    bool operator==(const ReplayConfig&) const = default;
};

// A DeviceConfig whose driver is "replay", checked and taken apart; the
// error names the fault (the caller names the device).
std::variant<ReplayConfig, ConfigError> parseReplayConfig(const DeviceConfig& config);

} // namespace vexacq
