// TMainForm: the poll timer's tick and the steps it drives. The measurement
// cycle, module attachment, module list and status bar fill in the steps.
#include "app/vfcmain.h"

void TMainForm::PollTick() {
    if (!m_library) return;

    UpdateCounter(false, false, false); // one step of the measurement cycle

    // While a count runs, the pins, the module list and the heartbeat wait.
    if (m_runState != 0) return;

    PollPins();

    if (!m_idleTicks.advance()) return;
    if (!refreshModules()) CloseModule();
    toggleHeartbeat();
}

void TMainForm::UpdateCounter(bool reset, bool start, bool stop) {
    // Later: the measurement cycle (reset, start, stop requests; polls).
    (void)reset;
    (void)start;
    (void)stop;
}

void TMainForm::PollPins() {
    // Later: QV_ModIsOpen, QV_GetPinStatus for the module's channel count,
    // the status bar's SetPinStates; CloseModule on a library error.
}

void TMainForm::CloseModule() {
    // Later: QV_ModIsOpen / QV_CloseMod, EnableRunStop(false, false), the
    // state panel emptied, the pin panel all '0', run state 0.
}

bool TMainForm::refreshModules() {
    // Later: return the module group's RefreshModules(m_library.get()).
    return true;
}

void TMainForm::toggleHeartbeat() {
    // Later: the status bar's ToggleHeartbeat().
}
