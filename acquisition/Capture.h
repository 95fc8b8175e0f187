// A recorded capture held in memory for replay: the logic samples of a
// session file (.sr, as PulseView and sigrok-cli save them) or of a file in
// any libsigrok input format (binary, vcd, csv, ...), loaded whole.
//
// Session files are read without libsigrok (SessionFile.h: the zip through
// libzip), so every limit is checked before anything is allocated and a load
// can stop between two reads. Input formats go through libsigrok's input
// modules with the given context, which must belong to the calling thread
// (the capture loader's worker has a context of its own, CaptureLoader.h).
#pragma once

#include <atomic>
#include <chrono>
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
// The highest sample rate a device or capture may have, Hz.
constexpr uint64_t kMaxSampleRate = 1'000'000'000;

// What one load may take; each is checked before the memory it would cost is
// allocated (samples also as they are read: a file may lie about its sizes).
struct LoadLimits {
    int logicChannels = 64;           // the counter's widest sample word
    size_t metadataBytes = 64 * 1024; // a session file's metadata entry
    uint64_t sampleBytes = kMaxCaptureBytes;
    uint64_t sampleRate = kMaxSampleRate;   // Hz
    std::chrono::milliseconds time{30'000}; // the whole load
    // Set by another thread: the load gives up at its next read.
    const std::atomic<bool>* stop = nullptr;
};

// The capture, or a message saying why it cannot be played (missing or
// unreadable file, damaged zip, a limit exceeded, unknown format or option,
// no sample rate, no logic channels, no samples). context: only used for
// input formats (nullptr: they cannot be loaded).
std::variant<Capture, std::string> loadCapture(sr_context* context, const CaptureFile& file,
                                               const LoadLimits& limits = {});

// Installs, once per process, the libsigrok log callback that lets a load
// name libsigrok's reason in its message; call it before any thread that
// loads input formats and any other libsigrok thread run (the callback is
// global; once set it is never changed, so no thread can call one that is
// gone).
void installCaptureLog();

// The file and how it is read, as one text: one capture per distinct key.
std::string captureKey(const CaptureFile& file);

// "1.5 MHz", "100 GHz": a rate for messages.
std::string rateText(uint64_t hz);

} // namespace vexacq
