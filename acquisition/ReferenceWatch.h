// An acquired module's reference input as the log and its counts see it:
// the lock's changes, told once each, and how long a count waits for the
// lock before it counts with the nominal rate. Pure; the acquisition loop's.
#pragma once

#include "Engine.h" // vexengine::TimeBase

#include <string>

namespace vexacq {

class ReferenceWatch {
public:
    // The longest a count waits for the reference to lock, s of the stream:
    // the estimator's window (max(1 s, 10 reference periods)) and 1 s more,
    // at most 30 s.
    static double waitSeconds(double referenceHz);
    // Seconds as the log writes them, e.g. "2 s", "1.5 s".
    static std::string secondsText(double seconds);

    // The log line (without the module's name) when base's lock state is
    // not the one told last, else empty. The first call tells either state.
    std::string lockChange(const vexengine::TimeBase& base);

private:
    int m_told = -1; // 1 locked, 0 not, -1 nothing told yet
};

} // namespace vexacq
