// A module that counts a real logic analyser: an engine module of model 'c'
// (18 channels) over a Device (DeviceBackend.h) and a StreamCounter. While a
// session holds the module, its device acquires on the acquisition thread
// and every logic packet feeds the counter; release stops it. Channels
// beyond the device's logic channels are absent.
//
// Two sides: the engine calls the Module members (under the engine's lock,
// never blocking: they change the wanted state and post to the acquisition
// loop); the acquisition loop runs everything that touches the device and is
// the only place that changes the acquisition's State (setState()).
//
// A count belongs to one generation of the stream (one started acquisition,
// renewed by a sample-rate change): it starts at a sample of the generation
// whose threshold and rate are the count's and never spans two; one that a
// restart interrupts ends with its unfinished channels in "forced stop".
//
// With a reference input (ref=FREQ@CH on a delivered channel) a count waits
// for the reference's lock, bounded (ReferenceWatch::waitSeconds()), and is
// started by the loop between two packets: referenced throughout or not at
// all (ChannelMeasures::referenced).
//
// Loss: a device that does not open or start, or whose stream keeps ending
// by itself, or that a scan no longer finds, is lost: the module is not
// present until a scan finds the device again, and losses() counts up, so
// the engine answers the session that held it meanwhile with moduleGone
// even if the device is back. The module does not acquire for that holder;
// the next session to open it starts afresh.
#pragma once

#include "AcquisitionState.h"
#include "CountPlacement.h"
#include "DeviceBackend.h"
#include "DeviceConfig.h"
#include "Module.h"
#include "ModulePresence.h"
#include "ReferenceWatch.h"
#include "StreamCounter.h"
#include "StreamHealth.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vexacq {

class AcquisitionLoop;

class AcquiredModule final : public vexengine::Module {
public:
    static constexpr int kChannels = 18; // model 'c'

    // The acquisition's life; the legal moves are listed at the enum.
    using State = AcquisitionState;

    using Log = std::function<void(const std::string&)>;
    // log: device events; debug: each move of the acquisition's state (may
    // be empty).
    AcquiredModule(std::string name, AcquisitionLoop& loop, std::unique_ptr<Device> device, Log log,
                   Log debug = {});
    ~AcquiredModule() override = default;

    // --- the engine's side (under the engine's lock; never blocks)
    bool present() const override { return m_presence.present(); }
    uint64_t losses() const override { return m_presence.losses(); }
    void open(int64_t now) override;
    void release() override;
    int threshold(int which) const override;
    void setThreshold(int which, int tenthsOfVolt) override;
    void reset() override;
    void start(const vexengine::CountSettings& settings, int64_t) override;
    void stop(int64_t) override;
    void status(int64_t, vexengine::CounterStatus& status) const override;
    void counts(int64_t, std::vector<int64_t>& counts) const override;
    void pins(int64_t, std::string& pins) override;
    vexengine::AcquisitionStats acquisitionStats() const override { return m_health.stats(); }
    void measures(int64_t, std::vector<vexengine::ChannelMeasures>& measures) const override;
    vexengine::TimeBase timeBase() const override;

    // A reference input from the device config (before the module is added to
    // the engine): counts take their time from it while it is locked.
    void setReference(std::optional<ReferenceInput> reference);

    // --- the acquisition loop's side (the source)
    // The attached device's description, or the last one's while none is.
    const DeviceInfo& deviceInfo() const { return m_info; }
    // Starting, running or stopping: the device is in use.
    bool active() const;
    // Hands the idle device back before a rescan renews the driver's devices;
    // the module stays present until attach() or detach().
    void dropDevice();
    // A scan found the device (again): the module takes it. Channel count and
    // threshold kind come from this device.
    void attach(std::unique_ptr<Device> device);
    // A scan no longer finds the device: lost (only while idle).
    void detach();
    // Stops the stream (ended() follows on the loop); afterwards the module is
    // not present and never posts to the loop again.
    void beginShutdown();
    // After the stream ended (or gave up waiting): closes and drops the device.
    void finishShutdown();

    State state() const;
    uint64_t generation() const;

private:
    // The sink of one stream: tags its packets with the stream's generation,
    // so nothing of an earlier stream reaches a later one's count.
    class Feed final : public PacketSink {
    public:
        Feed(AcquiredModule& module, uint64_t generation)
            : m_module(module), m_generation(generation) {}
        void sampleRate(uint64_t hz) override { m_module.onRate(m_generation, hz); }
        void logic(const void* data, size_t bytes, unsigned unitsize) override {
            m_module.onLogic(m_generation, data, bytes, unitsize);
        }
        void ended() override { m_module.onEnded(m_generation); }

    private:
        AcquiredModule& m_module;
        const uint64_t m_generation;
    };

    // Moves to state if the transition table allows it (else logs the refused
    // move and stays); m_mutex held.
    bool setState(State state);
    void post();      // asks the loop to reconcile(); m_mutex held
    void reconcile(); // loop: moves towards what is wanted
    void startAcquisition();
    void beginGeneration(uint64_t hz); // m_mutex held
    void lose(const std::string& why);
    bool changedLocked() const;           // threshold or gate rate not the stream's
    bool countableLocked() const;         // a count may start now
    void placeCountLocked();              // a waiting count: refused, started now, or waits on
    bool waitsForReferenceLocked() const; // counts wait for a reference that can lock
    // Loop, before a packet: starts the waiting count when it may; the log
    // line of a count that could not be referenced, else empty.
    std::string beginWithReferenceLocked(uint64_t samples);
    void onRate(uint64_t generation, uint64_t hz);
    void onLogic(uint64_t generation, const void* data, size_t bytes, unsigned unitsize);
    void onEnded(uint64_t generation);
    void applyReference(); // to a new counter; m_mutex held

    AcquisitionLoop& m_loop;
    const Log m_log;
    const Log m_debug;

    // Loop thread only.
    std::unique_ptr<Device> m_device;
    DeviceInfo m_info;
    std::unique_ptr<Feed> m_feed; // the sink of the current stream
    uint64_t m_stream = 0;        // the generation the current stream started with
    uint64_t m_runSamples = 0;    // samples of the current stream

    mutable std::mutex m_mutex; // guards the members below
    State m_state = State::idle;
    uint64_t m_generation = 0;
    uint64_t m_rate = 0; // of the current generation, Hz; 0: not known yet
    ModulePresence m_presence;
    bool m_posted = false;                               // a reconcile() is queued
    ThresholdKind m_thresholdKind = ThresholdKind::none; // of the attached device
    int m_logicChannels = 1;                             // ...
    bool m_streams = true;                               // ...
    int m_threshold[2] = {14, 14}; // wanted, tenths of a volt: 0->1 level, 1->0 level
    int m_applied[2] = {0, 0};     // of the current generation
    std::unique_ptr<StreamCounter> m_counter;
    std::optional<ReferenceInput> m_reference;
    ReferenceWatch m_referenceWatch; // loop thread only
    CountPlacement m_placement;
    // A buffer device's rates (read at each start) and buffer.
    CountPlacement::Buffers m_buffers;

    StreamHealth m_health;
};

} // namespace vexacq
