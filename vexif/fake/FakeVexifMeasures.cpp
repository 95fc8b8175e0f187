// The scripted fake of libvexif: the three requests beyond the 15 (measures,
// time base, device problems) and their scripts. FakeVexif.h describes them.
#include "FakeVexifState.h"

#include <cmath>
#include <cstring>

namespace fakevexif {

void resetMeasuresLocked(State& s) {
    s.measures.clear();
    s.timeBase = QV_TimeBase{};
    s.timeBase.size = sizeof(QV_TimeBase);
    s.timeBase.channel = -1;
    s.problems.clear();
    s.oldServer = false;
}

QV_ChannelMeasures unknownMeasures() {
    QV_ChannelMeasures m{};
    m.size = sizeof(QV_ChannelMeasures);
    m.frequency = m.period = m.positiveWidth = m.negativeWidth = m.duty = std::nan("");
    return m;
}

QV_TimeBase referenceTimeBase(double referenceHz, int32_t locked, double ppm) {
    QV_TimeBase t{};
    t.size = sizeof t;
    t.channel = referenceHz > 0.0 ? 0 : -1;
    t.referenceHz = referenceHz;
    t.locked = locked;
    t.offsetPpm = ppm;
    t.nominalRate = 12e6;
    t.measuredRate = 12e6 * (1.0 + ppm * 1e-6);
    return t;
}

void setMeasures(std::vector<QV_ChannelMeasures> measures) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.measures = std::move(measures);
}

void setTimeBase(const QV_TimeBase& timeBase) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.timeBase = timeBase;
}

void setDeviceProblems(std::string text) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.problems = std::move(text);
}

void setOldServer(bool old) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.oldServer = old;
}

} // namespace fakevexif

using fakevexif::makeCall;
using fakevexif::Session;

extern "C" {

int32_t QV_FCGetMeasures(int32_t handle, QV_ChannelMeasures* measures, int32_t count) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, makeCall("QV_FCGetMeasures", {handle, count}, {measures == nullptr})))
        return st;
    if (s.oldServer) return QV_ERR_NOT_SUPPORTED;
    Session* session = nullptr;
    if (int32_t st = fakevexif::session(s, handle, &session)) return st;
    int32_t n = 0;
    if (int32_t st = fakevexif::openChannels(s, *session, &n)) return st;
    if (!measures || count < n) return QV_ERR_BAD_ARGUMENT;
    for (int32_t i = 0; i < count; ++i)
        if (measures[i].size < static_cast<int32_t>(sizeof(QV_ChannelMeasures)))
            return QV_ERR_BAD_ARGUMENT;
    for (int32_t i = 0; i < count; ++i) {
        const auto index = static_cast<size_t>(i);
        QV_ChannelMeasures m =
            index < s.measures.size() ? s.measures[index] : fakevexif::unknownMeasures();
        m.size = measures[i].size;
        measures[i] = m;
    }
    return QV_OK;
}

int32_t QV_GetTimeBase(int32_t handle, QV_TimeBase* info) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st = enter(s, makeCall("QV_GetTimeBase", {handle}, {info == nullptr}))) return st;
    if (s.oldServer) return QV_ERR_NOT_SUPPORTED;
    Session* session = nullptr;
    if (int32_t st = fakevexif::session(s, handle, &session)) return st;
    int32_t n = 0;
    if (int32_t st = fakevexif::openChannels(s, *session, &n)) return st;
    if (!info || info->size < static_cast<int32_t>(sizeof(QV_TimeBase))) return QV_ERR_BAD_ARGUMENT;
    const int32_t size = info->size;
    *info = s.timeBase;
    info->size = size;
    return QV_OK;
}

int32_t QV_GetDeviceProblems(int32_t handle, char* buffer, int32_t length) {
    auto& s = fakevexif::state();
    std::lock_guard lock(s.mutex);
    if (int32_t st =
            enter(s, makeCall("QV_GetDeviceProblems", {handle, length}, {buffer == nullptr})))
        return st;
    if (s.oldServer) return QV_ERR_NOT_SUPPORTED;
    Session* session = nullptr;
    if (int32_t st = fakevexif::session(s, handle, &session)) return st;
    if (!buffer || length < 1) return QV_ERR_BAD_ARGUMENT;
    // Whole lines where they fit, else as many characters as fit.
    size_t n = s.problems.size();
    const auto room = static_cast<size_t>(length - 1);
    if (n > room) {
        const size_t end = s.problems.rfind('\n', room - (room > 0 ? 1 : 0));
        n = room > 0 && end != std::string::npos && end < room ? end + 1 : room;
    }
    std::memcpy(buffer, s.problems.data(), n);
    buffer[n] = '\0';
    return QV_OK;
}

} // extern "C"
