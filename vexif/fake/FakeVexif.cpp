// The scripted fake of libvexif: state, scripts, call log and the 15 QV_
// functions. FakeVexif.h describes the behaviour.
#include "FakeVexifState.h"

#include "Arguments.h"
#include "ModelTable.h"
#include "vexif.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

namespace fakevexif {
namespace {

const Module* findModule(const State& s, std::string_view name) {
    for (const Module& m : s.modules)
        if (m.name == name) return &m;
    return nullptr;
}

template <typename T>
std::vector<T> nextAnswer(std::deque<std::vector<T>>& queue, const std::vector<T>& steady) {
    if (queue.empty()) return steady;
    std::vector<T> v = std::move(queue.front());
    queue.pop_front();
    return v;
}

template <typename T> void copyPadded(const std::vector<T>& from, T* to, int32_t count) {
    for (int32_t i = 0; i < count; ++i)
        to[i] = static_cast<size_t>(i) < from.size() ? from[static_cast<size_t>(i)] : T{};
}

} // namespace

State& state() {
    static State s;
    return s;
}

int32_t enter(State& s, Call call) {
    std::string fn = call.function;
    s.log.push_back(std::move(call));
    auto it = s.failures.find(fn);
    if (it == s.failures.end()) return QV_OK;
    int32_t status = it->second.status;
    if (it->second.remaining > 0 && --it->second.remaining == 0) s.failures.erase(it);
    return status;
}

Call makeCall(const char* fn, std::vector<int64_t> args, std::vector<bool> pointersNull) {
    Call c;
    c.function = fn;
    c.args = std::move(args);
    c.pointersNull = std::move(pointersNull);
    return c;
}

// Logs at most 256 characters of a text argument, so a missing terminator
// is not chased through memory.
Call withText(Call c, const char* text) {
    c.textNull = text == nullptr;
    if (text) c.text.assign(text, strnlen(text, 256));
    return c;
}

// Connected session of handle, or the status that refuses it.
int32_t session(State& s, int32_t handle, Session** out) {
    auto it = s.sessions.find(handle);
    if (it == s.sessions.end()) return QV_ERR_BAD_HANDLE;
    if (!it->second.connected) return QV_ERR_NOT_CONNECTED;
    *out = &it->second;
    return QV_OK;
}

int32_t openChannels(State& s, const Session& session, int32_t* channels) {
    if (session.module.empty() || s.vanished) return QV_ERR_NO_MODULE_OPEN;
    const Module* m = findModule(s, session.module);
    *channels = m ? vexif::modelChannelCount(m->model) : 0;
    return QV_OK;
}

void reset() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.resetLocked();
}

void failNext(std::string_view fn, int32_t status, int times) {
    if (times <= 0) return;
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.failures[std::string(fn)] = Failure{status, times};
}

void failAlways(std::string_view fn, int32_t status) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.failures[std::string(fn)] = Failure{status, -1};
}

void clearFailures() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.failures.clear();
}

void setModules(std::vector<Module> modules) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.modules = std::move(modules);
}

void setPinText(std::string pins) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.pins = std::move(pins);
}

void setStatusWords(std::vector<uint32_t> words) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.statusWords = std::move(words);
}

void setCounts(std::vector<int64_t> counts) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.counts = std::move(counts);
}

void queueStatusWords(std::vector<uint32_t> words) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.statusQueue.push_back(std::move(words));
}

void queueCounts(std::vector<int64_t> counts) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.countsQueue.push_back(std::move(counts));
}

void setServerId(std::string id) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.serverId = std::move(id);
}

void setModuleVanished(bool vanished) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.vanished = vanished;
}

std::vector<Call> calls() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.log;
}

void clearCalls() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.log.clear();
}

int callCount(std::string_view fn) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return static_cast<int>(
        std::count_if(s.log.begin(), s.log.end(), [&](const Call& c) { return c.function == fn; }));
}

std::vector<Call> callsOf(std::string_view fn) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    std::vector<Call> out;
    for (const Call& c : s.log)
        if (c.function == fn) out.push_back(c);
    return out;
}

std::optional<Call> lastCall(std::string_view fn) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    for (auto it = s.log.rbegin(); it != s.log.rend(); ++it)
        if (it->function == fn) return *it;
    return std::nullopt;
}

std::vector<std::string> callNames() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    std::vector<std::string> out;
    for (const Call& c : s.log)
        out.push_back(c.function);
    return out;
}

std::string openModule(int32_t handle) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.sessions.find(handle);
    return it == s.sessions.end() ? std::string() : it->second.module;
}

int liveHandles() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return static_cast<int>(s.sessions.size());
}

} // namespace fakevexif

using fakevexif::Call;
using fakevexif::makeCall;
using fakevexif::Session;
using fakevexif::withText;

extern "C" {

int32_t QV_Initialize(int32_t* handle) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, makeCall("QV_Initialize", {}, {handle == nullptr}))) return st;
    if (!handle) return QV_ERR_BAD_ARGUMENT;
    int32_t h = s.nextHandle++;
    s.sessions[h] = Session{};
    *handle = h;
    return QV_OK;
}

int32_t QV_ConnectToServer(int32_t handle, const char* host, int32_t port) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, withText(makeCall("QV_ConnectToServer", {handle, port}), host)))
        return st;
    auto it = s.sessions.find(handle);
    if (it == s.sessions.end()) return QV_ERR_BAD_HANDLE;
    if (it->second.connected) return QV_ERR_ALREADY_CONNECTED;
    if (port < 0 || port > 65535) return QV_ERR_BAD_ARGUMENT;
    if (host && strnlen(host, 256) > 255) return QV_ERR_BAD_ARGUMENT;
    it->second.connected = true;
    return QV_OK;
}

int32_t QV_Finalize(int32_t handle) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, makeCall("QV_Finalize", {handle}))) return st;
    return s.sessions.erase(handle) ? QV_OK : QV_ERR_BAD_HANDLE;
}

int32_t QV_QueryServerID(int32_t handle, char* buffer, int32_t length) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, makeCall("QV_QueryServerID", {handle, length}, {buffer == nullptr})))
        return st;
    Session* session = nullptr;
    if (int32_t st = fakevexif::session(s, handle, &session)) return st;
    if (!buffer || length < 1) return QV_ERR_BAD_ARGUMENT;
    size_t n = std::min(s.serverId.size(), static_cast<size_t>(length - 1));
    std::memcpy(buffer, s.serverId.data(), n);
    buffer[n] = '\0';
    return QV_OK;
}

int32_t QV_ModCount(int32_t handle, int32_t* count) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, makeCall("QV_ModCount", {handle}, {count == nullptr}))) return st;
    Session* session = nullptr;
    if (int32_t st = fakevexif::session(s, handle, &session)) return st;
    if (!count) return QV_ERR_BAD_ARGUMENT;
    *count = static_cast<int32_t>(s.modules.size());
    return QV_OK;
}

int32_t QV_ModInfo(int32_t handle, int32_t index, char* name, char* info) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st =
            enter(s, makeCall("QV_ModInfo", {handle, index}, {name == nullptr, info == nullptr})))
        return st;
    Session* session = nullptr;
    if (int32_t st = fakevexif::session(s, handle, &session)) return st;
    if (!name || !info) return QV_ERR_BAD_ARGUMENT;
    if (index < 0 || static_cast<size_t>(index) >= s.modules.size()) return QV_ERR_NO_SUCH_MODULE;
    const fakevexif::Module& m = s.modules[static_cast<size_t>(index)];
    std::memset(name, 0, QV_MODULE_NAME_SIZE);
    std::memcpy(name, m.name.data(), std::min<size_t>(m.name.size(), QV_MODULE_NAME_SIZE - 1));
    info[0] = m.model;
    info[1] = m.freeFlag;
    info[2] = m.present;
    info[3] = 0;
    return QV_OK;
}

int32_t QV_OpenMod(int32_t handle, const char* name) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, withText(makeCall("QV_OpenMod", {handle}), name))) return st;
    Session* session = nullptr;
    if (int32_t st = fakevexif::session(s, handle, &session)) return st;
    if (!name) return QV_ERR_BAD_ARGUMENT;
    size_t length = strnlen(name, QV_MODULE_NAME_SIZE);
    if (length == 0 || length >= QV_MODULE_NAME_SIZE) return QV_ERR_NO_SUCH_MODULE;
    const fakevexif::Module* m = fakevexif::findModule(s, std::string_view(name, length));
    if (!m || m->present != 'p') return QV_ERR_NO_SUCH_MODULE;
    if (m->freeFlag != 'f') return QV_ERR_MODULE_TAKEN;
    session->module = m->name;
    return QV_OK;
}

int32_t QV_ModIsOpen(int32_t handle, int32_t* isOpen) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, makeCall("QV_ModIsOpen", {handle}, {isOpen == nullptr}))) return st;
    Session* session = nullptr;
    if (int32_t st = fakevexif::session(s, handle, &session)) return st;
    if (!isOpen) return QV_ERR_BAD_ARGUMENT;
    *isOpen = !session->module.empty() && !s.vanished ? 1 : 0;
    return QV_OK;
}

int32_t QV_CloseMod(int32_t handle) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, makeCall("QV_CloseMod", {handle}))) return st;
    Session* session = nullptr;
    if (int32_t st = fakevexif::session(s, handle, &session)) return st;
    session->module.clear();
    return QV_OK;
}

int32_t QV_Info(int32_t modelCode, QV_ModuleInfo* info, int32_t length) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, makeCall("QV_Info", {modelCode, length}, {info == nullptr})))
        return st;
    if (!info || length < QV_MODULE_INFO_BYTES) return QV_ERR_BAD_ARGUMENT;
    return vexif::fillModelInfo(modelCode, info) ? QV_OK : QV_ERR_UNKNOWN_MODEL;
}

int32_t QV_GetPinStatus(int32_t handle, char* buffer, int32_t length) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, makeCall("QV_GetPinStatus", {handle, length}, {buffer == nullptr})))
        return st;
    Session* session = nullptr;
    if (int32_t st = fakevexif::session(s, handle, &session)) return st;
    int32_t n = 0;
    if (int32_t st = fakevexif::openChannels(s, *session, &n)) return st;
    if (!buffer || length < n) return QV_ERR_BAD_ARGUMENT;
    for (int32_t i = 0; i < n; ++i)
        buffer[i] = static_cast<size_t>(i) < s.pins.size() ? s.pins[static_cast<size_t>(i)] : '0';
    return QV_OK;
}

int32_t QV_SetThreshold(int32_t handle, int32_t which, int32_t tenthsOfVolt) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, makeCall("QV_SetThreshold", {handle, which, tenthsOfVolt})))
        return st;
    Session* session = nullptr;
    if (int32_t st = fakevexif::session(s, handle, &session)) return st;
    int32_t n = 0;
    if (int32_t st = fakevexif::openChannels(s, *session, &n)) return st;
    return vexif::validThreshold(which, tenthsOfVolt) ? QV_OK : QV_ERR_BAD_ARGUMENT;
}

int32_t QV_FCRun(int32_t handle, int32_t counterType, int32_t edgeCode, int32_t gateCode,
                 const char* channelCodes, int32_t run) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    // The log keeps at most the eight channel codes, so a short or unterminated
    // text is not read past what the real library would read.
    Call call = makeCall("QV_FCRun", {handle, counterType, edgeCode, gateCode, run});
    call.textNull = channelCodes == nullptr;
    if (channelCodes) call.text.assign(channelCodes, strnlen(channelCodes, 8));
    if (int32_t st = enter(s, std::move(call))) return st;
    Session* session = nullptr;
    if (int32_t st = fakevexif::session(s, handle, &session)) return st;
    int32_t n = 0;
    if (int32_t st = fakevexif::openChannels(s, *session, &n)) return st;
    if (run == 0) return QV_OK;
    if (run != 1) return QV_ERR_BAD_ARGUMENT;
    return vexif::validRunArguments(counterType, edgeCode, gateCode, channelCodes)
               ? QV_OK
               : QV_ERR_BAD_ARGUMENT;
}

int32_t QV_FCGetStatus(int32_t handle, uint32_t* words, int32_t count) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, makeCall("QV_FCGetStatus", {handle, count}, {words == nullptr})))
        return st;
    Session* session = nullptr;
    if (int32_t st = fakevexif::session(s, handle, &session)) return st;
    int32_t n = 0;
    if (int32_t st = fakevexif::openChannels(s, *session, &n)) return st;
    if (!words || count < n + 1) return QV_ERR_BAD_ARGUMENT;
    fakevexif::copyPadded(fakevexif::nextAnswer(s.statusQueue, s.statusWords), words, count);
    return QV_OK;
}

int32_t QV_FCGetCounts(int32_t handle, int64_t* counts, int32_t count) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, makeCall("QV_FCGetCounts", {handle, count}, {counts == nullptr})))
        return st;
    Session* session = nullptr;
    if (int32_t st = fakevexif::session(s, handle, &session)) return st;
    int32_t n = 0;
    if (int32_t st = fakevexif::openChannels(s, *session, &n)) return st;
    if (!counts || count < n) return QV_ERR_BAD_ARGUMENT;
    fakevexif::copyPadded(fakevexif::nextAnswer(s.countsQueue, s.counts), counts, count);
    return QV_OK;
}

} // extern "C"
