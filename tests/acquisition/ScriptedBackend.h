// Scripted logic analysers behind the acquisition seam (DeviceBackend.h):
// a test plugs them in under a driver name, then plays, on the acquisition
// thread and in the same path a libsigrok datafeed takes, whatever a real
// device only does on a bad day: a late first packet, a rate change
// mid-stream, the end of the stream, a transfer error, unplugging and
// plugging back (at another address, with or without a serial number), a
// buffer-at-a-time device, several devices of one driver at once.
#pragma once

#include "DeviceBackend.h"

#include <glib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vexacq::test {

// One analyser: what scans report and what it did. Test threads read the
// records under `mutex` (or through the ScriptedBackend helpers).
struct ScriptedDevice {
    DeviceInfo info;
    RateChoices rates{{1000, 10'000, 100'000}};
    bool plugged = true;
    // stop() leaves the stream running until endStream() (a slow device).
    std::atomic<bool> holdStop{false};
    // Runs inside start(), on the acquisition thread.
    std::function<void()> onStart;

    mutable std::mutex mutex;
    uint64_t rate = 10'000;   // Hz
    double low = 0, high = 0; // volts, as last set
    uint64_t limit = 0;
    int starts = 0, stops = 0, ends = 0;
    bool running = false;
    uint64_t next = 0;      // the incremental pattern's next sample value (0 at each start)
    std::thread::id thread; // where the last start() ran
    PacketSink* sink = nullptr;
};

class ScriptedBackend final : public Backend {
public:
    std::shared_ptr<ScriptedDevice> add(DeviceInfo info);

    // --- played on the acquisition thread; each returns once it has run
    // Samples given one by one (unitsize from the channel count).
    void deliver(ScriptedDevice& device, const std::vector<uint32_t>& samples);
    // n samples of the incremental pattern: sample value = running index, so
    // channel k is a square wave of 2^(k+1) samples.
    void deliverPattern(ScriptedDevice& device, uint64_t n);
    void changeRate(ScriptedDevice& device, uint64_t hz);
    // The stream ends by itself (a transfer error, the end of a buffer, a
    // held stop() completing).
    void endStream(ScriptedDevice& device);
    // Gone: the stream ends and opening fails until plug().
    void unplug(ScriptedDevice& device);
    void plug(ScriptedDevice& device, const std::string& connection);

    // Waits (up to 5 s) until the device's records satisfy test.
    static bool waitFor(const ScriptedDevice& device,
                        const std::function<bool(const ScriptedDevice&)>& test);

    // --- Backend
    bool init(std::string& error) override;
    bool prepare(const DeviceConfig&, std::string&) override { return true; }
    std::vector<std::unique_ptr<Device>> scan(const DeviceConfig& config, bool renew) override;
    void shutdown() override {}

private:
    // Runs work on the acquisition thread and waits for it.
    void run(const std::function<void()>& work);

    GMainContext* m_context = nullptr; // the acquisition loop's
    std::mutex m_mutex;
    std::vector<std::shared_ptr<ScriptedDevice>> m_devices;
};

} // namespace vexacq::test
