// The sample rate an acquired module asks its device for: the highest the
// device offers up to what USB 2.0 streams, or up to what lets a gate fit
// into one buffer. Pure.
#pragma once

#include "DeviceBackend.h"

#include <cstdint>

namespace vexacq {

// The fastest default rate: what an fx2-class analyser streams with 8
// channels over USB 2.0; half of it with more channels.
constexpr uint64_t kMaxDefaultRate = 24'000'000;

// The sample rate to acquire at when the config sets none: the device's
// preferred rate, else the highest it offers up to the cap, from a list or a
// (min, max, step) range (the slowest when none is that low); 0 when it
// offers none.
uint64_t chooseSampleRate(const RateChoices& rates, int logicChannels, uint64_t preferred);
// The highest rate offered up to the cap and up to limit, Hz; 0 when none is.
uint64_t highestRate(const RateChoices& rates, int logicChannels, uint64_t limit);

} // namespace vexacq
