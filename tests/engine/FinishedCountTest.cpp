// The finished-count hook: each ended count is reported once, whichever call
// notices it, with its values, and the hook may call the engine.
#include "EngineFixture.h"

#include <atomic>
#include <functional>
#include <thread>

namespace {

using vexengine::FinishedCount;
using vexengine::Result;

class FinishedCounts : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        engine.setFinishedCountHook([this](const FinishedCount& count) {
            // Calling back into the engine from the hook must not deadlock.
            EXPECT_EQ(engine.moduleCount(), 5);
            reported.push_back(count);
        });
    }
    std::vector<FinishedCount> reported;
};

TEST_F(FinishedCounts, EachEndedCountIsReportedOnceByWhicheverCallSeesItEnd) {
    struct Case {
        const char* what;
        std::function<void()> act; // after a 100 ms frequency count started at 0
        size_t reports;
        bool stopped;
    };
    const Case cases[] = {
        {"status while busy", [this] { at(50 * ms), status(); }, 0, false},
        {"status after the gate", [this] { at(150 * ms), status(); }, 1, false},
        {"status twice", [this] { at(150 * ms), status(), status(); }, 1, false},
        {"counts after the gate", [this] { at(150 * ms), counts(); }, 1, false},
        {"stop while busy", [this] { at(50 * ms), engine.stopCount(session); }, 1, true},
        {"stop after the gate", [this] { at(150 * ms), engine.stopCount(session); }, 1, false},
        {"a new count replacing an unread one", [this] { at(150 * ms), start(0, 3, 0); }, 1, false},
        {"close after the gate", [this] { at(150 * ms), engine.closeModule(session); }, 1, false},
        {"session ends after the gate", [this] { at(150 * ms), engine.closeSession(session); }, 1,
         false},
        {"close while busy", [this] { at(50 * ms), engine.closeModule(session); }, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reported.clear();
        at(0);
        session = engine.openSession();
        ASSERT_EQ(engine.openModule(session, "QVSIMC02"), Result::ok);
        start(0, 3, 0);
        c.act();
        engine.closeSession(session); // reports nothing more
        ASSERT_EQ(reported.size(), c.reports);
        if (c.reports == 0) continue;
        EXPECT_EQ(reported[0].module, "QVSIMC02");
        EXPECT_EQ(reported[0].stopped, c.stopped);
        EXPECT_EQ(reported[0].settings.gateCode, 0);
        ASSERT_EQ(reported[0].measures.size(), 18u);
        if (!c.stopped) {
            EXPECT_EQ(reported[0].counts[0], 100000); // 1 MHz over 100 ms
            EXPECT_EQ(reported[0].counts[1], 100);    // 1 kHz
            EXPECT_EQ(reported[0].channelStates[0], 2u);
        }
    }
}

TEST_F(FinishedCounts, AnEngineCallInsideTheHookReportsItsOwnEndedCount) {
    const auto other = engine.openSession();
    ASSERT_EQ(engine.openModule(other, "QVSIMO01"), Result::ok);
    ASSERT_EQ(engine.startCount(other, {0, 3, 0, "--------"}), Result::ok);
    start(0, 3, 0);
    engine.setFinishedCountHook([&](const FinishedCount& count) {
        reported.push_back(count);
        vexengine::CounterStatus st;
        if (reported.size() == 1) engine.counterStatus(other, 64, st); // nested report
    });
    at(150 * ms);
    status();
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[0].module, "QVSIMC01");
    EXPECT_EQ(reported[1].module, "QVSIMO01");
}

TEST(FinishedCountThreads, CountsOfManySessionsAreEachReportedOnce) {
    auto clock = std::make_shared<vexengine::ManualClock>();
    vexengine::Engine engine(clock);
    std::atomic<int> reports{0};
    engine.setFinishedCountHook([&](const FinishedCount&) { ++reports; });
    const char* names[] = {"QVSIMC01", "QVSIMC02", "QVSIMO01", "QVSIMR01"};
    constexpr int rounds = 200;
    std::vector<std::thread> threads;
    for (const char* name : names)
        threads.emplace_back([&, name] {
            const auto id = engine.openSession();
            ASSERT_EQ(engine.openModule(id, name), Result::ok);
            for (int round = 0; round < rounds; ++round) {
                // Each count is ended by its stop (or by the clock moving on).
                ASSERT_EQ(engine.startCount(id, {2, 3, 7, "--------"}), Result::ok);
                vexengine::CounterStatus status;
                engine.counterStatus(id, 64, status);
                engine.stopCount(id);
                engine.counterStatus(id, 64, status);
                clock->advance(vexengine::kMillisecond);
            }
            engine.closeSession(id);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(reports.load(), 4 * rounds);
}

} // namespace
