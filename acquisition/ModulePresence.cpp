// Presence, losses and the short-run rule of an acquired module.
#include "ModulePresence.h"

namespace vexacq {

void ModulePresence::release() {
    m_held = false;
    m_lostForHolder = false; // the holder has seen the loss
    update();
}

void ModulePresence::attached() {
    m_attached = true;
    update();
}

void ModulePresence::lost() {
    m_attached = false;
    m_lostForHolder = m_held;
    ++m_losses;
    m_shortRuns = 0;
    update();
}

void ModulePresence::shutDown() {
    m_shut = true;
    update();
}

bool ModulePresence::endedBySelf(uint64_t samples, uint64_t rate, bool streams) {
    const bool shortRun = samples < rate * kShortRunSeconds;
    m_shortRuns = streams && shortRun ? m_shortRuns + 1 : 0;
    return m_shortRuns >= kShortRunsToLoss;
}

} // namespace vexacq
