// Stream health: pace, late and dropped packets, samples per second.
#include "StreamHealth.h"

namespace vexacq {

void StreamHealth::newStream() {
    std::lock_guard lock(m_mutex);
    m_paceSamples = 0;
    m_windowStart = {};
    m_windowSamples = 0;
}

void StreamHealth::newRate() {
    std::lock_guard lock(m_mutex);
    m_paceSamples = 0;
}

void StreamHealth::packet(uint64_t samples, uint64_t rate) {
    const Clock::time_point now = m_now();
    std::lock_guard lock(m_mutex);
    m_stats.samples += samples;
    if (rate != 0) {
        // An early stream moves the pace's start up; a late packet restarts it.
        m_paceSamples += samples;
        const auto due = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(static_cast<double>(m_paceSamples) / rate));
        if (m_paceSamples == samples || now - due < m_paceStart) {
            m_paceStart = now - due;
        } else if (now - (m_paceStart + due) > kLateAfter) {
            ++m_stats.latePackets;
            m_paceStart = now;
            m_paceSamples = 0;
        }
    }
    if (m_windowStart == Clock::time_point{}) m_windowStart = now;
    m_windowSamples += samples;
    m_lastPacket = now;
    const std::chrono::duration<double> window = now - m_windowStart;
    if (window.count() >= 1.0) {
        m_stats.samplesPerSecond = m_windowSamples / window.count();
        m_windowStart = now;
        m_windowSamples = 0;
    }
}

void StreamHealth::dropped() {
    std::lock_guard lock(m_mutex);
    ++m_stats.droppedPackets;
}

vexengine::AcquisitionStats StreamHealth::stats() const {
    const Clock::time_point now = m_now();
    std::lock_guard lock(m_mutex);
    vexengine::AcquisitionStats stats = m_stats;
    stats.acquired = true;
    if (now - m_lastPacket > kSilentAfter) stats.samplesPerSecond = 0;
    return stats;
}

} // namespace vexacq
