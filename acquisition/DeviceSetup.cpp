// Device setup: settings, rate, sample limit and threshold before a stream.
#include "DeviceSetup.h"

#include "SampleRate.h"

namespace vexacq {

bool configureDevice(Device& device, const DeviceInfo& info, DeviceSetup& setup,
                     const std::function<void(const std::string&)>& complain, std::string& error) {
    if (!device.applySettings(error)) return false;
    setup.rates = device.sampleRates();
    if (!info.rateFromConfig) {
        // The sample rate every count of this stream uses is chosen here (a
        // buffer device's count may have asked for one its gate fits in).
        const uint64_t rate =
            setup.gateRate != 0
                ? setup.gateRate
                : chooseSampleRate(setup.rates, info.logicChannels, info.preferredRate);
        if (rate != 0 && !device.setSampleRate(rate))
            complain("the device did not take " + std::to_string(rate) + " Hz");
    }
    if (!info.streams && info.bufferSamples != 0) device.setSampleLimit(info.bufferSamples);
    // Threshold 0 is the 0 -> 1 level (high), threshold 1 the 1 -> 0 one.
    if (info.threshold != ThresholdKind::none &&
        !device.setThreshold(setup.threshold[1] / 10.0, setup.threshold[0] / 10.0))
        complain("the device did not take the threshold");
    return true;
}

} // namespace vexacq
