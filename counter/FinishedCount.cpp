// FinishedCount: conversions from the library's counts to measured quantities
// and the short names of a count's settings.
#include "counter/FinishedCount.h"

#include "counter/ResultText.h"

double frequencyHz(int64_t count, int32_t gateCode) {
    const double seconds = gateSeconds(gateCode);
    const double edges = static_cast<double>(count);
    return seconds > 0.0 ? edges / seconds : edges;
}

double periodNs(int64_t count) {
    // 64 intervals of 10 ns ticks each.
    return static_cast<double>(count) * 10.0 / 64.0;
}

double gateSeconds(int32_t gateCode) {
    switch (gateCode) {
    case kGate100ms:
        return 0.1;
    case kGate1s:
        return 1.0;
    case kGate10s:
        return 10.0;
    default:
        return 0.0;
    }
}

std::string_view quantityUnit(int32_t counterType) {
    switch (counterType) {
    case 0:
        return "Hz";
    case 1:
        return "ns";
    default:
        return "events";
    }
}

std::string_view counterTypeName(int32_t counterType) {
    switch (counterType) {
    case 0:
        return "frequency";
    case 1:
        return "period";
    default:
        return "events";
    }
}

std::string_view edgeName(int32_t edgeCode) {
    // Bit 0: the first edge is rising; bit 1: the second edge is rising.
    static constexpr std::string_view kNames[4] = {"F-F", "R-F", "F-R", "R-R"};
    return kNames[edgeCode & 3];
}

std::string_view gateName(int32_t gateCode) {
    switch (gateCode) {
    case kGate100ms:
        return "0.1";
    case kGate1s:
        return "1";
    case kGate10s:
        return "10";
    default:
        return "inf";
    }
}

std::string_view timeBaseName(bool referenced) {
    return referenced ? "reference" : "internal";
}
