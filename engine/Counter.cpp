// The counter state machine: arming search, gate, per-channel counts and
// states, forced stop. All from elapsed engine time, nothing stepped.
#include "Counter.h"

#include <algorithm>

namespace vexengine {

namespace {

bool isChannelCode(char c) {
    return c == '0' || c == '1' || c == 'R' || c == 'F' || c == 'E' || c == '-';
}

// Earliest time >= t at which one channel's code holds; kNever if never.
int64_t nextSatisfied(const Signal& s, char code, int64_t t) {
    switch (code) {
    case '0':
        return s.levelAt(t) ? s.nextFalling(t) : t;
    case '1':
        return s.levelAt(t) ? t : s.nextRising(t);
    case 'R':
        return s.nextRising(t);
    case 'F':
        return s.nextFalling(t);
    case 'E':
        return std::min(s.nextRising(t), s.nextFalling(t));
    default:
        return t;
    }
}

} // namespace

int64_t gateLengthNs(int32_t gateCode) {
    switch (gateCode) {
    case 0:
        return 100 * kMillisecond;
    case 1:
        return kSecond;
    case 2:
        return 10 * kSecond;
    case 7:
        return kNever;
    default:
        return -1;
    }
}

bool validCountSettings(const CountSettings& s) {
    if (s.counterType < 0 || s.counterType > 2) return false;
    if (s.edgeCode < 0 || s.edgeCode > 3) return false;
    int64_t gate = gateLengthNs(s.gateCode);
    if (gate < 0 || (gate == kNever && s.counterType == 0)) return false;
    return s.channelCodes.size() == 8 &&
           std::all_of(s.channelCodes.begin(), s.channelCodes.end(), isChannelCode);
}

// Every channel's code holds from its own nextSatisfied time at the earliest,
// so no instant before the latest of them can satisfy all: jump there and
// check again. Each step moves strictly forward.
int64_t findArmTime(const std::vector<Signal>& signals, std::string_view codes, int64_t start) {
    size_t coded = std::min({codes.size(), signals.size(), size_t{8}});
    int64_t t = start;
    for (int step = 0; step < kMaxArmSteps; ++step) {
        int64_t latest = t;
        for (size_t i = 0; i < coded && latest != kNever; ++i)
            latest = std::max(latest, nextSatisfied(signals[i], codes[i], t));
        if (latest == t || latest == kNever) return latest;
        t = latest;
    }
    return kNever;
}

void Counter::reset() {
    m_phase = Phase::idle;
    m_gateOpen = m_gateClose = m_stopAt = m_periodFinish = kNever;
    m_plans.clear();
}

void Counter::start(const CountSettings& settings, int64_t now) {
    reset();
    m_phase = Phase::running;
    m_settings = settings;
    m_gateOpen = findArmTime(m_signals, settings.channelCodes, now);
    int64_t gate = gateLengthNs(settings.gateCode);
    if (m_gateOpen != kNever && gate != kNever) m_gateClose = m_gateOpen + gate;
    if (settings.counterType != 1 || m_gateOpen == kNever) return;

    // Period: interval i of a channel starts at its i-th edge of the first
    // kind at or after the gate opens and ends at the next edge of the second
    // kind after that.
    bool firstRising = settings.edgeCode & 1;
    bool secondRising = settings.edgeCode & 2;
    m_plans.resize(m_signals.size());
    int64_t finish = 0;
    for (size_t i = 0; i < m_signals.size(); ++i) {
        const Signal& s = m_signals[i];
        PeriodPlan& plan = m_plans[i];
        plan.start0 = s.nextEdge(m_gateOpen, firstRising);
        if (plan.start0 == kNever) {
            finish = kNever;
            continue;
        }
        plan.step = s.periodNs();
        int64_t length = firstRising == secondRising ? s.periodNs()
                         : firstRising               ? s.highNs()
                                                     : s.periodNs() - s.highNs();
        plan.end0 = plan.start0 + length;
        int64_t last = plan.end0 + (kPeriodIntervals - 1) * plan.step;
        if (finish != kNever) finish = std::max(finish, last + 1);
    }
    m_periodFinish = finish;
}

void Counter::stop(int64_t now) {
    if (m_phase != Phase::running) return;
    m_phase = Phase::stopped;
    m_stopAt = now;
}

int64_t Counter::observed(int64_t now) const {
    return m_phase == Phase::stopped ? std::min(now, m_stopAt) : now;
}

int Counter::completedIntervals(const PeriodPlan& plan, int64_t t) const {
    // Intervals end at end0 + i * step; those that end before t (and before
    // the gate closes) are complete.
    int64_t limit = std::min(t, m_gateClose);
    if (plan.start0 == kNever || limit <= plan.end0) return 0;
    return static_cast<int>(
        std::min<int64_t>(kPeriodIntervals, ceilDiv(limit - plan.end0, plan.step)));
}

// Ticks of the 100 MHz clock between each interval's edges, summed. Ticks are
// counted on a free-running clock, so an interval that is not a whole number
// of ticks reads as one tick more or less depending on where it falls.
int64_t Counter::periodTicks(const PeriodPlan& plan, int intervals) const {
    if (intervals == 0) return 0;
    if (plan.end0 - plan.start0 == plan.step) // back-to-back intervals: the sum telescopes
        return floorDiv(plan.end0 + (intervals - 1) * plan.step, kTickNs) -
               floorDiv(plan.start0, kTickNs);
    int64_t ticks = 0;
    for (int i = 0; i < intervals; ++i)
        ticks += floorDiv(plan.end0 + i * plan.step, kTickNs) -
                 floorDiv(plan.start0 + i * plan.step, kTickNs);
    return ticks;
}

uint32_t Counter::channelState(size_t channel, int64_t t) const {
    if (t < m_gateOpen) return kChannelCounting; // waiting for the arming instant
    if (m_settings.counterType == 1) {
        if (completedIntervals(m_plans[channel], t) == kPeriodIntervals) return kChannelDone;
        return t >= m_gateClose ? kChannelGateTimedOut : kChannelCounting;
    }
    return t >= m_gateClose ? kChannelDone : kChannelCounting;
}

int64_t Counter::channelCount(size_t channel, int64_t t) const {
    if (t <= m_gateOpen) return 0;
    if (m_settings.counterType == 1) {
        const PeriodPlan& plan = m_plans[channel];
        return periodTicks(plan, completedIntervals(plan, t));
    }
    return m_signals[channel].risingIn(m_gateOpen, std::min(t, m_gateClose));
}

bool Counter::busyAt(int64_t t) const {
    if (m_settings.counterType == 1) return t < std::min(m_gateClose, m_periodFinish);
    return t < m_gateClose;
}

void Counter::status(int64_t now, CounterStatus& status) const {
    status.channelStates.assign(m_signals.size(), kChannelIdle);
    status.busy = false;
    status.armed = false;
    if (m_phase == Phase::idle) return;
    int64_t t = observed(now);
    status.armed = t >= m_gateOpen; // kNever: never armed
    for (size_t i = 0; i < m_signals.size(); ++i) {
        uint32_t state = channelState(i, t);
        if (m_phase == Phase::stopped && state == kChannelCounting) state = kChannelForcedStop;
        status.channelStates[i] = state;
    }
    status.busy = m_phase == Phase::running && busyAt(t);
}

void Counter::counts(int64_t now, std::vector<int64_t>& counts) const {
    counts.assign(m_signals.size(), 0);
    if (m_phase == Phase::idle) return;
    int64_t t = observed(now);
    for (size_t i = 0; i < m_signals.size(); ++i)
        counts[i] = channelCount(i, t);
}

void Counter::measures(int64_t now, std::vector<ChannelMeasures>& measures) const {
    measures.assign(m_signals.size(), ChannelMeasures{});
    if (m_phase == Phase::idle) return;
    const int64_t t = observed(now);
    if (m_settings.counterType == 1) {
        // Every interval of a channel is as long as its first: the mean is
        // exact. No plans: the count never arms.
        for (size_t i = 0; i < m_plans.size(); ++i) {
            const PeriodPlan& plan = m_plans[i];
            if (completedIntervals(plan, t) > 0)
                measures[i].meanPeriod = static_cast<double>(plan.end0 - plan.start0) * 1e-9;
        }
        return;
    }
    const int64_t end = std::min(t, m_gateClose);
    for (size_t i = 0; i < m_signals.size(); ++i) {
        const Signal& s = m_signals[i];
        // Whole periods lie between the first and last rising edge, so the
        // means are the wave's own values; edges exactly P apart fit a line
        // of slope P.
        const int64_t edges = end > m_gateOpen ? s.risingIn(m_gateOpen, end) : 0;
        if (edges < 2) continue;
        const double period = static_cast<double>(s.periodNs());
        const double high = static_cast<double>(s.highNs());
        ChannelMeasures& m = measures[i];
        m.reciprocalHz = 1e9 / period;
        m.positiveWidth = high * 1e-9;
        m.negativeWidth = (period - high) * 1e-9;
        m.duty = high / period;
        if (edges >= 3) m.regressionHz = 1e9 / period;
    }
}

} // namespace vexengine
