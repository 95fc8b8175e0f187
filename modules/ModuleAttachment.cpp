// ModuleAttachment: opening, closing and pin polling of the selected module.
#include "modules/ModuleAttachment.h"

#include "TModIfCpp.h"
#include "modules/vladata.h"

#include <algorithm>
#include <string>

ModuleAttachment::ModuleAttachment(ModuleHost& host, const AnalyserData& data, QV_ModuleInfo& info)
    : m_host(host), m_data(data), m_info(info) {}

void ModuleAttachment::listener(void* context, int32_t event, int32_t value, int32_t extra) {
    static_cast<ModuleAttachment*>(context)->ModuleChanged(event, value, extra);
}

namespace {

// Statuses that mean the library has no working server behind it.
bool isServerLoss(int32_t status) {
    switch (status) {
    case QV_ERR_NOT_CONNECTED:
    case QV_ERR_CONNECT_FAILED:
    case QV_ERR_CONNECTION_LOST:
    case QV_ERR_TIMEOUT:
    case QV_ERR_PROTOCOL:
    case QV_ERR_SERVER_BUSY:
        return true;
    default:
        return false;
    }
}

std::string_view failureReason(int32_t status) {
    return isServerLoss(status) ? CloseReason::kServerLost : CloseReason::kLibraryError;
}

std::string_view openFailureReason(int32_t status) {
    if (isServerLoss(status)) return CloseReason::kServerLost;
    if (status == QV_ERR_MODULE_TAKEN) return CloseReason::kModuleTaken;
    return CloseReason::kOpenFailed;
}

} // namespace

void ModuleAttachment::ModuleChanged(int32_t event, int32_t, int32_t) {
    if (event != AnalyserEvent::ModuleChanged) return;
    attachChosen();
}

void ModuleAttachment::attachChosen() {
    try {
        CloseModule(CloseReason::kNone);
        const std::string name = m_data.moduleName();
        if (name.empty()) {
            // The module group hands over no name when the chosen module has
            // left the list; the window stays without a module.
            setCloseReason(CloseReason::kNotListed);
            m_host.setRunStateText(m_closeReason);
            return;
        }
        m_host.resetCycle();
        OpenModule(name);
        // Read into a local record so a failing call cannot leave a half
        // written description behind: the window keeps the last model's
        // channel count for its pin panel.
        QV_ModuleInfo info{};
        check(QV_Info(m_data.modelCode(), &info, QV_MODULE_INFO_BYTES));
        m_info = info;
        m_attached = true;
        setCloseReason(CloseReason::kNone);
        m_host.setChannelCount(m_info.channelCount);
        m_host.fitWindow(m_info.channelCount);
    } catch (const TModIfError& error) {
        // The disabled Run action and the reason in the state panel are the
        // only signs the user gets.
        const std::string_view reason = openFailureReason(error.status());
        setCloseReason(reason);
        CloseModule(reason);
    } catch (...) {
        setCloseReason(CloseReason::kOpenFailed);
        CloseModule(CloseReason::kOpenFailed);
    }
}

void ModuleAttachment::OpenModule(const std::string& name) {
    if (!name.empty()) {
        check(QV_OpenMod(m_host.libraryHandle(), name.c_str()));
        m_host.enableRunStop(true, false);
        m_host.setModuleText(name);
    }
    m_host.clearRunState();
}

void ModuleAttachment::CloseModule(std::string_view cause) {
    int32_t isOpen = 0;
    const int32_t status = QV_ModIsOpen(m_host.libraryHandle(), &isOpen);
    // The display is reset whether or not the library manages to close, and
    // also when it cannot say whether a module is open (a server that is gone):
    // otherwise Stop and "Counting" would stay up for a count that has ended.
    if (status == QV_OK && isOpen == 1) (void)QV_CloseMod(m_host.libraryHandle());
    if (status != QV_OK)
        setCloseReason(failureReason(status));
    else if (isOpen == 1)
        setCloseReason(cause);
    else if (m_attached)
        setCloseReason(CloseReason::kModuleLost);
    m_attached = false;
    m_host.enableRunStop(false, false);
    m_host.setNoModuleText(kNoModuleOpenText);
    m_host.setRunStateText(m_closeReason);
    m_host.setPinStates(
        std::string(static_cast<std::size_t>(std::max(m_info.channelCount, 0)), '0'));
    m_host.clearRunState();
    check(status);
}

void ModuleAttachment::PollPins() {
    try {
        int32_t isOpen = 0;
        check(QV_ModIsOpen(m_host.libraryHandle(), &isOpen));
        if (isOpen != 1) {
            // The attached module closed by itself (its server came back as
            // a new session, a device went): the window must not go on
            // naming it.
            if (m_attached) CloseModule();
            return;
        }
        const int32_t channels = std::max(m_info.channelCount, 0);
        std::string pins(static_cast<std::size_t>(channels), '0');
        check(QV_GetPinStatus(m_host.libraryHandle(), pins.data(), channels));
        m_host.setPinStates(pins);
    } catch (const TModIfError& error) {
        CloseModule(failureReason(error.status()));
    } catch (...) {
        CloseModule();
    }
}

void ModuleAttachment::Reattach() {
    if (m_attached || m_data.moduleName().empty()) return;
    try {
        attachChosen();
    } catch (const TModIfError&) {
        // The library cannot say whether a module is open: the state panel
        // says why, and the module stays closed.
    }
}

void ModuleAttachment::ReopenAfterLoss() {
    if (m_reopenPending) Reattach();
}

void ModuleAttachment::setCloseReason(std::string_view reason) {
    m_closeReason = reason;
    m_reopenPending = reason == CloseReason::kServerLost || reason == CloseReason::kModuleLost;
}
