// Presence and loss bookkeeping of an acquired module: whether a device is
// attached, whether the session holding the module lost it (the engine then
// answers that session "module gone" until it releases), the losses so far,
// and when streams that end by themselves mean the device is gone. Pure;
// the module calls it under its own lock, except present() and losses(),
// which any thread may read.
#pragma once

#include <atomic>
#include <cstdint>

namespace vexacq {

class ModulePresence {
public:
    // A stream that ends by itself before this many seconds of samples is
    // short; this many short ones in a row and the device counts as lost.
    static constexpr uint64_t kShortRunSeconds = 1;
    static constexpr int kShortRunsToLoss = 3;

    bool present() const { return m_present.load(); }
    uint64_t losses() const { return m_losses.load(); }
    bool shut() const { return m_shut; }
    // The module should acquire: held by a session that has not lost its
    // device, and a device is attached.
    bool wanted(bool hasDevice) const { return m_held && !m_lostForHolder && hasDevice; }

    void open() { m_held = true; }
    void release();
    void attached();
    // The device is gone: the holder (if any) lost it.
    void lost();
    void shutDown();

    // A stream ended by itself after `samples` samples at `rate` (Hz); true
    // when the device counts as lost (streaming devices only: the end of a
    // buffer is a buffer device's normal pace).
    bool endedBySelf(uint64_t samples, uint64_t rate, bool streams);
    // A stream ended as asked.
    void endedAsAsked() { m_shortRuns = 0; }

private:
    void update() { m_present = m_attached && !m_shut; }

    bool m_attached = false;
    bool m_held = false;
    bool m_lostForHolder = false;
    bool m_shut = false;
    int m_shortRuns = 0; // streams in a row that ended by themselves, soon
    std::atomic<bool> m_present{false};
    std::atomic<uint64_t> m_losses{0};
};

} // namespace vexacq
