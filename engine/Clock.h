// The engine's time source: a monotonic clock in nanoseconds, injectable so
// tests can step time exactly and instantly.
#pragma once

#include <atomic>
#include <cstdint>

namespace vexengine {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time in ns from an arbitrary origin; never decreases.
    virtual int64_t now() const = 0;
};

// std::chrono::steady_clock.
class SteadyClock final : public Clock {
public:
    int64_t now() const override;
};

// A clock that moves only when told to. Thread-safe.
class ManualClock final : public Clock {
public:
    explicit ManualClock(int64_t startNs = 0) : m_now(startNs) {}
    int64_t now() const override { return m_now.load(); }
    void set(int64_t ns) { m_now.store(ns); }
    void advance(int64_t ns) { m_now.fetch_add(ns); }

private:
    std::atomic<int64_t> m_now;
};

// Durations in ns, for readable arithmetic with clocks.
constexpr int64_t kMicrosecond = 1000;
constexpr int64_t kMillisecond = 1000 * kMicrosecond;
constexpr int64_t kSecond = 1000 * kMillisecond;

} // namespace vexengine
