// Recorded captures loaded through libsigrok: session files and input
// formats give back the samples, rate and channels they were written with;
// files that cannot be played are refused with a message naming the fault.
#include "Capture.h"
#include "CaptureFixtures.h"
#include "ReplayConfig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

// libsigrok 0.5.2's session-file device leaks a few strings when a file has
// analog channels (made when the file is loaded and while its analog chunks
// are read); nothing of ours is allocated there. Only sanitizer builds ask,
// and the suppressions need whole stacks (GLib has no frame pointers).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:sr_session_load\nleak:runIsolated\n";
}
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

namespace {

using vexacq::Capture;
using vexacq::CaptureFile;
using namespace vexacq::testing;

class CaptureLoad : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(sr_init(&m_context), SR_OK); }
    void TearDown() override { sr_exit(m_context); }

    std::variant<Capture, std::string> load(const CaptureFile& file) {
        return vexacq::loadCapture(m_context, file);
    }
    // The capture, or nothing after a failure that shows the loader's message.
    std::optional<Capture> loaded(const CaptureFile& file) {
        auto result = load(file);
        if (auto* capture = std::get_if<Capture>(&result)) return std::move(*capture);
        ADD_FAILURE() << file.path << ": " << std::get<std::string>(result);
        return std::nullopt;
    }

    sr_context* m_context = nullptr;
    TempDir m_dir;
};

TEST_F(CaptureLoad, SessionFilesGiveBackTheirSamplesRateAndChannels) {
    const struct {
        int channels;
        unsigned unitSize;
        size_t samples;
        uint64_t rate;
    } cases[] = {
        {1, 1, 1, 1000},
        {8, 1, 300'000, 12'000'000},
        {3, 1, 5000, 1'000'000},
        {16, 2, 2'500'000, 24'000'000}, // 5 MB: more than one chunk in the file
    };
    for (const auto& c : cases) {
        const std::string path = m_dir.file("c" + std::to_string(c.channels) + ".sr");
        const std::vector<uint8_t> samples = squareWaves(c.samples, c.unitSize);
        ASSERT_TRUE(writeSessionFile(m_context, path, samples, c.channels, c.rate));
        const auto capture = loaded({path, "", {}});
        ASSERT_TRUE(capture);
        EXPECT_EQ(capture->sampleRate, c.rate);
        EXPECT_EQ(capture->unitSize, c.unitSize);
        EXPECT_EQ(capture->logicChannels, c.channels);
        EXPECT_EQ(capture->sampleCount(), c.samples);
        EXPECT_TRUE(capture->samples == samples) << c.channels << " channels: samples differ";
    }
}

TEST_F(CaptureLoad, InputFormatsTakeTheirOwnOptions) {
    // Six samples at 1 us: channel a = 0 0 1 1 0 0, b = 1 1 1 1 0 0.
    const std::string vcd = "$timescale 1 us $end\n$scope module top $end\n"
                            "$var wire 1 ! a $end\n$var wire 1 \" b $end\n$upscope $end\n"
                            "$enddefinitions $end\n#0\n0!\n1\"\n#2\n1!\n#4\n0!\n0\"\n#6\n";
    const std::string binary = {'\x01', '\x02', '\x03', '\x00', '\x05'};
    const struct {
        const char* name;
        std::string content;
        CaptureFile file;
        uint64_t rate;
        int channels;
        std::vector<uint8_t> first; // the first samples
    } cases[] = {
        // clang-format off
        {"b.bin", binary, {"", "binary", {{"samplerate", "2M"}, {"numchannels", "3"}}},
         2'000'000, 3, {1, 2, 3, 0, 5}},
        // clang-format on
        {"b.vcd", vcd, {"", "vcd", {}}, 1'000'000, 2, {2, 2, 3, 3, 0}},
    };
    for (auto c : cases) {
        c.file.path = m_dir.file(c.name);
        writeFile(c.file.path, c.content);
        const auto capture = loaded(c.file);
        ASSERT_TRUE(capture);
        EXPECT_EQ(capture->sampleRate, c.rate) << c.name;
        EXPECT_EQ(capture->logicChannels, c.channels) << c.name;
        ASSERT_GE(capture->samples.size(), c.first.size()) << c.name;
        EXPECT_TRUE(std::equal(c.first.begin(), c.first.end(), capture->samples.begin())) << c.name;
    }
}

TEST_F(CaptureLoad, AnalogChannelsAreLeftOut) {
    // Session files with analog channels beside the logic ones, or alone, as
    // sigrok-cli records them from the demo device.
    const auto record = [&](const std::string& name, const std::string& channels) {
        const std::string path = m_dir.file(name);
        const std::string command =
            "sigrok-cli -d demo:" + channels + " --samples 3000 -o " + path + " >/dev/null 2>&1";
        return std::system(command.c_str()) == 0 ? path : std::string();
    };
    const std::string mixed = record("mixed.sr", "logic_channels=4:analog_channels=2");
    if (mixed.empty()) GTEST_SKIP() << "sigrok-cli is not installed";
    const auto capture = loaded({mixed, "", {}});
    ASSERT_TRUE(capture);
    EXPECT_EQ(capture->logicChannels, 4);
    EXPECT_EQ(capture->sampleCount(), 3000u);

    const std::string analog = record("analog.sr", "logic_channels=0:analog_channels=1");
    ASSERT_FALSE(analog.empty());
    auto refused = load({analog, "", {}});
    ASSERT_TRUE(std::holds_alternative<std::string>(refused));
    EXPECT_NE(std::get<std::string>(refused).find("no logic channels"), std::string::npos)
        << std::get<std::string>(refused);
}

TEST_F(CaptureLoad, OnlyTheRecordedChannelsOfAWiderDeviceCount) {
    // An older session file from a 16-channel driver with 8 probes in use:
    // 16 channels listed, the upper 8 without a name (not recorded), one
    // byte per sample.
    const std::string path = m_dir.file("old.sr");
    const std::string script =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
        "z.writestr('version', '1')\n"
        "z.writestr('metadata', '[global]\\nsigrok version = 0.2.0\\n[device 1]\\n"
        "driver = fx2lafw\\ncapturefile = logic-1\\nunitsize = 1\\ntotal probes = 16\\n"
        "samplerate = 12 MHz\\n' + ''.join('probe%d = %d\\n' % (i, i) for i in range(1, 9)))\n"
        "z.writestr('logic-1', bytes(range(256)) * 4)\n";
    writeFile(m_dir.file("make.py"), script);
    if (std::system(("/usr/bin/python3 " + m_dir.file("make.py") + " " + path).c_str()) != 0)
        GTEST_SKIP() << "no python3 to write the file";
    const auto capture = loaded({path, "", {}});
    ASSERT_TRUE(capture);
    EXPECT_EQ(capture->logicChannels, 8);
    EXPECT_EQ(capture->sampleRate, 12'000'000u);
    EXPECT_EQ(capture->sampleCount(), 1024u);
}

TEST_F(CaptureLoad, FilesThatCannotBePlayedSayWhy) {
    writeFile(m_dir.file("text.sr"), "not a zip\n");
    writeFile(m_dir.file("empty.bin"), "");
    writeFile(m_dir.file("one.bin"), "\x01");
    const struct {
        CaptureFile file;
        const char* says;
    } cases[] = {
        {{m_dir.file("absent.sr"), "", {}}, "no such file"},
        {{m_dir.file(""), "", {}}, "not a regular file"},
        {{m_dir.file("text.sr"), "", {}}, "not a libsigrok session file"},
        {{m_dir.file("one.bin"), "nosuchformat", {}}, "unknown input format 'nosuchformat'"},
        {{m_dir.file("one.bin"), "binary", {}}, "no sample rate (give it as samplerate=...)"},
        {{m_dir.file("one.bin"), "binary", {{"rate", "1M"}}}, "has no option 'rate'"},
        {{m_dir.file("one.bin"), "binary", {{"samplerate", "fast"}}},
         "option 'samplerate' does not take 'fast'"},
        {{m_dir.file("empty.bin"), "binary", {{"samplerate", "1M"}}}, "the file is empty"},
    };
    for (const auto& c : cases) {
        auto loaded = load(c.file);
        ASSERT_TRUE(std::holds_alternative<std::string>(loaded)) << c.says;
        const std::string& message = std::get<std::string>(loaded);
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
        EXPECT_NE(message.find(c.file.path), std::string::npos) << message;
    }
}

TEST(ReplayConfig, TakesFileFormatSpeedAndOptionsAndRefusesWhatCannotBePlayed) {
    using vexacq::ConfigError;
    using vexacq::ReplayConfig;
    const auto parse = [](const char* text) {
        return vexacq::parseReplayConfig(
            std::get<vexacq::DeviceConfig>(vexacq::parseDeviceConfig(text)));
    };
    const std::pair<const char*, ReplayConfig> good[] = {
        {"replay:file=/tmp/a.sr", {{"/tmp/a.sr", "", {}}, 1}},
        {"replay:file=a.sr:speed=2.5", {{"a.sr", "", {}}, 2.5}},
        {"replay:speed=0.5:file=x.bin:format=binary:samplerate=12M:numchannels=8",
         {{"x.bin", "binary", {{"samplerate", "12M"}, {"numchannels", "8"}}}, 0.5}},
    };
    for (const auto& [text, config] : good) {
        const auto parsed = parse(text);
        ASSERT_TRUE(std::holds_alternative<ReplayConfig>(parsed))
            << text << ": " << std::get<ConfigError>(parsed).message;
        EXPECT_EQ(std::get<ReplayConfig>(parsed), config) << text;
    }
    const std::pair<const char*, const char*> bad[] = {
        {"replay", "needs file=PATH"},
        {"replay:format=vcd", "needs file=PATH"},
        {"replay:file=a.sr:speed=0", "speed=0: expected a decimal number above 0 and up to 1000"},
        {"replay:file=a.sr:speed=-1", "speed=-1"},
        {"replay:file=a.sr:speed=fast", "speed=fast"},
        {"replay:file=a.sr:speed=1001", "speed=1001"},
        {"replay:file=a.sr:speed=nan", "speed=nan"},
        {"replay:file=a.sr:samplerate=1M", "option 'samplerate' belongs to an input format"},
        {"demo", "not a replay config"},
    };
    for (const auto& [text, says] : bad) {
        const auto parsed = parse(text);
        ASSERT_TRUE(std::holds_alternative<ConfigError>(parsed)) << text;
        const std::string& message = std::get<ConfigError>(parsed).message;
        EXPECT_NE(message.find(says), std::string::npos) << text << " -> " << message;
    }
}

} // namespace
