// TMainForm::Host: forwards module attachment and the measurement cycle to the
// window's grid, status bar, settings groups and actions.
#include "app/vfcmain_host.h"

#include "app/RecordsController.h"
#include "counter/QtText.h"
#include "counter/vfcgroups.h"
#include "counter/vfcgroups_thresh.h"
#include "display/vfcgrid.h"
#include "display/vfcstat.h"

#include <QAction>

int32_t TMainForm::Host::libraryHandle() const {
    // 0 is never a valid handle: a call without a session fails cleanly.
    return m_form.m_library ? m_form.m_library->handle() : 0;
}

void TMainForm::Host::setRunStateText(std::string_view text) {
    // The empty text is what the panel shows while no module is open; it
    // says why the last module closed instead, if it closed for a reason.
    m_form.m_statusBar->SetRunState(toQt(text.empty() ? m_form.m_attachment.closeReason() : text));
}

void TMainForm::Host::enableRunStop(bool run, bool stop) {
    m_form.EnableRunStop(run, stop);
}

void TMainForm::Host::setChannelCount(int32_t channels) {
    m_form.m_grid->SetChannelCount(channels);
}

void TMainForm::Host::fitWindow(int32_t channels) {
    m_form.FitWindow(channels, false);
}

void TMainForm::Host::setModuleText(std::string_view name) {
    m_form.m_statusBar->SetModuleText(toQt(name));
}

void TMainForm::Host::setNoModuleText(std::string_view text) {
    m_form.m_statusBar->SetPanelText(TModStatusBar::ModulePanel, toQt(text));
}

void TMainForm::Host::setPinStates(std::string_view pins) {
    m_form.m_statusBar->SetPinStates(toQt(pins));
}

void TMainForm::Host::resetCycle() {
    m_form.UpdateCounter(true, false, false);
}

void TMainForm::Host::clearRunState() {
    m_form.m_cycle.clearRunState();
}

int32_t TMainForm::Host::channelCount() const {
    return m_form.m_moduleInfo.channelCount;
}

CounterSettings TMainForm::Host::counterSettings() const {
    return readCounterSettings(*m_form.m_countTypeGroup, *m_form.m_gateGroup, *m_form.m_edgeGroup,
                               *m_form.m_threshGroup);
}

bool TMainForm::Host::continuousChecked() const {
    return m_form.m_continuousAction->isChecked();
}

char TMainForm::Host::channelCode(int32_t index) const {
    return m_form.m_grid->ChannelCode(index);
}

int32_t TMainForm::Host::rowCount() const {
    return m_form.m_grid->rowCount();
}

void TMainForm::Host::setResultHeading(std::string_view heading) {
    m_form.m_grid->SetResultHeading(toQt(heading));
}

void TMainForm::Host::writeResult(int32_t channel, std::string_view text) {
    m_form.m_grid->SetResult(channel, toQt(text));
}

void TMainForm::Host::closeModule() {
    m_form.CloseModule();
}

void TMainForm::Host::countFinished(const FinishedCount& count) {
    m_form.m_records->countFinished(count);
}

bool TMainForm::Host::highResolution() const {
    return m_form.m_highResolutionAction && m_form.m_highResolutionAction->isChecked();
}

double TMainForm::Host::sampleRate() const {
    return m_form.m_watch.sampleRate();
}

bool TMainForm::Host::referenceUnlocked() const {
    return m_form.m_watch.referenceUnlocked();
}
