// What a reading means, in one place: gate codes in seconds, period ticks in
// seconds, and which frequency is the best the engine has. Every front end
// (SCPI, the metrics, the monitor, the library's measures) asks here rather
// than working it out again.
#pragma once

#include "Counter.h"
#include "Engine.h"

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

// A period count (the 10 ns ticks of kPeriodIntervals intervals added up) as
// the mean interval in seconds.
inline double periodCountSeconds(int64_t ticks) {
    return static_cast<double>(ticks) * static_cast<double>(kTickNs) * 1e-9 / kPeriodIntervals;
}

// The finest frequency a channel's measures hold (Hz): the regression where
// there is one (three or more edges), else the reciprocal; NaN when neither.
inline double bestFrequencyHz(const ChannelMeasures& m) {
    return std::isfinite(m.regressionHz) ? m.regressionHz : m.reciprocalHz;
}

// --- The library's measures (QV_FCGetMeasures, QV_GetTimeBase) ----------
// The built-in server and vexcountd both answer through these, so the two
// transports give the same values.

// One channel as QV_ChannelMeasures carries it; NaN where unknown.
struct LibraryMeasures {
    double frequency = std::numeric_limits<double>::quiet_NaN();     // Hz
    double period = std::numeric_limits<double>::quiet_NaN();        // s, period counts only
    double positiveWidth = std::numeric_limits<double>::quiet_NaN(); // s
    double negativeWidth = std::numeric_limits<double>::quiet_NaN(); // s
    double duty = std::numeric_limits<double>::quiet_NaN();          // 0..1
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
