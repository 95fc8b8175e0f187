// What a reading means, in one place: gate codes in seconds, period ticks in
// seconds, and which frequency is the best the engine has. Every front end
// (SCPI, the metrics, the monitor, the library's measures) asks here rather
// than working it out again.
#pragma once

#include "Counter.h"
#include "Engine.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace vexengine {

// Gate length of a gate code in seconds: 0.1, 1, 10; 0 for the infinite gate
// and for a code that is not a gate.
inline double gateSeconds(int32_t gateCode) {
    const int64_t ns = gateLengthNs(gateCode);
    return ns > 0 && ns != kNever ? static_cast<double>(ns) * 1e-9 : 0;
}

// Gate length of a gate code as a duration in ms; 0 for the infinite gate
// and for a code that is not a gate.
inline std::chrono::milliseconds gateDuration(int32_t gateCode) {
    const int64_t ns = gateLengthNs(gateCode);
    return std::chrono::milliseconds(ns > 0 && ns != kNever ? ns / 1'000'000 : 0);
}

// A period count (the 10 ns ticks of kPeriodIntervals intervals added up) as
// the mean interval in seconds, rounded once: both operands of the division
// are exact, so 3200 ticks read 5e-7 s exactly as printed.
inline double periodCountSeconds(int64_t ticks) {
    return static_cast<double>(ticks * kTickNs) / (kPeriodIntervals * 1e9);
}

// The finest frequency a channel's measures hold (Hz): the regression where
// there is one (three or more edges), else the reciprocal; NaN when neither.
inline double bestFrequencyHz(const ChannelMeasures& m) {
    return std::isfinite(m.regressionHz) ? m.regressionHz : m.reciprocalHz;
}

// --- Counts and measures as the server's readings ---------------------------
//
// What one channel of a count is worth in SI units, and when it has no value
// (NaN): the SCPI personality, the metrics and the monitor read counts only
// through these.

constexpr double kNoReading = std::numeric_limits<double>::quiet_NaN();

// The endless gate of period and event counts (code 7).
inline bool endlessGate(int32_t gateCode) {
    return gateLengthNs(gateCode) == kNever;
}

// The engine gate code of a gate length in seconds (0.1, 1, 10; infinity for
// the endless gate), -1 when no gate has that length.
inline int32_t gateCodeForSeconds(double seconds) {
    if (std::isinf(seconds) && seconds > 0) return 7;
    for (const int32_t code : {0, 1, 2})
        if (std::abs(seconds - gateSeconds(code)) < 1e-9) return code;
    return -1;
}

// What a channel's count measures: a frequency count its frequency, a period
// count the period, or the high or low time when its two edges differ (edge
// code bit 0: first edge rising, bit 1: second edge rising), an event count
// its events.
enum class Quantity { Frequency, Period, HighWidth, LowWidth, Events };

inline Quantity countQuantity(const CountSettings& settings) {
    if (settings.counterType == 0) return Quantity::Frequency;
    if (settings.counterType == 2) return Quantity::Events;
    const bool firstRising = settings.edgeCode & 1;
    const bool secondRising = settings.edgeCode & 2;
    return firstRising == secondRising ? Quantity::Period
           : firstRising               ? Quantity::HighWidth
                                       : Quantity::LowWidth;
}

// The value of one channel's count (Hz, s or events). A frequency count has
// one once its gate closed (count / gate); a period count once its 64
// intervals are in and they span at least a tick; an event count once it
// ended or was stopped, and while it runs when running is set (a total read
// as it goes). NaN otherwise.
inline double countValue(const CountSettings& settings, uint32_t state, int64_t count,
                         bool running = false) {
    switch (countQuantity(settings)) {
    case Quantity::Frequency: {
        const double gate = gateSeconds(settings.gateCode);
        return state == kChannelDone && gate > 0 ? static_cast<double>(count) / gate : kNoReading;
    }
    case Quantity::Events:
        return state == kChannelDone || state == kChannelForcedStop ||
                       (running && state == kChannelCounting)
                   ? static_cast<double>(count)
                   : kNoReading;
    default:
        return state == kChannelDone && count > 0 ? periodCountSeconds(count) : kNoReading;
    }
}

// How a frequency count's channel is read: its edges over the gate (the
// count), the reciprocal, or the regression.
enum class FrequencyMode { Count, Reciprocal, Regression };

// A frequency count's channel in the given mode (Hz): NaN until its gate
// closed. A channel with too few edges for the reciprocal (two) or the
// regression (three) reads the next coarser value the engine has, down to
// the count.
inline double frequencyValue(FrequencyMode mode, const CountSettings& settings, uint32_t state,
                             int64_t count, const ChannelMeasures& m) {
    const double counted = countValue(settings, state, count);
    if (std::isnan(counted)) return kNoReading;
    const double fine = mode == FrequencyMode::Regression   ? bestFrequencyHz(m)
                        : mode == FrequencyMode::Reciprocal ? m.reciprocalHz
                                                            : kNoReading;
    return std::isfinite(fine) ? fine : counted;
}

// A measure of a frequency count's channel (s, or a ratio for the duty):
// NaN until its gate closed, and where the channel has none.
inline double measureValue(uint32_t state, double measure) {
    return state == kChannelDone && std::isfinite(measure) ? measure : kNoReading;
}

// A count on a module with an external reference whose gate and times did
// not come from it (the reference was not locked): its readings stand on the
// device's nominal rate only.
inline bool unreferenced(const TimeBase& base, const std::vector<ChannelMeasures>& measures) {
    return base.external && (measures.empty() || !measures.front().referenced);
}

// --- The library's measures (QV_FCGetMeasures, QV_GetTimeBase) ----------
// The built-in server and vexcountd both answer through these, so the two
// transports give the same values.

// One channel as QV_ChannelMeasures carries it; NaN where unknown.
struct LibraryMeasures {
    double frequency = kNoReading;     // Hz
    double period = kNoReading;        // s, period counts only
    double positiveWidth = kNoReading; // s
    double negativeWidth = kNoReading; // s
    double duty = kNoReading;          // 0..1
    bool referenced = false;
};

// A channel's measures with the count they belong to: counterType of the
// count (0 frequency, 1 period, 2 events), the channel's state and count.
// The period is the engine's mean period; a finished period count whose
// module gives none (simulations, modules without sample times) falls back
// to the count itself, which is the same mean rounded to the 10 ns tick.
inline LibraryMeasures libraryMeasures(const ChannelMeasures& m, int32_t counterType,
                                       uint32_t channelState, int64_t count) {
    LibraryMeasures out;
    out.frequency = bestFrequencyHz(m);
    if (counterType == 1) {
        out.period = m.meanPeriod;
        if (std::isnan(out.period) && channelState == kChannelDone && count > 0)
            out.period = periodCountSeconds(count);
    }
    out.positiveWidth = m.positiveWidth;
    out.negativeWidth = m.negativeWidth;
    out.duty = m.duty;
    out.referenced = m.referenced;
    return out;
}

// The library's measures of the session's current or last count, one per
// channel: capacity below the channel count is badArgument. States and counts
// are read first, so that a channel read as done has its final count.
Result readLibraryMeasures(Engine& engine, SessionId session, int capacity,
                           std::vector<LibraryMeasures>& measures);

// The time base as QV_GetTimeBase reports it: without a reference the
// channel is -1 and the reference 0 Hz; the offset is 0 unless locked.
inline TimeBase libraryTimeBase(TimeBase tb) {
    if (!tb.external) {
        tb.referenceChannel = -1;
        tb.referenceHz = 0;
        tb.locked = false;
    }
    if (!tb.locked) tb.offsetPpm = 0;
    return tb;
}

// The device problems as QV_GetDeviceProblems gives them: one a line, each
// ended by '\n' (a line break inside a problem becomes a blank); "" when
// there are none.
inline std::string deviceProblemText(const std::vector<std::string>& problems) {
    std::string text;
    for (const std::string& problem : problems) {
        for (char c : problem)
            text += c == '\n' || c == '\r' ? ' ' : c;
        text += '\n';
    }
    return text;
}

} // namespace vexengine
