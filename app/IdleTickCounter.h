// The poll timer's tick count: ticks since the last module list refresh.
// While no count runs, every tenth tick (once a second at 100 ms per tick)
// refreshes the module list and flips the heartbeat. The count starts at 8,
// so the first refresh comes on the second tick after the timer starts.
#pragma once

#include <cstdint>

class IdleTickCounter {
public:
    static constexpr uint32_t kTicksPerRefresh = 10;
    static constexpr uint32_t kInitialTicks = 8;

    // Counts one idle tick; true when the refresh is due (the count restarts).
    bool advance() {
        if (++m_ticks < kTicksPerRefresh) return false;
        m_ticks = 0;
        return true;
    }
    uint32_t ticks() const { return m_ticks; }

private:
    uint32_t m_ticks = kInitialTicks;
};
