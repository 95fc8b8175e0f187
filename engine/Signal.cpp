// Square-wave arithmetic: levels, edge counts and next edges in O(1).
#include "Signal.h"

namespace vexengine {

bool Signal::levelAt(int64_t t) const {
    switch (m_kind) {
    case Kind::low:
        return false;
    case Kind::high:
        return true;
    case Kind::square:
        break;
    }
    int64_t u = t + m_phase - floorDiv(t + m_phase, m_period) * m_period;
    return u < m_high;
}

// Rising edges k*P - φ in [a, b): ceil((a + φ) / P) <= k < ceil((b + φ) / P).
int64_t Signal::risingIn(int64_t a, int64_t b) const {
    if (m_kind != Kind::square || b <= a) return 0;
    return ceilDiv(b + m_phase, m_period) - ceilDiv(a + m_phase, m_period);
}

// Falling edges k*P - φ + H, likewise with the offset H.
int64_t Signal::fallingIn(int64_t a, int64_t b) const {
    if (m_kind != Kind::square || b <= a) return 0;
    int64_t shift = m_phase - m_high;
    return ceilDiv(b + shift, m_period) - ceilDiv(a + shift, m_period);
}

int64_t Signal::nextRising(int64_t t) const {
    if (m_kind != Kind::square) return kNever;
    return ceilDiv(t + m_phase, m_period) * m_period - m_phase;
}

int64_t Signal::nextFalling(int64_t t) const {
    if (m_kind != Kind::square) return kNever;
    int64_t shift = m_phase - m_high;
    return ceilDiv(t + shift, m_period) * m_period - shift;
}

} // namespace vexengine
