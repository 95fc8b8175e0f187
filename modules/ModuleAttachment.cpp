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

void ModuleAttachment::ModuleChanged(int32_t event, int32_t, int32_t) {
    if (event != AnalyserEvent::ModuleChanged) return;
    try {
        CloseModule();
        const std::string name = m_data.moduleName();
        if (name.empty()) return; // the window stays without a module
        m_host.resetCycle();
        OpenModule(name);
        // Read into a local record so a failing call cannot leave a half
        // written description behind: the window keeps the last model's
        // channel count for its pin panel.
        QV_ModuleInfo info{};
        check(QV_Info(m_data.modelCode(), &info, QV_MODULE_INFO_BYTES));
        m_info = info;
        m_host.setChannelCount(m_info.channelCount);
        m_host.fitWindow(m_info.channelCount);
    } catch (...) {
        // Any failure leaves the window module-less; the disabled Run action
        // and the reset panels are the only sign the user gets.
        CloseModule();
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

void ModuleAttachment::CloseModule() {
    int32_t isOpen = 0;
    const int32_t status = QV_ModIsOpen(m_host.libraryHandle(), &isOpen);
    // The display is reset whether or not the library manages to close, and
    // also when it cannot say whether a module is open (a server that is gone):
    // otherwise Stop and "Counting" would stay up for a count that has ended.
    if (status == QV_OK && isOpen == 1) (void)QV_CloseMod(m_host.libraryHandle());
    m_host.enableRunStop(false, false);
    m_host.setRunStateText("");
    m_host.setPinStates(
        std::string(static_cast<std::size_t>(std::max(m_info.channelCount, 0)), '0'));
    m_host.clearRunState();
    check(status);
}

void ModuleAttachment::PollPins() {
    try {
        int32_t isOpen = 0;
        check(QV_ModIsOpen(m_host.libraryHandle(), &isOpen));
        if (isOpen != 1) return;
        const int32_t channels = std::max(m_info.channelCount, 0);
        std::string pins(static_cast<std::size_t>(channels), '0');
        check(QV_GetPinStatus(m_host.libraryHandle(), pins.data(), channels));
        m_host.setPinStates(pins);
    } catch (...) {
        CloseModule();
    }
}
