// TMainForm: the poll timer's tick and the steps it drives. Module attachment
// and the measurement cycle make the decisions; the window forwards to them.
#include "app/vfcmain.h"

#include "TModIfCpp.h"
#include "app/RecordsController.h"
#include "display/vfcstat.h"
#include "modules/vfcmodsel.h"

void TMainForm::PollTick() {
    if (!m_library) return;

    // The time base and the device problems, once a second, counting or not;
    // before the count's step, so that a count polled on the first tick after
    // opening already knows whether it waits for the reference.
    watchEngine();

    // One step of the measurement cycle. When the library cannot even say
    // whether a module is open (its server is gone), the count and the module
    // are gone with the session: the window shows no module before the failure
    // goes on to the handler boundary, as it does on every such tick.
    try {
        UpdateCounter(false, false, false);
    } catch (const TModIfError&) {
        CloseModule();
        throw;
    }

    // While a count runs, the pins, the module list and the heartbeat wait.
    if (m_cycle.runState() != 0) return;

    PollPins();

    if (!m_idleTicks.advance()) return;
    // A refresh that fails means the library no longer answers for the list:
    // the module goes too. One that succeeds brings back a module lost with
    // its server, if the list holds it again.
    if (!m_moduleGroup->RefreshModules(m_library.get()))
        CloseModule();
    else
        m_attachment.ReopenAfterLoss();
    m_statusBar->ToggleHeartbeat();
}

void TMainForm::ModuleChanged(int32_t event, int32_t value, int32_t extra) {
    // Readings of another module do not belong to the same statistics.
    if (event == AnalyserEvent::ModuleChanged) {
        m_records->moduleChanged();
        // The new module's time base is read on the next tick.
        m_watch.moduleChanged();
    }
    m_attachment.ModuleChanged(event, value, extra);
}

void TMainForm::PollPins() {
    m_attachment.PollPins();
}

void TMainForm::CloseModule() {
    m_attachment.CloseModule();
}

void TMainForm::UpdateCounter(bool reset, bool start, bool stop) {
    m_cycle.UpdateCounter(reset, start, stop);
}
