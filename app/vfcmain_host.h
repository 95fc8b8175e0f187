// TMainForm::Host: the window's displays, settings and run controls as module
// attachment (ModuleHost) and the measurement cycle (CycleHost) see them. The
// two interfaces share their common operations, so one object serves both.
// Private to the main window's sources.
#pragma once

#include "app/vfcmain.h"

class TMainForm::Host final : public ModuleHost, public CycleHost {
public:
    explicit Host(TMainForm& form) : m_form(form) {}

    // Shared by both interfaces.
    int32_t libraryHandle() const override;
    void setRunStateText(std::string_view text) override;
    void enableRunStop(bool run, bool stop) override;

    // ModuleHost.
    void setChannelCount(int32_t channels) override;
    void fitWindow(int32_t channels) override;
    void setModuleText(std::string_view name) override;
    void setNoModuleText(std::string_view text) override;
    void setPinStates(std::string_view pins) override;
    void resetCycle() override;
    void clearRunState() override;

    // CycleHost.
    int32_t channelCount() const override;
    CounterSettings counterSettings() const override;
    bool continuousChecked() const override;
    char channelCode(int32_t index) const override;
    int32_t rowCount() const override;
    void setResultHeading(std::string_view heading) override;
    void writeResult(int32_t channel, std::string_view text) override;
    void closeModule() override;
    void countFinished(const FinishedCount& count) override;
    bool highResolution() const override;
    double sampleRate() const override;
    bool referenceUnlocked() const override;

private:
    TMainForm& m_form;
};
