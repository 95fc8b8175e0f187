// The acquisition's life against scripted analysers (ScriptedBackend.h),
// through the engine as a session sees it: quick close and reopen, streams
// that never share a sample, identity of returning devices, losses that the
// holder sees, rate and threshold changes, buffer-at-a-time devices, two
// devices of one driver on the one acquisition thread, transfer errors.
#include "AcquiredModule.h"
#include "Engine.h"
#include "Module.h"
#include "ScriptedBackend.h"
#include "SigrokSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

namespace {

using namespace std::chrono_literals;
using vexacq::DeviceInfo;
using vexacq::ThresholdKind;
using vexacq::test::ScriptedDevice;
using vexengine::CounterStatus;
using vexengine::CountSettings;
using vexengine::Result;

constexpr uint32_t kCounting = 1, kDone = 2, kForcedStop = 3;
const CountSettings kFrequency100ms{0, 3, 0, "--------"};
const CountSettings kEvents{2, 3, 7, "--------"};

DeviceInfo info(const std::string& serial, const std::string& connection, int channels = 8,
                ThresholdKind threshold = ThresholdKind::pair) {
    DeviceInfo i;
    i.driver = "scr";
    i.model = "Scripted";
    i.serial = serial;
    i.connection = connection;
    i.logicChannels = channels;
    i.threshold = threshold;
    i.preferredRate = 10'000; // Hz: a 100 ms gate is 1000 samples
    return i;
}

// Rising edges of channel k over samples first .. first + n - 1 of the
// incremental pattern (sample value = index), the sample before included
// when `after` (an edge at the first sample counts then).
int64_t patternRising(int k, uint64_t first, uint64_t n, bool after = true) {
    int64_t edges = 0;
    for (uint64_t i = first; i < first + n; ++i)
        if ((after || i > first) && i > 0 && !((i - 1) >> k & 1) && (i >> k & 1)) ++edges;
    return edges;
}

struct Lifecycle : ::testing::Test {
    std::shared_ptr<ScriptedDevice> add(DeviceInfo i) { return backend->add(std::move(i)); }

    void startSource(std::vector<vexacq::DeviceConfig> configs = {}) {
        vexacq::SourceOptions options;
        options.backends = {{"scr", backend}};
        options.defaultDrivers = {"scr"};
        options.configs = std::move(configs);
        options.rescanInterval = 0ms;
        options.beforeScan = [this] { ++scansStarted; };
        options.log = [this](const std::string& line) {
            std::lock_guard lock(logMutex);
            log.push_back(line);
        };
        options.debug = [this](const std::string& line) {
            std::lock_guard lock(logMutex);
            moves.push_back(line);
        };
        source = std::make_unique<vexacq::SigrokSource>(engine, options);
        ASSERT_TRUE(source->waitForScans(1, 5s));
        s1 = engine.openSession();
        s2 = engine.openSession();
    }
    // Waits for a scan that started after the call (one the engine's list
    // hook started earlier may still be running and miss the latest change).
    void rescan() {
        const int started = scansStarted;
        source->requestScan();
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (scansStarted == started || source->scansDone() < scansStarted) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
            std::this_thread::sleep_for(1ms);
        }
    }
    bool present(const std::string& name) {
        for (const auto& m : engine.modules())
            if (m.name == name) return m.present;
        return false;
    }
    static bool startedTimes(ScriptedDevice& d, int n) {
        return ScriptedBackend::waitFor(
            d, [n](const ScriptedDevice& x) { return x.starts == n && x.running; });
    }
    bool logged(const std::string& text) {
        std::lock_guard lock(logMutex);
        return std::any_of(log.begin(), log.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    }
    // The module opened by session s and its device's stream started n times.
    bool opened(vexengine::SessionId s, const char* module, ScriptedDevice& d, int n) {
        return engine.openModule(s, module) == Result::ok && startedTimes(d, n);
    }
    CounterStatus status(vexengine::SessionId s) {
        CounterStatus st;
        EXPECT_EQ(engine.counterStatus(s, 64, st), Result::ok);
        return st;
    }
    std::vector<int64_t> counts(vexengine::SessionId s) {
        std::vector<int64_t> c;
        EXPECT_EQ(engine.counts(s, 64, c), Result::ok);
        return c;
    }
    // A 100 ms frequency count on the device's incremental pattern: exact.
    void expectExactFrequency(vexengine::SessionId s, ScriptedDevice& d, int channels = 8) {
        ASSERT_EQ(engine.startCount(s, kFrequency100ms), Result::ok);
        const uint64_t first = d.next;
        backend->deliverPattern(d, 1500);
        CounterStatus st = status(s);
        EXPECT_FALSE(st.busy);
        const auto c = counts(s);
        for (int k = 0; k < channels; ++k) {
            EXPECT_EQ(c[k], patternRising(k, first, 1000, first > 0)) << "channel " << k;
            EXPECT_EQ(st.channelStates[k], kDone) << k;
        }
    }

    // Channels whose measures say the count was referenced.
    int referencedChannels(vexengine::SessionId s) {
        std::vector<vexengine::ChannelMeasures> m;
        EXPECT_EQ(engine.measures(s, m), Result::ok);
        return static_cast<int>(
            std::count_if(m.begin(), m.end(), [](const auto& x) { return x.referenced; }));
    }
    // Every move the module made was one its transition table allows.
    void TearDown() override { EXPECT_FALSE(logged("refused the acquisition move")); }

    using ScriptedBackend = vexacq::test::ScriptedBackend;
    std::mutex logMutex;
    std::vector<std::string> log, moves;
    std::atomic<int> scansStarted{0};
    std::shared_ptr<ScriptedBackend> backend = std::make_shared<ScriptedBackend>();
    vexengine::Engine engine;
    std::unique_ptr<vexacq::SigrokSource> source; // last: goes first
    vexengine::SessionId s1 = 0, s2 = 0;
};

TEST_F(Lifecycle, ACloseFollowedByAnOpenReusesTheDeviceEvenWhenItsStopIsSlow) {
    auto a = add(info("S1", "1.1"));
    startSource();
    ASSERT_TRUE(opened(s1, "QVSCRX01", *a, 1));

    // Closed and opened by another client at once: the stream runs on (or
    // starts again, had the loop stopped it in between).
    ASSERT_EQ(engine.closeModule(s1), Result::ok);
    ASSERT_EQ(engine.openModule(s2, "QVSCRX01"), Result::ok);
    ASSERT_TRUE(ScriptedBackend::waitFor(
        *a, [](const ScriptedDevice& x) { return x.running && x.stops == x.starts - 1; }));
    expectExactFrequency(s2, *a);

    // The stop is asked and the device is slow to end its stream; the module
    // is opened again meanwhile: the end of the stream is not a loss.
    const int starts = a->starts, stops = a->stops; // no stream change is under way
    a->holdStop = true;
    ASSERT_EQ(engine.closeModule(s2), Result::ok);
    ASSERT_TRUE(ScriptedBackend::waitFor(
        *a, [stops](const ScriptedDevice& x) { return x.stops == stops + 1; }));
    ASSERT_EQ(engine.openModule(s1, "QVSCRX01"), Result::ok);
    a->holdStop = false;
    backend->endStream(*a); // the held stop completes
    ASSERT_TRUE(startedTimes(*a, starts + 1));
    EXPECT_TRUE(present("QVSCRX01"));
    // A count started before the new stream's first packet waits for it.
    expectExactFrequency(s1, *a);
    std::lock_guard lock(logMutex); // each move goes to the debug log
    ASSERT_GE(moves.size(), 4u);
    EXPECT_EQ(
        std::vector(moves.begin(), moves.begin() + 4),
        (std::vector<std::string>{"QVSCRX01: idle -> starting", "QVSCRX01: starting -> running",
                                  "QVSCRX01: running -> stopping", "QVSCRX01: stopping -> idle"}));
}

TEST_F(Lifecycle, ACountRemembersNothingOfAnEarlierStreamOrOfSamplesBeforeARestart) {
    auto a = add(info("S1", "1.1"));
    startSource();
    ASSERT_TRUE(opened(s1, "QVSCRX01", *a, 1));
    backend->deliver(*a, {1, 0, 0}); // the stream ends low
    ASSERT_EQ(engine.closeModule(s1), Result::ok);
    ASSERT_TRUE(ScriptedBackend::waitFor(*a, [](const ScriptedDevice& x) { return x.ends == 1; }));
    ASSERT_TRUE(opened(s1, "QVSCRX01", *a, 2));
    // The new stream starts high: no edge at its first sample.
    ASSERT_EQ(engine.startCount(s1, kEvents), Result::ok);
    backend->deliver(*a, {1, 1, 1});
    EXPECT_EQ(counts(s1)[0], 0);

    // A threshold change restarts the stream; a count started meanwhile takes
    // nothing of the old stream (still delivering while it stops).
    a->holdStop = true;
    ASSERT_EQ(engine.setThreshold(s1, 0, 20), Result::ok);
    ASSERT_EQ(engine.startCount(s1, kEvents), Result::ok);
    ASSERT_TRUE(ScriptedBackend::waitFor(*a, [](const ScriptedDevice& x) { return x.stops == 2; }));
    backend->deliver(*a, {0, 1, 0, 1, 0, 1});
    CounterStatus st = status(s1);
    EXPECT_TRUE(st.busy);
    EXPECT_EQ(st.channelStates[0], kCounting);
    a->holdStop = false;
    backend->endStream(*a); // the held stop completes
    ASSERT_TRUE(startedTimes(*a, 3));
    EXPECT_DOUBLE_EQ(a->high, 2.0);
    backend->deliver(*a, {1, 0, 1, 0, 1});
    EXPECT_EQ(counts(s1)[0], 2);
}

TEST_F(Lifecycle, ReturningDevicesAreMatchedBySerialThenConnectionThenAnAbsentModule) {
    // c scans first once plugged: it must not take a present module's name.
    auto c = add(info("", "1.3", 4, ThresholdKind::none));
    c->plugged = false;
    auto a = add(info("", "1.1", 8));
    auto b = add(info("S2", "1.2", 16));
    startSource();
    backend->plug(*c, "1.3");
    rescan();
    ASSERT_TRUE(opened(s1, "QVSCRX01", *a, 1));
    ASSERT_TRUE(opened(s2, "QVSCRX03", *c, 1));
    // c's own channel count and fixed threshold, not a's.
    ASSERT_EQ(engine.setThreshold(s2, 0, 20), Result::ok);
    ASSERT_EQ(engine.startCount(s2, kEvents), Result::ok);
    CounterStatus st = status(s2);
    EXPECT_EQ(st.channelStates[3], kCounting);
    EXPECT_EQ(st.channelStates[4], 0u);
    EXPECT_EQ(c->starts, 1); // no restart for a threshold it does not have
    engine.closeModule(s1);
    engine.closeModule(s2);
    ASSERT_TRUE(ScriptedBackend::waitFor(*c, [](const ScriptedDevice& x) { return !x.running; }));
    ASSERT_TRUE(ScriptedBackend::waitFor(*a, [](const ScriptedDevice& x) { return !x.running; }));

    // a and b unplugged; a comes back at another address, b at its old one
    // with its serial number: each takes its own module back.
    backend->unplug(*a);
    backend->unplug(*b);
    rescan();
    EXPECT_FALSE(present("QVSCRX01"));
    EXPECT_FALSE(present("QVSCRX02"));
    EXPECT_TRUE(present("QVSCRX03"));
    backend->plug(*b, "1.9");
    backend->plug(*a, "1.7");
    rescan();
    EXPECT_TRUE(present("QVSCRX01"));
    EXPECT_TRUE(present("QVSCRX02"));
    EXPECT_EQ(engine.modules().size(), 8u); // five simulations and three analysers
    ASSERT_TRUE(opened(s1, "QVSCRX02", *b, 1));
    ASSERT_TRUE(opened(s2, "QVSCRX01", *a, 2));
}

TEST_F(Lifecycle, ALossFailsTheHoldersCallsUntilItClosesEvenIfTheDeviceReturns) {
    auto a = add(info("S1", "1.1"));
    startSource();
    ASSERT_TRUE(opened(s1, "QVSCRX01", *a, 1));
    ASSERT_EQ(engine.startCount(s1, kEvents), Result::ok);
    backend->deliverPattern(*a, 100);
    backend->unplug(*a);
    backend->plug(*a, "1.1");
    rescan();
    // The returned device is listed present and free, and opens afresh for
    // another session before the old holder has called again ...
    EXPECT_TRUE(present("QVSCRX01"));
    for (const auto& m : engine.modules()) {
        if (m.name == "QVSCRX01") {
            EXPECT_EQ(m.freeFlagFor(s2), 'f');
        }
    }
    ASSERT_TRUE(opened(s2, "QVSCRX01", *a, 2));
    // ... while the old holder still learns of the loss, once.
    std::vector<int64_t> c;
    EXPECT_EQ(engine.counts(s1, 64, c), Result::moduleGone);
    bool open = true;
    EXPECT_EQ(engine.isModuleOpen(s1, open), Result::ok);
    EXPECT_FALSE(open);
    expectExactFrequency(s2, *a);
}

TEST_F(Lifecycle, ARateChangeMidCountEndsItUnfinishedAndTheNextCountUsesTheNewRate) {
    auto a = add(info("S1", "1.1"));
    startSource();
    ASSERT_TRUE(opened(s1, "QVSCRX01", *a, 1));
    ASSERT_EQ(engine.startCount(s1, CountSettings{0, 3, 1, "--------"}), Result::ok); // 1 s
    backend->deliverPattern(*a, 3000);
    backend->changeRate(*a, 20'000);
    CounterStatus st = status(s1);
    EXPECT_FALSE(st.busy);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(st.channelStates[k], kForcedStop) << k;
    // 100 ms at 20 kHz: 2000 samples.
    ASSERT_EQ(engine.startCount(s1, kFrequency100ms), Result::ok);
    const uint64_t first = a->next;
    backend->deliverPattern(*a, 2500);
    // The new rate starts a new generation: nothing before it counts.
    EXPECT_EQ(counts(s1)[2], patternRising(2, first, 2000, false));
    EXPECT_EQ(status(s1).channelStates[2], kDone);
}

TEST_F(Lifecycle, EveryThresholdIsAppliedAlsoOneSetWhileTheStreamStarts) {
    auto pair = add(info("S1", "1.1", 8, ThresholdKind::pair));
    auto single = add(info("S2", "1.2", 8, ThresholdKind::single));
    startSource();
    // Set while the device starts: applied by a restart.
    pair->onStart = [this] {
        engine.setThreshold(s1, 0, 20);
        engine.setThreshold(s1, 1, 18);
    };
    ASSERT_TRUE(opened(s1, "QVSCRX01", *pair, 2));
    EXPECT_DOUBLE_EQ(pair->high, 2.0);
    EXPECT_DOUBLE_EQ(pair->low, 1.8);
    pair->onStart = nullptr;

    ASSERT_EQ(engine.openModule(s2, "QVSCRX02"), Result::ok);
    for (const auto& [session, device] : {std::pair{s1, pair}, std::pair{s2, single}}) {
        for (int v = 8; v <= 25; ++v) {
            SCOPED_TRACE(device->info.serial + " " + std::to_string(v));
            // The pair takes both levels; the single level is their mean.
            const int other = device == pair ? 33 - v : v;
            ASSERT_EQ(engine.setThreshold(session, 0, v), Result::ok);
            ASSERT_EQ(engine.setThreshold(session, 1, other), Result::ok);
            const double high = v / 10.0, low = other / 10.0;
            EXPECT_TRUE(ScriptedBackend::waitFor(*device, [&](const ScriptedDevice& x) {
                return x.running && std::abs(x.high - high) < 1e-9 && std::abs(x.low - low) < 1e-9;
            }));
        }
    }
}

TEST_F(Lifecycle, ARangeDeviceAcquiresAtTheHighestRateUpToTheCap) {
    DeviceInfo i = info("S1", "1.1", 16);
    i.preferredRate = 0;
    auto a = add(i);
    a->rates = {{}, 1000, 100'000'000, 1000};
    startSource();
    ASSERT_TRUE(opened(s1, "QVSCRX01", *a, 1));
    EXPECT_EQ(a->rate, 12'000'000u);
}

TEST_F(Lifecycle, ABufferDeviceCountsOneGateABufferAtARateItFitsAndRefusesAnEndlessGate) {
    DeviceInfo i = info("S1", "1.1");
    i.streams = false;
    i.bufferSamples = 1200;
    auto a = add(i);
    startSource({vexacq::DeviceConfig{"scr", {}}});
    ASSERT_TRUE(opened(s1, "QVSCRX01", *a, 1));
    EXPECT_EQ(a->limit, 1200u);
    for (int buffer = 1; buffer <= 4; ++buffer) {
        SCOPED_TRACE(buffer);
        ASSERT_EQ(engine.startCount(s1, kFrequency100ms), Result::ok);
        const uint64_t first = a->next;
        backend->deliverPattern(*a, 1200);
        backend->endStream(*a); // the buffer is full: not a loss
        ASSERT_TRUE(startedTimes(*a, buffer + 1));
        EXPECT_TRUE(present("QVSCRX01"));
        EXPECT_EQ(status(s1).channelStates[1], kDone);
        EXPECT_EQ(counts(s1)[1], patternRising(1, first, 1000, false));
    }
    // A gate longer than a buffer at 10 kHz: the stream restarts at the
    // highest rate that fits it (1 s of 1200 samples: 1 kHz).
    ASSERT_EQ(engine.startCount(s1, CountSettings{0, 3, 1, "--------"}), Result::ok);
    ASSERT_TRUE(ScriptedBackend::waitFor(
        *a, [](const ScriptedDevice& x) { return x.running && x.rate == 1000 && x.starts == 6; }));
    backend->deliverPattern(*a, 1200);
    EXPECT_EQ(status(s1).channelStates[1], kDone);
    EXPECT_EQ(counts(s1)[1], patternRising(1, 0, 1000, false));
    // An endless gate, or one that fits at no rate (10 s), is refused at once.
    for (const CountSettings& s : {kEvents, CountSettings{0, 3, 2, "--------"}}) {
        ASSERT_EQ(engine.startCount(s1, s), Result::ok);
        const CounterStatus st = status(s1);
        EXPECT_FALSE(st.busy);
        EXPECT_EQ(st.channelStates[0], kForcedStop);
    }
}

TEST_F(Lifecycle, TwoDevicesOfOneDriverAcquireAtOnceOnTheOneAcquisitionThread) {
    auto a = add(info("S1", "1.1"));
    auto b = add(info("S2", "1.2", 16));
    startSource();
    ASSERT_EQ(engine.openModule(s1, "QVSCRX01"), Result::ok);
    ASSERT_TRUE(opened(s2, "QVSCRX02", *a, 1));
    ASSERT_TRUE(startedTimes(*b, 1));
    EXPECT_EQ(a->thread, b->thread);
    EXPECT_NE(a->thread, std::this_thread::get_id());
    b->next = 12345;
    backend->deliverPattern(*b, 10); // b ahead of a: streams are separate
    expectExactFrequency(s1, *a);
    expectExactFrequency(s2, *b, 16);

    // The default scan leaves buffer-at-a-time drivers out and names them.
    const auto& defaults = vexacq::SigrokSource::defaultDrivers();
    std::string line;
    {
        std::lock_guard lock(logMutex);
        for (const std::string& l : log)
            if (l.starts_with("not in the default scan")) line = l;
    }
    for (const std::string& driver : vexacq::SigrokSource::bufferDrivers()) {
        EXPECT_EQ(std::count(defaults.begin(), defaults.end(), driver), 0) << driver;
        EXPECT_NE(line.find(driver), std::string::npos) << driver;
    }
}

TEST_F(Lifecycle, AReferenceChannelLocksTimesTheCountsAndStartsAfreshWithEachStream) {
    auto a = add(info("S1", "1.1"));
    // Channel 3 of the pattern: 16 samples a period, 625 Hz at 10 kHz.
    startSource({vexacq::DeviceConfig{"scr", {}, vexacq::ReferenceInput{625, 3}}});
    ASSERT_TRUE(opened(s1, "QVSCRX01", *a, 1));
    vexengine::TimeBase base;
    backend->deliverPattern(*a, 5000);
    ASSERT_EQ(engine.timeBase(s1, base), Result::ok);
    EXPECT_TRUE(base.external);
    EXPECT_FALSE(base.locked); // half a window
    EXPECT_EQ(base.referenceChannel, 3);
    backend->deliverPattern(*a, 5100);
    ASSERT_EQ(engine.timeBase(s1, base), Result::ok);
    EXPECT_TRUE(base.locked);
    EXPECT_DOUBLE_EQ(base.rate, 10000);
    EXPECT_DOUBLE_EQ(base.offsetPpm, 0);
    expectExactFrequency(s1, *a);
    std::vector<vexengine::ChannelMeasures> m;
    ASSERT_EQ(engine.measures(s1, m), Result::ok);
    EXPECT_DOUBLE_EQ(m[0].reciprocalHz, 5000); // 2 samples a period
    EXPECT_DOUBLE_EQ(m[2].duty, 0.5);

    backend->endStream(*a); // a new stream: its reference is measured anew
    ASSERT_TRUE(startedTimes(*a, 2));
    backend->deliverPattern(*a, 100);
    ASSERT_EQ(engine.timeBase(s1, base), Result::ok);
    EXPECT_FALSE(base.locked);
    EXPECT_TRUE(logged("QVSCRX01: reference 625 Hz on channel 3 locked, sample clock +0.000 ppm"));
    EXPECT_TRUE(logged("QVSCRX01: reference 625 Hz on channel 3 not locked, counting with the "
                       "nominal rate 10000 Hz"));
}

TEST_F(Lifecycle, TheFirstCountWaitsForTheReferenceAndACountKeepsItWhenTheLockIsLostMidGate) {
    auto a = add(info("S1", "1.1"));
    // Channel 3: 625 Hz at 10 kHz; the estimator's window is 1 s (10000 samples).
    startSource({vexacq::DeviceConfig{"scr", {}, vexacq::ReferenceInput{625, 3}}});
    ASSERT_TRUE(opened(s1, "QVSCRX01", *a, 1));
    ASSERT_EQ(engine.startCount(s1, kFrequency100ms), Result::ok);
    for (int packet = 0; packet < 9; ++packet)
        backend->deliverPattern(*a, 1000);
    CounterStatus st = status(s1);
    EXPECT_TRUE(st.busy); // waiting for the reference: busy, not armed
    EXPECT_FALSE(st.armed);
    EXPECT_EQ(st.channelStates[0], kCounting);
    for (int packet = 0; packet < 4; ++packet)
        backend->deliverPattern(*a, 1000);
    EXPECT_FALSE(status(s1).busy);
    EXPECT_EQ(counts(s1)[0], 500); // 1000 samples
    EXPECT_EQ(referencedChannels(s1), 18);

    // Begun locked, a count keeps the reference when channel 3 stops mid-gate.
    ASSERT_EQ(engine.startCount(s1, kFrequency100ms), Result::ok);
    std::vector<uint32_t> noReference;
    for (uint32_t i = 0; i < 1200; ++i)
        noReference.push_back((13'000 + i) & ~8u);
    backend->deliver(*a, noReference);
    vexengine::TimeBase base;
    ASSERT_EQ(engine.timeBase(s1, base), Result::ok);
    EXPECT_FALSE(base.locked);
    EXPECT_FALSE(status(s1).busy);
    EXPECT_EQ(counts(s1)[0], 500);
    EXPECT_EQ(referencedChannels(s1), 18);
    EXPECT_FALSE(logged("not referenced"));
}

TEST_F(Lifecycle, AReferenceThatNeverLocksGivesAnUnreferencedCountAfterTheWait) {
    auto a = add(info("S1", "1.1"));
    // Configured as 1 kHz, channel 3 reads 37.5 % off and never locks; a count
    // waits max(1 s, 10 periods) + 1 s = 2 s of the stream (20000 samples).
    startSource({vexacq::DeviceConfig{"scr", {}, vexacq::ReferenceInput{1000, 3}}});
    ASSERT_TRUE(opened(s1, "QVSCRX01", *a, 1));
    ASSERT_EQ(engine.startCount(s1, kFrequency100ms), Result::ok);
    for (int packet = 0; packet < 20; ++packet)
        backend->deliverPattern(*a, 1000);
    EXPECT_TRUE(status(s1).busy);
    backend->deliverPattern(*a, 2000);
    EXPECT_FALSE(status(s1).busy);
    EXPECT_EQ(counts(s1)[0], 500); // the nominal rate's 1000 samples
    EXPECT_EQ(referencedChannels(s1), 0);
    std::lock_guard lock(logMutex);
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "count on QVSCRX01 not referenced: the reference did not lock within 2 s"),
              1);
}

TEST_F(Lifecycle, ATransferErrorRestartsTheStreamAndOneThatKeepsEndingIsALoss) {
    auto a = add(info("S1", "1.1"));
    startSource();
    ASSERT_TRUE(opened(s1, "QVSCRX01", *a, 1));
    ASSERT_EQ(engine.startCount(s1, kFrequency100ms), Result::ok);
    backend->deliverPattern(*a, 400);
    backend->endStream(*a); // a failed transfer: the device is still there
    ASSERT_TRUE(startedTimes(*a, 2));
    const CounterStatus st = status(s1);
    EXPECT_FALSE(st.busy);
    EXPECT_EQ(st.channelStates[0], kForcedStop); // never a made-up finished count
    EXPECT_TRUE(present("QVSCRX01"));
    expectExactFrequency(s1, *a);

    const auto* module = source->module("QVSCRX01");
    ASSERT_NE(module, nullptr);
    vexengine::AcquisitionStats stats = module->acquisitionStats();
    EXPECT_TRUE(stats.acquired);
    EXPECT_EQ(stats.samples, 400u + 1500u);
    EXPECT_EQ(stats.droppedPackets, 1u);

    // Streams that end again and again, each soon after its start.
    for (int run = 0; run < 3; ++run)
        backend->endStream(*a);
    std::vector<int64_t> c;
    EXPECT_EQ(engine.counts(s1, 64, c), Result::moduleGone);
    EXPECT_TRUE(logged("QVSCRX01: acquisition ended, device lost"));
}

} // namespace
