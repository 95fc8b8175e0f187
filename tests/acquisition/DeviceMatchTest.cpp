// Device identity: a returning device takes its own module back, by serial
// number, then connection, then an absent module; never a present one's.
#include "DeviceMatch.h"

#include <gtest/gtest.h>

namespace {

using vexacq::DeviceIdentity;
using vexacq::ModuleIdentity;

TEST(DeviceMatch, SerialThenConnectionThenAnAbsentModuleNeverAPresentOne) {
    struct Case {
        const char* what;
        std::vector<ModuleIdentity> modules;
        std::vector<DeviceIdentity> devices;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"the same serial at another connection",
         {{"S1", "1.1", true}, {"S2", "1.2", true}},
         {{"S2", "1.9"}, {"S1", "1.7"}},
         {1, 0}},
        {"a serial number never takes a module by connection",
         {{"", "1.1", true}},
         {{"S9", "1.1"}},
         {-1}},
        {"without a serial: the same connection, the present module too",
         {{"", "1.1", false}, {"", "1.2", false}},
         {{"", "1.2"}, {"", "1.1"}},
         {1, 0}},
        {"without a serial at a new connection: an absent module",
         {{"", "1.1", false}, {"", "1.3", true}},
         {{"", "1.7"}},
         {1}},
        {"... never a present one's",
         {{"", "1.1", false}, {"S2", "1.2", true}},
         {{"", "1.7"}},
         {-1}},
        {"a connection match goes before an absent module",
         {{"", "1.3", true}, {"", "1.1", true}},
         {{"", "1.9"}, {"", "1.1"}},
         {0, 1}},
        {"each module takes one device",
         {{"S1", "1.1", true}},
         {{"S1", "1.1"}, {"S1", "1.2"}},
         {0, -1}},
        {"no modules yet", {}, {{"S1", "1.1"}, {"", "1.2"}}, {-1, -1}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(vexacq::matchDevices(c.modules, c.devices), c.expected) << c.what;
}

} // namespace
