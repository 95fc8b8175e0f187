// The driver table and what follows from it.
#include "Drivers.h"

#include <algorithm>
#include <cctype>

namespace vexacq {

const std::vector<DriverEntry>& knownDrivers() {
    static const std::vector<DriverEntry> drivers = {
        // driver                  tag     default scan  buffers
        {"demo", "DEMO", false, false},
        {"fx2lafw", "FX2L", true, false},
        {"dreamsourcelab-dslogic", "DSLG", true, false},
        {"saleae-logic16", "SL16", true, false},
        {"saleae-logic-pro", "SLPR", true, false},
        {"sysclk-lwla", "LWLA", true, false},
        {"ikalogic-scanaplus", "SCAP", true, false},
        {"hantek-4032l", "H432", false, true},
        {"lecroy-logicstudio", "LCLS", false, true},
        {"zeroplus-logic-cube", "ZPLC", false, true},
        {"asix-sigma", "SGMA", false, true},
        {"chronovu-la", "CVLA", false, true},
        {"replay", "RPLY", false, false},
    };
    return drivers;
}

namespace {

std::vector<std::string> driversWhere(bool DriverEntry::*flag) {
    std::vector<std::string> names;
    for (const DriverEntry& entry : knownDrivers())
        if (entry.*flag) names.emplace_back(entry.driver);
    return names;
}

const DriverEntry* find(const std::string& driver) {
    const auto& drivers = knownDrivers();
    auto it = std::find_if(drivers.begin(), drivers.end(),
                           [&](const DriverEntry& e) { return driver == e.driver; });
    return it == drivers.end() ? nullptr : &*it;
}

} // namespace

const std::vector<std::string>& defaultScanDrivers() {
    static const std::vector<std::string> names = driversWhere(&DriverEntry::defaultScan);
    return names;
}

const std::vector<std::string>& bufferDriverNames() {
    static const std::vector<std::string> names = driversWhere(&DriverEntry::buffers);
    return names;
}

bool acquiresBuffers(const std::string& driver) {
    const DriverEntry* entry = find(driver);
    return entry && entry->buffers;
}

std::string driverTagOf(const std::string& driver) {
    if (const DriverEntry* entry = find(driver)) return entry->tag;
    std::string tag;
    for (char c : driver)
        if (std::isalnum(static_cast<unsigned char>(c)) && tag.size() < 4)
            tag += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    tag.resize(4, 'X');
    if (tag.starts_with("SIM")) tag = "X" + tag.substr(0, 3);
    return tag;
}

} // namespace vexacq
