// A fixture for engine tests: a manual clock, an engine on it and one
// session holding the first 'c' simulation (QVSIMC01) from time 0.
#pragma once

#include "Engine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class EngineFixture : public ::testing::Test {
protected:
    static constexpr int64_t ms = vexengine::kMillisecond;
    static constexpr int64_t s = vexengine::kSecond;

    void SetUp() override {
        session = engine.openSession();
        ASSERT_EQ(engine.openModule(session, "QVSIMC01"), vexengine::Result::ok);
    }

    void start(int type, int edge, int gate, std::string codes = "--------") {
        vexengine::CountSettings settings{type, edge, gate, std::move(codes)};
        ASSERT_EQ(engine.startCount(session, settings), vexengine::Result::ok);
    }
    vexengine::CounterStatus status() {
        vexengine::CounterStatus st;
        EXPECT_EQ(engine.counterStatus(session, 64, st), vexengine::Result::ok);
        return st;
    }
    std::vector<int64_t> counts() {
        std::vector<int64_t> c;
        EXPECT_EQ(engine.counts(session, 64, c), vexengine::Result::ok);
        return c;
    }
    // Channel states as digits, channel 0 first, e.g. "222...".
    std::string states() {
        std::string out;
        for (uint32_t st : status().channelStates)
            out += static_cast<char>('0' + st);
        return out;
    }
    void at(int64_t ns) { clock->set(ns); }

    std::shared_ptr<vexengine::ManualClock> clock = std::make_shared<vexengine::ManualClock>();
    vexengine::Engine engine{clock};
    vexengine::SessionId session = 0;
};
