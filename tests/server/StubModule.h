// Test helper: a module whose counts end at once, channel i counting i
// events, present while `plugged`, with a time base of the test's choice.
#pragma once

#include "Module.h"

#include <atomic>
#include <numeric>

namespace servertest {

class StubModule final : public vexengine::Module {
public:
    StubModule(const char* name, int channels, vexengine::TimeBase base = {})
        : Module(name, 'c', channels), m_channels(channels), m_base(base) {}
    bool present() const override { return plugged; }
    void open(int64_t) override {}
    void release() override {}
    int threshold(int) const override { return 14; }
    void setThreshold(int, int) override {}
    void reset() override {}
    void start(const vexengine::CountSettings&, int64_t) override {}
    void stop(int64_t) override {}
    void status(int64_t, vexengine::CounterStatus& status) const override {
        status.channelStates.assign(m_channels, 2); // done
    }
    void counts(int64_t, std::vector<int64_t>& counts) const override {
        counts.resize(m_channels);
        std::iota(counts.begin(), counts.end(), 0);
    }
    void pins(int64_t, std::string& pins) override { pins.assign(m_channels, '0'); }
    vexengine::TimeBase timeBase() const override { return m_base; }

    std::atomic<bool> plugged{true};

private:
    int m_channels;
    vexengine::TimeBase m_base;
};

} // namespace servertest
