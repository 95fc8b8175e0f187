// EngineWatch: the time base and the device problems, read once a second.
#include "counter/EngineWatch.h"

#include <algorithm>
#include <utility>

namespace {
// Room for the problems text; a longer text is cut at a line end.
constexpr int32_t kProblemsBytes = 16384;

bool sameTimeBase(const std::optional<QV_TimeBase>& a, const std::optional<QV_TimeBase>& b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    return a->channel == b->channel && a->locked == b->locked && a->referenceHz == b->referenceHz &&
           a->offsetPpm == b->offsetPpm && a->measuredRate == b->measuredRate &&
           a->nominalRate == b->nominalRate;
}
} // namespace

bool EngineWatch::tick(int32_t handle) {
    if (++m_ticks < kTicksPerRead) return false;
    m_ticks = 0;
    const bool timeBaseChanged = readTimeBase(handle);
    const bool problemsChanged = readProblems(handle);
    return timeBaseChanged || problemsChanged;
}

void EngineWatch::moduleChanged() {
    m_ticks = kTicksPerRead - 1;
    m_timeBaseUnsupported = false;
    m_problemsUnsupported = false;
    m_timeBase.reset();
}

bool EngineWatch::referenceUnlocked() const {
    return m_timeBase && m_timeBase->referenceHz > 0.0 && m_timeBase->locked != 1;
}

double EngineWatch::sampleRate() const {
    if (!m_timeBase) return 0.0;
    if (m_timeBase->measuredRate > 0.0) return m_timeBase->measuredRate;
    return std::max(0.0, m_timeBase->nominalRate);
}

std::vector<std::string> EngineWatch::takeNewProblems() {
    return std::exchange(m_newProblems, {});
}

std::vector<std::string> EngineWatch::splitLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) lines.emplace_back(line);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

bool EngineWatch::readTimeBase(int32_t handle) {
    std::optional<QV_TimeBase> now;
    if (!m_timeBaseUnsupported) {
        QV_TimeBase info{};
        info.size = sizeof info;
        const int32_t status = QV_GetTimeBase(handle, &info);
        if (status == QV_OK)
            now = info;
        else if (status == QV_ERR_NOT_SUPPORTED)
            m_timeBaseUnsupported = true;
    }
    const bool changed = !sameTimeBase(now, m_timeBase);
    m_timeBase = now;
    return changed;
}

bool EngineWatch::readProblems(int32_t handle) {
    if (m_problemsUnsupported) return false;
    m_buffer.assign(kProblemsBytes, '\0');
    const int32_t status = QV_GetDeviceProblems(handle, m_buffer.data(), kProblemsBytes);
    if (status == QV_ERR_NOT_SUPPORTED) m_problemsUnsupported = true;
    // Not known this time: the list stays as it was.
    if (status != QV_OK) return false;
    std::vector<std::string> lines = splitLines(m_buffer.data());
    if (lines == m_problems) return false;
    for (const std::string& line : lines)
        if (std::find(m_problems.begin(), m_problems.end(), line) == m_problems.end())
            m_newProblems.push_back(line);
    m_problems = std::move(lines);
    return true;
}
