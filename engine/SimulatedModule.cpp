// Simulated modules: the counter and the pin reads evaluated on the channels'
// analytic signals.
#include "SimulatedModule.h"

namespace vexengine {

namespace {

// Pin character of one channel over [from, to).
char pinChar(const Signal& signal, int64_t from, int64_t to) {
    int64_t rising = signal.risingIn(from, to);
    int64_t falling = signal.fallingIn(from, to);
    if (rising == 0 && falling == 0) return signal.levelAt(to - 1) ? '1' : '0';
    if (falling == 0) return 'R';
    if (rising == 0) return 'F';
    return 'B';
}

} // namespace

SimulatedModule::SimulatedModule(std::string name, char model, std::vector<Signal> signals,
                                 bool fixedThreshold)
    : Module(std::move(name), model, static_cast<int>(signals.size())),
      m_signals(std::move(signals)), m_fixedThreshold(fixedThreshold), m_counter(m_signals) {}

void SimulatedModule::open(int64_t now) {
    m_counter.reset();
    m_pinsReadAt = now;
}

void SimulatedModule::release() {
    m_counter.reset();
}

void SimulatedModule::setThreshold(int which, int tenthsOfVolt) {
    if (!m_fixedThreshold) m_threshold[which] = tenthsOfVolt;
}

void SimulatedModule::start(const CountSettings& settings, int64_t now) {
    m_counter.start(settings, now);
}

void SimulatedModule::status(int64_t now, CounterStatus& status) const {
    m_counter.status(now, status);
}

void SimulatedModule::counts(int64_t now, std::vector<int64_t>& counts) const {
    m_counter.counts(now, counts);
}

void SimulatedModule::pins(int64_t now, std::string& pins) {
    pins.clear();
    for (const Signal& signal : m_signals)
        pins.push_back(pinChar(signal, m_pinsReadAt, now));
    m_pinsReadAt = now;
}

} // namespace vexengine
