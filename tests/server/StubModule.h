// Test helper: a module whose counts end at once, channel i counting i
// events, present while `plugged`, with a time base and measures of the
// test's choice; with `vanishOnStatus` its device goes away as soon as a
// status read has seen the count end.
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
        if (vanishOnStatus) plugged = false;
    }
    void counts(int64_t, std::vector<int64_t>& counts) const override {
        counts.resize(m_channels);
        std::iota(counts.begin(), counts.end(), 0);
    }
    void measures(int64_t, std::vector<vexengine::ChannelMeasures>& measures) const override {
        measures = channelMeasures;
        measures.resize(static_cast<std::size_t>(m_channels));
    }
    void pins(int64_t, std::string& pins) override { pins.assign(m_channels, '0'); }
    vexengine::TimeBase timeBase() const override { return m_base; }

    mutable std::atomic<bool> plugged{true};
    std::atomic<bool> vanishOnStatus{false};
    std::vector<vexengine::ChannelMeasures> channelMeasures; // missing ones: all NaN

private:
    int m_channels;
    vexengine::TimeBase m_base;
};

} // namespace servertest
