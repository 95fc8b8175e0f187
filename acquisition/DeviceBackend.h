// The seam between the acquired modules and the devices they count: every
// call into libsigrok (scan, open and close, configuration, session start and
// stop, datafeed delivery) goes through these interfaces. SigrokBackend.* is
// the libsigrok implementation; tests drive scripted devices through the
// same interfaces, so every lifecycle path can be played on demand.
//
// Every member is called on the acquisition thread (AcquisitionLoop), which
// runs one GLib main loop on its own GMainContext, pushed as that thread's
// default context. Implementations may block briefly (device I/O) but never
// wait for another thread.
//
// A device that is not a libsigrok session (a capture replay, say) plugs in
// like this:
//   1. Implement Backend for its driver name: prepare() checks a config
//      (DRIVER:key=value...), scan() returns one Device per device the config
//      names.
//   2. Implement Device: start(sink) attaches a GLib source (for instance
//      g_timeout_source_new) to g_main_context_get_thread_default(), which on
//      the acquisition thread is the loop's context; its callback calls
//      sink.sampleRate() once, then sink.logic() per packet: the very path a
//      libsigrok datafeed takes. stop() removes the source and schedules
//      sink.ended() (an idle source), which must follow every successful
//      start() exactly once, also when the stream ends by itself.
//   3. Register the backend under its driver name in SourceOptions::backends
//      or in SigrokSource's built-in table (builtInBackends() in
//      SigrokSource.cpp); configs naming that driver then use it.
#pragma once

#include "DeviceConfig.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vexacq {

// How a device sets its logic threshold.
enum class ThresholdKind {
    none,   // fixed
    pair,   // a low and a high level (libsigrok's voltage_threshold)
    single, // one level (libsigrok's logic_threshold_custom)
};

// What a scan tells about a device; read anew from each scan's device.
struct DeviceInfo {
    std::string driver;
    std::string vendor, model;
    std::string serial;     // empty: the device has none
    std::string connection; // e.g. the USB bus.address; empty: unknown
    int logicChannels = 0;
    ThresholdKind threshold = ThresholdKind::none;
    // False: the device acquires one memory buffer at a time and ends its
    // stream after each.
    bool streams = true;
    // Samples one buffer holds (devices that do not stream); 0: unknown.
    uint64_t bufferSamples = 0;
    // The config sets the sample rate (settings() applies it).
    bool rateFromConfig = false;
    // The rate to use when the config sets none, Hz; 0: the highest the
    // device offers up to the cap (chooseSampleRate()).
    uint64_t preferredRate = 0;
};

// The sample rates a device offers: a list, or every min + k x step up to max.
struct RateChoices {
    std::vector<uint64_t> list; // Hz
    uint64_t min = 0, max = 0, step = 0;
    bool empty() const { return list.empty() && max == 0; }
};

// Where a started device delivers its stream, on the acquisition thread.
class PacketSink {
public:
    virtual ~PacketSink() = default;
    // The stream's sample rate (at the start and whenever it changes), Hz.
    virtual void sampleRate(uint64_t hz) = 0;
    // Samples: bytes / unitsize of them, bit i of a sample = logic channel i.
    virtual void logic(const void* data, size_t bytes, unsigned unitsize) = 0;
    // The stream is over (asked by stop() or not); nothing follows. Called
    // from the loop, never from within start() or stop().
    virtual void ended() = 0;
};

// One device a scan found. Destroyed on the acquisition thread, closed.
class Device {
public:
    virtual ~Device() = default;
    virtual const DeviceInfo& info() const = 0;

    // error says why, when false.
    virtual bool open(std::string& error) = 0;
    virtual void close() = 0;

    // --- configuration of the open device
    // Only the logic channels enabled, the config's settings applied, and
    // streaming without end where the device has an option for it.
    virtual bool applySettings(std::string& error) = 0;
    virtual RateChoices sampleRates() = 0;
    virtual bool setSampleRate(uint64_t hz) = 0;
    virtual uint64_t sampleRate() = 0; // 0: unknown
    // Volts; a device of ThresholdKind::single takes (low + high) / 2.
    virtual bool setThreshold(double low, double high) = 0;
    // Samples per acquisition (devices that do not stream), 0: no limit.
    virtual bool setSampleLimit(uint64_t samples) = 0;

    // --- acquisition
    // Starts delivering to sink (which outlives the stream); false: nothing
    // started, ended() will not come.
    virtual bool start(PacketSink& sink, std::string& error) = 0;
    // Asks the stream to end; ended() follows from the loop.
    virtual void stop() = 0;
};

// A kind of device: libsigrok's drivers, or one device type of our own.
class Backend {
public:
    virtual ~Backend() = default;
    // Once, before anything else; false: no device can ever be found.
    virtual bool init(std::string& error) = 0;
    // Checks a config once; false: it can never yield a device (error says why).
    virtual bool prepare(const DeviceConfig& config, std::string& error) = 0;
    // The devices the config finds now, each a fresh handle. renew: the caller
    // holds no Device of this driver any more, so the backend may free the
    // ones of earlier scans (keeps repeated scans from piling up copies).
    virtual std::vector<std::unique_ptr<Device>> scan(const DeviceConfig& config, bool renew) = 0;
    // Last call: frees everything (libsigrok's context); no Device is left.
    virtual void shutdown() = 0;
};

// The libsigrok implementation (SigrokBackend.cpp).
std::unique_ptr<Backend> makeSigrokBackend(std::function<void(const std::string&)> log);

} // namespace vexacq
