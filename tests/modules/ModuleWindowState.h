// ModuleWindowState: what the main window's displays and run controls would
// show, for tests of module attachment without the window.
#pragma once

#include "modules/ModuleAttachment.h"

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
