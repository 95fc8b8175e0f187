// The source's problem list; see DeviceProblems.h.
#include "DeviceProblems.h"

namespace vexacq {

DeviceProblems::DeviceProblems(Publish publish, Log log, std::chrono::milliseconds repeat)
    : m_publish(std::move(publish)), m_log(std::move(log)), m_repeat(repeat) {}

void DeviceProblems::report(const std::string& key, const std::string& message, bool logged,
                            Clock::time_point now) {
    auto [it, added] = m_problems.try_emplace(key);
    Problem& problem = it->second;
    const bool changed = added || problem.message != message;
    if (!logged && m_log && (changed || now - problem.logged >= m_repeat)) {
        m_log(message);
        problem.logged = now;
    }
    if (logged) problem.logged = now;
    if (!changed) return;
    problem.message = message;
    if (m_publish) m_publish(list());
}

void DeviceProblems::clear(const std::string& key) {
    if (m_problems.erase(key) && m_publish) m_publish(list());
}

std::vector<std::string> DeviceProblems::list() const {
    std::vector<std::string> lines;
    for (const auto& [key, problem] : m_problems)
        lines.push_back(problem.message);
    return lines;
}

} // namespace vexacq
