// The libsigrok side of the seam: the context, driver scans, device
// configuration and sessions, all run on the acquisition thread. Sessions
// start on the thread's default main context (the acquisition loop's), so
// libsigrok's event sources, USB transfers included, are handled by that one
// loop.
#include "DeviceBackend.h"
#include "Drivers.h"
#include "SigrokContext.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

namespace vexacq {

GVariant* optionValue(const sr_key_info* info, const std::string& text, std::string& error) {
    if (!info) {
        error = "unknown option";
        return nullptr;
    }
    const char* c = text.c_str();
    char* end = nullptr;
    switch (info->datatype) {
    case SR_T_STRING:
        return g_variant_new_string(c);
    case SR_T_UINT64: {
        uint64_t value = 0;
        if (sr_parse_sizestring(c, &value) == SR_OK) return g_variant_new_uint64(value);
        error = "expected a whole number, e.g. 1000000 or 1M";
        return nullptr;
    }
    case SR_T_INT32: {
        const long value = std::strtol(c, &end, 10);
        if (*c && !*end && value >= INT32_MIN && value <= INT32_MAX)
            return g_variant_new_int32(static_cast<int32_t>(value));
        error = "expected a whole number";
        return nullptr;
    }
    case SR_T_FLOAT: {
        const double value = std::strtod(c, &end);
        if (*c && !*end) return g_variant_new_double(value);
        error = "expected a number";
        return nullptr;
    }
    case SR_T_BOOL: {
        static const std::set<std::string> words = {"1",   "0",  "true", "false",
                                                    "yes", "no", "on",   "off"};
        if (words.count(text)) return g_variant_new_boolean(sr_parse_boolstring(c));
        error = "expected true or false";
        return nullptr;
    }
    case SR_T_RATIONAL_PERIOD:
    case SR_T_RATIONAL_VOLT: {
        uint64_t p = 0, q = 0;
        const int ok = info->datatype == SR_T_RATIONAL_PERIOD ? sr_parse_period(c, &p, &q)
                                                              : sr_parse_voltage(c, &p, &q);
        if (ok == SR_OK) return g_variant_new("(tt)", p, q);
        error = "expected a quantity with its unit, e.g. 10ms or 5V";
        return nullptr;
    }
    default:
        error = "options of this kind cannot be given in a device config";
        return nullptr;
    }
}

namespace {

std::string text(const char* s) {
    return s ? std::string(s) : std::string();
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

int logicChannelCount(sr_dev_inst* device) {
    int n = 0;
    for (GSList* l = sr_dev_inst_channels_get(device); l; l = l->next)
        n += static_cast<sr_channel*>(l->data)->type == SR_CHANNEL_LOGIC;
    return n;
}

// A config checked against its driver: scan options and device settings.
struct Prepared {
    sr_dev_driver* driver = nullptr;
    std::vector<std::pair<uint32_t, std::string>> scanOptions; // libsigrok key, value text
    std::vector<std::pair<std::string, std::string>> settings; // option name, value text
    std::string pattern; // logic pattern to select on the "Logic" group
    uint64_t defaultRate = 0;
    bool rateGiven = false;
};

std::string configKey(const DeviceConfig& config) {
    std::string key = config.driver;
    for (const auto& [name, value] : config.options)
        key += ":" + name + "=" + value;
    return key;
}

class SigrokDevice final : public Device {
public:
    SigrokDevice(sr_context* context, sr_dev_inst* device, const Prepared& prepared,
                 const std::string& driver)
        : m_context(context), m_device(device), m_prepared(prepared) {
        m_info.driver = driver;
        m_info.vendor = text(sr_dev_inst_vendor_get(device));
        m_info.model = text(sr_dev_inst_model_get(device));
        m_info.serial = text(sr_dev_inst_sernum_get(device));
        m_info.connection = text(sr_dev_inst_connid_get(device));
        m_info.logicChannels = logicChannelCount(device);
        if (sr_dev_has_option(device, SR_CONF_VOLTAGE_THRESHOLD))
            m_info.threshold = ThresholdKind::pair;
        else if (sr_dev_has_option(device, SR_CONF_LOGIC_THRESHOLD_CUSTOM))
            m_info.threshold = ThresholdKind::single;
        m_info.streams = !acquiresBuffers(driver);
        // A buffer's size: the most samples one acquisition may take, where
        // the driver lists it as a (min, max) pair.
        GVariant* limits = nullptr;
        if (!m_info.streams &&
            sr_config_list(sr_dev_inst_driver_get(device), device, nullptr, SR_CONF_LIMIT_SAMPLES,
                           &limits) == SR_OK &&
            limits) {
            if (g_variant_is_of_type(limits, G_VARIANT_TYPE("(tt)"))) {
                uint64_t least = 0, most = 0;
                g_variant_get(limits, "(tt)", &least, &most);
                m_info.bufferSamples = most;
            }
            g_variant_unref(limits);
        }
        m_info.rateFromConfig = prepared.rateGiven;
        m_info.preferredRate = prepared.defaultRate;
    }
    ~SigrokDevice() override {
        if (m_finish) g_source_destroy(m_finish);
        if (m_session) { // never left running; a last resort
            sr_session_stop(m_session);
            sr_session_destroy(m_session);
        }
    }

    const DeviceInfo& info() const override { return m_info; }

    bool open(std::string& error) override {
        if (sr_dev_open(m_device) == SR_OK) return true;
        error = "the device did not open";
        return false;
    }
    void close() override { sr_dev_close(m_device); }

    bool applySettings(std::string& error) override {
        // Only the logic channels: analog data would cost time and count nothing.
        for (GSList* l = sr_dev_inst_channels_get(m_device); l; l = l->next) {
            auto* channel = static_cast<sr_channel*>(l->data);
            sr_dev_channel_enable(channel, channel->type == SR_CHANNEL_LOGIC);
        }
        if (!m_prepared.pattern.empty() &&
            !setOption(m_device, SR_CONF_PATTERN_MODE,
                       g_variant_new_string(m_prepared.pattern.c_str()))) {
            error = "cannot select the pattern " + m_prepared.pattern;
            return false;
        }
        for (const auto& [key, value] : m_prepared.settings) {
            const sr_key_info* info = sr_key_info_name_get(SR_KEY_CONFIG, key.c_str());
            std::string why;
            GVariant* v = optionValue(info, value, why);
            if (!v || !setOption(m_device, info->key, v)) {
                error = "cannot set " + key + "=" + value + (why.empty() ? "" : " (" + why + ")");
                return false;
            }
        }
        if (settable(m_device, nullptr, SR_CONF_CONTINUOUS))
            setOption(m_device, SR_CONF_CONTINUOUS, g_variant_new_boolean(TRUE));
        return true;
    }

    RateChoices sampleRates() override {
        RateChoices rates;
        GVariant* list = nullptr;
        if (sr_config_list(sr_dev_inst_driver_get(m_device), m_device, nullptr, SR_CONF_SAMPLERATE,
                           &list) != SR_OK ||
            !list)
            return rates;
        gsize n = 0;
        if (GVariant* v = g_variant_lookup_value(list, "samplerates", G_VARIANT_TYPE("at"))) {
            const auto* values =
                static_cast<const uint64_t*>(g_variant_get_fixed_array(v, &n, sizeof(uint64_t)));
            rates.list.assign(values, values + n);
            g_variant_unref(v);
        } else if (GVariant* s =
                       g_variant_lookup_value(list, "samplerate-steps", G_VARIANT_TYPE("at"))) {
            const auto* values =
                static_cast<const uint64_t*>(g_variant_get_fixed_array(s, &n, sizeof(uint64_t)));
            if (n >= 2) {
                rates.min = values[0];
                rates.max = values[1];
                rates.step = n >= 3 ? values[2] : 0;
            }
            g_variant_unref(s);
        }
        g_variant_unref(list);
        return rates;
    }

    bool setSampleRate(uint64_t hz) override {
        return setOption(m_device, SR_CONF_SAMPLERATE, g_variant_new_uint64(hz));
    }

    uint64_t sampleRate() override {
        GVariant* rate = nullptr;
        if (sr_config_get(sr_dev_inst_driver_get(m_device), m_device, nullptr, SR_CONF_SAMPLERATE,
                          &rate) != SR_OK ||
            !rate)
            return 0;
        const uint64_t hz = g_variant_get_uint64(rate);
        g_variant_unref(rate);
        return hz;
    }

    bool setThreshold(double low, double high) override {
        switch (m_info.threshold) {
        case ThresholdKind::pair:
            return setOption(m_device, SR_CONF_VOLTAGE_THRESHOLD, g_variant_new("(dd)", low, high));
        case ThresholdKind::single:
            return setOption(m_device, SR_CONF_LOGIC_THRESHOLD_CUSTOM,
                             g_variant_new_double((low + high) / 2));
        case ThresholdKind::none:
            break;
        }
        return true;
    }

    bool setSampleLimit(uint64_t samples) override {
        return setOption(m_device, SR_CONF_LIMIT_SAMPLES, g_variant_new_uint64(samples));
    }

    bool start(PacketSink& sink, std::string& error) override {
        m_sink = &sink;
        sr_session* session = nullptr;
        if (sr_session_new(m_context, &session) == SR_OK &&
            sr_session_dev_add(session, m_device) == SR_OK &&
            sr_session_datafeed_callback_add(session, &SigrokDevice::onPacket, this) == SR_OK &&
            sr_session_stopped_callback_set(session, &SigrokDevice::onStopped, this) == SR_OK &&
            sr_session_start(session) == SR_OK) {
            m_session = session;
            return true;
        }
        if (session) sr_session_destroy(session);
        error = "the acquisition did not start";
        return false;
    }

    void stop() override {
        if (m_session && !m_stopping) sr_session_stop(m_session);
        m_stopping = true;
    }

private:
    static void onPacket(const sr_dev_inst*, const sr_datafeed_packet* packet, void* data) {
        auto* self = static_cast<SigrokDevice*>(data);
        if (!self->m_sink) return;
        if (packet->type == SR_DF_LOGIC) {
            const auto* logic = static_cast<const sr_datafeed_logic*>(packet->payload);
            if (logic->unitsize > 0)
                self->m_sink->logic(logic->data, logic->length, logic->unitsize);
        } else if (packet->type == SR_DF_META) {
            const auto* meta = static_cast<const sr_datafeed_meta*>(packet->payload);
            for (GSList* l = meta->config; l; l = l->next) {
                const auto* config = static_cast<const sr_config*>(l->data);
                if (config->key == SR_CONF_SAMPLERATE)
                    self->m_sink->sampleRate(g_variant_get_uint64(config->data));
            }
        }
    }

    // libsigrok's last word on a session (from an idle source of its own):
    // the session is destroyed and the sink told from a fresh idle source, so
    // nothing of the session runs on below us.
    static void onStopped(void* data) {
        auto* self = static_cast<SigrokDevice*>(data);
        self->m_finish = g_idle_source_new();
        g_source_set_callback(self->m_finish, &SigrokDevice::finish, data, nullptr);
        g_source_attach(self->m_finish, g_main_context_get_thread_default());
        g_source_unref(self->m_finish);
    }

    static gboolean finish(gpointer data) {
        auto* self = static_cast<SigrokDevice*>(data);
        self->m_finish = nullptr;
        if (self->m_session) sr_session_destroy(self->m_session);
        self->m_session = nullptr;
        self->m_stopping = false;
        PacketSink* sink = self->m_sink;
        self->m_sink = nullptr;
        if (sink) sink->ended(); // may destroy this device
        return G_SOURCE_REMOVE;
    }

    sr_context* m_context;
    sr_dev_inst* m_device;
    const Prepared m_prepared;
    DeviceInfo m_info;
    sr_session* m_session = nullptr;
    PacketSink* m_sink = nullptr;
    bool m_stopping = false;
    GSource* m_finish = nullptr; // the pending finish(), attached to the loop
};

class SigrokBackend final : public Backend {
public:
    explicit SigrokBackend(std::function<void(const std::string&)> log) : m_log(std::move(log)) {}

    bool init(std::string& error) override {
        if (sr_init(&m_context) == SR_OK) return true;
        m_context = nullptr;
        error = "libsigrok did not start";
        return false;
    }

    bool prepare(const DeviceConfig& config, std::string& error) override {
        Prepared prepared;
        for (sr_dev_driver** d = sr_driver_list(m_context); d && *d; ++d)
            if (config.driver == (*d)->name) prepared.driver = *d;
        if (!prepared.driver) {
            error = "no such libsigrok driver";
            return false;
        }
        std::set<uint32_t> scanKeys;
        if (GArray* keys = sr_driver_scan_options_list(prepared.driver)) {
            for (guint i = 0; i < keys->len; ++i)
                scanKeys.insert(g_array_index(keys, uint32_t, i));
            g_array_free(keys, TRUE);
        }
        for (const auto& [key, value] : config.options) {
            const sr_key_info* info = sr_key_info_name_get(SR_KEY_CONFIG, key.c_str());
            std::string why;
            GVariant* checked = optionValue(info, value, why);
            if (!checked) {
                error = "option " + key + "=" + value + ": " + why;
                return false;
            }
            g_variant_unref(g_variant_ref_sink(checked));
            if (scanKeys.count(info->key)) {
                prepared.scanOptions.emplace_back(info->key, value);
            } else {
                prepared.settings.emplace_back(key, value);
                prepared.rateGiven |= info->key == SR_CONF_SAMPLERATE;
            }
        }
        if (config.driver == "demo") {
            // Channel k of the incremental pattern is a square wave of
            // S / 2^(k+1); 1 MHz keeps the real-time demo cheap and its counts
            // quick to check.
            prepared.pattern = "incremental";
            prepared.defaultRate = 1'000'000;
            const bool analogGiven =
                std::any_of(prepared.scanOptions.begin(), prepared.scanOptions.end(),
                            [](const auto& o) { return o.first == SR_CONF_NUM_ANALOG_CHANNELS; });
            if (!analogGiven && scanKeys.count(SR_CONF_NUM_ANALOG_CHANNELS))
                prepared.scanOptions.emplace_back(SR_CONF_NUM_ANALOG_CHANNELS, "0");
        }
        if (!m_initialised.count(config.driver)) {
            if (sr_driver_init(m_context, prepared.driver) != SR_OK) {
                error = "the driver did not start";
                return false;
            }
            m_initialised.insert(config.driver);
        }
        m_prepared[configKey(config)] = std::move(prepared);
        return true;
    }

    std::vector<std::unique_ptr<Device>> scan(const DeviceConfig& config, bool renew) override {
        std::vector<std::unique_ptr<Device>> devices;
        auto it = m_prepared.find(configKey(config));
        if (it == m_prepared.end()) return devices;
        const Prepared& prepared = it->second;
        // Each scan adds fresh instances of every device it finds to the
        // driver's list; clearing the list first keeps rescans from piling
        // up copies.
        if (renew) sr_dev_clear(prepared.driver);
        GSList* options = nullptr;
        for (const auto& [key, value] : prepared.scanOptions) {
            std::string error;
            auto* item = g_new0(sr_config, 1);
            item->key = key;
            item->data =
                g_variant_ref_sink(optionValue(sr_key_info_get(SR_KEY_CONFIG, key), value, error));
            options = g_slist_append(options, item);
        }
        GSList* found = sr_driver_scan(prepared.driver, options);
        for (GSList* l = options; l; l = l->next) {
            auto* item = static_cast<sr_config*>(l->data);
            g_variant_unref(item->data);
            g_free(item);
        }
        g_slist_free(options);
        for (GSList* l = found; l; l = l->next)
            devices.push_back(std::make_unique<SigrokDevice>(
                m_context, static_cast<sr_dev_inst*>(l->data), prepared, config.driver));
        g_slist_free(found);
        return devices;
    }

    void shutdown() override {
        if (m_context) sr_exit(m_context);
        m_context = nullptr;
    }

    sr_context* context() const { return m_context; }

private:
    std::function<void(const std::string&)> m_log;
    sr_context* m_context = nullptr;
    std::set<std::string> m_initialised;
    std::map<std::string, Prepared> m_prepared; // by configKey()
};

} // namespace

std::unique_ptr<Backend> makeSigrokBackend(std::function<void(const std::string&)> log) {
    return std::make_unique<SigrokBackend>(std::move(log));
}

sr_context* sigrokContext(Backend& backend) {
    auto* sigrok = dynamic_cast<SigrokBackend*>(&backend);
    return sigrok ? sigrok->context() : nullptr;
}

} // namespace vexacq
