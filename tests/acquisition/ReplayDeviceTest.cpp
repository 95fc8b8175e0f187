// The replay device behind the acquisition seam, on a GLib main context of
// the test's own: it hands the sink the capture's rate and then its samples
// as one continuous, looping stream, and ends exactly once after stop();
// the backend turns configs into devices, loading each capture once.
#include "ReplayDevice.h"
#include "CaptureFixtures.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace vexacq;

// Records what a device delivers.
struct RecordingSink final : PacketSink {
    std::vector<uint64_t> rates;
    std::vector<uint8_t> bytes;
    unsigned unitSize = 0;
    int packets = 0;
    int ends = 0;
    bool logicBeforeRate = false;

    void sampleRate(uint64_t hz) override { rates.push_back(hz); }
    void logic(const void* data, size_t n, unsigned unitsize) override {
        logicBeforeRate |= rates.empty();
        unitSize = unitsize;
        ++packets;
        bytes.insert(bytes.end(), static_cast<const uint8_t*>(data),
                     static_cast<const uint8_t*>(data) + n);
    }
    void ended() override { ++ends; }
};

// A GLib main context pushed as this thread's default, as on the
// acquisition thread.
class ThreadContext {
public:
    ThreadContext() : m_context(g_main_context_new()) {
        g_main_context_push_thread_default(m_context);
    }
    ~ThreadContext() {
        g_main_context_pop_thread_default(m_context);
        g_main_context_unref(m_context);
    }
    // Dispatches events until done() or the timeout.
    template <class Done> bool runUntil(Done done, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!done() && std::chrono::steady_clock::now() < end)
            g_main_context_iteration(m_context, FALSE) ||
                (std::this_thread::sleep_for(std::chrono::milliseconds(1)), true);
        return done();
    }

private:
    GMainContext* m_context;
};

struct Backend {
    int lookups = 0;
    // 2 bytes per sample, sample k = k: continuity is easy to check.
    std::shared_ptr<const Capture> capture = std::make_shared<const Capture>(
        Capture{100'000, 2, 16, vexacq::testing::squareWaves(1000, 2)});
    std::unique_ptr<vexacq::Backend> backend =
        makeReplayBackend([this](const CaptureFile& file) -> std::shared_ptr<const Capture> {
            ++lookups;
            return file.path == "missing.sr" ? nullptr : capture;
        });

    std::vector<std::unique_ptr<Device>> scan(const char* text) {
        return backend->scan(std::get<DeviceConfig>(parseDeviceConfig(text)), false);
    }
};

TEST(ReplayDevice, PlaysTheRateThenOneContinuousLoopingStreamAndEndsOnce) {
    ThreadContext loop;
    Backend replay;
    auto devices = replay.scan("replay:file=a.sr:speed=4");
    ASSERT_EQ(devices.size(), 1u);
    Device& device = *devices.front();
    EXPECT_EQ(device.info().logicChannels, 16);
    EXPECT_EQ(device.sampleRate(), 100'000u);
    std::string error;
    ASSERT_TRUE(device.open(error) && device.applySettings(error));

    RecordingSink sink;
    ASSERT_TRUE(device.start(sink, error)) << error;
    EXPECT_FALSE(device.start(sink, error)); // one stream at a time
    // 1000 samples at 400 000 samples/s: loops every 2.5 ms.
    ASSERT_TRUE(
        loop.runUntil([&] { return sink.bytes.size() >= 2 * 3000; }, std::chrono::seconds(10)));
    device.stop();
    EXPECT_EQ(sink.ends, 0); // never from within stop()
    device.stop();           // a second stop changes nothing
    ASSERT_TRUE(loop.runUntil([&] { return sink.ends > 0; }, std::chrono::seconds(5)));
    loop.runUntil([] { return false; }, std::chrono::milliseconds(30));
    EXPECT_EQ(sink.ends, 1);

    EXPECT_EQ(sink.rates, std::vector<uint64_t>{100'000});
    EXPECT_FALSE(sink.logicBeforeRate);
    EXPECT_EQ(sink.unitSize, 2u);
    for (size_t k = 0; k < sink.bytes.size() / 2; ++k)
        ASSERT_EQ(sink.bytes[2 * k] | sink.bytes[2 * k + 1] << 8, int(k % 1000)) << k;

    // It plays again from the start.
    RecordingSink again;
    ASSERT_TRUE(device.start(again, error));
    ASSERT_TRUE(loop.runUntil([&] { return !again.bytes.empty(); }, std::chrono::seconds(5)));
    EXPECT_EQ(again.bytes[0] | again.bytes[1] << 8, 0);
    devices.clear(); // destroyed while playing: the stream still ends once
    ASSERT_TRUE(loop.runUntil([&] { return again.ends > 0; }, std::chrono::seconds(5)));
    EXPECT_EQ(again.ends, 1);
}

TEST(ReplayDevice, TheBackendChecksConfigsAndYieldsADeviceOnlyForALoadedCapture) {
    Backend replay;
    std::string error;
    EXPECT_FALSE(replay.backend->prepare({"replay", {{"speed", "2"}}}, error));
    EXPECT_NE(error.find("needs file=PATH"), std::string::npos) << error;
    EXPECT_TRUE(replay.backend->prepare({"replay", {{"file", "a.sr"}}}, error));

    EXPECT_EQ(replay.scan("replay:file=a.sr").size(), 1u);
    // A capture not (yet) loaded yields nothing; the loader says why.
    EXPECT_TRUE(replay.scan("replay:file=missing.sr").empty());
    EXPECT_EQ(replay.lookups, 2);
}

} // namespace
