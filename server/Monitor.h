// Unattended counting (--monitor): the server holds each named module in an
// engine session of its own and counts on it without pause, so clients see
// the module taken. A module that is missing or goes away is looked for
// again every second and taken again when it returns. Runs on the server's
// I/O thread; every finished count reaches the metrics through the engine's
// finished-count hook, and the running counts of an infinite gate are handed
// to the metrics once a second.
#pragma once

#include "Engine.h"
#include "MonitorRequest.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace vexcountd {

class MetricsCollector;

class Monitor {
public:
    using Log = std::function<void(const std::string&)>;
    // metrics may be null (no --metrics).
    Monitor(asio::io_context& io, vexengine::Engine& engine, std::vector<MonitorRequest> requests,
            MetricsCollector* metrics, Log log);
    ~Monitor();
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    void start();
    // Stops every count and frees the modules; the timer ends.
    void stop();

private:
    using Clock = std::chrono::steady_clock;
    // Waiting: the module is not held (absent, gone or taken); Counting: a
    // count runs on it.
    enum class State { Waiting, Counting };
    struct Held {
        MonitorRequest request;
        vexengine::SessionId session = 0;
        State state = State::Waiting;
        Clock::time_point due;         // next look
        Clock::time_point runningRead; // last hand-over of a running count
        std::string lastWaitReason;    // logged once per reason
    };

    void schedule();
    void tick();
    void tryTake(Held& held, Clock::time_point now);
    void poll(Held& held, Clock::time_point now);
    bool startCount(Held& held, Clock::time_point now);
    void lost(Held& held, const std::string& why, Clock::time_point now);
    void handOverRunning(Held& held);

    vexengine::Engine& m_engine;
    std::vector<Held> m_held;
    MetricsCollector* m_metrics;
    Log m_log;
    asio::steady_timer m_timer;
    bool m_stopped = false;
};

} // namespace vexcountd
