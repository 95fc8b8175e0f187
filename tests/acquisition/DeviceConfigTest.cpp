// Device configs as users write them, and the mistakes they get told about,
// at start-up (readDeviceConfig) and at attach (checkAttached).
#include "DeviceConfig.h"
#include "ConfigCheck.h"
#include "SessionFile.h"
#include "SigrokSource.h"

#include <gtest/gtest.h>

namespace {

using vexacq::ConfigError;
using vexacq::DeviceConfig;

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
        {"fx2lafw:ref=0Hz@7", "'0Hz' is a frequency of 0"},
        {"fx2lafw:ref=-5MHz@0", "'-5MHz' is a negative frequency"},
        {"fx2lafw:ref=1e46Hz@0", "'1e46' is no decimal number"},
        {"fx2lafw:ref=1.2.3kHz@7", "'1.2.3' is no decimal number"},
        {"fx2lafw:ref=MHz@7", "'' is no decimal number"},
        {"fx2lafw:ref=10MHz@18", "'18' is no channel"},
        {"fx2lafw:ref=10MHz@-1", "'-1' is no channel"},
        {"fx2lafw:ref=10MHz@", "'' is no channel"},
        {"fx2lafw:ref=1Hz@1:ref=1Hz@2", "option 'ref' given twice"},
        // What only the check adds to the parse.
        {"fx2lafw:ref=0.0001Hz@0", "below the lowest reference frequency, 0.001 Hz"},
        {"fx2lafw:ref=600MHz@0", "above 500 MHz, half the highest sample rate"},
        {"demo:samplerate=100G", "samplerate=100G is above the 1 GHz"},
        {"demo:samplerate=0", "samplerate=0 is 0"},
        {"replay", "needs file=PATH"},
        {"replay:file=a.sr:speed=0", "speed=0: expected a decimal number above 0"},
        {"replay:file=a.sr:speed=0x10", "speed=0x10"}, // not read as 16
        {"replay:file=a.sr:speed=1000.5", "speed=1000.5"},
    };
    for (const auto& c : cases) {
        auto parsed = vexacq::readDeviceConfig(c.text);
        ASSERT_TRUE(std::holds_alternative<ConfigError>(parsed)) << c.text;
        EXPECT_NE(std::get<ConfigError>(parsed).message.find(c.says), std::string::npos)
            << c.text << " -> " << std::get<ConfigError>(parsed).message;
    }
    // The edges of each range hold.
    for (const char* good : {"fx2lafw:ref=0.001Hz@0", "fx2lafw:ref=500MHz@0", "demo:samplerate=1G",
                             "replay:file=a.sr:speed=1000", "replay:file=a.sr:speed=0.000001",
                             "replay:file=a.sr:speed=2.5", "demo:samplerate=24MHz"})
        EXPECT_TRUE(std::holds_alternative<DeviceConfig>(vexacq::readDeviceConfig(good))) << good;
}

// Sample rates as configs and capture metadata write them, up to 2^64 Hz.
TEST(DeviceConfig, RateTextsReadAsWholeHertz) {
    const struct {
        const char* text;
        std::optional<uint64_t> hz;
    } cases[] = {
        {"24MHz", 24'000'000},
        {" 1.5 MHz ", 1'500'000},
        {"1G", 1'000'000'000},
        {"12", 12},
        {".5k", 500},
        {"10000000000 GHz", 10'000'000'000'000'000'000u}, // above 2^63
        {"20000000000 GHz", std::nullopt},                // above 2^64
        {".", std::nullopt},
        {"-1 MHz", std::nullopt},
        {"1e6", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vexacq::parseRateText(c.text), c.hz) << c.text;
}

TEST(DeviceConfig, TheAttachedDeviceIsCheckedAgainstItsConfig) {
    const struct {
        const char* config;
        int channels;
        uint64_t rate;    // the device's preferred rate, Hz; 0: none
        const char* says; // "": no problem
    } cases[] = {
        {"replay:file=a.sr:ref=1MHz@17", 8, 12'000'000, "channel 17 is not among the device's 8"},
        {"replay:file=a.sr:ref=1MHz@7", 8, 12'000'000, ""},
        {"replay:file=a.sr:ref=25MHz@0", 8, 12'000'000, "above half the device's sample rate"},
        {"replay:file=a.sr:ref=6MHz@0", 8, 12'000'000, ""},
        {"fx2lafw:samplerate=12M:ref=25MHz@0", 16, 0, "above half the device's sample rate"},
        {"fx2lafw:ref=25MHz@0", 16, 0, ""}, // the rate is chosen later
        {"fx2lafw", 16, 2'000'000'000, "above the 1 GHz"},
    };
    for (const auto& c : cases) {
        vexacq::DeviceInfo info;
        info.logicChannels = c.channels;
        info.preferredRate = c.rate;
        const auto problems =
            vexacq::checkAttached(std::get<DeviceConfig>(vexacq::readDeviceConfig(c.config)), info);
        ASSERT_EQ(problems.size(), *c.says ? 1u : 0u) << c.config;
        if (*c.says) {
            EXPECT_NE(problems.front().find(c.says), std::string::npos) << problems.front();
            EXPECT_NE(problems.front().find(c.config), std::string::npos) << problems.front();
        }
    }
}

TEST(DeviceConfig, ABadEntryOfAListDropsOnlyItself) {
    const vexacq::DeviceEntries entries = vexacq::readDeviceEntries(
        "demo;replay:file=a.sr:ref=-5MHz@0;; fx2lafw:speed ;demo:ref=1kHz@2");
    ASSERT_EQ(entries.configs.size(), 2u);
    EXPECT_EQ(entries.configs[0].driver, "demo");
    EXPECT_EQ(entries.configs[1].reference, (vexacq::ReferenceInput{1000, 2}));
    ASSERT_EQ(entries.errors.size(), 2u);
    EXPECT_NE(entries.errors[0].message.find("a negative frequency"), std::string::npos);
    EXPECT_NE(entries.errors[1].message.find("'speed' needs the form"), std::string::npos);
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
