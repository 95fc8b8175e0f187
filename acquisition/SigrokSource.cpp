// The acquisition source: libsigrok context, scan thread, targets (config or
// default driver), module naming and matching of rescanned devices.
#include "SigrokSource.h"

#include "AcquiredModule.h"
#include "Engine.h"
#include "SigrokContext.h"

#include <algorithm>
#include <cctype>
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

// Tags of the drivers a user meets most; others take their first letters.
const std::map<std::string, std::string>& knownTags() {
    static const std::map<std::string, std::string> tags = {
        {"demo", "DEMO"},
        {"fx2lafw", "FX2L"},
        {"dreamsourcelab-dslogic", "DSLG"},
        {"saleae-logic16", "SL16"},
        {"saleae-logic-pro", "SLPR"},
        {"hantek-4032l", "H432"},
        {"lecroy-logicstudio", "LCLS"},
        {"zeroplus-logic-cube", "ZPLC"},
        {"sysclk-lwla", "LWLA"},
        {"asix-sigma", "SGMA"},
        {"chronovu-la", "CVLA"},
        {"ikalogic-scanaplus", "SCAP"},
    };
    return tags;
}

// A place devices are looked for: one config, or one default driver.
struct Target {
    std::string driver;
    std::vector<std::pair<uint32_t, std::string>> scanOptions; // libsigrok key, value text
    DeviceSetup setup;
    bool fromConfig = false;
    int configIndex = 0;
    bool unusable = false; // unknown driver or option: reported once, never scanned
    std::vector<AcquiredModule*> modules;
};

std::string text(const char* s) {
    return s ? std::string(s) : std::string();
}

int logicChannelCount(sr_dev_inst* device) {
    int n = 0;
    for (GSList* l = sr_dev_inst_channels_get(device); l; l = l->next)
        n += static_cast<sr_channel*>(l->data)->type == SR_CHANNEL_LOGIC;
    return n;
}

} // namespace

struct SigrokSource::Impl {
    Impl(vexengine::Engine& e, SourceOptions o) : engine(e), options(std::move(o)) {
        sigrok.log = options.log;
    }

    void run();
    void setUp();
    Target makeTarget(const DeviceConfig& config, int index);
    void scan();
    void scanTarget(Target& target);
    void adopt(Target& target, sr_dev_inst* device, const std::string& identity);
    std::string nextName(const std::string& driver);

    vexengine::Engine& engine;
    SourceOptions options;
    SigrokContext sigrok;
    std::vector<Target> targets;
    std::vector<AcquiredModule*> modules; // every module made, owned by the engine
    std::set<std::string> initialised;    // drivers
    std::map<std::string, int> lastIndex; // per tag

    mutable std::mutex mutex; // guards the members below
    mutable std::condition_variable wake;
    bool requested = true; // the first scan runs at once
    bool quit = false;
    int scans = 0;
    std::chrono::steady_clock::time_point lastScanEnd{};
    std::thread thread;
};

SigrokSource::SigrokSource(vexengine::Engine& engine, SourceOptions options)
    : m_impl(std::make_unique<Impl>(engine, std::move(options))) {
    m_impl->thread = std::thread(&Impl::run, m_impl.get());
    engine.setModuleListHook([this] { requestScan(); });
}

SigrokSource::~SigrokSource() {
    m_impl->engine.setModuleListHook({});
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->quit = true;
        m_impl->wake.notify_all();
    }
    m_impl->thread.join();
    for (AcquiredModule* module : m_impl->modules)
        module->shutdown();
    if (m_impl->sigrok.context) sr_exit(m_impl->sigrok.context);
}

void SigrokSource::requestScan() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->requested = true;
    m_impl->wake.notify_all();
}

int SigrokSource::scansDone() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->scans;
}

bool SigrokSource::waitForScans(int n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_impl->mutex);
    return m_impl->wake.wait_for(lock, timeout, [&] { return m_impl->scans >= n; });
}

const std::vector<std::string>& SigrokSource::defaultDrivers() {
    static const std::vector<std::string> drivers = {"fx2lafw",
                                                     "dreamsourcelab-dslogic",
                                                     "saleae-logic16",
                                                     "saleae-logic-pro",
                                                     "hantek-4032l",
                                                     "lecroy-logicstudio",
                                                     "zeroplus-logic-cube",
                                                     "sysclk-lwla",
                                                     "asix-sigma",
                                                     "chronovu-la",
                                                     "ikalogic-scanaplus"};
    return drivers;
}

std::string SigrokSource::driverTag(const std::string& driver) {
    if (auto it = knownTags().find(driver); it != knownTags().end()) return it->second;
    std::string tag;
    for (char c : driver)
        if (std::isalnum(static_cast<unsigned char>(c)) && tag.size() < 4)
            tag += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    tag.resize(4, 'X');
    if (tag.starts_with("SIM")) tag = "X" + tag.substr(0, 3);
    return tag;
}

void SigrokSource::Impl::run() {
    setUp();
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [&] { return quit || requested; });
        if (quit) return;
        // At most one scan per interval: a request meanwhile waits for its turn.
        if (wake.wait_until(lock, lastScanEnd + options.rescanInterval, [&] { return quit; }))
            return;
        requested = false;
        lock.unlock();
        if (options.beforeScan) options.beforeScan();
        if (sigrok.context) scan();
        lock.lock();
        ++scans;
        lastScanEnd = std::chrono::steady_clock::now();
        wake.notify_all();
    }
}

void SigrokSource::Impl::setUp() {
    std::lock_guard lock(sigrok.lock);
    if (sr_init(&sigrok.context) != SR_OK) {
        sigrok.context = nullptr;
        sigrok.report("libsigrok did not start: no logic analysers");
        return;
    }
    if (options.configs.empty()) {
        for (const std::string& driver : defaultDrivers())
            targets.push_back(makeTarget(DeviceConfig{driver, {}}, -1));
    } else {
        for (std::size_t i = 0; i < options.configs.size(); ++i)
            targets.push_back(makeTarget(options.configs[i], static_cast<int>(i)));
    }
}

Target SigrokSource::Impl::makeTarget(const DeviceConfig& config, int index) {
    Target target;
    target.driver = config.driver;
    target.fromConfig = index >= 0;
    target.configIndex = index;
    target.setup.reference = config.reference;
    sr_dev_driver* driver = nullptr;
    for (sr_dev_driver** d = sr_driver_list(sigrok.context); d && *d; ++d)
        if (config.driver == (*d)->name) driver = *d;
    if (!driver) {
        target.unusable = true;
        if (target.fromConfig)
            sigrok.report("device " + config.driver + ": no such libsigrok driver");
        return target;
    }
    std::set<uint32_t> scanKeys;
    if (GArray* keys = sr_driver_scan_options_list(driver)) {
        for (guint i = 0; i < keys->len; ++i)
            scanKeys.insert(g_array_index(keys, uint32_t, i));
        g_array_free(keys, TRUE);
    }
    for (const auto& [key, value] : config.options) {
        const sr_key_info* info = sr_key_info_name_get(SR_KEY_CONFIG, key.c_str());
        std::string error;
        GVariant* checked = optionValue(info, value, error);
        if (!checked) {
            target.unusable = true;
            sigrok.report("device " + config.driver + ": option " + key + "=" + value + ": " +
                          error);
            return target;
        }
        g_variant_unref(g_variant_ref_sink(checked));
        if (scanKeys.count(info->key))
            target.scanOptions.emplace_back(info->key, value);
        else
            target.setup.settings.emplace_back(key, value);
    }
    if (config.driver == "demo") {
        // Channel k of the incremental pattern is a square wave of S / 2^(k+1);
        // 1 MHz keeps the real-time demo cheap and its counts quick to check.
        target.setup.pattern = "incremental";
        target.setup.defaultRate = 1'000'000;
        const bool analogGiven =
            std::any_of(target.scanOptions.begin(), target.scanOptions.end(),
                        [](const auto& o) { return o.first == SR_CONF_NUM_ANALOG_CHANNELS; });
        if (!analogGiven && scanKeys.count(SR_CONF_NUM_ANALOG_CHANNELS))
            target.scanOptions.emplace_back(SR_CONF_NUM_ANALOG_CHANNELS, "0");
    }
    if (!initialised.count(config.driver)) {
        if (sr_driver_init(sigrok.context, driver) != SR_OK) {
            target.unusable = true;
            sigrok.report("device " + config.driver + ": the driver did not start");
            return target;
        }
        initialised.insert(config.driver);
    }
    return target;
}

void SigrokSource::Impl::scan() {
    for (Target& target : targets) {
        if (target.unusable) continue;
        // A config's device is looked for until found, and again once it is gone.
        const bool anyPresent = std::any_of(target.modules.begin(), target.modules.end(),
                                            [](AcquiredModule* m) { return m->present(); });
        if (target.fromConfig && anyPresent) continue;
        scanTarget(target);
    }
}

void SigrokSource::Impl::scanTarget(Target& target) {
    std::lock_guard lock(sigrok.lock);
    sr_dev_driver* driver = nullptr;
    for (sr_dev_driver** d = sr_driver_list(sigrok.context); d && *d; ++d)
        if (target.driver == (*d)->name) driver = *d;
    if (!target.fromConfig) {
        // Each scan adds fresh instances of every device it finds to the
        // driver's list; clearing the list first keeps rescans from piling
        // up copies. Not while one of the driver's devices is in use (no
        // acquisition can start meanwhile: that takes the libsigrok lock).
        for (AcquiredModule* module : target.modules)
            if (module->acquiring()) return;
        for (AcquiredModule* module : target.modules)
            module->handBackDevice();
        sr_dev_clear(driver);
    }
    GSList* options = nullptr;
    for (const auto& [key, value] : target.scanOptions) {
        std::string error;
        auto* item = g_new0(sr_config, 1);
        item->key = key;
        item->data =
            g_variant_ref_sink(optionValue(sr_key_info_get(SR_KEY_CONFIG, key), value, error));
        options = g_slist_append(options, item);
    }
    GSList* found = sr_driver_scan(driver, options);
    for (GSList* l = options; l; l = l->next) {
        auto* item = static_cast<sr_config*>(l->data);
        g_variant_unref(item->data);
        g_free(item);
    }
    g_slist_free(options);

    std::set<std::string> seen;
    int k = 0;
    for (GSList* l = found; l; l = l->next, ++k) {
        auto* device = static_cast<sr_dev_inst*>(l->data);
        std::string identity;
        if (target.fromConfig) {
            identity = "config" + std::to_string(target.configIndex) + "#" + std::to_string(k);
        } else {
            const std::string serial = text(sr_dev_inst_sernum_get(device));
            identity =
                target.driver + (serial.empty() ? "/conn:" + text(sr_dev_inst_connid_get(device))
                                                : "/sn:" + serial);
        }
        seen.insert(identity);
        adopt(target, device, identity);
    }
    g_slist_free(found);

    if (!target.fromConfig)
        for (AcquiredModule* module : target.modules)
            if (!seen.count(module->identity()) && module->present()) {
                module->markMissing();
                sigrok.report(module->name() + ": device gone");
            }
}

void SigrokSource::Impl::adopt(Target& target, sr_dev_inst* device, const std::string& identity) {
    for (AcquiredModule* module : target.modules)
        if (module->identity() == identity) {
            // Present: the scan found the device the module already uses.
            if (module->reattach(device)) sigrok.report(module->name() + ": device back");
            return;
        }
    // A device without a serial number comes back at a new USB address: it
    // takes the place of a module of its driver that has lost its device.
    if (identity.find("/conn:") != std::string::npos)
        for (AcquiredModule* module : target.modules)
            if (module->identity().find("/conn:") != std::string::npos &&
                module->reattach(device)) {
                module->setIdentity(identity);
                sigrok.report(module->name() + ": device back");
                return;
            }

    const int logic = logicChannelCount(device);
    if (logic == 0) return; // not a logic analyser
    const std::string tag = SigrokSource::driverTag(target.driver);
    for (int& index = lastIndex[tag]; index < 99;) {
        ++index;
        const std::string name = "QV" + tag + (index < 10 ? "0" : "") + std::to_string(index);
        auto module =
            std::make_unique<AcquiredModule>(name, sigrok, device, logic, target.setup, identity);
        AcquiredModule* raw = module.get();
        if (engine.addModule(std::move(module))) {
            target.modules.push_back(raw);
            modules.push_back(raw);
            std::string what = text(sr_dev_inst_vendor_get(device));
            const std::string model = text(sr_dev_inst_model_get(device));
            what += (what.empty() || model.empty() ? "" : " ") + model;
            sigrok.report(name + ": " + what + " (" + target.driver + ", " + std::to_string(logic) +
                          " logic channels)");
            return;
        }
    }
    sigrok.report("device " + target.driver + ": no free module name left");
}

} // namespace vexacq
