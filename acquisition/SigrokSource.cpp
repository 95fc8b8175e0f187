// The acquisition source: the acquisition loop, targets (config or default
// driver), scans and module matching, all on the loop's thread.
#include "SigrokSource.h"

#include "AcquiredModule.h"
#include "AcquisitionLoop.h"
#include "CaptureLoader.h"
#include "ConfigCheck.h"
#include "DeviceMatch.h"
#include "DeviceProblems.h"
#include "Drivers.h"
#include "Engine.h"
#include "ReplayDevice.h"
#include "SigrokContext.h"

#include <algorithm>
#include <set>

namespace vexacq {

namespace {

// A place devices are looked for: one config, or one default driver.
struct Target {
    DeviceConfig config;
    Backend* backend = nullptr;
    bool fromConfig = false;
    bool unusable = false; // unknown driver or option: reported once, never scanned
    std::vector<AcquiredModule*> modules;
};

// Device kinds of our own, by driver name. A replay asks the capture
// loader, which loads on its own worker.
std::map<std::string, std::shared_ptr<Backend>> builtInBackends(CaptureLoader& loader) {
    return {{kReplayDriver, makeReplayBackend([&loader](const CaptureFile& file) {
                 return loader.capture(file);
             })}};
}

} // namespace

struct SigrokSource::Impl {
    Impl(vexengine::Engine& e, SourceOptions o)
        : engine(e), options(std::move(o)),
          problems([this](std::vector<std::string> list) { publishProblems(std::move(list)); },
                   [this](const std::string& line) { log(line); }) {}

    void log(const std::string& line) const {
        if (options.log) options.log(line);
    }
    void setUp();
    void maybeScan();
    void scan();
    void scanTarget(Target& target);
    void match(Target& target, std::vector<std::unique_ptr<Device>> devices);
    void add(Target& target, std::unique_ptr<Device> device);
    void shutDown();
    // Device problems (the end of this file).
    void startLoader();
    void captureLoaded(const CaptureFile& file, const std::string& error);
    void reportUnusable(const Target& target, const std::string& why);
    void reviewTargets();
    void publishProblems(std::vector<std::string> list);

    vexengine::Engine& engine;
    SourceOptions options;
    DeviceProblems problems; // loop thread only
    std::unique_ptr<CaptureLoader> loader;
    // Loop thread only.
    std::unique_ptr<Backend> sigrok;
    std::map<std::string, std::shared_ptr<Backend>> backends;
    std::vector<Target> targets;
    std::map<std::string, int> lastIndex; // per tag
    std::chrono::steady_clock::time_point lastScanEnd{};

    mutable std::mutex mutex; // guards the members below
    mutable std::condition_variable wake;
    std::vector<AcquiredModule*> modules; // every module made, owned by the engine
    bool scheduled = false;               // a maybeScan() is queued or waits on a timer
    bool quit = false;
    int scans = 0;

    AcquisitionLoop loop; // last: its thread ends before the members above go
};

SigrokSource::SigrokSource(vexengine::Engine& engine, SourceOptions options)
    : m_impl(std::make_unique<Impl>(engine, std::move(options))) {
    // Before either thread calls libsigrok: the log callback is global.
    installCaptureLog();
    m_impl->startLoader();
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->scheduled = true;
    }
    m_impl->loop.post([impl = m_impl.get()] {
        impl->setUp();
        impl->maybeScan();
    });
    engine.setModuleListHook([this] { requestScan(); });
}

SigrokSource::~SigrokSource() {
    m_impl->engine.setModuleListHook({});
    m_impl->loader->stop(); // ends a running load; it posts nothing more
    m_impl->loop.call([impl = m_impl.get()] { impl->shutDown(); });
}

void SigrokSource::requestScan() {
    std::lock_guard lock(m_impl->mutex);
    if (m_impl->scheduled || m_impl->quit) return;
    m_impl->scheduled = true;
    m_impl->loop.post([impl = m_impl.get()] { impl->maybeScan(); });
}

int SigrokSource::scansDone() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->scans;
}

bool SigrokSource::waitForScans(int n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_impl->mutex);
    return m_impl->wake.wait_for(lock, timeout, [&] { return m_impl->scans >= n; });
}

const vexengine::Module* SigrokSource::module(const std::string& name) const {
    std::lock_guard lock(m_impl->mutex);
    for (AcquiredModule* module : m_impl->modules)
        if (module->name() == name) return module;
    return nullptr;
}

const std::vector<std::string>& SigrokSource::defaultDrivers() {
    return defaultScanDrivers();
}

const std::vector<std::string>& SigrokSource::bufferDrivers() {
    return bufferDriverNames();
}

std::string SigrokSource::driverTag(const std::string& driver) {
    return driverTagOf(driver);
}

void SigrokSource::Impl::setUp() {
    publishProblems(problems.list());
    backends = builtInBackends(*loader);
    for (const auto& [driver, backend] : options.backends)
        backends[driver] = backend;
    for (const auto& [driver, backend] : backends) {
        std::string error;
        if (!backend->init(error)) log("device " + driver + ": " + error);
    }
    sigrok = makeSigrokBackend(options.log);
    std::string error;
    if (!sigrok->init(error)) {
        log(error + ": no logic analysers");
        sigrok.reset();
    }
    std::vector<DeviceConfig> configs = options.configs;
    const bool byDefault = configs.empty();
    if (byDefault) {
        const auto& drivers =
            options.defaultDrivers.empty() ? defaultDrivers() : options.defaultDrivers;
        for (const std::string& driver : drivers)
            configs.push_back(DeviceConfig{driver, {}});
        std::string left;
        for (const std::string& driver : bufferDrivers())
            left += (left.empty() ? "" : ", ") + driver;
        log("not in the default scan, as their analysers acquire one memory buffer at a "
            "time (a device config counts one buffer per gate): " +
            left);
    }
    for (const DeviceConfig& config : configs) {
        Target target;
        target.config = config;
        target.fromConfig = !byDefault;
        auto it = backends.find(config.driver);
        target.backend = it != backends.end() ? it->second.get() : sigrok.get();
        std::string why;
        if (!target.backend || !target.backend->prepare(config, why)) {
            target.unusable = true;
            // A default driver missing from this libsigrok build is no news.
            if (target.fromConfig) reportUnusable(target, why);
        }
        targets.push_back(std::move(target));
    }
}

void SigrokSource::Impl::maybeScan() {
    {
        std::lock_guard lock(mutex);
        if (quit) return;
    }
    // At most one scan per interval: a request meanwhile waits for its turn.
    const auto due = lastScanEnd + options.rescanInterval;
    const auto now = std::chrono::steady_clock::now();
    if (lastScanEnd != std::chrono::steady_clock::time_point{} && now < due) {
        loop.after(std::chrono::ceil<std::chrono::milliseconds>(due - now),
                   [this] { maybeScan(); });
        return;
    }
    {
        std::lock_guard lock(mutex);
        scheduled = false;
    }
    if (options.beforeScan) options.beforeScan();
    scan();
    lastScanEnd = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex);
    ++scans;
    wake.notify_all();
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
    reviewTargets();
}

void SigrokSource::Impl::scanTarget(Target& target) {
    // A default driver's rescan renews the driver's devices, so none of them
    // may be in use: no acquisition can start meanwhile (this is the thread
    // that starts them). Configs (several may share a driver) add to the
    // list: they are scanned again only once their devices are gone.
    for (AcquiredModule* module : target.modules)
        if (module->active()) return;
    for (AcquiredModule* module : target.modules)
        module->dropDevice();
    match(target, target.backend->scan(target.config, !target.fromConfig));
}

void SigrokSource::Impl::match(Target& target, std::vector<std::unique_ptr<Device>> devices) {
    // Not logic analysers: ignored.
    std::erase_if(devices, [](const auto& d) { return d->info().logicChannels == 0; });
    std::vector<ModuleIdentity> known;
    for (AcquiredModule* m : target.modules)
        known.push_back({m->deviceInfo().serial, m->deviceInfo().connection,
                         m->state() == AcquiredModule::State::lost});
    std::vector<DeviceIdentity> found;
    for (const auto& d : devices)
        found.push_back({d->info().serial, d->info().connection});
    const std::vector<int> owner = matchDevices(known, found);
    std::vector<bool> matched(target.modules.size(), false);
    for (size_t d = 0; d < devices.size(); ++d) {
        if (owner[d] < 0) continue;
        AcquiredModule* module = target.modules[static_cast<size_t>(owner[d])];
        matched[static_cast<size_t>(owner[d])] = true;
        module->attach(std::move(devices[d]));
        if (known[static_cast<size_t>(owner[d])].lost) log(module->name() + ": device back");
    }
    // Modules whose device the scan did not find have lost it.
    for (size_t m = 0; m < target.modules.size(); ++m)
        if (!matched[m] && !known[m].lost) target.modules[m]->detach();
    // New devices.
    for (auto& device : devices)
        if (device) add(target, std::move(device));
}

void SigrokSource::Impl::add(Target& target, std::unique_ptr<Device> device) {
    const DeviceInfo info = device->info();
    const std::string tag = SigrokSource::driverTag(target.config.driver);
    std::set<std::string> taken;
    vexengine::ModuleEntry entry;
    for (int i = 0; engine.moduleAt(i, entry) == vexengine::Result::ok; ++i)
        taken.insert(entry.name);
    for (int& index = lastIndex[tag]; index < 99;) {
        ++index;
        const std::string name = "QV" + tag + (index < 10 ? "0" : "") + std::to_string(index);
        if (taken.count(name)) continue;
        auto module = std::make_unique<AcquiredModule>(
            name, loop, std::move(device), [this](const std::string& line) { log(line); },
            options.debug);
        module->setReference(target.config.reference);
        AcquiredModule* raw = module.get();
        engine.addModule(std::move(module));
        target.modules.push_back(raw);
        {
            std::lock_guard lock(mutex);
            modules.push_back(raw);
        }
        std::string what = info.vendor;
        what += (what.empty() || info.model.empty() ? "" : " ") + info.model;
        log(name + ": " + what + " (" + target.config.driver + ", " +
            std::to_string(info.logicChannels) + " logic channels)");
        return;
    }
    log("device " + target.config.driver + ": no free module name left");
}

void SigrokSource::Impl::shutDown() {
    {
        std::lock_guard lock(mutex);
        quit = true;
    }
    for (AcquiredModule* module : modules)
        module->beginShutdown();
    loop.runUntil(
        [&] {
            return std::none_of(modules.begin(), modules.end(),
                                [](AcquiredModule* m) { return m->active(); });
        },
        std::chrono::seconds(3));
    for (AcquiredModule* module : modules)
        module->finishShutdown();
    for (auto& [driver, backend] : backends)
        backend->shutdown();
    if (sigrok) sigrok->shutdown();
}

// --- Device problems: the hooks between the source and DeviceProblems,
// CaptureLoader and checkAttached().

void SigrokSource::Impl::startLoader() {
    CaptureLoader::Options loading;
    loading.retryInterval = options.captureRetry;
    loading.log = [this](const std::string& line) { log(line); };
    loading.done = [this](const CaptureFile& file, const std::string& error) {
        loop.post([this, file, error] { captureLoaded(file, error); });
    };
    loader = std::make_unique<CaptureLoader>(std::move(loading));
}

// Loop: a load ended. A loaded capture is looked for at once (not at the
// next rescan); a failed one stays a problem until it loads.
void SigrokSource::Impl::captureLoaded(const CaptureFile& file, const std::string& error) {
    const std::string key = "capture " + captureKey(file);
    if (!error.empty()) {
        problems.report(key, "device replay: " + error, true);
        return;
    }
    problems.clear(key);
    {
        std::lock_guard lock(mutex);
        if (quit) return;
    }
    scan();
}

void SigrokSource::Impl::reportUnusable(const Target& target, const std::string& why) {
    problems.report("config " + configText(target.config), "device " + configText(target.config) +
                                                               ": " +
                                                               (why.empty() ? "unavailable" : why));
}

// Loop, after each scan: configured devices never found, and what the
// attached devices make of their configs.
void SigrokSource::Impl::reviewTargets() {
    for (const Target& target : targets) {
        if (!target.fromConfig || target.unusable) continue;
        const std::string text = configText(target.config);
        const auto present = std::find_if(target.modules.begin(), target.modules.end(),
                                          [](AcquiredModule* m) { return m->present(); });
        // A replay's device is there once its capture loads (the loader
        // lists why not).
        if (present == target.modules.end() && target.config.driver != kReplayDriver)
            problems.report("found " + text,
                            "device " + text + ": not found (looked for again at each rescan)");
        else
            problems.clear("found " + text);
        std::string attached;
        if (present != target.modules.end())
            for (const std::string& problem :
                 checkAttached(target.config, (*present)->deviceInfo()))
                attached += (attached.empty() ? "" : "; ") + problem;
        if (attached.empty())
            problems.clear("attached " + text);
        else
            problems.report("attached " + text, attached);
    }
}

void SigrokSource::Impl::publishProblems(std::vector<std::string> list) {
    list.insert(list.begin(), options.problems.begin(), options.problems.end());
    engine.setDeviceProblems(std::move(list));
}

} // namespace vexacq
