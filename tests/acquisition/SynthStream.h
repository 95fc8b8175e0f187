// A synthesiser of logic-analyser streams of known truth for the streaming
// counter's tests and the resolution tool: square waves sampled by a clock of
// a given true rate, with optional random edge jitter.
#pragma once

#include "StreamCounter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace vexacq::synth {

// A square wave on one channel: rises at true times (k - phase + e) / hz and
// falls duty / hz later (+ e'), e and e' normal of `jitter` x hz rms (cycles).
struct Wave {
    int channel;
    double hz;
    double duty = 0.5;
    double phase = 0.25;
    double jitter = 0; // rms edge jitter, s
};

// Standard normal, the same for the same key (so an edge looked at from two
// packets moves the same way): splitmix64, then Box-Muller.
inline double normalAt(uint64_t key) {
    auto mix = [](uint64_t z) {
        z += 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    const uint64_t a = mix(key), b = mix(a);
    const double u1 = (static_cast<double>(a >> 11) + 0.5) * 0x1p-53;
    const double u2 = static_cast<double>(b >> 11) * 0x1p-53;
    return std::sqrt(-2 * std::log(u1)) * std::cos(2 * std::numbers::pi * u2);
}

// Samples one byte (or two) wide, sample n taken at true time n / trueRate.
class Synth {
public:
    Synth(long double trueRate, std::vector<Wave> waves, unsigned unitsize = 1)
        : m_rate(trueRate), m_waves(std::move(waves)), m_unit(unitsize) {}

    // The next `count` samples, fed to counter.
    void feed(StreamCounter& counter, size_t count) {
        m_samples.assign(count, 0);
        const uint64_t a = m_next, b = m_next + count;
        for (const Wave& w : m_waves) {
            const long double perCycle = m_rate / w.hz; // samples per period
            const long double jitter = w.jitter * w.hz; // rms, cycles
            auto at = [&](long double cycles) {         // first sample at or after, from 0
                return static_cast<uint64_t>(
                    std::max(0.0L, std::ceil((cycles - w.phase) * perCycle)));
            };
            auto moved = [&](int64_t k, uint64_t which) -> long double {
                if (jitter == 0) return 0;
                const auto key = static_cast<uint64_t>(k) * 64 + 2 * w.channel + which;
                return jitter * normalAt(key);
            };
            for (auto k = static_cast<int64_t>(std::floor(a / perCycle + w.phase)) - 1;; ++k) {
                const long double cycle = static_cast<long double>(k);
                const uint64_t rise = at(cycle + moved(k, 0)),
                               fall = at(cycle + w.duty + moved(k, 1));
                if (rise >= b) break;
                for (uint64_t n = std::max(rise, a); n < std::min(fall, b); ++n)
                    m_samples[n - a] |= 1u << w.channel;
            }
        }
        m_bytes.resize(count * m_unit);
        for (size_t i = 0; i < count; ++i)
            for (unsigned u = 0; u < m_unit; ++u)
                m_bytes[i * m_unit + u] = static_cast<uint8_t>(m_samples[i] >> (8 * u));
        counter.feed(m_bytes.data(), m_bytes.size(), m_unit);
        m_next = b;
    }

private:
    long double m_rate;
    std::vector<Wave> m_waves;
    unsigned m_unit;
    uint64_t m_next = 0;
    std::vector<uint32_t> m_samples;
    std::vector<uint8_t> m_bytes;
};

// The measures of `wave` in a frequency count of `gateCode` at `rate` Hz (true
// and nominal), fed in 1 ms packets after 1 ms of lead-in.
inline vexengine::ChannelMeasures countWave(uint64_t rate, const Wave& wave, int gateCode) {
    Synth synth(static_cast<long double>(rate), {wave});
    StreamCounter counter(8, 8);
    counter.setSampleRate(rate);
    const size_t packet = std::max<size_t>(rate / 1000, 1);
    synth.feed(counter, packet);
    counter.start(vexengine::CountSettings{0, 3, gateCode, "--------"});
    vexengine::CounterStatus status;
    do {
        synth.feed(counter, packet);
        counter.status(status);
    } while (status.busy);
    std::vector<vexengine::ChannelMeasures> measures;
    counter.measures(measures);
    return measures[static_cast<size_t>(wave.channel)];
}

} // namespace vexacq::synth
