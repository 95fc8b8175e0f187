// The main window (offscreen) counting a recorded capture: a real vexcountd
// replays a binary file written at test time (replay:file=...:format=binary),
// and the window, started with "server=127.0.0.1:PORT", lists the replay
// module, uses it, and shows its exact frequencies and periods.
#include "ServerProcess.h"
#include "WindowDriver.h"

#include "../acquisition/CaptureFixtures.h"
#include "counter/ResultText.h"

#include <gtest/gtest.h>

namespace {

using namespace windowtest;

TEST(ReplayWindow, CountsARecordingThroughTheServer) {
    // 1 MHz, 0.1 s, looping without a seam: channel 0 a square wave of 10
    // samples (100 kHz), channel 1 of 16 (62.5 kHz), channel 2 high; no
    // rising edge on sample 0.
    vexacq::testing::TempDir dir;
    const std::string path = dir.file("recording.bin");
    std::string samples(100'000, '\0');
    for (size_t k = 0; k < samples.size(); ++k)
        samples[k] = char(((k + 5) % 10 < 5) | ((k + 8) % 16 < 8) << 1 | 1 << 2);
    vexacq::testing::writeFile(path, samples);
    vfctest::ServerProcess server(
        {"--device", "replay:file=" + path + ":format=binary:samplerate=1M:numchannels=3:speed=4"});
    ASSERT_TRUE(server.start());
    TMainForm form(std::vector<std::string>{"server=127.0.0.1:" + std::to_string(server.port())});
    ASSERT_TRUE(waitUntil(
        [&] { return moduleText(form) == "Using QVRPLY01" && form.runAction()->isEnabled(); },
        5000))
        << moduleText(form).toStdString();

    // Frequency over 100 ms of the recording.
    form.runAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return stateText(form) == "Frequency Count Finished"; }, 3000))
        << stateText(form).toStdString();
    std::vector<std::string> texts = results(form);
    EXPECT_EQ(texts[0], FrequencyText(10'000, kGate100ms));
    EXPECT_EQ(texts[1], FrequencyText(6250, kGate100ms));
    EXPECT_EQ(texts[2], FrequencyText(0, kGate100ms));
    EXPECT_EQ(texts[3], FrequencyText(0, kGate100ms)); // beyond the file's channels: absent
    ASSERT_TRUE(waitUntil([&] { return stateText(form) == "Idle"; }, 1500));

    // Period: 64 intervals of 10 samples = 640 us = 64 000 ticks of 10 ns.
    clickItem(*form.countTypeGroup(), 1);
    form.runAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return stateText(form) == "Period Count Finished"; }, 3000))
        << stateText(form).toStdString();
    texts = results(form);
    EXPECT_EQ(texts[0], PeriodText(64'000));
    EXPECT_EQ(texts[1], PeriodText(102'400));
}

} // namespace
