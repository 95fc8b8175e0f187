// The reference's lock in the log, and the count's wait for it.
#include "ReferenceWatch.h"

#include <algorithm>
#include <cstdio>

namespace vexacq {

double ReferenceWatch::waitSeconds(double referenceHz) {
    const double window = std::max(1.0, referenceHz > 0 ? 10.0 / referenceHz : 30.0);
    return std::min(window + 1.0, 30.0);
}

std::string ReferenceWatch::secondsText(double seconds) {
    char text[40];
    std::snprintf(text, sizeof text, "%.3g s", seconds);
    return text;
}

std::string ReferenceWatch::lockChange(const vexengine::TimeBase& base) {
    if (static_cast<int>(base.locked) == m_told) return {};
    m_told = base.locked;
    char text[200];
    if (base.locked)
        std::snprintf(text, sizeof text,
                      "reference %.9g Hz on channel %d locked, sample clock %+.3f ppm",
                      base.referenceHz, base.referenceChannel, base.offsetPpm);
    else
        std::snprintf(text, sizeof text,
                      "reference %.9g Hz on channel %d not locked, counting with the nominal "
                      "rate %.0f Hz",
                      base.referenceHz, base.referenceChannel, base.nominalRate);
    return text;
}

} // namespace vexacq
