// Device identity: serial number, then connection, then an absent module.
#include "DeviceMatch.h"

#include <functional>

namespace vexacq {

std::vector<int> matchDevices(const std::vector<ModuleIdentity>& modules,
                              const std::vector<DeviceIdentity>& devices) {
    std::vector<int> match(devices.size(), -1);
    std::vector<bool> taken(modules.size(), false);
    // One pass of a rule: each unmatched device that may use it takes the
    // first free module the rule accepts.
    auto pass = [&](const std::function<bool(const DeviceIdentity&)>& applies,
                    const std::function<bool(const DeviceIdentity&, const ModuleIdentity&)>& same) {
        for (size_t d = 0; d < devices.size(); ++d) {
            if (match[d] != -1 || !applies(devices[d])) continue;
            for (size_t m = 0; m < modules.size(); ++m) {
                if (taken[m] || !same(devices[d], modules[m])) continue;
                taken[m] = true;
                match[d] = static_cast<int>(m);
                break;
            }
        }
    };
    auto withSerial = [](const DeviceIdentity& d) { return !d.serial.empty(); };
    auto withoutSerial = [](const DeviceIdentity& d) { return d.serial.empty(); };
    pass(withSerial,
         [](const DeviceIdentity& d, const ModuleIdentity& m) { return m.serial == d.serial; });
    pass(withoutSerial, [](const DeviceIdentity& d, const ModuleIdentity& m) {
        return m.serial.empty() && m.connection == d.connection;
    });
    pass(withoutSerial,
         [](const DeviceIdentity&, const ModuleIdentity& m) { return m.serial.empty() && m.lost; });
    return match;
}

} // namespace vexacq
