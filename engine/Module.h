// One module of the engine's registry: its name, model, channel signals,
// counter, thresholds and the session holding it. Simulated modules are
// ordinary modules whose signals come from the simulation table.
#pragma once

#include "Counter.h"
#include "Engine.h"
#include "Signal.h"

#include <string>
#include <vector>

namespace vexengine {

class Module {
public:
    Module(std::string name, char model, std::vector<Signal> signals, bool fixedThreshold)
        : m_name(std::move(name)), m_model(model), m_signals(std::move(signals)),
          m_fixedThreshold(fixedThreshold), m_counter(m_signals) {}
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    const std::string& name() const { return m_name; }
    char model() const { return m_model; }
    int channelCount() const { return static_cast<int>(m_signals.size()); }
    const std::vector<Signal>& signals() const { return m_signals; }
    bool present() const { return true; }

    SessionId holder() const { return m_holder; }
    void setHolder(SessionId holder) { m_holder = holder; }

    // Tenths of a volt; a fixed-threshold model keeps its 14.
    int threshold(int which) const { return m_threshold[which]; }
    void setThreshold(int which, int tenthsOfVolt) {
        if (!m_fixedThreshold) m_threshold[which] = tenthsOfVolt;
    }

    Counter& counter() { return m_counter; }
    const Counter& counter() const { return m_counter; }

private:
    std::string m_name;
    char m_model;
    std::vector<Signal> m_signals;
    bool m_fixedThreshold;
    int m_threshold[2] = {14, 14};
    SessionId m_holder = 0;
    Counter m_counter; // refers to m_signals, declared before it
};

} // namespace vexengine
