// What a reading means, in one place: gate codes in seconds, period ticks in
// seconds, and which frequency is the best the engine has. Every front end
// (SCPI, the metrics, the monitor, the library's measures) asks here rather
// than working it out again.
#pragma once

#include "Counter.h"
#include "Engine.h"

#include <cmath>
#include <cstdint>

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

} // namespace vexengine
