// How an acquired module's sample stream fares: samples delivered, samples
// per second over about the last second, late packets (more than 250 ms
// behind the stream's pace) and dropped packets (streams that ended by
// themselves). Pure over an injected clock; thread-safe (the loop reports,
// the engine's side reads).
#pragma once

#include "Engine.h" // vexengine::AcquisitionStats

#include <chrono>
#include <functional>
#include <mutex>

namespace vexacq {

class StreamHealth {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    // A packet this much later than the stream's pace is late.
    static constexpr auto kLateAfter = std::chrono::milliseconds(250);
    // Without a packet for this long the stream delivers 0 samples a second.
    static constexpr auto kSilentAfter = std::chrono::seconds(2);

    explicit StreamHealth(Now now = Clock::now) : m_now(std::move(now)) {}

    // A stream starts: its pace and the rate window start afresh.
    void newStream();
    // The stream's rate changed: its pace starts afresh.
    void newRate();
    // A packet of `samples` samples arrived; rate: the stream's rate (Hz),
    // 0 while unknown (no pace then).
    void packet(uint64_t samples, uint64_t rate);
    // The stream ended by itself.
    void dropped();

    vexengine::AcquisitionStats stats() const;

private:
    const Now m_now;
    mutable std::mutex m_mutex;
    vexengine::AcquisitionStats m_stats;
    // Pace: the samples since m_paceStart should have arrived by
    // m_paceStart + samples / rate.
    Clock::time_point m_paceStart{};
    uint64_t m_paceSamples = 0;
    // The samples-per-second window.
    Clock::time_point m_windowStart{}, m_lastPacket{};
    uint64_t m_windowSamples = 0;
};

} // namespace vexacq
