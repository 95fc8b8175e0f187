// The current device-config and device problems of one source, by key (one
// per config and kind: a bad entry, a capture that does not load, a device
// never found, a config the attached device cannot honour). Each change
// publishes the whole list (Engine::setDeviceProblems); a problem is logged
// when it appears or changes and again while it stays, at most once per
// repeat interval. Not thread-safe: the source uses it on its loop.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vexacq {

class DeviceProblems {
public:
    using Clock = std::chrono::steady_clock;
    using Publish = std::function<void(std::vector<std::string>)>;
    using Log = std::function<void(const std::string&)>;

    DeviceProblems(Publish publish, Log log,
                   std::chrono::milliseconds repeat = std::chrono::minutes(1));

    // Sets the key's problem. logged: the caller has written it to the log.
    void report(const std::string& key, const std::string& message, bool logged = false,
                Clock::time_point now = Clock::now());
    void clear(const std::string& key);
    // Every problem, in key order.
    std::vector<std::string> list() const;

private:
    struct Problem {
        std::string message;
        Clock::time_point logged;
    };

    Publish m_publish;
    Log m_log;
    std::chrono::milliseconds m_repeat;
    std::map<std::string, Problem> m_problems;
};

} // namespace vexacq
