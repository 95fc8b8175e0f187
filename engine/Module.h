// One module of the engine's registry as the engine sees it: name, model,
// channel count, presence, the session holding it, thresholds, the counter
// and the pin reads. Two kinds implement it: simulated modules (analytic
// signals, SimulatedModule.h) and modules that count a real sample stream
// (acquisition/). Only the code that creates a module knows its kind.
//
// The engine calls every member under its own lock, one call at a time;
// "now" is engine time in ns (acquired modules count samples and ignore it).
#pragma once

#include "Engine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexengine {

class Module {
public:
    Module(std::string name, char model, int channelCount)
        : m_name(std::move(name)), m_model(model), m_channelCount(channelCount) {}
    virtual ~Module() = default;
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    const std::string& name() const { return m_name; }
    char model() const { return m_model; }
    int channelCount() const { return m_channelCount; }

    // The session holding the module, 0 = free. Kept by the engine.
    SessionId holder() const { return m_holder; }
    void setHolder(SessionId holder) { m_holder = holder; }

    // False while the device behind the module is gone; it may come back.
    // May change at any time (another thread notices the loss); must not block.
    virtual bool present() const = 0;
    // How often the device behind the module was lost so far (0 for modules
    // that cannot lose one). The engine notes it when a session opens the
    // module: a change means the session's device went away, even when it
    // is back and present again. Must not block.
    virtual uint64_t losses() const { return 0; }

    // A session takes (or re-opens) the module: the count is idle and pin
    // reads start at now. Must not block: an acquired module only asks its
    // acquisition to start.
    virtual void open(int64_t now) = 0;
    // The holding session lets go: the count is idle; an acquired module asks
    // its acquisition to stop. Must not block.
    virtual void release() = 0;

    // Tenths of a volt; which 0 or 1, value 8..25 (already checked). A model
    // with a fixed threshold keeps its own.
    virtual int threshold(int which) const = 0;
    virtual void setThreshold(int which, int tenthsOfVolt) = 0;

    // The counter, with the semantics of engine/README.md. settings are valid
    // (validCountSettings).
    virtual void reset() = 0;
    virtual void start(const CountSettings& settings, int64_t now) = 0;
    virtual void stop(int64_t now) = 0;
    virtual void status(int64_t now, CounterStatus& status) const = 0;
    virtual void counts(int64_t now, std::vector<int64_t>& counts) const = 0;
    // Reciprocal frequency, widths and duty of the count so far, one entry per
    // channel; the default knows none (all NaN).
    virtual void measures(int64_t, std::vector<ChannelMeasures>& measures) const {
        measures.assign(static_cast<size_t>(channelCount()), ChannelMeasures{});
    }
    // The default: the module's own clock, exact (simulations).
    virtual TimeBase timeBase() const { return {}; }
    // Thread-safe without the engine's lock too (metrics read it).
    virtual AcquisitionStats acquisitionStats() const { return {}; }

    // One character per channel over the time since the previous read (or the
    // opening): '0' / '1' steady, 'R' / 'F' only rising / falling, 'B' both.
    virtual void pins(int64_t now, std::string& pins) = 0;

private:
    std::string m_name;
    char m_model;
    int m_channelCount;
    SessionId m_holder = 0;
};

} // namespace vexengine
