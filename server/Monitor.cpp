// --monitor's unattended counting; see Monitor.h.
#include "Monitor.h"

#include "Metrics.h"
#include "Readings.h"

#include <algorithm>

namespace vexcountd {
namespace {

using vexengine::Result;

// How often a missing module is looked for; a rescan of the devices happens
// at most every 5 s whatever this is.
constexpr std::chrono::seconds kRetry{1};
// Running counts of an infinite gate are handed to the metrics this often.
constexpr std::chrono::seconds kRunningRead{1};
// A finite count is looked at this long after its gate should have closed,
// then every kRecheck until it has ended (it may wait to arm).
constexpr std::chrono::milliseconds kGateSlack{3};
constexpr std::chrono::milliseconds kRecheck{20};

std::chrono::milliseconds gateLength(int32_t gateCode) {
    const std::chrono::milliseconds gate = vexengine::gateDuration(gateCode);
    return gate.count() == 0 ? kRunningRead : gate; // infinite: look once a second
}

} // namespace

Monitor::Monitor(asio::io_context& io, vexengine::Engine& engine,
                 std::vector<MonitorRequest> requests, MetricsCollector* metrics, Log log)
    : m_engine(engine), m_metrics(metrics), m_log(std::move(log)), m_timer(io) {
    for (MonitorRequest& request : requests) {
        Held& held = m_held.emplace_back();
        held.request = std::move(request);
        held.session = m_engine.openSession();
    }
}

Monitor::~Monitor() {
    stop();
}

void Monitor::start() {
    const Clock::time_point now = Clock::now();
    for (Held& held : m_held)
        tryTake(held, now);
    schedule();
}

void Monitor::stop() {
    if (m_stopped) return;
    m_stopped = true;
    m_timer.cancel();
    for (Held& held : m_held)
        m_engine.closeSession(held.session);
}

void Monitor::schedule() {
    if (m_stopped || m_held.empty()) return;
    Clock::time_point next = m_held.front().due;
    for (const Held& held : m_held)
        next = std::min(next, held.due);
    m_timer.expires_at(next);
    m_timer.async_wait([this](const asio::error_code& error) {
        if (!error && !m_stopped) tick();
    });
}

void Monitor::tick() {
    const Clock::time_point now = Clock::now();
    for (Held& held : m_held) {
        if (held.due > now) continue;
        if (held.state == State::Waiting)
            tryTake(held, now);
        else
            poll(held, now);
    }
    schedule();
}

void Monitor::tryTake(Held& held, Clock::time_point now) {
    held.due = now + kRetry;
    // Asking for the list lets a device source look for new devices.
    const std::vector<vexengine::ModuleEntry> modules = m_engine.modules();
    std::string reason;
    switch (m_engine.openModule(held.session, held.request.module)) {
    case Result::ok:
        if (startCount(held, now)) {
            m_log("monitor holds " + held.request.module + " and counts (" + held.request.text +
                  ")");
            int channels = 0;
            m_engine.channelCount(held.session, channels);
            if (!held.request.channels.empty() && held.request.channels.back() >= channels)
                m_log("monitor: " + held.request.module + " has channels 0 to " +
                      std::to_string(channels - 1) + " only; the others named are not exported");
            held.lastWaitReason.clear();
            return;
        }
        m_engine.closeModule(held.session);
        reason = "it refused the count";
        break;
    case Result::moduleTaken:
        reason = "it is taken by a client";
        break;
    default:
        reason = std::any_of(modules.begin(), modules.end(),
                             [&](const auto& m) { return m.name == held.request.module; })
                     ? "it is not present"
                     : "no such module";
        break;
    }
    if (reason != held.lastWaitReason)
        m_log("monitor waits for " + held.request.module + ": " + reason);
    held.lastWaitReason = reason;
}

bool Monitor::startCount(Held& held, Clock::time_point now) {
    const vexengine::CountSettings settings{held.request.counterType, 3, held.request.gateCode,
                                            "--------"};
    if (m_engine.startCount(held.session, settings) != Result::ok) return false;
    held.state = State::Counting;
    held.due = now + gateLength(held.request.gateCode) + kGateSlack;
    held.runningRead = now;
    return true;
}

void Monitor::lost(Held& held, const std::string& why, Clock::time_point now) {
    m_engine.closeModule(held.session);
    held.state = State::Waiting;
    held.due = now + kRetry;
    held.lastWaitReason = why;
    m_log("monitor lost " + held.request.module + ": " + why + "; taking it again when it returns");
}

void Monitor::poll(Held& held, Clock::time_point now) {
    vexengine::CounterStatus status;
    // Reading the status is what reports a finished count to the metrics.
    const Result result = m_engine.counterStatus(held.session, 1024, status);
    if (result == Result::moduleGone) return lost(held, "it went away", now);
    if (result != Result::ok) return lost(held, "status error " + std::to_string(int(result)), now);
    if (!status.busy) {
        if (!startCount(held, now)) lost(held, "it refused the count", now);
        return;
    }
    if (vexengine::endlessGate(held.request.gateCode) && now - held.runningRead >= kRunningRead) {
        held.runningRead = now;
        handOverRunning(held);
    }
    held.due = now + (vexengine::endlessGate(held.request.gateCode) ? kRunningRead : kRecheck);
}

void Monitor::handOverRunning(Held& held) {
    if (!m_metrics) return;
    vexengine::FinishedCount count;
    vexengine::CounterStatus status;
    if (m_engine.counterStatus(held.session, 1024, status) != Result::ok ||
        m_engine.counts(held.session, 1024, count.counts) != Result::ok ||
        m_engine.measures(held.session, count.measures) != Result::ok)
        return;
    count.module = held.request.module;
    count.settings = {held.request.counterType, 3, held.request.gateCode, "--------"};
    count.channelStates = std::move(status.channelStates);
    count.noticedAt = std::chrono::system_clock::now();
    m_metrics->record(count, true);
}

} // namespace vexcountd
