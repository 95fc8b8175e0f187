// A deterministic logic signal on one simulated channel: a square wave or a
// static level, evaluated analytically at any engine time (ns).
//
// A square wave of period P, high time H and phase φ (0 <= φ < P) rises at
// every t = kP - φ and falls at every t = kP - φ + H (k any integer). The
// level at an edge instant is the level after the edge.
#pragma once

#include <cstdint>
#include <limits>

namespace vexengine {

// "Never" as a time: later than any reachable engine time.
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

// Floor and ceiling of a / b for b > 0, also for negative a.
constexpr int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}
constexpr int64_t ceilDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && a > 0) ? q + 1 : q;
}

class Signal {
public:
    enum class Kind { square, low, high };

    static constexpr Signal square(int64_t periodNs, int64_t highNs, int64_t phaseNs = 0) {
        return Signal(Kind::square, periodNs, highNs, phaseNs);
    }
    static constexpr Signal staticLow() { return Signal(Kind::low, 1, 0, 0); }
    static constexpr Signal staticHigh() { return Signal(Kind::high, 1, 1, 0); }

    // The same wave with its phase advanced by ns (edges come ns earlier).
    Signal advanced(int64_t ns) const {
        if (m_kind != Kind::square) return *this;
        int64_t phase = (m_phase + ns) % m_period;
        return Signal(m_kind, m_period, m_high, phase < 0 ? phase + m_period : phase);
    }

    Kind kind() const { return m_kind; }
    int64_t periodNs() const { return m_period; }
    int64_t highNs() const { return m_high; }
    int64_t phaseNs() const { return m_phase; }

    // Level on [t, t + 1 ns).
    bool levelAt(int64_t t) const;
    // Number of rising / falling edges at times in [a, b); 0 when b <= a.
    int64_t risingIn(int64_t a, int64_t b) const;
    int64_t fallingIn(int64_t a, int64_t b) const;
    // First rising / falling edge at a time >= t; kNever for a static level.
    int64_t nextRising(int64_t t) const;
    int64_t nextFalling(int64_t t) const;
    int64_t nextEdge(int64_t t, bool rising) const {
        return rising ? nextRising(t) : nextFalling(t);
    }

private:
    constexpr Signal(Kind kind, int64_t period, int64_t high, int64_t phase)
        : m_kind(kind), m_period(period), m_high(high), m_phase(phase) {}

    Kind m_kind;
    int64_t m_period;
    int64_t m_high;
    int64_t m_phase;
};

} // namespace vexengine
