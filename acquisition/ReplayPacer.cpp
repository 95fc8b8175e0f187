// The clock of a replayed capture; see ReplayPacer.h.
#include "ReplayPacer.h"

#include <algorithm>
#include <cmath>

namespace vexacq {
namespace {

constexpr uint64_t kSpeedUnit = 1'000'000; // speeds in millionths
constexpr uint64_t kNsPerS = 1'000'000'000;

uint64_t speedUnits(double speed) {
    if (!(speed > 0) || !std::isfinite(speed) || speed > 1e6) return kSpeedUnit;
    return std::max<uint64_t>(std::llround(speed * kSpeedUnit), 1);
}

} // namespace

ReplayPacer::ReplayPacer(uint64_t sampleCount, uint64_t sampleRate, double speed)
    : m_count(std::max<uint64_t>(sampleCount, 1)), m_rate(std::max<uint64_t>(sampleRate, 1)),
      m_speed(speedUnits(speed)),
      m_packet(std::max<uint64_t>(m_rate * kPacket.count() / kNsPerS, 1)),
      m_maxCall(std::max(std::min(samplesIn(kMaxCatchUp), kMaxCallSamples), m_packet)) {}

uint64_t ReplayPacer::samplesIn(Duration wall) const {
    if (wall.count() <= 0) return 0;
    return static_cast<uint64_t>(Wide(wall.count()) * m_rate * m_speed /
                                 (Wide(kNsPerS) * kSpeedUnit));
}

ReplayPacer::Duration ReplayPacer::timeOf(uint64_t n) const {
    const Wide scaled = Wide(n) * kNsPerS * kSpeedUnit;
    const Wide perNs = Wide(m_rate) * m_speed;
    return Duration(static_cast<Duration::rep>((scaled + perNs - 1) / perNs));
}

uint64_t ReplayPacer::due(Duration elapsed, std::vector<Span>& out) {
    const uint64_t goal = samplesIn(elapsed - m_slip);
    if (goal <= m_played) return 0;
    uint64_t left = goal - m_played;
    if (left > m_maxCall) {
        // Later than one call may make up: play the most one call may, and
        // move the schedule so that this is all that was due.
        left = m_maxCall;
        m_slip = std::max(m_slip, elapsed - timeOf(m_played + left));
    }
    const uint64_t total = left;
    while (left > 0) {
        const uint64_t at = m_played % m_count;
        const uint64_t n = std::min({left, m_packet, m_count - at});
        out.push_back({at, n});
        m_played += n;
        left -= n;
    }
    return total;
}

} // namespace vexacq
