// The built-in server: each call maps onto the process engine's session.
#include "LocalBackend.h"

#include "ConfigCheck.h"
#include "SigrokSource.h"

#include <condition_variable>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <variant>

namespace vexif {

namespace {

int32_t status(vexengine::Result r) {
    return static_cast<int32_t>(r);
}

// The engine and the source that adds the logic analysers to it; the source
// goes first (it stops its acquisitions while the engine still holds them).
vexengine::EngineOptions builtInOptions() {
    vexengine::EngineOptions options;
    options.version = VEXIF_VERSION_TEXT;
    return options;
}

struct BuiltInServer {
    vexengine::Engine engine{std::make_shared<vexengine::SteadyClock>(), builtInOptions()};
    std::unique_ptr<vexacq::SigrokSource> source;

    BuiltInServer() {
        // VEXIF_DEVICES unset: look for USB logic analysers; set: exactly the
        // configs it lists (";" between them), none when it is empty.
        vexacq::SourceOptions options;
        options.log = [](const std::string& line) { std::cerr << "libvexif: " << line << "\n"; };
        if (const char* devices = std::getenv("VEXIF_DEVICES")) {
            // A bad entry drops only itself and is listed as a device problem.
            vexacq::DeviceEntries entries = vexacq::readDeviceEntries(devices);
            for (const vexacq::ConfigError& error : entries.errors) {
                std::cerr << "libvexif: VEXIF_DEVICES: " << error.message << "\n";
                options.problems.push_back("VEXIF_DEVICES: " + error.message);
            }
            options.configs = std::move(entries.configs);
            if (options.configs.empty()) {
                engine.setDeviceProblems(options.problems);
                return;
            }
        }
        source = std::make_unique<vexacq::SigrokSource>(engine, std::move(options));
    }
    ~BuiltInServer() { source.reset(); }
};

} // namespace

std::shared_ptr<vexengine::Engine> builtInEngine() {
    static std::mutex mutex;
    static std::condition_variable gone;
    static bool alive = false; // a built-in server exists, perhaps still being torn down
    static std::weak_ptr<vexengine::Engine> shared;
    std::unique_lock lock(mutex);
    std::shared_ptr<vexengine::Engine> engine = shared.lock();
    if (!engine) {
        // libsigrok keeps its drivers' state in globals: a new server's
        // context must not start while the last one's is still shutting
        // down on another thread (its last handle finalised just now).
        gone.wait(lock, [] { return !alive; });
        auto owned = std::make_unique<BuiltInServer>();
        alive = true;
        BuiltInServer* server = owned.release();
        engine = std::shared_ptr<vexengine::Engine>(&server->engine, [server](vexengine::Engine*) {
            delete server;
            std::lock_guard lock(mutex);
            alive = false;
            gone.notify_all();
        });
        shared = engine;
    }
    return engine;
}

LocalBackend::LocalBackend(std::shared_ptr<vexengine::Engine> engine)
    : m_engine(std::move(engine)), m_session(m_engine->openSession()) {}

LocalBackend::~LocalBackend() {
    m_engine->closeSession(m_session);
}

int32_t LocalBackend::serverId(std::string& text) {
    text = m_engine->identity().text();
    return QV_OK;
}

int32_t LocalBackend::moduleCount(int32_t& count) {
    count = m_engine->moduleCount();
    return QV_OK;
}

int32_t LocalBackend::moduleInfo(int32_t index, ModuleRecord& record) {
    vexengine::ModuleEntry entry;
    if (vexengine::Result r = m_engine->moduleAt(index, entry); r != vexengine::Result::ok)
        return status(r);
    record.name = entry.name;
    record.model = entry.model;
    record.freeFlag = entry.freeFlagFor(m_session);
    record.present = entry.present ? 'p' : '-';
    return QV_OK;
}

int32_t LocalBackend::openModule(const std::string& name) {
    return status(m_engine->openModule(m_session, name));
}

int32_t LocalBackend::isModuleOpen(bool& open) {
    return status(m_engine->isModuleOpen(m_session, open));
}

int32_t LocalBackend::closeModule() {
    return status(m_engine->closeModule(m_session));
}

int32_t LocalBackend::pinStatus(int32_t capacity, std::string& pins) {
    return status(m_engine->pinStatus(m_session, capacity, pins));
}

int32_t LocalBackend::setThreshold(int32_t which, int32_t tenthsOfVolt) {
    return status(m_engine->setThreshold(m_session, which, tenthsOfVolt));
}

int32_t LocalBackend::startCount(const CountSettings& settings) {
    return status(m_engine->startCount(m_session, settings));
}

int32_t LocalBackend::stopCount() {
    return status(m_engine->stopCount(m_session));
}

int32_t LocalBackend::counterStatus(int32_t capacity, std::vector<uint32_t>& words) {
    vexengine::CounterStatus s;
    if (vexengine::Result r = m_engine->counterStatus(m_session, capacity, s);
        r != vexengine::Result::ok)
        return status(r);
    words.clear();
    words.push_back((s.busy ? QV_STATUS_BUSY : 0u) | (s.armed ? QV_STATUS_ARMED : 0u));
    words.insert(words.end(), s.channelStates.begin(), s.channelStates.end());
    return QV_OK;
}

int32_t LocalBackend::counts(int32_t capacity, std::vector<int64_t>& counts) {
    return status(m_engine->counts(m_session, capacity, counts));
}

int32_t LocalBackend::measures(int32_t capacity, std::vector<LibraryMeasures>& measures) {
    return status(vexengine::readLibraryMeasures(*m_engine, m_session, capacity, measures));
}

int32_t LocalBackend::timeBase(TimeBase& timeBase) {
    TimeBase engineTimeBase;
    if (vexengine::Result r = m_engine->timeBase(m_session, engineTimeBase);
        r != vexengine::Result::ok)
        return status(r);
    timeBase = vexengine::libraryTimeBase(engineTimeBase);
    return QV_OK;
}

int32_t LocalBackend::deviceProblems(std::string& text) {
    text = vexengine::deviceProblemText(m_engine->deviceProblems());
    return QV_OK;
}

} // namespace vexif
