// A module that counts a real logic analyser: an engine module of model 'c'
// (18 channels) over a libsigrok device and a StreamCounter. While a session
// holds the module, the module's own acquisition thread runs a libsigrok
// session on the device and feeds every logic packet to the counter; release
// stops it. Channels beyond the device's logic channels are absent.
//
// Nothing the engine calls blocks on the device: open and release only wake
// or stop the acquisition thread. When the acquisition cannot start, or ends
// by itself while wanted (device unplugged, transfer failure), the module
// becomes not present and the engine fails the holder's calls with
// moduleGone. A later scan that finds the device again makes it present.
#pragma once

#include "DeviceConfig.h"
#include "Module.h"
#include "SigrokContext.h"
#include "StreamCounter.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vexacq {

// How a module sets its device up before each acquisition.
struct DeviceSetup {
    // Device settings from the config (key, value), e.g. ("samplerate", "2M").
    std::vector<std::pair<std::string, std::string>> settings;
    // Logic pattern to select on the "Logic" channel group (the demo device's
    // "incremental"); empty: none.
    std::string pattern;
    // Sample rate when the config sets none, Hz; 0: the device's highest listed
    // rate up to kMaxDefaultRate (8 channels) or half of it (more).
    uint64_t defaultRate = 0;
    // A reference input (ref=FREQ@CH): counts take their time from it while locked.
    std::optional<ReferenceInput> reference;
};

// The fastest default rate: what an fx2-class analyser streams with 8
// channels over USB 2.0.
constexpr uint64_t kMaxDefaultRate = 24'000'000;

class AcquiredModule final : public vexengine::Module {
public:
    static constexpr int kChannels = 18; // model 'c'

    // device: found by a scan, not open. identity: what a later scan matches
    // to recognise the same device.
    AcquiredModule(std::string name, SigrokContext& sigrok, sr_dev_inst* device, int logicChannels,
                   DeviceSetup setup, std::string identity);
    ~AcquiredModule() override;

    // --- the engine's side (under the engine's lock; never blocks)
    bool present() const override { return m_present.load(); }
    void open(int64_t now) override;
    void release() override;
    int threshold(int which) const override;
    void setThreshold(int which, int tenthsOfVolt) override;
    void reset() override;
    void start(const vexengine::CountSettings& settings, int64_t) override;
    void stop(int64_t) override;
    void status(int64_t, vexengine::CounterStatus& status) const override;
    void counts(int64_t, std::vector<int64_t>& counts) const override;
    void pins(int64_t, std::string& pins) override { m_counter.pins(pins); }
    void measures(int64_t, std::vector<vexengine::ChannelMeasures>& measures) const override {
        m_counter.measures(measures);
    }
    vexengine::TimeBase timeBase() const override { return m_counter.timeBase(); }

    // --- the source's side
    const std::string& identity() const { return m_identity; }
    void setIdentity(std::string identity) { m_identity = std::move(identity); }
    // A scan found the device (again): a module that is not present takes it
    // and is present again. False when the module still has its device.
    bool reattach(sr_dev_inst* device);
    // A scan no longer finds the device: not present, unless it is acquiring
    // (then the acquisition's end decides).
    void markMissing();
    // Before a rescan that renews libsigrok's device list (the caller holds
    // the libsigrok lock): drops the device pointer and stays present until
    // reattach() or markMissing(). False, and nothing changes, while an
    // acquisition uses the device.
    bool handBackDevice();
    // Stops and joins the acquisition thread; the module is not present from
    // then on and never touches libsigrok again. Called before the context ends.
    void shutdown();

    // An acquisition holds the device (starting, running or ending).
    bool acquiring() const;
    uint64_t samplesCounted() const { return m_counter.samplesFed(); }

private:
    enum class Outcome { skipped, failed, ran };
    void run(); // the acquisition thread
    // One acquisition on the current device until it is stopped or ends:
    // skipped when there is no device or it is no longer wanted, failed when
    // it could not start.
    Outcome acquire();
    bool configure(sr_dev_inst* device);
    void stopSessionLocked(); // m_mutex held
    static void onPacket(const sr_dev_inst* device, const sr_datafeed_packet* packet, void* self);
    // After a packet: a change of the reference's lock goes to the log.
    void reportLock();

    SigrokContext& m_sigrok;
    const DeviceSetup m_setup;
    std::string m_identity;
    const int m_logicChannels; // channels the device delivers
    StreamCounter m_counter;
    uint32_t m_thresholdKey = 0; // SR_CONF_VOLTAGE_THRESHOLD, ..._LOGIC_THRESHOLD_CUSTOM or 0

    std::atomic<bool> m_present{true};
    mutable std::mutex m_mutex; // guards the members below
    std::condition_variable m_wake;
    sr_dev_inst* m_device;           // null while gone (or handed back for a rescan)
    bool m_deviceInUse = false;      // an acquisition holds m_device
    bool m_stopping = false;         // m_session has been asked to stop
    sr_session* m_session = nullptr; // of the running acquisition
    bool m_wanted = false;           // a session holds the module
    bool m_restart = false;          // stop, then start again (new threshold)
    bool m_quit = false;
    int m_threshold[2] = {14, 14}; // tenths of a volt
    // A count started before the device's sample rate is known (its first
    // acquisition is still starting) waits here and starts with the rate.
    std::optional<vexengine::CountSettings> m_pending;
    bool m_pendingStopped = false;  // such a count was stopped before it began
    bool m_referenceLocked = false; // as last reported (acquisition thread only)
    std::thread m_thread;           // last: starts after everything above
};

} // namespace vexacq
