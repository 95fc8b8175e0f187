// Device configs as users write them, and the mistakes they get told about.
#include "DeviceConfig.h"
#include "SigrokSource.h"

#include <gtest/gtest.h>

namespace {

using vexacq::DeviceConfig;
using vexacq::ConfigError;

TEST(DeviceConfig, ParsesDriverAndOptions) {
    const struct {
        const char* text;
        DeviceConfig config;
    } cases[] = {
        {"demo", {"demo", {}}},
        {"  fx2lafw ", {"fx2lafw", {}}},
        {"fx2lafw:conn=1.5", {"fx2lafw", {{"conn", "1.5"}}}},
        {"demo:logic_channels=16:samplerate=2M",
         {"demo", {{"logic_channels", "16"}, {"samplerate", "2M"}}}},
        {"dreamsourcelab-dslogic:conn=2.7", {"dreamsourcelab-dslogic", {{"conn", "2.7"}}}},
        {"ols:conn=/dev/ttyACM0:serialcomm=115200/8n1",
         {"ols", {{"conn", "/dev/ttyACM0"}, {"serialcomm", "115200/8n1"}}}},
        // The reference input is ours: kept apart from libsigrok's options.
        {"fx2lafw:ref=10MHz@7", {"fx2lafw", {}, vexacq::ReferenceInput{10e6, 7}}},
        {"fx2lafw:conn=1.5:ref=1Hz@3:samplerate=4M",
         {"fx2lafw", {{"conn", "1.5"}, {"samplerate", "4M"}}, vexacq::ReferenceInput{1, 3}}},
        {"replay:ref=2.5kHz@17", {"replay", {}, vexacq::ReferenceInput{2500, 17}}},
        {"demo:ref=1mhz@0", {"demo", {}, vexacq::ReferenceInput{1e6, 0}}},
    };
    for (const auto& c : cases) {
        auto parsed = vexacq::parseDeviceConfig(c.text);
        ASSERT_TRUE(std::holds_alternative<DeviceConfig>(parsed)) << c.text;
        EXPECT_EQ(std::get<DeviceConfig>(parsed), c.config) << c.text;
    }
}

TEST(DeviceConfig, RejectsBadConfigsWithAMessageNamingTheFault) {
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"", "empty device config"},
        {"   ", "empty device config"},
        {"Demo", "driver name 'Demo'"},
        {":conn=1.5", "driver name ''"},
        {"fx2lafw:", "option '' needs the form key=value"},
        {"fx2lafw:conn", "option 'conn' needs the form key=value"},
        {"fx2lafw:=1.5", "bad option name ''"},
        {"fx2lafw:conn=", "option 'conn' needs a value"},
        {"fx2lafw:conn=1 5", "option 'conn' needs a value without blanks"},
        {"fx2lafw:conn=1.5:conn=1.6", "option 'conn' given twice"},
        {"fx2lafw:ref=10MHz", "ref needs FREQ@CH"},
        {"fx2lafw:ref=10@7", "'10' has no unit Hz, kHz or MHz"},
        {"fx2lafw:ref=10GHz@7", "'10GHz' has no unit"},
        {"fx2lafw:ref=0Hz@7", "'0Hz' is no frequency above 0"},
        {"fx2lafw:ref=1.2.3kHz@7", "'1.2.3kHz' is no frequency"},
        {"fx2lafw:ref=MHz@7", "'MHz' is no frequency"},
        {"fx2lafw:ref=10MHz@18", "'18' is no channel"},
        {"fx2lafw:ref=10MHz@-1", "'-1' is no channel"},
        {"fx2lafw:ref=10MHz@", "'' is no channel"},
        {"fx2lafw:ref=1Hz@1:ref=1Hz@2", "option 'ref' given twice"},
    };
    for (const auto& c : cases) {
        auto parsed = vexacq::parseDeviceConfig(c.text);
        ASSERT_TRUE(std::holds_alternative<ConfigError>(parsed)) << c.text;
        EXPECT_NE(std::get<ConfigError>(parsed).message.find(c.says), std::string::npos)
            << c.text << " -> " << std::get<ConfigError>(parsed).message;
    }
}

TEST(DeviceConfig, ListsSplitAtSemicolonsAndFailOnTheFirstBadConfig) {
    auto list = vexacq::parseDeviceList(" demo ; fx2lafw:conn=1.5;;");
    ASSERT_TRUE(std::holds_alternative<std::vector<DeviceConfig>>(list));
    EXPECT_EQ(std::get<std::vector<DeviceConfig>>(list),
              (std::vector<DeviceConfig>{{"demo", {}}, {"fx2lafw", {{"conn", "1.5"}}}}));
    EXPECT_TRUE(std::get<std::vector<DeviceConfig>>(vexacq::parseDeviceList("")).empty());
    auto bad = vexacq::parseDeviceList("demo;FX2");
    ASSERT_TRUE(std::holds_alternative<ConfigError>(bad));
    EXPECT_NE(std::get<ConfigError>(bad).message.find("'FX2'"), std::string::npos);
}

TEST(DeviceConfig, DriverTagsMakeEightCharacterNamesThatAreNeverSimulations) {
    EXPECT_EQ(vexacq::SigrokSource::driverTag("demo"), "DEMO");
    EXPECT_EQ(vexacq::SigrokSource::driverTag("fx2lafw"), "FX2L");
    EXPECT_EQ(vexacq::SigrokSource::driverTag("ab"), "ABXX");
    EXPECT_EQ(vexacq::SigrokSource::driverTag("sim-la"), "XSIM");
    for (const std::string& driver : vexacq::SigrokSource::defaultDrivers())
        EXPECT_EQ(vexacq::SigrokSource::driverTag(driver).size(), 4u) << driver;
}

} // namespace
