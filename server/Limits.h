// Limits that keep vexcountd bounded under load, as pure pieces: how many
// clients the open-file limit allows, and how many log lines about clients
// are written per second.
#pragma once

#include <chrono>
#include <cstdint>

namespace vexcountd {

// File descriptors kept for everything but clients: standard streams, the
// listeners, the event loop, signals, and devices.
constexpr long kReservedFiles = 24;
// Refused sockets kept open at once so their refusal line can be read.
constexpr int kMaxRefusedLingering = 64;

struct ClientBudget {
    long openFiles = 0;   // the soft limit to set (unchanged if no raise is needed)
    int maxClients = 0;   // clients served at once
    int maxLingering = 0; // refused sockets kept open at once
    bool lowered = false; // maxClients is below what was asked for
};

// Fits the wanted client count to the open-file limits: the soft limit is
// raised as far as the hard limit allows; if that is still too low, fewer
// clients (and fewer lingering refusals) are served, so a client beyond the
// limit is still accepted and refused with a reply instead of being left
// unanswered.
ClientBudget fitToFileLimit(int wantedClients, long softLimit, long hardLimit);

// At most `perSecond` lines in any one-second window; the rest are counted
// and reported in one summary line.
class LogLimiter {
public:
    using Clock = std::chrono::steady_clock;
    explicit LogLimiter(int perSecond) : m_perSecond(perSecond) {}

    struct Decision {
        bool write = false; // write this line
        int summarise = 0;  // first write "... and N more" for a window that ended
    };
    Decision admit(Clock::time_point now);
    // Lines held back in windows that have ended by now (then forgotten).
    int takeSuppressed(Clock::time_point now);
    // When the current window ends.
    Clock::time_point windowEnd() const { return m_windowStart + std::chrono::seconds(1); }

private:
    int m_perSecond;
    Clock::time_point m_windowStart{};
    int m_written = 0;
    int m_suppressed = 0;
};

} // namespace vexcountd
