// Sessions, module ownership, pin status, identity and argument checks.
#include "EngineFixture.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

using vexengine::Result;

using Engine = EngineFixture;

TEST_F(Engine, AModuleHeldByOneSessionIsTakenForAnother) {
    auto other = engine.openSession();
    vexengine::ModuleEntry entry;
    ASSERT_EQ(engine.moduleAt(0, entry), Result::ok);
    EXPECT_EQ(entry.freeFlagFor(session), 'f');
    EXPECT_EQ(entry.freeFlagFor(other), 't');
    EXPECT_EQ(engine.openModule(other, "QVSIMC01"), Result::moduleTaken);
    bool open = true;
    EXPECT_EQ(engine.isModuleOpen(other, open), Result::ok);
    EXPECT_FALSE(open);

    // Opening another module releases the first.
    ASSERT_EQ(engine.openModule(session, "QVSIMC02"), Result::ok);
    EXPECT_EQ(engine.openModule(other, "QVSIMC01"), Result::ok);
    EXPECT_EQ(engine.openModule(session, "QVSIMC01"), Result::moduleTaken);
    EXPECT_EQ(engine.isModuleOpen(session, open), Result::ok);
    EXPECT_TRUE(open); // a failed open keeps what the session held
    int channels = 0;
    EXPECT_EQ(engine.channelCount(session, channels), Result::ok);
    EXPECT_EQ(channels, 18);

    // Closing the session stops its count and frees its module.
    start(2, 3, 7);
    engine.closeSession(session);
    EXPECT_FALSE(engine.hasSession(session));
    EXPECT_EQ(engine.openModule(other, "QVSIMC02"), Result::ok);
    vexengine::CounterStatus st;
    ASSERT_EQ(engine.counterStatus(other, 18, st), Result::ok);
    EXPECT_FALSE(st.busy);
    EXPECT_EQ(engine.startCount(session, {}), Result::badSession);
}

TEST_F(Engine, PinStatusReportsChangesSinceTheLastRead) {
    ASSERT_EQ(engine.openModule(session, "QVSIMR01"), Result::ok); // opened at time 0
    auto read = [&] {
        std::string pins;
        EXPECT_EQ(engine.pinStatus(session, 8, pins), Result::ok);
        return pins;
    };
    // Channels 0..7: 1 MHz, 1 kHz, 1 kHz 25 %, 10 kHz (rose at -25 us),
    // 100 kHz 10 %, 1 Hz, static low, static high.
    struct Step {
        int64_t at;
        const char* pins;
    };
    const Step steps[] = {
        {100, "RRR1RR01"},            // all but channel 3 rose at 0
        {400, "11111101"},            // nothing changed
        {600, "F1111101"},            // 1 MHz fell at 500 ns
        {2600, "B111F101"},           // ... rose and fell again; 100 kHz fell at 1 us
        {600 * ms, "BBBBBF01"},       // 1 Hz fell at 500 ms
        {600 * ms + 100, "RRR1R001"}, // edges exactly at 600 ms count once
    };
    for (const Step& step : steps) {
        at(step.at);
        EXPECT_EQ(read(), step.pins) << step.at;
    }
}

// A refused read does not count as a read; each session has its own window.
TEST_F(Engine, PinStatusIsPerSessionAndRefusedReadsDoNotCount) {
    auto other = engine.openSession();
    ASSERT_EQ(engine.openModule(other, "QVSIMO01"), Result::ok);
    at(100);
    std::string mine, theirs;
    EXPECT_EQ(engine.pinStatus(session, 17, mine), Result::badArgument);
    ASSERT_EQ(engine.pinStatus(other, 16, theirs), Result::ok);
    at(200);
    ASSERT_EQ(engine.pinStatus(session, 18, mine), Result::ok);
    EXPECT_EQ(mine.size(), 18u);
    EXPECT_EQ(theirs.size(), 16u);
    EXPECT_EQ(mine[0], 'R'); // its window [0, 200 ns)
    EXPECT_EQ(theirs[0], 'R');
    ASSERT_EQ(engine.pinStatus(other, 16, theirs), Result::ok);
    EXPECT_EQ(theirs[0], '1'); // [100, 200 ns): high throughout
}

TEST_F(Engine, RejectsBadArgumentsAndMissingModule) {
    using S = vexengine::CountSettings;
    const S bad[] = {
        {3, 3, 0, "--------"},  {-1, 3, 0, "--------"}, {0, 4, 0, "--------"},
        {0, -1, 0, "--------"}, {0, 3, 3, "--------"},  {0, 3, 7, "--------"},
        {0, 3, 0, "-------"},   {0, 3, 0, "--------0"}, {0, 3, 0, "------x-"},
        {1, 3, 0, "r-------"},
    };
    for (const S& settings : bad)
        EXPECT_EQ(engine.startCount(session, settings), Result::badArgument)
            << settings.counterType << settings.edgeCode << settings.gateCode
            << settings.channelCodes;
    EXPECT_EQ(engine.startCount(session, {1, 3, 7, "01RFE-01"}), Result::ok);

    for (auto [which, tenths] : {std::pair{2, 14}, {-1, 14}, {0, 7}, {1, 26}})
        EXPECT_EQ(engine.setThreshold(session, which, tenths), Result::badArgument);
    EXPECT_EQ(engine.setThreshold(session, 1, 25), Result::ok);

    std::vector<int64_t> c;
    vexengine::CounterStatus st;
    EXPECT_EQ(engine.counts(session, 17, c), Result::badArgument);
    EXPECT_EQ(engine.counterStatus(session, 17, st), Result::badArgument);

    ASSERT_EQ(engine.closeModule(session), Result::ok);
    EXPECT_EQ(engine.closeModule(session), Result::ok);
    std::string pins;
    EXPECT_EQ(engine.counts(session, 64, c), Result::noModuleOpen);
    EXPECT_EQ(engine.counterStatus(session, 64, st), Result::noModuleOpen);
    EXPECT_EQ(engine.pinStatus(session, 64, pins), Result::noModuleOpen);
    EXPECT_EQ(engine.stopCount(session), Result::noModuleOpen);
    EXPECT_EQ(engine.setThreshold(session, 0, 14), Result::noModuleOpen);
    EXPECT_EQ(engine.openModule(session, "QVSIMX01"), Result::noSuchModule);
    EXPECT_EQ(engine.openModule(12345, "QVSIMC01"), Result::badSession);
}

TEST(EngineIdentity, FourCommaSeparatedFieldsWithoutStrayCommas) {
    vexengine::EngineOptions options;
    options.serverName = "lab, bench 2";
    options.version = "2.1";
    vexengine::Engine engine(std::make_shared<vexengine::ManualClock>(), options);
    std::string text = engine.identity().text();
    EXPECT_EQ(std::count(text.begin(), text.end(), ','), 3) << text;
    EXPECT_EQ(text.rfind("lab  bench 2,2.1,", 0), 0u) << text;
    EXPECT_EQ(engine.identity().startDate.size(), 10u);
    EXPECT_EQ(engine.identity().startTime.size(), 8u);
}

TEST(EngineThreads, SessionsFromManyThreadsNeverShareAModule) {
    vexengine::Engine engine;
    std::vector<std::thread> threads;
    std::atomic<int> opened{0};
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            for (int round = 0; round < 200; ++round) {
                auto id = engine.openSession();
                if (engine.openModule(id, "QVSIMC01") == Result::ok) {
                    auto entries = engine.modules();
                    EXPECT_EQ(entries[0].holder, id);
                    ++opened;
                }
                engine.closeSession(id);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_GT(opened.load(), 0);
    EXPECT_EQ(engine.sessionCount(), 0);
}

} // namespace
