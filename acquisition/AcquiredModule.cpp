// Acquired modules: the acquisition's state machine on the loop, device
// setup and the datafeed into the streaming counter.
#include "AcquiredModule.h"

#include "AcquisitionLoop.h"
#include "Counter.h"

#include <algorithm>
#include <cstdio>

namespace vexacq {

namespace {

using Clock = std::chrono::steady_clock;

// A stream that ends by itself before this many seconds of samples is
// short; this many short ones in a row and the device counts as lost.
constexpr uint64_t kShortRunSeconds = 1;
constexpr int kShortRunsToLoss = 3;
// A packet arriving this much later than the stream's pace is late.
constexpr auto kLateAfter = std::chrono::milliseconds(250);

const char* stateName(AcquiredModule::State state) {
    switch (state) {
    case AcquiredModule::State::idle:
        return "idle";
    case AcquiredModule::State::starting:
        return "starting";
    case AcquiredModule::State::running:
        return "running";
    case AcquiredModule::State::stopping:
        return "stopping";
    case AcquiredModule::State::lost:
        return "lost";
    }
    return "?";
}

} // namespace

// The sink of one stream: tags its packets with the stream's generation, so
// nothing of an earlier stream reaches a later one's count.
class AcquiredModule::Feed final : public PacketSink {
public:
    Feed(AcquiredModule& module, uint64_t generation)
        : m_module(module), m_generation(generation) {}
    void sampleRate(uint64_t hz) override { m_module.onRate(m_generation, hz); }
    void logic(const void* data, size_t bytes, unsigned unitsize) override {
        m_module.onLogic(m_generation, data, bytes, unitsize);
    }
    void ended() override { m_module.onEnded(m_generation); }
    uint64_t generation() const { return m_generation; }

private:
    AcquiredModule& m_module;
    uint64_t m_generation;
};

AcquiredModule::AcquiredModule(std::string name, AcquisitionLoop& loop,
                               std::unique_ptr<Device> device, Log log)
    : Module(std::move(name), 'c', kChannels), m_loop(loop), m_log(std::move(log)) {
    attach(std::move(device));
}

AcquiredModule::~AcquiredModule() = default;

// --- the engine's side

void AcquiredModule::open(int64_t) {
    std::lock_guard lock(m_mutex);
    m_pending.reset();
    m_pendingStopped = m_refused = false;
    m_counter->reset();
    m_counter->beginPinReads();
    m_held = true;
    post();
}

void AcquiredModule::release() {
    std::lock_guard lock(m_mutex);
    m_pending.reset();
    m_pendingStopped = m_refused = false;
    m_counter->reset();
    m_held = false;
    m_lostForHolder = false; // the holder has seen the loss
    updatePresent();
    post();
}

int AcquiredModule::threshold(int which) const {
    std::lock_guard lock(m_mutex);
    return m_threshold[which];
}

void AcquiredModule::setThreshold(int which, int tenthsOfVolt) {
    std::lock_guard lock(m_mutex);
    if (m_thresholdKind == ThresholdKind::none || m_threshold[which] == tenthsOfVolt) return;
    m_threshold[which] = tenthsOfVolt;
    // The device takes its threshold before a stream starts: the loop
    // restarts a running one, and a count started from now on waits for it.
    post();
}

void AcquiredModule::reset() {
    std::lock_guard lock(m_mutex);
    m_pending.reset();
    m_pendingStopped = m_refused = false;
    m_counter->reset();
}

void AcquiredModule::placeCountLocked() {
    const vexengine::CountSettings& settings = *m_pending;
    if (!m_streams) {
        // One buffer at a time: the gate must fit into one, at the highest
        // rate that lets it (the stream restarts at that rate when needed).
        const int64_t gateNs = vexengine::gateLengthNs(settings.gateCode);
        uint64_t fit = 0;
        if (gateNs != vexengine::kNever && m_bufferSamples != 0 && !m_rates.empty() &&
            !m_rateFromConfig) {
            const auto limit = static_cast<uint64_t>(
                static_cast<unsigned __int128>(m_bufferSamples) * vexengine::kSecond / gateNs);
            fit = highestRate(m_rates, m_logicChannels, limit);
        }
        const bool fitsNow = m_rate != 0 && (m_bufferSamples == 0 ||
                                             static_cast<unsigned __int128>(gateNs) * m_rate <=
                                                 static_cast<unsigned __int128>(m_bufferSamples) *
                                                     vexengine::kSecond);
        if (gateNs == vexengine::kNever || (fit == 0 && !m_rates.empty() && !fitsNow)) {
            m_refused = true;
            m_pending.reset();
            m_counter->reset();
            return;
        }
        if (fit != 0 && fit != m_gateRate) {
            m_gateRate = fit;
            post(); // restart at the rate that fits
        }
    }
    if (countableLocked()) {
        m_counter->start(settings);
        m_pending.reset();
    }
}

void AcquiredModule::start(const vexengine::CountSettings& settings, int64_t) {
    std::lock_guard lock(m_mutex);
    m_pendingStopped = m_refused = false;
    m_pending = settings;
    m_counter->reset();
    placeCountLocked();
}

void AcquiredModule::stop(int64_t) {
    std::lock_guard lock(m_mutex);
    if (m_pending) {
        m_pending.reset();
        m_pendingStopped = true;
    }
    m_counter->stop();
}

void AcquiredModule::status(int64_t, vexengine::CounterStatus& status) const {
    std::lock_guard lock(m_mutex);
    if (!m_pending && !m_pendingStopped && !m_refused) return m_counter->status(status);
    // Not begun: the present channels wait (counting), were stopped waiting,
    // or the count was refused (both "forced stop").
    status.busy = m_pending.has_value();
    status.armed = false;
    status.channelStates.assign(kChannels, vexengine::kChannelIdle);
    std::fill_n(status.channelStates.begin(), m_logicChannels,
                m_pending ? vexengine::kChannelCounting : vexengine::kChannelForcedStop);
}

void AcquiredModule::counts(int64_t, std::vector<int64_t>& counts) const {
    std::lock_guard lock(m_mutex);
    m_counter->counts(counts);
}

void AcquiredModule::pins(int64_t, std::string& pins) {
    std::lock_guard lock(m_mutex);
    m_counter->pins(pins);
}

void AcquiredModule::measures(int64_t, std::vector<vexengine::ChannelMeasures>& measures) const {
    std::lock_guard lock(m_mutex);
    m_counter->measures(measures);
}

vexengine::TimeBase AcquiredModule::timeBase() const {
    std::lock_guard lock(m_mutex);
    return m_counter->timeBase();
}

void AcquiredModule::setReference(std::optional<ReferenceInput> reference) {
    std::lock_guard lock(m_mutex);
    m_reference = reference;
    applyReference();
}

void AcquiredModule::applyReference() {
    if (m_reference && m_counter) m_counter->setReference(m_reference->channel, m_reference->hz);
}

void AcquiredModule::reportLock() {
    const vexengine::TimeBase base = m_counter->timeBase();
    if (static_cast<int>(base.locked) == m_referenceLogged) return;
    m_referenceLogged = base.locked;
    char text[200];
    if (base.locked)
        std::snprintf(text, sizeof text,
                      ": reference %.9g Hz on channel %d locked, sample clock %+.3f ppm",
                      base.referenceHz, base.referenceChannel, base.offsetPpm);
    else
        std::snprintf(text, sizeof text,
                      ": reference %.9g Hz on channel %d not locked, counting with the nominal "
                      "rate %.0f Hz",
                      base.referenceHz, base.referenceChannel, base.nominalRate);
    m_log(name() + text);
}

vexengine::AcquisitionStats AcquiredModule::acquisitionStats() const {
    std::lock_guard lock(m_statsMutex);
    vexengine::AcquisitionStats stats = m_stats;
    stats.acquired = true;
    if (Clock::now() - m_lastPacket > std::chrono::seconds(2)) stats.samplesPerSecond = 0;
    return stats;
}

// --- state

void AcquiredModule::setState(State state) {
    m_state = state;
}

AcquiredModule::State AcquiredModule::state() const {
    std::lock_guard lock(m_mutex);
    return m_state;
}

uint64_t AcquiredModule::generation() const {
    std::lock_guard lock(m_mutex);
    return m_generation;
}

uint64_t AcquiredModule::samplesCounted() const {
    std::lock_guard lock(m_mutex);
    return m_counter->samplesFed();
}

bool AcquiredModule::active() const {
    std::lock_guard lock(m_mutex);
    return m_state == State::starting || m_state == State::running || m_state == State::stopping;
}

void AcquiredModule::updatePresent() {
    m_present = m_attached && !m_shut;
}

bool AcquiredModule::countableLocked() const {
    if (m_state != State::running || m_rate == 0) return false;
    if (m_gateRate != 0 && m_gateRate != m_rate) return false;
    return m_thresholdKind == ThresholdKind::none ||
           (m_applied[0] == m_threshold[0] && m_applied[1] == m_threshold[1]);
}

void AcquiredModule::post() {
    if (m_shut || m_posted) return;
    m_posted = true;
    m_loop.post([this] { reconcile(); });
}

// --- the acquisition loop's side

void AcquiredModule::reconcile() {
    State state;
    bool wanted = false, changed = false;
    {
        std::lock_guard lock(m_mutex);
        m_posted = false;
        if (m_shut) return;
        state = m_state;
        wanted = m_held && !m_lostForHolder && m_device;
        changed = (m_thresholdKind != ThresholdKind::none &&
                   (m_applied[0] != m_threshold[0] || m_applied[1] != m_threshold[1])) ||
                  (m_gateRate != 0 && m_rate != 0 && m_gateRate != m_rate);
        if (state == State::running && (!wanted || changed)) setState(State::stopping);
    }
    if (state == State::idle && wanted)
        startAcquisition();
    else if (state == State::running && (!wanted || changed))
        m_device->stop();
}

bool AcquiredModule::configure(std::string& error, int applied[2]) {
    if (!m_device->applySettings(error)) return false;
    const RateChoices rates = m_device->sampleRates();
    uint64_t gateRate = 0;
    {
        std::lock_guard lock(m_mutex);
        m_rates = rates;
        gateRate = m_gateRate;
    }
    if (!m_info.rateFromConfig) {
        // The sample rate every count of this stream uses is chosen here (a
        // buffer device's count may have asked for one its gate fits in).
        const uint64_t rate =
            gateRate != 0 ? gateRate
                          : chooseSampleRate(rates, m_info.logicChannels, m_info.preferredRate);
        if (rate != 0 && !m_device->setSampleRate(rate))
            m_log(name() + ": the device did not take " + std::to_string(rate) + " Hz");
    }
    if (!m_info.streams && m_info.bufferSamples != 0)
        m_device->setSampleLimit(m_info.bufferSamples);
    if (m_thresholdKind != ThresholdKind::none) {
        {
            std::lock_guard lock(m_mutex);
            applied[0] = m_threshold[0];
            applied[1] = m_threshold[1];
        }
        // Threshold 0 is the 0 -> 1 level (high), threshold 1 the 1 -> 0 one.
        if (!m_device->setThreshold(applied[1] / 10.0, applied[0] / 10.0))
            m_log(name() + ": the device did not take the threshold");
    }
    return true;
}

void AcquiredModule::startAcquisition() {
    {
        std::lock_guard lock(m_mutex);
        setState(State::starting);
        // The counter fits the attached device's channels (nothing feeds it now).
        if (m_counter->logicChannels() != m_logicChannels) {
            m_counter = std::make_unique<StreamCounter>(m_logicChannels, kChannels);
            m_counter->beginPinReads();
            applyReference();
        }
    }
    std::string error;
    int applied[2] = {0, 0};
    bool opened = m_device->open(error);
    bool ok = opened && configure(error, applied);
    uint64_t hz = 0;
    if (ok) {
        hz = m_device->sampleRate();
        uint64_t generation;
        {
            std::lock_guard lock(m_mutex);
            generation = m_generation + 1;
        }
        m_stream = generation;
        m_feed = std::make_unique<Feed>(*this, generation);
        m_runSamples = 0;
        m_paceSamples = 0;
        {
            std::lock_guard lock(m_statsMutex);
            m_windowStart = {};
            m_windowSamples = 0;
        }
        ok = m_device->start(*m_feed, error);
    }
    if (!ok) {
        if (opened) m_device->close();
        lose("acquisition could not start (" + error + ")");
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_applied[0] = applied[0];
        m_applied[1] = applied[1];
        setState(State::running);
        m_generation = m_stream;
        m_rate = 0;
        if (m_gateRate != 0 && hz != m_gateRate) {
            // The device did not take the rate a count's gate needs.
            m_gateRate = 0;
            if (m_pending) {
                m_pending.reset();
                m_refused = true;
            }
        }
        beginGeneration(hz);
    }
    reconcile(); // a change that came while starting (threshold, release)
}

void AcquiredModule::beginGeneration(uint64_t hz) {
    // A fresh stream: no memory of an earlier stream's last sample, and a
    // count still running there ends unfinished. hz is the rate every count
    // of this generation converts with (gate length in samples, period
    // ticks): the device's claimed rate, from configure() or a rate packet.
    m_counter->newStream();
    if (hz != 0) {
        m_rate = hz;
        m_counter->setSampleRate(hz);
    }
    if (m_pending) placeCountLocked();
}

void AcquiredModule::onRate(uint64_t generation, uint64_t hz) {
    std::lock_guard lock(m_mutex);
    if (generation != m_stream || m_state != State::running || hz == 0 || hz == m_rate) return;
    // A first rate, or a new one mid-stream: counts in samples of the old
    // rate mean nothing at the new one, so the stream starts a new generation.
    if (m_rate != 0) ++m_generation;
    m_paceSamples = 0;
    beginGeneration(hz);
}

void AcquiredModule::onLogic(uint64_t generation, const void* data, size_t bytes,
                             unsigned unitsize) {
    if (unitsize == 0) return;
    {
        std::lock_guard lock(m_mutex);
        if (generation != m_stream || m_state != State::running) return;
    }
    m_counter->feed(data, bytes, unitsize);
    if (m_reference) reportLock();
    const uint64_t n = bytes / unitsize;
    m_runSamples += n;

    const auto now = Clock::now();
    std::lock_guard lock(m_statsMutex);
    m_stats.samples += n;
    if (m_rate != 0) {
        // Pace: the stream's samples since m_paceStart should have arrived by
        // m_paceStart + samples / rate; an early stream moves the start up.
        m_paceSamples += n;
        const auto due = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(static_cast<double>(m_paceSamples) / m_rate));
        if (m_paceSamples == n || now - due < m_paceStart) {
            m_paceStart = now - due;
        } else if (now - (m_paceStart + due) > kLateAfter) {
            ++m_stats.latePackets;
            m_paceStart = now;
            m_paceSamples = 0;
        }
    }
    if (m_windowStart == Clock::time_point{}) m_windowStart = now;
    m_windowSamples += n;
    m_lastPacket = now;
    const std::chrono::duration<double> window = now - m_windowStart;
    if (window.count() >= 1.0) {
        m_stats.samplesPerSecond = m_windowSamples / window.count();
        m_windowStart = now;
        m_windowSamples = 0;
    }
}

void AcquiredModule::onEnded(uint64_t generation) {
    if (generation != m_stream) return;
    m_device->close();
    bool asked = false;
    uint64_t rate = 0;
    {
        std::lock_guard lock(m_mutex);
        asked = m_state == State::stopping || m_shut;
        rate = m_rate;
        m_counter->newStream(); // a count of this stream ends here, unfinished
        setState(State::idle);
        m_rate = 0;
    }
    if (!asked) {
        {
            std::lock_guard lock(m_statsMutex);
            ++m_stats.droppedPackets;
        }
        // The end of a buffer is a device's normal pace; a stream that ends
        // by itself again and again, soon each time, has lost its device.
        const bool shortRun = m_runSamples < rate * kShortRunSeconds;
        m_shortRuns = m_info.streams && shortRun ? m_shortRuns + 1 : 0;
        if (m_shortRuns >= kShortRunsToLoss) {
            lose("acquisition ended, device lost");
            return;
        }
        if (m_info.streams) m_log(name() + ": the stream ended by itself; restarting it");
    } else {
        m_shortRuns = 0;
    }
    reconcile();
}

void AcquiredModule::lose(const std::string& why) {
    m_device.reset();
    {
        std::lock_guard lock(m_mutex);
        setState(State::lost);
        m_rate = 0;
        m_attached = false;
        m_lostForHolder = m_held;
        ++m_losses;
        m_pending.reset();
        m_counter->newStream();
        updatePresent();
    }
    m_shortRuns = 0;
    m_log(name() + ": " + why);
}

void AcquiredModule::dropDevice() {
    m_device.reset();
}

void AcquiredModule::attach(std::unique_ptr<Device> device) {
    m_info = device->info();
    m_device = std::move(device);
    std::lock_guard lock(m_mutex);
    if (m_state == State::lost) setState(State::idle);
    // Channels, threshold kind and buffering are those of the device attached
    // now (a device without a serial number may be another one than before).
    m_logicChannels = std::clamp(m_info.logicChannels, 1, kChannels);
    if (!m_counter) {
        m_counter = std::make_unique<StreamCounter>(m_logicChannels, kChannels);
        applyReference();
    }
    m_streams = m_info.streams;
    m_bufferSamples = m_info.bufferSamples;
    m_rateFromConfig = m_info.rateFromConfig;
    m_thresholdKind = m_info.threshold;
    if (m_thresholdKind == ThresholdKind::none) m_threshold[0] = m_threshold[1] = 14;
    m_attached = true;
    updatePresent();
    post(); // a holder that kept the module while the device was away
}

void AcquiredModule::detach() {
    if (active()) return;
    lose("device gone");
}

void AcquiredModule::beginShutdown() {
    bool stop = false;
    {
        std::lock_guard lock(m_mutex);
        m_shut = true;
        updatePresent();
        stop = m_state == State::running;
        if (stop) setState(State::stopping);
    }
    if (stop) m_device->stop();
}

void AcquiredModule::finishShutdown() {
    if (active()) m_log(name() + ": the stream did not end in time (" + stateName(state()) + ")");
    m_device.reset();
    m_feed.reset();
}

} // namespace vexacq
