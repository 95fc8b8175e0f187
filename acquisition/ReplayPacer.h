// The clock of a replayed capture: which of its samples are due at a given
// wall time, so a recording plays as if a device delivered it live.
//
// Samples are due in real time at the file's sample rate times the speed
// factor: by elapsed time t, floor(t x rate x speed) samples since the start.
// They come as spans of the capture's sample indices, each at most one packet
// (about 10 ms of the file's samples) and never across the capture's end: the
// play loops, and the span after the last sample starts again at sample 0.
//
// The loop seam: the last sample is followed by the first, so a channel
// whose levels there differ changes once where the recording had no such
// change: at most one edge per channel per loop, and the interval across the
// seam is as long as the ends happen to make it. Frequency counts whose gate
// spans a seam may differ by one from the recorded signal, and a period
// count across it may be off by up to one period.
//
// Stalls: a caller that comes late gets what is due, up to kMaxCatchUp of
// wall time's worth of samples (at least one packet) in one call. After a
// longer stall the schedule slips: the excess is not played later and no
// sample is skipped (the stream stays continuous, it just falls behind the
// wall clock by the slipped time, which slipped() reports).
//
// Work per call: never more than kMaxCallSamples either (a few ms of
// counting), so a fast replay cannot hold up the other devices sharing the
// caller's thread; a speed asking for more plays as fast as that allows and
// slips.
//
// Pure and single-threaded; times are whatever clock the caller reads.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace vexacq {

class ReplayPacer {
public:
    using Duration = std::chrono::nanoseconds;

    // One packet: `count` samples of the capture from index `first`.
    struct Span {
        uint64_t first = 0;
        uint64_t count = 0;
        bool operator==(const Span&) const = default;
    };

    // Wall time per packet at speed 1, and the most wall time's worth of
    // samples one call returns.
    static constexpr Duration kPacket = std::chrono::milliseconds(10);
    static constexpr Duration kMaxCatchUp = std::chrono::milliseconds(100);
    static constexpr uint64_t kMaxCallSamples = uint64_t(1) << 24;

    // sampleCount > 0 samples recorded at sampleRate > 0 Hz, played at
    // speed > 0 times real time (other values are taken as 1; the speed counts
    // to a millionth).
    ReplayPacer(uint64_t sampleCount, uint64_t sampleRate, double speed);

    // Appends the spans due by `elapsed` (wall time since play started;
    // never decreasing) to `out` and returns how many samples they hold.
    uint64_t due(Duration elapsed, std::vector<Span>& out);

    uint64_t samplesPlayed() const { return m_played; }   // since the start, over all loops
    uint64_t loops() const { return m_played / m_count; } // completed plays of the capture
    Duration slipped() const { return m_slip; }           // wall time given up after stalls
    uint64_t packetSamples() const { return m_packet; }

private:
    using Wide = unsigned __int128; // GCC and Clang; products of ns, Hz and speed

    // Samples due `wall` after the schedule's start, and the wall time by
    // which n samples are due; exact integer arithmetic, so whole
    // milliseconds at whole rates give whole samples.
    uint64_t samplesIn(Duration wall) const;
    Duration timeOf(uint64_t n) const;

    const uint64_t m_count;   // samples in the capture
    const uint64_t m_rate;    // Hz
    const uint64_t m_speed;   // millionths of real time
    const uint64_t m_packet;  // samples per span at most
    const uint64_t m_maxCall; // samples per call at most
    uint64_t m_played = 0;
    Duration m_slip{0}; // the schedule's delay behind the wall clock
};

} // namespace vexacq
