// A simulated module: every channel carries a deterministic signal from the
// simulation table, and counts and pins are computed analytically from
// engine time, so a poll costs O(channels). Always present.
#pragma once

#include "Counter.h"
#include "Module.h"
#include "Signal.h"

#include <vector>

namespace vexengine {

class SimulatedModule final : public Module {
public:
    SimulatedModule(std::string name, char model, std::vector<Signal> signals, bool fixedThreshold);

    const std::vector<Signal>& signals() const { return m_signals; }

    bool present() const override { return true; }
    void open(int64_t now) override;
    void release() override;

    int threshold(int which) const override { return m_threshold[which]; }
    void setThreshold(int which, int tenthsOfVolt) override;

    void reset() override { m_counter.reset(); }
    void start(const CountSettings& settings, int64_t now) override;
    void stop(int64_t now) override { m_counter.stop(now); }
    void status(int64_t now, CounterStatus& status) const override;
    void counts(int64_t now, std::vector<int64_t>& counts) const override;
    void measures(int64_t now, std::vector<ChannelMeasures>& measures) const override {
        m_counter.measures(now, measures);
    }
    void pins(int64_t now, std::string& pins) override;

private:
    std::vector<Signal> m_signals;
    bool m_fixedThreshold;
    int m_threshold[2] = {14, 14}; // tenths of a volt
    int64_t m_pinsReadAt = 0;      // engine time of the last pin read or the opening, ns
    Counter m_counter;             // refers to m_signals, declared before it
};

} // namespace vexengine
