// ModuleWindowState: what the main window's displays and run controls would
// show, for tests of module attachment without the window; AttachedModel: a
// connected session, the data model and the attachment listening to it.
#pragma once

#include "TModIfCpp.h"
#include "modules/ModuleAttachment.h"
#include "modules/vladata.h"

#include <functional>
#include <string>

struct ModuleWindowState : ModuleHost {
    int32_t handle = 0;
    int32_t gridChannels = 18;
    int32_t windowChannels = 18;
    std::string moduleText = "<start>";
    std::string runStateText = "<start>";
    std::string pins;
    bool runEnabled = false;
    bool stopEnabled = true;
    int runState = 1;
    int resets = 0;

    int32_t libraryHandle() const override { return handle; }
    void setChannelCount(int32_t channels) override { gridChannels = channels; }
    void fitWindow(int32_t channels) override { windowChannels = channels; }
    void setModuleText(std::string_view name) override {
        moduleText = "Using " + std::string(name);
    }
    void setNoModuleText(std::string_view text) override { moduleText = text; }
    void setRunStateText(std::string_view text) override { runStateText = text; }
    void setPinStates(std::string_view text) override { pins = text; }
    void enableRunStop(bool run, bool stop) override {
        runEnabled = run;
        stopEnabled = stop;
    }
    void resetCycle() override {
        ++resets;
        runState = 0;
        runStateText = "Idle";
    }
    void clearRunState() override { runState = 0; }
};

// `first` registers the listeners that the main window registers before its
// own (the selection group).
struct AttachedModel {
    explicit AttachedModel(const std::function<void(AnalyserData&)>& first = {}) {
        check(QV_ConnectToServer(library.handle(), nullptr, 0));
        window.handle = library.handle();
        if (first) first(data);
        data.AddListener(&ModuleAttachment::listener, &attachment);
    }
    bool isOpen() const {
        int32_t open = 0;
        check(QV_ModIsOpen(library.handle(), &open));
        return open == 1;
    }

    TModIfCpp library;
    ModuleWindowState window;
    QV_ModuleInfo info{};
    AnalyserData data;
    ModuleAttachment attachment{window, data, info};
};
