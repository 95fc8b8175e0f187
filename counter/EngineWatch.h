// EngineWatch: what the window reads from the engine besides the counts, at
// a slow pace: the open module's time base (the external reference, its lock
// and offset) and the server's device problems, once a second (every tenth
// 100 ms tick, the first on the first tick after a module change). The
// measures of a count are read by the measurement cycle, once per count.
//
// A server that predates these requests answers QV_ERR_NOT_SUPPORTED: the
// request is then not asked again until the next module change (a new
// server may have come up), and nothing is shown, as before. Any other
// failure only means "not known this time"; the measurement cycle is the
// one that reacts to a server that has gone.
#pragma once

#include "vexif.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class EngineWatch {
public:
    static constexpr int kTicksPerRead = 10; // 100 ms ticks: once a second

    // One tick of the poll timer with the window's library handle; reads
    // both on every tenth (one call each). Answers whether the time base or
    // the problems changed.
    bool tick(int32_t handle);
    // A module was opened or closed: the time base is forgotten and read on
    // the next tick, and unsupported requests are tried again.
    void moduleChanged();

    // The last time base read; none without a module, or when unsupported.
    const std::optional<QV_TimeBase>& timeBase() const { return m_timeBase; }
    // The module has a reference that is not locked (yet).
    bool referenceUnlocked() const;
    // Samples/s of the counts: the measured rate (the reference's estimate
    // while locked), else the nominal one; 0 when unknown (simulated).
    double sampleRate() const;

    // The server's device problems as of the last read, one per line.
    const std::vector<std::string>& problems() const { return m_problems; }
    // Problems that were not in the list before the last read that changed
    // it (each shown once); taking them empties the list of new ones.
    std::vector<std::string> takeNewProblems();

    // Splits a problems text into its non-empty lines.
    static std::vector<std::string> splitLines(std::string_view text);

private:
    bool readTimeBase(int32_t handle);
    bool readProblems(int32_t handle);

    int m_ticks = kTicksPerRead - 1; // the first read comes on the first tick
    bool m_timeBaseUnsupported = false;
    bool m_problemsUnsupported = false;
    std::optional<QV_TimeBase> m_timeBase;
    std::vector<std::string> m_problems;
    std::vector<std::string> m_newProblems;
    std::vector<char> m_buffer;
};
