// Acquired modules: the acquisition thread, device setup and the datafeed
// into the streaming counter.
#include "AcquiredModule.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vexacq {

namespace {

// The device's sample rates: an explicit list, or (min, max, step).
std::vector<uint64_t> listedRates(sr_dev_inst* device) {
    std::vector<uint64_t> rates;
    GVariant* list = nullptr;
    if (sr_config_list(sr_dev_inst_driver_get(device), device, nullptr, SR_CONF_SAMPLERATE,
                       &list) != SR_OK ||
        !list)
        return rates;
    gsize n = 0;
    if (GVariant* v = g_variant_lookup_value(list, "samplerates", G_VARIANT_TYPE("at"))) {
        const auto* values =
            static_cast<const uint64_t*>(g_variant_get_fixed_array(v, &n, sizeof(uint64_t)));
        rates.assign(values, values + n);
        g_variant_unref(v);
    } else if (GVariant* s =
                   g_variant_lookup_value(list, "samplerate-steps", G_VARIANT_TYPE("at"))) {
        const auto* values =
            static_cast<const uint64_t*>(g_variant_get_fixed_array(s, &n, sizeof(uint64_t)));
        if (n >= 2) rates = {values[0], values[1]}; // any rate in between is allowed
        g_variant_unref(s);
    }
    g_variant_unref(list);
    return rates;
}

sr_channel_group* logicGroup(sr_dev_inst* device) {
    for (GSList* l = sr_dev_inst_channel_groups_get(device); l; l = l->next) {
        auto* group = static_cast<sr_channel_group*>(l->data);
        if (group->name && std::string(group->name) == "Logic") return group;
    }
    return nullptr;
}

bool settable(sr_dev_inst* device, sr_channel_group* group, uint32_t key) {
    return sr_dev_config_capabilities_list(device, group, key) & SR_CONF_SET;
}

// Sets key on the device, or on its logic channel group where the device
// takes it there. Takes value.
bool setOption(sr_dev_inst* device, uint32_t key, GVariant* value) {
    g_variant_ref_sink(value);
    sr_channel_group* group = logicGroup(device);
    bool ok = false;
    if (settable(device, nullptr, key))
        ok = sr_config_set(device, nullptr, key, value) == SR_OK;
    else if (group && settable(device, group, key))
        ok = sr_config_set(device, group, key, value) == SR_OK;
    g_variant_unref(value);
    return ok;
}

} // namespace

AcquiredModule::AcquiredModule(std::string name, SigrokContext& sigrok, sr_dev_inst* device,
                               int logicChannels, DeviceSetup setup, std::string identity)
    : Module(std::move(name), 'c', kChannels), m_sigrok(sigrok), m_setup(std::move(setup)),
      m_identity(std::move(identity)), m_logicChannels(std::clamp(logicChannels, 1, kChannels)),
      m_counter(m_logicChannels, kChannels), m_device(device) {
    if (m_setup.reference) {
        m_counter.setReference(m_setup.reference->channel, m_setup.reference->hz);
        if (m_setup.reference->channel >= m_logicChannels)
            m_sigrok.report(this->name() + ": reference channel " +
                            std::to_string(m_setup.reference->channel) +
                            " is not delivered by the device; counting with its nominal rate");
    }
    if (sr_dev_has_option(device, SR_CONF_VOLTAGE_THRESHOLD))
        m_thresholdKey = SR_CONF_VOLTAGE_THRESHOLD;
    else if (sr_dev_has_option(device, SR_CONF_LOGIC_THRESHOLD_CUSTOM))
        m_thresholdKey = SR_CONF_LOGIC_THRESHOLD_CUSTOM;
    m_thread = std::thread(&AcquiredModule::run, this);
}

AcquiredModule::~AcquiredModule() {
    shutdown();
}

void AcquiredModule::open(int64_t) {
    reset();
    m_counter.beginPinReads();
    std::lock_guard lock(m_mutex);
    m_wanted = true;
    m_wake.notify_all();
}

void AcquiredModule::release() {
    reset();
    std::lock_guard lock(m_mutex);
    m_wanted = false;
    stopSessionLocked();
}

int AcquiredModule::threshold(int which) const {
    std::lock_guard lock(m_mutex);
    return m_threshold[which];
}

void AcquiredModule::setThreshold(int which, int tenthsOfVolt) {
    if (m_thresholdKey == 0) return; // fixed by the device
    std::lock_guard lock(m_mutex);
    if (m_threshold[which] == tenthsOfVolt) return;
    m_threshold[which] = tenthsOfVolt;
    // The device takes its threshold before an acquisition starts.
    if (which == 0 && m_session) {
        m_restart = true;
        stopSessionLocked();
    }
}

void AcquiredModule::reset() {
    std::lock_guard lock(m_mutex);
    m_pending.reset();
    m_pendingStopped = false;
    m_counter.reset();
}

void AcquiredModule::start(const vexengine::CountSettings& settings, int64_t) {
    std::lock_guard lock(m_mutex);
    m_pendingStopped = false;
    if (m_counter.sampleRate() == 0) {
        m_pending = settings;
        m_counter.reset();
    } else {
        m_pending.reset();
        m_counter.start(settings);
    }
}

void AcquiredModule::stop(int64_t) {
    std::lock_guard lock(m_mutex);
    if (m_pending) {
        m_pending.reset();
        m_pendingStopped = true;
    }
    m_counter.stop();
}

void AcquiredModule::status(int64_t, vexengine::CounterStatus& status) const {
    std::lock_guard lock(m_mutex);
    if (!m_pending && !m_pendingStopped) return m_counter.status(status);
    // Not armed yet: the present channels count (or were stopped doing so).
    status.busy = m_pending.has_value();
    status.armed = false;
    status.channelStates.assign(kChannels, 0);
    std::fill_n(status.channelStates.begin(), m_logicChannels, m_pending ? 1u : 3u);
}

void AcquiredModule::counts(int64_t, std::vector<int64_t>& counts) const {
    m_counter.counts(counts);
}

bool AcquiredModule::reattach(sr_dev_inst* device) {
    std::lock_guard lock(m_mutex);
    if (m_quit || m_device) return false;
    m_device = device;
    m_present = true;
    m_wake.notify_all();
    return true;
}

void AcquiredModule::markMissing() {
    std::lock_guard lock(m_mutex);
    if (m_deviceInUse || m_quit) return;
    m_device = nullptr;
    m_present = false;
}

bool AcquiredModule::handBackDevice() {
    std::lock_guard lock(m_mutex);
    if (m_deviceInUse) return false;
    m_device = nullptr; // still present: the rescan gives it the fresh instance
    return true;
}

void AcquiredModule::stopSessionLocked() {
    // Only queues the stop on the session's loop; once per session, as a
    // driver asked to stop twice complains.
    if (!m_session || m_stopping) return;
    m_stopping = true;
    sr_session_stop(m_session);
}

bool AcquiredModule::acquiring() const {
    std::lock_guard lock(m_mutex);
    return m_deviceInUse;
}

void AcquiredModule::shutdown() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_present = false;
        stopSessionLocked();
        m_wake.notify_all();
    }
    if (m_thread.joinable()) m_thread.join();
}

void AcquiredModule::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_quit || (m_wanted && m_device); });
        if (m_quit) return;
        m_restart = false;
        lock.unlock();
        const Outcome outcome = acquire();
        lock.lock();
        // An acquisition that ends while still wanted (and not for a restart)
        // has lost its device.
        const bool lost = outcome == Outcome::failed ||
                          (outcome == Outcome::ran && m_wanted && !m_restart && !m_quit);
        if (lost) {
            m_device = nullptr;
            m_present = false;
            lock.unlock();
            m_sigrok.report(name() + (outcome == Outcome::ran ? ": acquisition ended, device lost"
                                                              : ": acquisition could not start"));
            lock.lock();
        }
    }
}

bool AcquiredModule::configure(sr_dev_inst* device) {
    // Only the logic channels: analog data would cost time and count nothing.
    for (GSList* l = sr_dev_inst_channels_get(device); l; l = l->next) {
        auto* channel = static_cast<sr_channel*>(l->data);
        sr_dev_channel_enable(channel, channel->type == SR_CHANNEL_LOGIC);
    }
    if (!m_setup.pattern.empty() &&
        !setOption(device, SR_CONF_PATTERN_MODE, g_variant_new_string(m_setup.pattern.c_str()))) {
        m_sigrok.report(name() + ": cannot select the pattern " + m_setup.pattern);
        return false;
    }
    bool rateGiven = false;
    for (const auto& [key, text] : m_setup.settings) {
        const sr_key_info* info = sr_key_info_name_get(SR_KEY_CONFIG, key.c_str());
        std::string error;
        GVariant* value = optionValue(info, text, error);
        if (!value || !setOption(device, info->key, value)) {
            m_sigrok.report(name() + ": cannot set " + key + "=" + text +
                            (error.empty() ? "" : " (" + error + ")"));
            return false;
        }
        rateGiven |= info->key == SR_CONF_SAMPLERATE;
    }
    if (!rateGiven) {
        uint64_t rate = m_setup.defaultRate;
        if (rate == 0) {
            const uint64_t cap = m_logicChannels > 8 ? kMaxDefaultRate / 2 : kMaxDefaultRate;
            for (uint64_t r : listedRates(device))
                if (r <= cap && r > rate) rate = r;
        }
        if (rate != 0) setOption(device, SR_CONF_SAMPLERATE, g_variant_new_uint64(rate));
    }
    if (settable(device, nullptr, SR_CONF_CONTINUOUS))
        setOption(device, SR_CONF_CONTINUOUS, g_variant_new_boolean(TRUE));
    if (m_thresholdKey != 0) {
        double volts = 0;
        {
            std::lock_guard lock(m_mutex);
            volts = m_threshold[0] / 10.0;
        }
        GVariant* value = m_thresholdKey == SR_CONF_VOLTAGE_THRESHOLD
                              ? g_variant_new("(dd)", volts, volts)
                              : g_variant_new_double(volts);
        if (!setOption(device, m_thresholdKey, value))
            m_sigrok.report(name() + ": the device did not take the threshold");
    }
    GVariant* rate = nullptr;
    if (sr_config_get(sr_dev_inst_driver_get(device), device, nullptr, SR_CONF_SAMPLERATE, &rate) !=
            SR_OK ||
        !rate) {
        m_sigrok.report(name() + ": the device reports no sample rate");
        return false;
    }
    const uint64_t hz = g_variant_get_uint64(rate);
    g_variant_unref(rate);
    if (hz == 0) return false;
    std::lock_guard lock(m_mutex);
    if (m_counter.sampleRate() != hz) m_counter.setSampleRate(hz);
    m_counter.restartReference(); // a new stream: its reference edges start afresh
    if (m_pending) m_counter.start(*m_pending);
    m_pending.reset();
    return true;
}

AcquiredModule::Outcome AcquiredModule::acquire() {
    // The session's event loop runs on this thread's own main context, never
    // on the process's default one (which a GUI thread may be running).
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    sr_session* session = nullptr;
    sr_dev_inst* device = nullptr;
    Outcome outcome = Outcome::skipped;
    {
        std::lock_guard sigrok(m_sigrok.lock);
        {
            // Taken under the libsigrok lock: a rescan holding it may have
            // handed the device back meanwhile.
            std::lock_guard lock(m_mutex);
            if (m_device && m_wanted && !m_quit) {
                device = m_device;
                m_deviceInUse = true;
            }
        }
        if (device) {
            outcome = Outcome::failed;
            if (sr_dev_open(device) == SR_OK) {
                if (configure(device) && sr_session_new(m_sigrok.context, &session) == SR_OK &&
                    sr_session_dev_add(session, device) == SR_OK &&
                    sr_session_datafeed_callback_add(session, &AcquiredModule::onPacket, this) ==
                        SR_OK &&
                    sr_session_start(session) == SR_OK) {
                    outcome = Outcome::ran;
                } else {
                    if (session) sr_session_destroy(session);
                    sr_dev_close(device);
                }
            }
        }
    }
    if (outcome == Outcome::ran) {
        {
            std::lock_guard lock(m_mutex);
            m_session = session;
            m_stopping = false;
            if (!m_wanted || m_restart || m_quit) stopSessionLocked();
        }
        sr_session_run(session);
        {
            std::lock_guard lock(m_mutex);
            m_session = nullptr;
        }
        std::lock_guard sigrok(m_sigrok.lock);
        sr_session_destroy(session);
        sr_dev_close(device);
    }
    if (device) {
        std::lock_guard lock(m_mutex);
        m_deviceInUse = false;
    }
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    return outcome;
}

void AcquiredModule::onPacket(const sr_dev_inst*, const sr_datafeed_packet* packet, void* self) {
    auto* module = static_cast<AcquiredModule*>(self);
    if (packet->type == SR_DF_LOGIC) {
        const auto* logic = static_cast<const sr_datafeed_logic*>(packet->payload);
        if (logic->unitsize > 0)
            module->m_counter.feed(logic->data, logic->length, logic->unitsize);
        module->reportLock();
    } else if (packet->type == SR_DF_META) {
        const auto* meta = static_cast<const sr_datafeed_meta*>(packet->payload);
        for (GSList* l = meta->config; l; l = l->next) {
            const auto* config = static_cast<const sr_config*>(l->data);
            if (config->key != SR_CONF_SAMPLERATE) continue;
            const uint64_t hz = g_variant_get_uint64(config->data);
            if (hz != 0 && hz != module->m_counter.sampleRate())
                module->m_counter.setSampleRate(hz);
        }
    }
}

void AcquiredModule::reportLock() {
    if (!m_setup.reference) return;
    const vexengine::TimeBase base = m_counter.timeBase();
    if (base.locked == m_referenceLocked) return;
    m_referenceLocked = base.locked;
    char text[160];
    if (base.locked)
        std::snprintf(text, sizeof text,
                      "%s: reference %.9g Hz on channel %d locked, offset %+.3f ppm",
                      name().c_str(), base.referenceHz, base.referenceChannel, base.offsetPpm);
    else
        std::snprintf(text, sizeof text,
                      "%s: reference %.9g Hz on channel %d unlocked, counting with the nominal "
                      "rate %.0f Hz",
                      name().c_str(), base.referenceHz, base.referenceChannel, base.nominalRate);
    m_sigrok.report(text);
}

} // namespace vexacq
