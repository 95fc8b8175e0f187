// Where the count a session started on an acquired module stands until the
// streaming counter has it: waiting for a stream with its settings (and, on
// a module with a reference, for the reference's lock, bounded), stopped
// while it waited, refused, or handed to the counter (counting), and whether
// the counter took it with the reference's rate. Also the rate a
// buffer-at-a-time device must acquire at for the count's gate to fit into
// one buffer. Pure; the module calls it under its own lock.
#pragma once

#include "DeviceBackend.h"
#include "Engine.h"

#include <cstdint>

namespace vexacq {

class CountPlacement {
public:
    enum class Phase {
        counting,            // the counter has the count (or none was asked): it answers
        waiting,             // for a stream whose settings are the count's
        stoppedWhileWaiting, // stopped before it began: "forced stop"
        refused,             // cannot be counted on this device: "forced stop"
    };

    // What a buffer-at-a-time device offers a count (of the attached device).
    struct Buffers {
        uint64_t samples = 0; // one buffer's samples; 0: unknown
        RateChoices rates;    // offered (read at each stream's start)
        bool rateFromConfig = false;
        int logicChannels = 1;
    };
    // A waiting count's gate on such a device.
    enum class Fit {
        fits,    // at the current rate, or at gateRate() once the stream has it
        restart, // gateRate() changed: the stream must restart at it
        refuse,  // an endless gate, or one that fits at no rate: refused
    };

    Phase phase() const { return m_phase; }
    bool waiting() const { return m_phase == Phase::waiting; }
    // The waiting count's settings.
    const vexengine::CountSettings& settings() const { return m_settings; }
    // The rate the current count's gate needs (Hz), 0: the default choice.
    uint64_t gateRate() const { return m_gateRate; }
    // The stream's rate is not the one the count's gate needs.
    bool rateMismatch(uint64_t rate) const {
        return m_gateRate != 0 && rate != 0 && m_gateRate != rate;
    }

    // A new count waits for its stream.
    void begin(const vexengine::CountSettings& settings);
    // Nothing waits any more (opened, released, reset, the device lost).
    void clear();
    // The counter took the waiting count; referenced: with the rate of a
    // locked reference.
    void placed(bool referenced);
    // The count the counter has was taken with a locked reference's rate.
    bool referenced() const { return m_referenced; }

    // A module with a reference that can lock: before each packet of
    // `samples` samples, with the stream ready for it, the waiting count
    // begins with the reference (locked), begins without it (it waited
    // `boundSamples` samples of the stream), or waits through the packet.
    enum class ReferenceStart { referenced, unreferenced, wait };
    ReferenceStart beforePacket(bool locked, uint64_t boundSamples, uint64_t samples);
    void stop();
    void refuse() { m_phase = Phase::refused; }
    // The device did not take gateRate(): the default choice from now on,
    // and a count waiting for that rate is refused.
    void rateNotTaken();
    // A buffer device: whether the waiting count's gate fits one buffer at
    // rate (Hz, 0: not known yet) or at a rate the device offers.
    Fit fitGate(const Buffers& buffers, uint64_t rate);

    // The status of a count the counter does not have (phase not counting):
    // the first logicChannels channels wait (counting) or are in "forced stop".
    void status(int logicChannels, int channels, vexengine::CounterStatus& status) const;

private:
    Phase m_phase = Phase::counting;
    vexengine::CountSettings m_settings;
    uint64_t m_gateRate = 0;
    uint64_t m_waited = 0; // samples the waiting count waited for the reference
    bool m_referenced = false;
};

} // namespace vexacq
