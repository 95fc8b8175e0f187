// Count placement: the waiting count's phases and the buffer fit of its gate.
#include "CountPlacement.h"

#include "Clock.h"
#include "Counter.h"
#include "SampleRate.h"

#include <algorithm>

namespace vexacq {

void CountPlacement::begin(const vexengine::CountSettings& settings) {
    m_settings = settings;
    m_phase = Phase::waiting;
    m_waited = 0;
    m_referenced = false;
}

void CountPlacement::clear() {
    m_phase = Phase::counting;
    m_referenced = false;
}

void CountPlacement::placed(bool referenced) {
    m_phase = Phase::counting;
    m_referenced = referenced;
}

CountPlacement::ReferenceStart CountPlacement::beforePacket(bool locked, uint64_t boundSamples,
                                                            uint64_t samples) {
    if (locked) return ReferenceStart::referenced;
    if (m_waited >= boundSamples) return ReferenceStart::unreferenced;
    m_waited += samples;
    return ReferenceStart::wait;
}

void CountPlacement::stop() {
    if (m_phase == Phase::waiting) m_phase = Phase::stoppedWhileWaiting;
}

void CountPlacement::rateNotTaken() {
    m_gateRate = 0;
    if (m_phase == Phase::waiting) m_phase = Phase::refused;
}

CountPlacement::Fit CountPlacement::fitGate(const Buffers& buffers, uint64_t rate) {
    // The gate must fit into one buffer, at the highest rate that lets it.
    const int64_t gateNs = vexengine::gateLengthNs(m_settings.gateCode);
    uint64_t fit = 0;
    if (gateNs != vexengine::kNever && buffers.samples != 0 && !buffers.rates.empty() &&
        !buffers.rateFromConfig) {
        const auto limit = static_cast<uint64_t>(static_cast<unsigned __int128>(buffers.samples) *
                                                 vexengine::kSecond / gateNs);
        fit = highestRate(buffers.rates, buffers.logicChannels, limit);
    }
    const bool fitsNow =
        rate != 0 && (buffers.samples == 0 ||
                      static_cast<unsigned __int128>(gateNs) * rate <=
                          static_cast<unsigned __int128>(buffers.samples) * vexengine::kSecond);
    if (gateNs == vexengine::kNever || (fit == 0 && !buffers.rates.empty() && !fitsNow)) {
        m_phase = Phase::refused;
        return Fit::refuse;
    }
    if (fit != 0 && fit != m_gateRate) {
        m_gateRate = fit;
        return Fit::restart;
    }
    return Fit::fits;
}

void CountPlacement::status(int logicChannels, int channels,
                            vexengine::CounterStatus& status) const {
    status.busy = m_phase == Phase::waiting;
    status.armed = false;
    status.channelStates.assign(static_cast<size_t>(channels), vexengine::kChannelIdle);
    std::fill_n(status.channelStates.begin(), std::min(logicChannels, channels),
                status.busy ? vexengine::kChannelCounting : vexengine::kChannelForcedStop);
}

} // namespace vexacq
