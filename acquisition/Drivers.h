// The one table of the libsigrok drivers the acquisition knows by name: the
// tag in module names, whether the default scan tries it, and whether its
// analysers acquire one memory buffer at a time instead of streaming. Pure.
#pragma once

#include <string>
#include <vector>

namespace vexacq {

struct DriverEntry {
    const char* driver;
    const char* tag;  // four upper-case letters or digits
    bool defaultScan; // a USB analyser that needs no connection options and streams
    bool buffers;     // acquires one memory buffer at a time
};

const std::vector<DriverEntry>& knownDrivers();
// Drivers of the table with defaultScan (resp. buffers) set, in table order.
const std::vector<std::string>& defaultScanDrivers();
const std::vector<std::string>& bufferDriverNames();
bool acquiresBuffers(const std::string& driver);
// The table's tag, else the driver's first four letters or digits, upper
// case, padded with 'X'; never "SIM..." (the engine's simulations).
std::string driverTagOf(const std::string& driver);

} // namespace vexacq
