// Device setup before each stream of an acquired module: the config's
// settings, the sample rate, a buffer device's sample limit and the
// threshold. Runs on the acquisition loop.
#pragma once

#include "DeviceBackend.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vexacq {

struct DeviceSetup {
    // In: the rate a buffer device's count needs for its gate (Hz), 0: the
    // default choice (chooseSampleRate()).
    uint64_t gateRate = 0;
    // In: the wanted threshold, tenths of a volt: [0] the 0 -> 1 level, [1]
    // the 1 -> 0 level; applied when the device has a threshold.
    int threshold[2] = {14, 14};
    // Out: the rates the device offers.
    RateChoices rates;
};

// Sets the device up for its next stream. False (error set) when the device
// did not take the config's settings; a rate or threshold the device does
// not take is only told to `complain`.
bool configureDevice(Device& device, const DeviceInfo& info, DeviceSetup& setup,
                     const std::function<void(const std::string&)>& complain, std::string& error);

} // namespace vexacq
