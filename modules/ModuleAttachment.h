// ModuleAttachment: keeps the library's open module in step with the module
// that AnalyserData names. It closes the old module and opens the new one when
// the choice changes, reads the model description, sizes the displays to the
// model's channel count, and reads the live pin levels while no count runs.
// Every library failure on the way ends in CloseModule, without a message.
//
// The main window provides the displays and run controls through
// ModuleHost; this class needs no window and is tested on its own.
#pragma once

#include "vexif.h"

#include <cstdint>
#include <string>
#include <string_view>

class AnalyserData;

// What module attachment needs from the main window. The names and
// signatures shared with CycleHost are the same, so one adapter can serve both.
class ModuleHost {
public:
    virtual ~ModuleHost() = default;
    // The library handle of the window's session.
    virtual int32_t libraryHandle() const = 0;
    // Grid rows for n channels (TModGrid::SetChannelCount).
    virtual void setChannelCount(int32_t channels) = 0;
    // Window height for n channels, position kept (FitWindow with no centring).
    virtual void fitWindow(int32_t channels) = 0;
    // Module panel: "Using " + name (TModStatusBar::SetModuleText).
    virtual void setModuleText(std::string_view name) = 0;
    // State panel text (TModStatusBar::SetRunState).
    virtual void setRunStateText(std::string_view text) = 0;
    // Pin panel, one character per pin (TModStatusBar::SetPinStates).
    virtual void setPinStates(std::string_view pins) = 0;
    // Enabled states of the Run and Stop actions (EnableRunStop).
    virtual void enableRunStop(bool run, bool stop) = 0;
    // Reset request to the measurement cycle: run state 0, state panel "Idle"
    // (UpdateCounter with true, false, false).
    virtual void resetCycle() = 0;
    // Run state 0: no count running.
    virtual void clearRunState() = 0;
};

class ModuleAttachment {
public:
    // `info` is the window's model description: filled when a module is
    // attached, its channelCount still that of the last model after a close.
    ModuleAttachment(ModuleHost& host, const AnalyserData& data, QV_ModuleInfo& info);

    // AnalyserData listener: on event 0 (module changed) closes the old
    // module and attaches the one the data model now names; other events are
    // ignored. A QV_ModIsOpen failure inside the closing escapes as
    // TModIfError; every other failure is absorbed by closing the module.
    void ModuleChanged(int32_t event, int32_t value, int32_t extra);
    // Opens the named module; throws TModIfError when the library refuses.
    void OpenModule(const std::string& name);
    // Closes the open module, if any, and resets the run controls, the state
    // panel and the pin panel (n zeros, n of the last model). Throws
    // TModIfError when QV_ModIsOpen fails, after resetting the displays; a
    // failing QV_CloseMod is ignored.
    void CloseModule();
    // Reads the pin levels of the open module into the pin panel; on a
    // library failure closes the module instead.
    void PollPins();

    // Adapter for AnalyserData::AddListener: context is the ModuleAttachment.
    static void listener(void* context, int32_t event, int32_t value, int32_t extra);

    int32_t channelCount() const { return m_info.channelCount; }

private:
    ModuleHost& m_host;
    const AnalyserData& m_data;
    QV_ModuleInfo& m_info;
};
