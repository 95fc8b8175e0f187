// The true sample rate of a stream, measured against a reference signal of
// known frequency on one of its channels (a 10 MHz standard, a GPS receiver's
// 1 PPS, ...). Pure arithmetic on sample positions: the streaming counter
// feeds it the reference channel's rising edges in batches and the number of
// samples seen; it answers the estimate, whether it is locked and the offset.
//
// Estimate over a sliding window of at least max(1 s, 10 reference periods):
//   S_ref = f_ref x (last edge - first edge of the window) / (edges - 1)
// Locked once the window is full, no gap between reference edges exceeds two
// reference periods plus 10 ms, and the reference reads within 0.1 % of its
// nominal frequency; unlocked when a gap exceeds that (the window starts
// afresh) or the reading is 1 % or more off, and locked again when good.
#pragma once

#include <cstdint>
#include <deque>

namespace vexacq {

class ReferenceEstimator {
public:
    static constexpr double kLockTolerance = 1e-3;   // relative, to lock
    static constexpr double kUnlockTolerance = 1e-2; // relative, to unlock
    static constexpr double kGapSlack = 0.010;       // s beyond two reference periods

    // referenceHz > 0; nominalRate: the rate the device claims, Hz (> 0).
    ReferenceEstimator(double referenceHz, double nominalRate);

    // Forgets every edge (a new stream, or the rate changed); unlocked.
    void restart(double nominalRate);

    // `count` (>= 1) rising edges from sample `first` to sample `last`
    // (absolute sample positions, increasing from batch to batch).
    void addEdges(uint64_t first, uint64_t last, uint64_t count);
    // Samples up to (not including) `position` have been seen: a reference
    // that has stopped is noticed here.
    void advance(uint64_t position);

    bool locked() const { return m_locked; }
    // The estimate while locked, else the nominal rate (Hz).
    double rate() const { return m_locked ? m_estimate : m_nominal; }
    // The latest window estimate, locked or not; 0 before a full window.
    double estimate() const { return m_estimate; }
    double nominalRate() const { return m_nominal; }
    double referenceHz() const { return m_reference; }
    // (estimate / nominal - 1) x 1e6 while locked, else 0.
    double offsetPpm() const { return m_locked ? (m_estimate / m_nominal - 1) * 1e6 : 0; }

private:
    struct Batch {
        uint64_t first, last, count;
    };
    void update();
    void dropWindow();

    double m_reference;
    double m_nominal = 0;
    double m_windowSamples = 0; // the window's least span
    double m_maxGapSamples = 0;
    std::deque<Batch> m_batches;
    uint64_t m_edges = 0; // over m_batches
    bool m_haveLast = false;
    uint64_t m_lastEdge = 0;
    double m_estimate = 0;
    bool m_locked = false;
};

} // namespace vexacq
