// Device specs as users write them, and the mistakes they get told about.
#include "DeviceSpec.h"
#include "SigrokSource.h"

#include <gtest/gtest.h>

namespace {

using vexacq::DeviceSpec;
using vexacq::SpecError;

TEST(DeviceSpec, ParsesDriverAndOptions) {
    const struct {
        const char* text;
        DeviceSpec spec;
    } cases[] = {
        {"demo", {"demo", {}}},
        {"  fx2lafw ", {"fx2lafw", {}}},
        {"fx2lafw:conn=1.5", {"fx2lafw", {{"conn", "1.5"}}}},
        {"demo:logic_channels=16:samplerate=2M",
         {"demo", {{"logic_channels", "16"}, {"samplerate", "2M"}}}},
        {"dreamsourcelab-dslogic:conn=2.7", {"dreamsourcelab-dslogic", {{"conn", "2.7"}}}},
        {"ols:conn=/dev/ttyACM0:serialcomm=115200/8n1",
         {"ols", {{"conn", "/dev/ttyACM0"}, {"serialcomm", "115200/8n1"}}}},
    };
    for (const auto& c : cases) {
        auto parsed = vexacq::parseDeviceSpec(c.text);
        ASSERT_TRUE(std::holds_alternative<DeviceSpec>(parsed)) << c.text;
        EXPECT_EQ(std::get<DeviceSpec>(parsed), c.spec) << c.text;
    }
}

TEST(DeviceSpec, RejectsBadSpecsWithAMessageNamingTheFault) {
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"", "empty device spec"},
        {"   ", "empty device spec"},
        {"Demo", "driver name 'Demo'"},
        {":conn=1.5", "driver name ''"},
        {"fx2lafw:", "option '' needs the form key=value"},
        {"fx2lafw:conn", "option 'conn' needs the form key=value"},
        {"fx2lafw:=1.5", "bad option name ''"},
        {"fx2lafw:conn=", "option 'conn' needs a value"},
        {"fx2lafw:conn=1 5", "option 'conn' needs a value without blanks"},
        {"fx2lafw:conn=1.5:conn=1.6", "option 'conn' given twice"},
    };
    for (const auto& c : cases) {
        auto parsed = vexacq::parseDeviceSpec(c.text);
        ASSERT_TRUE(std::holds_alternative<SpecError>(parsed)) << c.text;
        EXPECT_NE(std::get<SpecError>(parsed).message.find(c.says), std::string::npos)
            << c.text << " -> " << std::get<SpecError>(parsed).message;
    }
}

TEST(DeviceSpec, ListsSplitAtSemicolonsAndFailOnTheFirstBadSpec) {
    auto list = vexacq::parseDeviceList(" demo ; fx2lafw:conn=1.5;;");
    ASSERT_TRUE(std::holds_alternative<std::vector<DeviceSpec>>(list));
    EXPECT_EQ(std::get<std::vector<DeviceSpec>>(list),
              (std::vector<DeviceSpec>{{"demo", {}}, {"fx2lafw", {{"conn", "1.5"}}}}));
    EXPECT_TRUE(std::get<std::vector<DeviceSpec>>(vexacq::parseDeviceList("")).empty());
    auto bad = vexacq::parseDeviceList("demo;FX2");
    ASSERT_TRUE(std::holds_alternative<SpecError>(bad));
    EXPECT_NE(std::get<SpecError>(bad).message.find("'FX2'"), std::string::npos);
}

TEST(DeviceSpec, DriverTagsMakeEightCharacterNamesThatAreNeverSimulations) {
    EXPECT_EQ(vexacq::SigrokSource::driverTag("demo"), "DEMO");
    EXPECT_EQ(vexacq::SigrokSource::driverTag("fx2lafw"), "FX2L");
    EXPECT_EQ(vexacq::SigrokSource::driverTag("ab"), "ABXX");
    EXPECT_EQ(vexacq::SigrokSource::driverTag("sim-la"), "XSIM");
    for (const std::string& driver : vexacq::SigrokSource::defaultDrivers())
        EXPECT_EQ(vexacq::SigrokSource::driverTag(driver).size(), 4u) << driver;
}

} // namespace
