// The acquisition source: owns the acquisition thread (AcquisitionLoop),
// which owns libsigrok's context and does all device work; looks for logic
// analysers on that thread and adds one AcquiredModule per device to an
// engine. Scans run at start and again when the engine's module list is
// asked for, at most once per rescan interval, so a device plugged in later
// appears; nothing on the engine's side ever waits for a scan.
//
// Which devices: the configs given (each scanned until it yields a device, and
// again once all of its devices are gone), or with no config the USB logic
// analyser drivers that need no connection options and stream
// (defaultDrivers()). A config whose driver is registered in
// SourceOptions::backends (or built in, such as a capture replay) uses that
// backend instead of libsigrok (DeviceBackend.h).
//
// Module names: "QV" + a four-letter driver tag + a two-digit index, e.g.
// QVDEMO01, QVFX2L01 (driverTag()). A device found again keeps its module:
// matched by serial number, then by connection, and only then, for a device
// without a serial number, by taking the module of an absent one.
//
// Device problems (DeviceProblems.h) go to the log and to the engine's
// device problems: configs that cannot be used, captures that do not load
// (loaded on a worker of their own, CaptureLoader.h, never on the
// acquisition thread), configured devices never found (named again at each
// rescan, at most once a minute), configs the attached device cannot honour
// (checkAttached()).
//
// The engine must outlive the source: destroying the source stops every
// acquisition and leaves its modules listed as not present.
#pragma once

#include "DeviceBackend.h"
#include "DeviceConfig.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vexengine {
class Engine;
class Module;
} // namespace vexengine

namespace vexacq {

struct SourceOptions {
    // Devices to look for; empty: the default USB scan.
    std::vector<DeviceConfig> configs;
    // Least time between the end of one scan and the start of the next, ms.
    std::chrono::milliseconds rescanInterval{5000};
    // One line per device event (found, lost, bad config); may be empty.
    std::function<void(const std::string&)> log;
    // One line per move of a module's acquisition state (debug); may be empty.
    std::function<void(const std::string&)> debug;
    // Runs on the acquisition thread before each scan (tests make scans slow).
    std::function<void()> beforeScan;
    // Backends by driver name, used before the built-in ones and libsigrok
    // (tests plug scripted devices in here).
    std::map<std::string, std::shared_ptr<Backend>> backends;
    // Drivers of the default scan; empty: defaultDrivers().
    std::vector<std::string> defaultDrivers;
    // Config problems found before the source (entries of a list that were
    // dropped): kept at the head of the engine's device problems.
    std::vector<std::string> problems;
    // A capture that failed to load is loaded again at the latest after this.
    std::chrono::milliseconds captureRetry{60'000};
};

class SigrokSource {
public:
    SigrokSource(vexengine::Engine& engine, SourceOptions options);
    ~SigrokSource();
    SigrokSource(const SigrokSource&) = delete;
    SigrokSource& operator=(const SigrokSource&) = delete;

    // Asks for a rescan (at the earliest one interval after the last one).
    // Never blocks; the engine calls it whenever its module list is asked.
    void requestScan();
    // Scans finished so far.
    int scansDone() const;
    // Waits until at least n scans have finished (false after timeout).
    bool waitForScans(int n, std::chrono::milliseconds timeout) const;
    // The module of that name this source made, or nullptr (tests, metrics).
    const vexengine::Module* module(const std::string& name) const;

    // The libsigrok drivers the default scan tries (those present in this
    // libsigrok build are used).
    static const std::vector<std::string>& defaultDrivers();
    // Drivers left out of the default scan: they acquire one memory buffer
    // at a time (a config naming one counts it a buffer per gate).
    static const std::vector<std::string>& bufferDrivers();
    // Four upper-case letters or digits naming a driver in module names;
    // never "SIM..." (that prefix marks the engine's simulations).
    static std::string driverTag(const std::string& driver);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace vexacq
