// A recorded capture held in memory for replay: the logic samples of a
// libsigrok session file (.sr, as PulseView and sigrok-cli save them) or of a
// file in any libsigrok input format (binary, vcd, csv, ...), loaded whole
// through libsigrok.
//
// Loading calls libsigrok on the calling thread with the given context (the
// thread that owns that context); it runs the loaded session on a private GLib
// main context of its own, so it never dispatches the caller's sources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

struct sr_context;

namespace vexacq {

// Which file to load and how.
struct CaptureFile {
    std::string path;
    // libsigrok input format (sr_input_find id: "binary", "vcd", "csv", ...);
    // empty: a libsigrok session file.
    std::string format;
    // The input format's own options as text, e.g. ("samplerate", "12M") for
    // "binary"; converted to each option's type (sizes take k/M/G).
    std::vector<std::pair<std::string, std::string>> options;

    bool operator==(const CaptureFile&) const = default;
};

struct Capture {
    uint64_t sampleRate = 0;      // Hz
    unsigned unitSize = 0;        // bytes per sample; bit i = logic channel i, little-endian
    int logicChannels = 0;        // logic channels in file order (analog channels are left out)
    std::vector<uint8_t> samples; // sampleCount() samples of unitSize bytes

    uint64_t sampleCount() const { return unitSize ? samples.size() / unitSize : 0; }
};

// The most sample bytes a capture may hold in memory.
constexpr size_t kMaxCaptureBytes = size_t(1) << 31; // 2 GiB

// The capture, or a message saying why it cannot be played (missing file,
// unknown format or option, no sample rate, no logic channels, no samples).
std::variant<Capture, std::string> loadCapture(sr_context* context, const CaptureFile& file);

} // namespace vexacq
