// The engine: sessions and the module registry behind one mutex; counting
// and pin status delegate to each module, whatever its kind.
#include "Engine.h"

#include "Counter.h"
#include "Module.h"
#include "Simulations.h"

#include <algorithm>
#include <ctime>
#include <map>

namespace vexengine {

int64_t SteadyClock::now() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string ServerIdentity::text() const {
    return name + ',' + version + ',' + startDate + ',' + startTime;
}

struct Engine::Session {
    Module* module = nullptr;
    uint64_t losses = 0;       // the module's losses() when the session opened it
    bool gone = false;         // its module was taken from it after a loss; not told yet
    bool countPending = false; // a count was started and its end is not reported yet
    CountSettings settings;    // of that count
};

struct Engine::State {
    std::vector<std::unique_ptr<Module>> modules;
    std::map<SessionId, Session> sessions;
    SessionId nextSession = 1;
};

namespace {

// Commas separate the identity fields, so none may appear inside one.
std::string fieldText(std::string text) {
    std::replace(text.begin(), text.end(), ',', ' ');
    return text;
}

std::string formatLocal(std::chrono::system_clock::time_point when, const char* format) {
    std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char buffer[32];
    size_t n = std::strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, n);
}

} // namespace

Engine::Engine(std::shared_ptr<const Clock> clock, EngineOptions options)
    : m_clock(std::move(clock)), m_origin(m_clock->now()), m_state(std::make_unique<State>()) {
    m_identity.name = fieldText(options.serverName);
    m_identity.version = fieldText(options.version);
    m_identity.startDate = formatLocal(options.startedAt, "%Y-%m-%d");
    m_identity.startTime = formatLocal(options.startedAt, "%H:%M:%S");
    m_state->modules = makeSimulatedModules();
}

Engine::~Engine() = default;

int64_t Engine::elapsed() const {
    return m_clock->now() - m_origin;
}

ServerIdentity Engine::identity() const {
    return m_identity;
}

Engine::Session* Engine::findSession(SessionId id) const {
    auto it = m_state->sessions.find(id);
    return it == m_state->sessions.end() ? nullptr : &it->second;
}

Result Engine::heldModule(SessionId id, Module*& module) {
    Session* session = findSession(id);
    if (!session) return Result::badSession;
    module = session->module;
    if (session->gone) {
        session->gone = false;
        return Result::moduleGone;
    }
    if (!module) return Result::noModuleOpen;
    if (lostFor(*session, *module)) {
        releaseLocked(*session);
        module = nullptr;
        return Result::moduleGone;
    }
    return Result::ok;
}

bool Engine::lostFor(const Session& session, const Module& module) {
    return !module.present() || module.losses() != session.losses;
}

SessionId Engine::listedHolder(const Module& module) const {
    const SessionId holder = module.holder();
    const Session* session = holder != 0 ? findSession(holder) : nullptr;
    return session && lostFor(*session, module) ? 0 : holder;
}

void Engine::releaseLocked(Session& session) {
    session.countPending = false;
    if (!session.module) return;
    session.module->release();
    session.module->setHolder(0);
    session.module = nullptr;
}

void Engine::callListHook() const {
    std::lock_guard lock(m_hookMutex);
    if (m_listHook) m_listHook();
}

void Engine::setModuleListHook(std::function<void()> hook) {
    std::lock_guard lock(m_hookMutex);
    m_listHook = std::move(hook);
}

void Engine::setFinishedCountHook(std::function<void(const FinishedCount&)> hook) {
    std::lock_guard lock(m_finishHookMutex);
    m_finishHookSet = static_cast<bool>(hook);
    m_finishHook = std::move(hook);
}

void Engine::collectFinished(Session& session, bool stopped, std::vector<FinishedCount>& finished) {
    Module* module = session.module;
    if (!session.countPending || !module || !m_finishHookSet) return;
    if (lostFor(session, *module)) return; // a lost device's count tells nothing
    const int64_t now = elapsed();
    CounterStatus status;
    module->status(now, status);
    if (status.busy) return;
    session.countPending = false;
    FinishedCount& count = finished.emplace_back();
    count.module = module->name();
    count.settings = session.settings;
    count.channelStates = std::move(status.channelStates);
    module->counts(now, count.counts);
    module->measures(now, count.measures);
    count.timeBase = module->timeBase();
    count.stopped = stopped;
    count.noticedAt = std::chrono::system_clock::now();
}

void Engine::deliver(const std::vector<FinishedCount>& finished) {
    if (finished.empty()) return;
    std::lock_guard lock(m_finishHookMutex);
    if (!m_finishHook) return;
    for (const FinishedCount& count : finished)
        m_finishHook(count);
}

std::vector<ModuleReport> Engine::moduleReports() const {
    std::lock_guard lock(m_mutex);
    std::vector<ModuleReport> reports;
    reports.reserve(m_state->modules.size());
    for (const auto& m : m_state->modules)
        reports.push_back(
            ModuleReport{ModuleEntry{m->name(), m->model(), m->present(), listedHolder(*m)},
                         m->channelCount(), m->acquisitionStats(), m->timeBase()});
    return reports;
}

Module* Engine::addModule(std::unique_ptr<Module> module) {
    std::lock_guard lock(m_mutex);
    for (const auto& m : m_state->modules)
        if (m->name() == module->name()) return nullptr;
    m_state->modules.push_back(std::move(module));
    return m_state->modules.back().get();
}

SessionId Engine::openSession() {
    std::lock_guard lock(m_mutex);
    SessionId id = m_state->nextSession++;
    m_state->sessions.emplace(id, Session{});
    return id;
}

void Engine::closeSession(SessionId id) {
    std::vector<FinishedCount> finished;
    std::unique_lock lock(m_mutex);
    auto it = m_state->sessions.find(id);
    if (it == m_state->sessions.end()) return;
    collectFinished(it->second, false, finished);
    releaseLocked(it->second);
    m_state->sessions.erase(it);
    lock.unlock();
    deliver(finished);
}

bool Engine::hasSession(SessionId id) const {
    std::lock_guard lock(m_mutex);
    return findSession(id) != nullptr;
}

int Engine::sessionCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_state->sessions.size());
}

int Engine::moduleCount() const {
    callListHook();
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_state->modules.size());
}

Result Engine::moduleAt(int index, ModuleEntry& entry) const {
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= static_cast<int>(m_state->modules.size()))
        return Result::noSuchModule;
    const Module& m = *m_state->modules[static_cast<size_t>(index)];
    entry = ModuleEntry{m.name(), m.model(), m.present(), listedHolder(m)};
    return Result::ok;
}

std::vector<ModuleEntry> Engine::modules() const {
    callListHook();
    std::lock_guard lock(m_mutex);
    std::vector<ModuleEntry> list;
    for (const auto& m : m_state->modules)
        list.push_back(ModuleEntry{m->name(), m->model(), m->present(), listedHolder(*m)});
    return list;
}

Result Engine::openModule(SessionId id, std::string_view name) {
    std::vector<FinishedCount> finished;
    std::unique_lock lock(m_mutex);
    Session* session = findSession(id);
    if (!session) return Result::badSession;
    auto it = std::find_if(m_state->modules.begin(), m_state->modules.end(),
                           [&](const auto& m) { return m->name() == name; });
    if (it == m_state->modules.end() || !(*it)->present()) return Result::noSuchModule;
    Module& module = **it;
    if (module.holder() != 0 && module.holder() != id) {
        // A holder whose device went away holds the returned device no
        // longer: it opens afresh, and the old holder still learns of the loss.
        Session* holder = findSession(module.holder());
        if (holder && !lostFor(*holder, module)) return Result::moduleTaken;
        if (holder) {
            releaseLocked(*holder);
            holder->gone = true;
        }
    }
    collectFinished(*session, false, finished);
    if (session->module != &module) releaseLocked(*session);
    session->countPending = false;
    session->gone = false;
    session->losses = module.losses();
    module.setHolder(id);
    session->module = &module;
    module.open(elapsed());
    lock.unlock();
    deliver(finished);
    return Result::ok;
}

Result Engine::closeModule(SessionId id) {
    std::vector<FinishedCount> finished;
    std::unique_lock lock(m_mutex);
    Session* session = findSession(id);
    if (!session) return Result::badSession;
    collectFinished(*session, false, finished);
    releaseLocked(*session);
    session->gone = false;
    lock.unlock();
    deliver(finished);
    return Result::ok;
}

Result Engine::isModuleOpen(SessionId id, bool& open) {
    std::lock_guard lock(m_mutex);
    Module* module = nullptr;
    const Result r = heldModule(id, module);
    if (r != Result::ok && r != Result::noModuleOpen) return r;
    open = module != nullptr;
    return Result::ok;
}

Result Engine::channelCount(SessionId id, int& channels) {
    std::lock_guard lock(m_mutex);
    Module* module = nullptr;
    if (Result r = heldModule(id, module); r != Result::ok) return r;
    channels = module->channelCount();
    return Result::ok;
}

Result Engine::pinStatus(SessionId id, int capacity, std::string& pins) {
    std::lock_guard lock(m_mutex);
    Module* module = nullptr;
    if (Result r = heldModule(id, module); r != Result::ok) return r;
    if (capacity < module->channelCount()) return Result::badArgument;
    module->pins(elapsed(), pins);
    return Result::ok;
}

Result Engine::setThreshold(SessionId id, int which, int tenthsOfVolt) {
    std::lock_guard lock(m_mutex);
    Module* module = nullptr;
    if (Result r = heldModule(id, module); r != Result::ok) return r;
    if (which < 0 || which > 1 || tenthsOfVolt < 8 || tenthsOfVolt > 25) return Result::badArgument;
    module->setThreshold(which, tenthsOfVolt);
    return Result::ok;
}

Result Engine::threshold(SessionId id, int which, int& tenthsOfVolt) {
    std::lock_guard lock(m_mutex);
    Module* module = nullptr;
    if (Result r = heldModule(id, module); r != Result::ok) return r;
    if (which < 0 || which > 1) return Result::badArgument;
    tenthsOfVolt = module->threshold(which);
    return Result::ok;
}

Result Engine::startCount(SessionId id, const CountSettings& settings) {
    std::vector<FinishedCount> finished;
    std::unique_lock lock(m_mutex);
    Module* module = nullptr;
    if (Result r = heldModule(id, module); r != Result::ok) return r;
    if (!validCountSettings(settings)) return Result::badArgument;
    Session& session = *findSession(id);
    collectFinished(session, false, finished); // the count this one replaces
    module->start(settings, elapsed());
    session.countPending = true;
    session.settings = settings;
    lock.unlock();
    deliver(finished);
    return Result::ok;
}

Result Engine::stopCount(SessionId id) {
    std::vector<FinishedCount> finished;
    std::unique_lock lock(m_mutex);
    Module* module = nullptr;
    if (Result r = heldModule(id, module); r != Result::ok) return r;
    Session& session = *findSession(id);
    collectFinished(session, false, finished); // ended by itself before the stop
    module->stop(elapsed());
    collectFinished(session, true, finished);
    lock.unlock();
    deliver(finished);
    return Result::ok;
}

Result Engine::counterStatus(SessionId id, int capacity, CounterStatus& status) {
    std::vector<FinishedCount> finished;
    std::unique_lock lock(m_mutex);
    Module* module = nullptr;
    if (Result r = heldModule(id, module); r != Result::ok) return r;
    if (capacity < module->channelCount()) return Result::badArgument;
    module->status(elapsed(), status);
    collectFinished(*findSession(id), false, finished);
    lock.unlock();
    deliver(finished);
    return Result::ok;
}

Result Engine::counts(SessionId id, int capacity, std::vector<int64_t>& counts) {
    std::vector<FinishedCount> finished;
    std::unique_lock lock(m_mutex);
    Module* module = nullptr;
    if (Result r = heldModule(id, module); r != Result::ok) return r;
    if (capacity < module->channelCount()) return Result::badArgument;
    module->counts(elapsed(), counts);
    collectFinished(*findSession(id), false, finished);
    lock.unlock();
    deliver(finished);
    return Result::ok;
}

Result Engine::measures(SessionId id, std::vector<ChannelMeasures>& measures) {
    std::vector<FinishedCount> finished;
    std::unique_lock lock(m_mutex);
    Module* module = nullptr;
    if (Result r = heldModule(id, module); r != Result::ok) return r;
    module->measures(elapsed(), measures);
    collectFinished(*findSession(id), false, finished);
    lock.unlock();
    deliver(finished);
    return Result::ok;
}

Result Engine::timeBase(SessionId id, TimeBase& timeBase) {
    std::lock_guard lock(m_mutex);
    Module* module = nullptr;
    if (Result r = heldModule(id, module); r != Result::ok) return r;
    timeBase = module->timeBase();
    return Result::ok;
}

Result Engine::countSettings(SessionId id, CountSettings& settings) {
    std::lock_guard lock(m_mutex);
    Module* module = nullptr;
    if (Result r = heldModule(id, module); r != Result::ok) return r;
    settings = findSession(id)->settings;
    return Result::ok;
}

void Engine::setDeviceProblems(std::vector<std::string> problems) {
    std::lock_guard lock(m_problemsMutex);
    m_deviceProblems = std::move(problems);
}

std::vector<std::string> Engine::deviceProblems() const {
    std::lock_guard lock(m_problemsMutex);
    return m_deviceProblems;
}

} // namespace vexengine
