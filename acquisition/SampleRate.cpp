// Sample rate choice from a device's offered rates.
#include "SampleRate.h"

#include <algorithm>

namespace vexacq {

uint64_t highestRate(const RateChoices& rates, int logicChannels, uint64_t limit) {
    const uint64_t cap = std::min(limit, logicChannels > 8 ? kMaxDefaultRate / 2 : kMaxDefaultRate);
    uint64_t best = 0;
    for (uint64_t r : rates.list)
        if (r <= cap && r > best) best = r;
    if (rates.max != 0 && rates.min <= cap) {
        const uint64_t top = std::min(rates.max, cap);
        const uint64_t r =
            rates.step == 0 ? top : rates.min + (top - rates.min) / rates.step * rates.step;
        best = std::max(best, r);
    }
    return best;
}

uint64_t chooseSampleRate(const RateChoices& rates, int logicChannels, uint64_t preferred) {
    if (preferred != 0) return preferred;
    uint64_t best = highestRate(rates, logicChannels, UINT64_MAX);
    if (best == 0) { // nothing up to the cap: the slowest there is
        for (uint64_t r : rates.list)
            if (best == 0 || r < best) best = r;
        if (best == 0) best = rates.min;
    }
    return best;
}

} // namespace vexacq
