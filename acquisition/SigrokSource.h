// The acquisition source: owns libsigrok's context, looks for logic
// analysers on a background thread and adds one AcquiredModule per device to
// an engine. Scans run at start and again when the engine's module list is
// asked for, at most once per rescan interval, so a device plugged in later
// appears; nothing on the engine's side ever waits for a scan.
//
// Which devices: the configs given (each scanned until it yields a device, and
// again once all of its devices are gone), or with no config the USB logic
// analyser drivers that need no connection options (defaultDrivers()).
//
// Module names: "QV" + a four-letter driver tag + a two-digit index, e.g.
// QVDEMO01, QVFX2L01 (driverTag()); stable while the device stays plugged in.
//
// The engine must outlive the source: destroying the source stops every
// acquisition and leaves its modules listed as not present.
#pragma once

#include "DeviceConfig.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vexengine {
class Engine;
}

namespace vexacq {

struct SourceOptions {
    // Devices to look for; empty: the default USB scan.
    std::vector<DeviceConfig> configs;
    // Least time between the end of one scan and the start of the next, ms.
    std::chrono::milliseconds rescanInterval{5000};
    // One line per device event (found, lost, bad config); may be empty.
    std::function<void(const std::string&)> log;
    // Runs on the scan thread before each scan (tests make scans slow).
    std::function<void()> beforeScan;
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

    // The libsigrok drivers the default scan tries (those present in this
    // libsigrok build are used).
    static const std::vector<std::string>& defaultDrivers();
    // Four upper-case letters or digits naming a driver in module names;
    // never "SIM..." (that prefix marks the engine's simulations).
    static std::string driverTag(const std::string& driver);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace vexacq
