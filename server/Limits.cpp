// Client budget and log rate; see Limits.h.
#include "Limits.h"

#include <algorithm>

namespace vexcountd {

ClientBudget fitToFileLimit(int wantedClients, long softLimit, long hardLimit) {
    ClientBudget budget;
    const long needed = wantedClients + kMaxRefusedLingering + kReservedFiles;
    budget.openFiles = softLimit;
    if (softLimit < needed) budget.openFiles = std::max(softLimit, std::min(needed, hardLimit));
    if (budget.openFiles >= needed) {
        budget.maxClients = wantedClients;
        budget.maxLingering = kMaxRefusedLingering;
        return budget;
    }
    // Too few files: an eighth of what is left holds refusals, the rest
    // clients; at least one of each.
    const long usable = std::max(2L, budget.openFiles - kReservedFiles);
    budget.maxLingering = static_cast<int>(std::clamp(usable / 8, 1L, long{kMaxRefusedLingering}));
    budget.maxClients = static_cast<int>(std::max(1L, usable - budget.maxLingering));
    budget.lowered = budget.maxClients < wantedClients;
    budget.maxClients = std::min(budget.maxClients, wantedClients);
    return budget;
}

LogLimiter::Decision LogLimiter::admit(Clock::time_point now) {
    Decision decision;
    if (now >= windowEnd()) {
        decision.summarise = m_suppressed;
        m_suppressed = 0;
        m_written = 0;
        m_windowStart = now;
    }
    if (m_written < m_perSecond) {
        ++m_written;
        decision.write = true;
    } else {
        ++m_suppressed;
    }
    return decision;
}

int LogLimiter::takeSuppressed(Clock::time_point now) {
    if (now < windowEnd()) return 0;
    const int n = m_suppressed;
    m_suppressed = 0;
    return n;
}

} // namespace vexcountd
