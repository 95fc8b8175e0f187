// Session files (.sr) read without libsigrok: a zip holding a `metadata`
// entry (ini text: [device 1] with samplerate, unitsize, total probes,
// probeN names and capturefile) and the logic samples in `capturefile`,
// `capturefile-1`, `capturefile-2`, ... Reading it ourselves through libzip
// lets every limit hold before anything is allocated: the metadata entry's
// size is read from the zip's directory before it is inflated, the probe
// count and the sample rate before any channel or buffer exists, and the
// samples are inflated in 1 MiB reads into one buffer of the size the
// directory declares (at most the cap), with a running total that refuses a
// file holding more than it declares. A load stops between two reads when
// asked to or when its time is up.
#pragma once

#include "Capture.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexacq {

// Why a running load must end now ("" while it may go on): stopped from
// outside, or over its time.
struct LoadClock {
    std::chrono::steady_clock::time_point deadline;
    const std::atomic<bool>* stop = nullptr;
    std::chrono::milliseconds limit{0};

    std::string interrupted() const;
};

// Reads the session file at path into capture (rate, unit size, logic
// channels, samples); "" or the fault, without the file's name.
std::string readSessionFile(const std::string& path, const LoadLimits& limits,
                            const LoadClock& clock, Capture& capture);

// A session file's sample rate, Hz: "12 MHz", "1000", "2.5kHz", "100 GHz";
// nullopt for anything else (also for rates beyond 2^64 - 1).
std::optional<uint64_t> parseRateText(std::string_view text);

} // namespace vexacq
