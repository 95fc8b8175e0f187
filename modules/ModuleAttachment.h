// ModuleAttachment: keeps the library's open module in step with the module
// that AnalyserData names. It closes the old module and opens the new one when
// the choice changes, reads the model description, sizes the displays to the
// model's channel count, and reads the live pin levels while no count runs.
// Every library failure on the way ends in CloseModule, without a message;
// the state panel then says why the module closed, and a module lost with its
// server is opened again once the server lists it again.
//
// The main window provides the displays and run controls through
// ModuleHost; this class needs no window and is tested on its own.
#pragma once

#include "vexif.h"

#include <cstdint>
#include <string>
#include <string_view>

class AnalyserData;

// Why no module is open, as the state panel says it while none is.
namespace CloseReason {
inline constexpr std::string_view kNone = "";
// The library lost its server (or cannot reach it); reopened when it is back.
inline constexpr std::string_view kServerLost = "Server lost";
// The module closed without being asked to; reopened when listed again.
inline constexpr std::string_view kModuleLost = "Module lost";
inline constexpr std::string_view kModuleTaken = "Module taken";
inline constexpr std::string_view kOpenFailed = "Open failed";
// The chosen module left the list (for example a simulation once simulations
// are no longer allowed).
inline constexpr std::string_view kNotListed = "Module not listed";
inline constexpr std::string_view kLibraryError = "Library error";
} // namespace CloseReason

// The module panel's text while no module is open: it never names a module
// that is not open.
inline constexpr std::string_view kNoModuleOpenText = "No module open";

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
    // Module panel: a text that names no module (kNoModuleOpenText).
    virtual void setNoModuleText(std::string_view text) = 0;
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
    // Closes the open module, if any, and resets the run controls, the module
    // panel (kNoModuleOpenText), the state panel (the reason of the close)
    // and the pin panel (n zeros, n of the last model). The reason is what
    // the library shows: "Server lost" when it cannot say whether a module is
    // open, "Module lost" when the attached module is no longer open, else
    // `cause` when a module was open; with none open the last reason stands.
    // Throws TModIfError when QV_ModIsOpen fails, after resetting the
    // displays; a failing QV_CloseMod is ignored.
    void CloseModule(std::string_view cause = CloseReason::kLibraryError);
    // Reads the pin levels of the open module into the pin panel; on a
    // library failure, or when the attached module is no longer open, closes
    // the module instead.
    void PollPins();

    // Attaches the module the data model names when none is attached: the
    // user chose the same module again. Nothing when the name is empty.
    void Reattach();
    // After a module list refresh: reattaches a module that was lost with
    // its server (or closed by itself) and that the data model still names,
    // so it is listed again. Nothing after other closes (a module taken by
    // another program waits for the user's choice).
    void ReopenAfterLoss();

    // Why no module is open (CloseReason), empty while one is.
    const std::string& closeReason() const { return m_closeReason; }
    bool attached() const { return m_attached; }

    // Adapter for AnalyserData::AddListener: context is the ModuleAttachment.
    static void listener(void* context, int32_t event, int32_t value, int32_t extra);

    int32_t channelCount() const { return m_info.channelCount; }

private:
    // Closes the old module and attaches the one the data model names.
    void attachChosen();
    void setCloseReason(std::string_view reason);

    ModuleHost& m_host;
    const AnalyserData& m_data;
    QV_ModuleInfo& m_info;
    bool m_attached = false;
    std::string m_closeReason;
    // The last close was a loss: reopen the chosen module when it is back.
    bool m_reopenPending = false;
};
