// Device identity: which of a driver's modules a device found by a scan
// belongs to. Pure, so that every rule can be shown in a table.
#pragma once

#include <string>
#include <vector>

namespace vexacq {

// A module as matching sees it: its (current or last) device's serial
// number and connection, and whether its device is lost (absent).
struct ModuleIdentity {
    std::string serial;
    std::string connection;
    bool lost = false;
};

// A device as a scan reports it.
struct DeviceIdentity {
    std::string serial;
    std::string connection;
};

// For each device, the index of the module it takes, or -1 (a new device).
// A module takes at most one device. Rules, in order: the same serial
// number; without a serial number, the same connection (of a module without
// one either); still unmatched and without a serial number, the module of an
// absent device without one, never a present one's.
std::vector<int> matchDevices(const std::vector<ModuleIdentity>& modules,
                              const std::vector<DeviceIdentity>& devices);

} // namespace vexacq
