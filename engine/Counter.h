// The frequency / period / event counter of one module, evaluated
// analytically from engine time (ns): a poll costs O(channels).
//
// A count starts at time s, arms at the first instant g >= s at which the
// channel codes of channels 0..7 hold (findArmTime), and gates [g, g + gate).
// "Seen by time t" means an edge at a time < t: an edge exactly at t belongs
// to the next poll.
#pragma once

#include "Engine.h"
#include "Signal.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace vexengine {

// Gate length of a gate code in ns; kNever for the infinite gate (7), -1 for
// a code that is not a gate.
int64_t gateLengthNs(int32_t gateCode);

// True when the settings are a valid start: type 0..2, edge 0..3, gate 0, 1,
// 2 or 7 (7 not for frequency), eight channel codes of "01RFE-".
bool validCountSettings(const CountSettings& settings);

// Upper bound on the candidate instants findArmTime examines.
constexpr int kMaxArmSteps = 100000;

// First instant >= start at which every channel i < 8 with code '0' is low,
// '1' high, 'R' / 'F' / 'E' shows that edge ('-' any). kNever when no such
// instant exists or none is found within kMaxArmSteps candidates.
int64_t findArmTime(const std::vector<Signal>& signals, std::string_view codes, int64_t start);

// Channel states of a count, as QV_FCGetStatus reports them.
constexpr uint32_t kChannelIdle = 0;
constexpr uint32_t kChannelCounting = 1;
constexpr uint32_t kChannelDone = 2;
constexpr uint32_t kChannelForcedStop = 3;
constexpr uint32_t kChannelGateTimedOut = 5;

// Period counter clock: 100 MHz, one tick per 10 ns.
constexpr int64_t kTickNs = 10;
// Intervals summed per channel by a period count.
constexpr int kPeriodIntervals = 64;

class Counter {
public:
    explicit Counter(const std::vector<Signal>& signals) : m_signals(signals) {}

    // Idle: no count, all channels idle, counts 0.
    void reset();
    // settings must be valid (validCountSettings).
    void start(const CountSettings& settings, int64_t now);
    // Freezes the count at now; counting channels become forced stop.
    void stop(int64_t now);

    void status(int64_t now, CounterStatus& status) const;
    void counts(int64_t now, std::vector<int64_t>& counts) const;
    // Frequency and event counts: over the rising edges seen inside the gate
    // (at least two), the reciprocal frequency, widths and duty of each
    // channel's wave, exact from its period and high time, and with three
    // the regression frequency (1 / P). Period counts: the mean interval once
    // one is complete. NaN otherwise.
    void measures(int64_t now, std::vector<ChannelMeasures>& measures) const;

private:
    enum class Phase { idle, running, stopped };

    // Period count of one channel: interval i runs from start0 + i * step to
    // end0 + i * step. start0 = kNever: the channel has no such edges.
    struct PeriodPlan {
        int64_t start0 = kNever;
        int64_t end0 = kNever;
        int64_t step = 1;
    };

    int64_t observed(int64_t now) const; // now, or the stop time once stopped
    int completedIntervals(const PeriodPlan& plan, int64_t t) const;
    int64_t periodTicks(const PeriodPlan& plan, int intervals) const;
    uint32_t channelState(size_t channel, int64_t t) const; // while running
    int64_t channelCount(size_t channel, int64_t t) const;
    bool busyAt(int64_t t) const; // while running

    const std::vector<Signal>& m_signals;
    Phase m_phase = Phase::idle;
    CountSettings m_settings;
    int64_t m_gateOpen = kNever;
    int64_t m_gateClose = kNever;
    int64_t m_stopAt = kNever;
    int64_t m_periodFinish = kNever; // every period channel final from here on
    std::vector<PeriodPlan> m_plans;
};

} // namespace vexengine
