// Argument checks of the QV_ functions that do not depend on a session:
// counter type, edge code, gate code, channel codes, threshold. Shared by the
// real library and the scripted test fake.
#pragma once

#include "vexif.h"

#include <cstdint>

namespace vexif {

constexpr int kChannelCodeCount = 8;  // channels 0..7 carry channel codes
constexpr int32_t kThresholdMin = 8;  // tenths of a volt
constexpr int32_t kThresholdMax = 25; // tenths of a volt

inline bool isChannelCode(char c) {
    return c == '0' || c == '1' || c == 'R' || c == 'F' || c == 'E' || c == '-';
}

// The first eight characters must all be channel codes. Reading stops at the
// first character that is not one, so a short text is never read past its
// terminating zero.
inline bool validChannelCodes(const char* codes) {
    if (!codes) return false;
    for (int i = 0; i < kChannelCodeCount; ++i)
        if (!isChannelCode(codes[i])) return false;
    return true;
}

// Start arguments of QV_FCRun (run = 1). The infinite gate (7) is only for
// period and event counts: a frequency needs a gate of known length.
inline bool validRunArguments(int32_t counterType, int32_t edgeCode, int32_t gateCode,
                              const char* channelCodes) {
    if (counterType < QV_COUNT_FREQUENCY || counterType > QV_COUNT_EVENTS) return false;
    if (edgeCode < QV_EDGE_FALL_FALL || edgeCode > QV_EDGE_RISE_RISE) return false;
    switch (gateCode) {
    case QV_GATE_100MS:
    case QV_GATE_1S:
    case QV_GATE_10S:
        break;
    case QV_GATE_INFINITE:
        if (counterType == QV_COUNT_FREQUENCY) return false;
        break;
    default:
        return false;
    }
    return validChannelCodes(channelCodes);
}

inline bool validThreshold(int32_t which, int32_t tenthsOfVolt) {
    return (which == 0 || which == 1) && tenthsOfVolt >= kThresholdMin &&
           tenthsOfVolt <= kThresholdMax;
}

} // namespace vexif
