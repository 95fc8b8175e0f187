// The sample-rate estimate from a reference channel; see ReferenceEstimator.h.
#include "ReferenceEstimator.h"

#include <algorithm>
#include <cmath>

namespace vexacq {

ReferenceEstimator::ReferenceEstimator(double referenceHz, double nominalRate)
    : m_reference(referenceHz) {
    restart(nominalRate);
}

void ReferenceEstimator::restart(double nominalRate) {
    m_nominal = nominalRate;
    m_windowSamples = std::max(1.0, 10.0 / m_reference) * nominalRate;
    m_maxGapSamples = (2.0 / m_reference + kGapSlack) * nominalRate;
    m_haveLast = false;
    dropWindow();
}

void ReferenceEstimator::dropWindow() {
    m_batches.clear();
    m_edges = 0;
    m_estimate = 0;
    m_locked = false;
}

void ReferenceEstimator::addEdges(uint64_t first, uint64_t last, uint64_t count) {
    if (count == 0 || last < first) return;
    // A gap (or positions that went backwards) breaks the window: the edges
    // before it say nothing about the span after it.
    if (m_haveLast &&
        (first <= m_lastEdge || static_cast<double>(first - m_lastEdge) > m_maxGapSamples))
        dropWindow();
    m_batches.push_back({first, last, count});
    m_edges += count;
    m_haveLast = true;
    m_lastEdge = last;
    // Keep the shortest run of newest batches that still spans the window.
    while (m_batches.size() > 1 &&
           static_cast<double>(last - m_batches[1].first) >= m_windowSamples) {
        m_edges -= m_batches.front().count;
        m_batches.pop_front();
    }
    update();
}

void ReferenceEstimator::advance(uint64_t position) {
    if (m_haveLast && position > m_lastEdge &&
        static_cast<double>(position - m_lastEdge) > m_maxGapSamples) {
        m_haveLast = false; // the next edge starts a new window
        dropWindow();
    }
}

void ReferenceEstimator::update() {
    if (m_edges < 2) return;
    const uint64_t span = m_batches.back().last - m_batches.front().first;
    if (static_cast<double>(span) < m_windowSamples) return; // not a full window yet
    m_estimate = m_reference * static_cast<double>(span) / static_cast<double>(m_edges - 1);
    const double off = std::abs(m_estimate / m_nominal - 1);
    if (m_locked && off >= kUnlockTolerance)
        m_locked = false;
    else if (!m_locked && off <= kLockTolerance)
        m_locked = true;
}

} // namespace vexacq
