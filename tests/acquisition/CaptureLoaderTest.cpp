// Hostile captures are refused before they cost memory, with a message that
// names the fault; failed loads are retried only when the file changes or
// the retry interval is over; a source lists its device problems.
#include "CaptureLoader.h"
#include "CaptureFixtures.h"
#include "Engine.h"
#include "SigrokSource.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using vexacq::Capture;
using vexacq::CaptureFile;
using vexacq::CaptureLoader;
using vexacq::LoadLimits;
using namespace vexacq::testing;

// A session file of our own making (deflated: runs of zeros cost little disk).
using Entries = std::vector<std::pair<std::string, std::string>>;
void writeZip(const std::string& path, const std::string& metadata, const Entries& samples) {
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_TRUE(zip) << error;
    Entries entries = samples;
    entries.insert(entries.begin(), {{"version", "2"}, {"metadata", metadata}});
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
        ASSERT_GE(zip_file_add(zip, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
    }
    ASSERT_EQ(zip_close(zip), 0); // reads the buffers, which live until here
}

std::string metadata(const std::string& probes, const std::string& rate,
                     const std::string& unitSize = "1") {
    return "[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\ntotal probes=" +
           probes + "\nsamplerate=" + rate +
           "\ntotal analog=0\nprobe1=D0\nprobe2=D1\nunitsize=" + unitSize + "\n";
}

// Polls `holds` every 10 ms for up to 5 s; whether it held.
// Writes the file whole at once (a rename), so that the loader's poll never
// sees it half written.
void replaceFile(const std::string& path, const std::string& bytes) {
    writeFile(path + ".part", bytes);
    std::filesystem::rename(path + ".part", path);
}

template <typename F> bool eventually(F holds) {
    for (int i = 0; i < 500 && !holds(); ++i)
        std::this_thread::sleep_for(10ms);
    return holds();
}

TEST(HostileCapture, IsRefusedBeforeItCostsMemoryWithTheFaultNamed) {
    TempDir dir;
    const std::string meta = metadata("8", "1 MHz");
    LoadLimits small;
    small.sampleBytes = 3 << 20; // the 3 MiB entry fits, one more byte does not
    LoadLimits stopped;
    const std::atomic<bool> stop{true};
    stopped.stop = &stop;
    const struct {
        std::string metadata;
        const char* says;
        LoadLimits limits = {};
        bool truncated = false;
        Entries samples = {{"logic-1-1", std::string(4096, '\x55')}};
    } cases[] = {
        {metadata("1000000", "1 MHz"), "claims 1000000 probes; at most 64 logic channels"},
        {metadata("8", "100 GHz"), "the sample rate 100 GHz is above the 1 GHz"},
        {meta + "; " + std::string(70'000, 'x') + "\n",
         "more than the 64.0 kB a session file's metadata may have"},
        {metadata("8", "1 MHz", "9"), "unitsize '9' is no sample size"},
        {meta,
         "inflate to more than the 3.0 MiB",
         small,
         false,
         {{"logic-1-1", std::string(3 << 20, '\0')}, {"logic-1-2", std::string(1, '\0')}}},
        {meta, "truncated or damaged", {}, true},
        {meta, "the load was stopped", stopped},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = dir.file(std::to_string(n++) + ".sr");
        writeZip(path, c.metadata, c.samples);
        if (c.truncated) std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
        const auto started = std::chrono::steady_clock::now();
        auto result = vexacq::loadCapture(nullptr, {path, "", {}}, c.limits);
        ASSERT_TRUE(std::holds_alternative<std::string>(result)) << c.says;
        EXPECT_NE(std::get<std::string>(result).find(c.says), std::string::npos)
            << std::get<std::string>(result);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 1s) << c.says;
    }
}

TEST(CaptureLoader, RetriesAFailedLoadOnlyWhenTheFileChangesOrItsIntervalIsOver) {
    TempDir dir;
    const CaptureFile file{dir.file("later.sr"), "", {}};
    std::mutex mutex;
    std::vector<std::string> log;
    CaptureLoader::Options options;
    options.retryInterval = 1s;
    options.pollInterval = 20ms;
    options.logInterval = 10s;
    options.log = [&](const std::string& line) {
        std::lock_guard lock(mutex);
        log.push_back(line);
    };
    // A file that holds "good" loads; anything else names its content.
    options.load = [](const CaptureFile& f,
                      const LoadLimits&) -> std::variant<Capture, std::string> {
        std::ifstream in(f.path);
        std::string text;
        if (!(in >> text)) return "no such file";
        if (text != "good") return "bad: " + text;
        return Capture{1000, 1, 1, {0, 1}};
    };
    CaptureLoader loader(options);
    const auto loadsBy = [&](int n) {
        eventually([&] { return loader.loads(file) >= n; });
        return loader.loads(file);
    };
    for (int i = 0; i < 100; ++i) // asking many times loads once
        EXPECT_FALSE(loader.capture(file));
    EXPECT_EQ(loadsBy(1), 1);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(loader.loads(file), 1);
    replaceFile(file.path, "bad"); // the file appears: loaded again at once
    EXPECT_EQ(loadsBy(2), 2);
    std::this_thread::sleep_for(200ms); // unchanged: tried again after the interval
    EXPECT_EQ(loader.loads(file), 2);
    EXPECT_EQ(loadsBy(3), 3);
    replaceFile(file.path, "good"); // mended (a new size): it loads
    ASSERT_TRUE(eventually([&] { return loader.capture(file) != nullptr; }));
    loader.stop();
    std::lock_guard lock(mutex);
    // The first failure, the changed one, not the repeat within 10 s, the load.
    const char* says[] = {"no such file; tried again when the file changes or in 1 s",
                          "bad: bad (retry 1 failed)", "loaded"};
    ASSERT_EQ(log.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_NE(log[i].find(says[i]), std::string::npos) << log[i];
}

TEST(SourceProblems, ListMissingCapturesDevicesNeverFoundAndReferencesBeyondTheChannels) {
    TempDir dir;
    vexengine::Engine engine;
    vexacq::SourceOptions options;
    const std::string capture = dir.file("later.sr");
    for (const std::string& text :
         {"replay:file=" + capture + ":ref=1kHz@5", std::string("fx2lafw:conn=99.99")})
        options.configs.push_back(std::get<vexacq::DeviceConfig>(vexacq::parseDeviceConfig(text)));
    options.problems = {"VEXIF_DEVICES: a bad entry"};
    vexacq::SigrokSource source(engine, options);
    const auto listed = [&](const std::string& text) {
        const std::vector<std::string> list = engine.deviceProblems();
        return std::any_of(list.begin(), list.end(),
                           [&](const std::string& line) { return line.find(text) != line.npos; });
    };
    EXPECT_TRUE(eventually([&] { return listed("capture '" + capture + "': no such file"); }));
    EXPECT_TRUE(eventually([&] { return listed("device fx2lafw:conn=99.99: not found"); }));
    EXPECT_EQ(engine.deviceProblems().size(), 3u);
    EXPECT_EQ(engine.deviceProblems().front(), "VEXIF_DEVICES: a bad entry");
    // The capture appears with 2 channels: now the reference is the problem.
    writeZip(capture, metadata("2", "1 MHz"), {{"logic-1-1", std::string(1000, '\x01')}});
    EXPECT_TRUE(
        eventually([&] { return listed("reference channel 5 is not among the device's 2"); }));
    EXPECT_FALSE(listed("no such file"));
    EXPECT_TRUE(source.module("QVRPLY01"));
}

} // namespace
