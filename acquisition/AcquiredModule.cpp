// Acquired modules: the acquisition's lifecycle on the loop, the engine's
// Module adapter and the datafeed into the streaming counter.
#include "AcquiredModule.h"

#include "AcquisitionLoop.h"
#include "DeviceSetup.h"

#include <algorithm>

namespace vexacq {

AcquiredModule::AcquiredModule(std::string name, AcquisitionLoop& loop,
                               std::unique_ptr<Device> device, Log log, Log debug)
    : Module(std::move(name), 'c', kChannels), m_loop(loop), m_log(std::move(log)),
      m_debug(std::move(debug)) {
    attach(std::move(device));
}

// --- the engine's side

void AcquiredModule::open(int64_t) {
    std::lock_guard lock(m_mutex);
    m_placement.clear();
    m_counter->reset();
    m_counter->beginPinReads();
    m_presence.open();
    post();
}

void AcquiredModule::release() {
    std::lock_guard lock(m_mutex);
    m_placement.clear();
    m_counter->reset();
    m_presence.release();
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
    m_placement.clear();
    m_counter->reset();
}

void AcquiredModule::placeCountLocked() {
    if (!m_streams) {
        // One buffer at a time: the gate must fit into one, at the highest
        // rate that lets it (the stream restarts at that rate when needed).
        const CountPlacement::Fit fit = m_placement.fitGate(m_buffers, m_rate);
        if (fit == CountPlacement::Fit::refuse) return m_counter->reset();
        if (fit == CountPlacement::Fit::restart) post();
    }
    // With a reference that can lock, the loop starts the count before a
    // packet (beginWithReferenceLocked()).
    if (countableLocked() && !waitsForReferenceLocked()) {
        m_counter->start(m_placement.settings());
        m_placement.placed(false);
    }
}

bool AcquiredModule::waitsForReferenceLocked() const {
    return m_reference && m_reference->channel < m_logicChannels;
}

std::string AcquiredModule::beginWithReferenceLocked(uint64_t samples) {
    // Between packets: the lock the counter takes at start() is the one read
    // here, so a count is referenced throughout or not at all.
    const bool locked = m_counter->timeBase().locked;
    const double bound = ReferenceWatch::waitSeconds(m_reference->hz);
    using Start = CountPlacement::ReferenceStart;
    const Start start = m_placement.beforePacket(
        locked, static_cast<uint64_t>(bound * static_cast<double>(m_rate)), samples);
    if (start == Start::wait) return {};
    m_counter->start(m_placement.settings());
    m_placement.placed(locked);
    if (start == Start::referenced) return {};
    return "count on " + name() + " not referenced: the reference did not lock within " +
           ReferenceWatch::secondsText(bound);
}

void AcquiredModule::start(const vexengine::CountSettings& settings, int64_t) {
    std::lock_guard lock(m_mutex);
    m_placement.begin(settings);
    m_counter->reset();
    placeCountLocked();
}

void AcquiredModule::stop(int64_t) {
    std::lock_guard lock(m_mutex);
    m_placement.stop();
    m_counter->stop();
}

void AcquiredModule::status(int64_t, vexengine::CounterStatus& status) const {
    std::lock_guard lock(m_mutex);
    // A count not begun waits (counting), or ended in "forced stop".
    if (m_placement.phase() == CountPlacement::Phase::counting) return m_counter->status(status);
    m_placement.status(m_logicChannels, kChannels, status);
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
    for (vexengine::ChannelMeasures& m : measures)
        m.referenced = m_placement.referenced();
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

bool AcquiredModule::setState(State state) {
    if (state == m_state) return true;
    if (!legalTransition(m_state, state)) {
        m_log(name() + ": refused the acquisition move " + stateName(m_state) + " -> " +
              stateName(state));
        return false;
    }
    if (m_debug) m_debug(name() + ": " + stateName(m_state) + " -> " + stateName(state));
    m_state = state;
    return true;
}

AcquiredModule::State AcquiredModule::state() const {
    std::lock_guard lock(m_mutex);
    return m_state;
}

uint64_t AcquiredModule::generation() const {
    std::lock_guard lock(m_mutex);
    return m_generation;
}

bool AcquiredModule::active() const {
    std::lock_guard lock(m_mutex);
    return m_state == State::starting || m_state == State::running || m_state == State::stopping;
}

bool AcquiredModule::changedLocked() const {
    return (m_thresholdKind != ThresholdKind::none &&
            (m_applied[0] != m_threshold[0] || m_applied[1] != m_threshold[1])) ||
           m_placement.rateMismatch(m_rate);
}

bool AcquiredModule::countableLocked() const {
    return m_state == State::running && m_rate != 0 && !changedLocked();
}

void AcquiredModule::post() {
    if (m_presence.shut() || m_posted) return;
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
        if (m_presence.shut()) return;
        state = m_state;
        wanted = m_presence.wanted(m_device != nullptr);
        changed = changedLocked();
        if (state == State::running && (!wanted || changed)) setState(State::stopping);
    }
    if (state == State::idle && wanted)
        startAcquisition();
    else if (state == State::running && (!wanted || changed))
        m_device->stop();
}

void AcquiredModule::startAcquisition() {
    DeviceSetup setup;
    {
        std::lock_guard lock(m_mutex);
        setState(State::starting);
        // The counter fits the attached device's channels (nothing feeds it now).
        if (m_counter->logicChannels() != m_logicChannels) {
            m_counter = std::make_unique<StreamCounter>(m_logicChannels, kChannels);
            m_counter->beginPinReads();
            applyReference();
        }
        setup.gateRate = m_placement.gateRate();
        setup.threshold[0] = m_threshold[0];
        setup.threshold[1] = m_threshold[1];
    }
    std::string error;
    const bool opened = m_device->open(error);
    bool ok =
        opened && configureDevice(
                      *m_device, m_info, setup,
                      [this](const std::string& line) { m_log(name() + ": " + line); }, error);
    uint64_t hz = 0;
    if (ok) {
        hz = m_device->sampleRate();
        {
            std::lock_guard lock(m_mutex);
            m_buffers.rates = setup.rates;
            m_stream = m_generation + 1;
        }
        m_feed = std::make_unique<Feed>(*this, m_stream);
        m_runSamples = 0;
        m_health.newStream();
        ok = m_device->start(*m_feed, error);
    }
    if (!ok) {
        if (opened) m_device->close();
        lose("acquisition could not start (" + error + ")");
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_applied[0] = setup.threshold[0];
        m_applied[1] = setup.threshold[1];
        setState(State::running);
        m_generation = m_stream;
        m_rate = 0;
        // The device did not take the rate a count's gate needs.
        if (m_placement.gateRate() != 0 && hz != m_placement.gateRate()) m_placement.rateNotTaken();
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
    if (m_placement.waiting()) placeCountLocked();
}

void AcquiredModule::onRate(uint64_t generation, uint64_t hz) {
    std::lock_guard lock(m_mutex);
    if (generation != m_stream || m_state != State::running || hz == 0 || hz == m_rate) return;
    // A first rate, or a new one mid-stream: counts in samples of the old
    // rate mean nothing at the new one, so the stream starts a new generation.
    if (m_rate != 0) ++m_generation;
    m_health.newRate();
    beginGeneration(hz);
}

void AcquiredModule::onLogic(uint64_t generation, const void* data, size_t bytes,
                             unsigned unitsize) {
    if (unitsize == 0) return;
    const uint64_t n = bytes / unitsize;
    std::string notReferenced; // logged outside the lock
    {
        std::lock_guard lock(m_mutex);
        if (generation != m_stream || m_state != State::running) return;
        if (m_placement.waiting() && countableLocked() && waitsForReferenceLocked())
            notReferenced = beginWithReferenceLocked(n);
    }
    if (!notReferenced.empty()) m_log(notReferenced);
    m_counter->feed(data, bytes, unitsize);
    if (m_reference) {
        const std::string change = m_referenceWatch.lockChange(m_counter->timeBase());
        if (!change.empty()) m_log(name() + ": " + change);
    }
    m_runSamples += n;
    m_health.packet(n, m_rate);
}

void AcquiredModule::onEnded(uint64_t generation) {
    if (generation != m_stream) return;
    m_device->close();
    bool asked = false;
    uint64_t rate = 0;
    {
        std::lock_guard lock(m_mutex);
        asked = m_state == State::stopping || m_presence.shut();
        rate = m_rate;
        m_counter->newStream(); // a count of this stream ends here, unfinished
        setState(State::idle);
        m_rate = 0;
    }
    if (!asked) {
        m_health.dropped();
        bool gone = false;
        {
            std::lock_guard lock(m_mutex);
            gone = m_presence.endedBySelf(m_runSamples, rate, m_info.streams);
        }
        if (gone) return lose("acquisition ended, device lost");
        if (m_info.streams) m_log(name() + ": the stream ended by itself; restarting it");
    } else {
        std::lock_guard lock(m_mutex);
        m_presence.endedAsAsked();
    }
    reconcile();
}

void AcquiredModule::lose(const std::string& why) {
    m_device.reset();
    {
        std::lock_guard lock(m_mutex);
        setState(State::lost);
        m_rate = 0;
        m_presence.lost();
        if (m_placement.waiting()) m_placement.clear();
        m_counter->newStream();
    }
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
    m_buffers.samples = m_info.bufferSamples;
    m_buffers.rateFromConfig = m_info.rateFromConfig;
    m_buffers.logicChannels = m_logicChannels;
    m_thresholdKind = m_info.threshold;
    if (m_thresholdKind == ThresholdKind::none) m_threshold[0] = m_threshold[1] = 14;
    m_presence.attached();
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
        m_presence.shutDown();
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
