// The acquisition's transition table: the lifecycle's paths pass, moves that
// skip a step or leave a lost device acquiring are refused. And the loop's
// call() refuses to run on its own thread, where it would wait for ever.
#include "AcquisitionState.h"
#include "AcquisitionLoop.h"

#include <gtest/gtest.h>

namespace {

using vexacq::AcquisitionState;
using vexacq::legalTransition;
using S = AcquisitionState;

TEST(AcquisitionState, TheTableAllowsTheLifecyclesPathsAndRefusesEveryOtherMove) {
    // Each path as the module walks it.
    const std::vector<std::vector<S>> paths = {
        {S::idle, S::starting, S::running, S::stopping, S::idle}, // open, release
        {S::idle, S::starting, S::running, S::idle, S::starting}, // ended by itself, restart
        {S::idle, S::starting, S::lost, S::idle},                 // did not open; back
        {S::idle, S::starting, S::running, S::idle, S::lost},     // kept ending
        {S::idle, S::lost, S::idle, S::starting},                 // unplugged while idle
    };
    bool legal[5][5] = {};
    for (const auto& path : paths)
        for (size_t i = 1; i < path.size(); ++i) {
            EXPECT_TRUE(legalTransition(path[i - 1], path[i]))
                << stateName(path[i - 1]) << " -> " << stateName(path[i]);
            legal[static_cast<int>(path[i - 1])][static_cast<int>(path[i])] = true;
        }
    // Nothing else: e.g. idle -> running (a stream that never started),
    // lost -> starting (a lost device acquiring), stopping -> running.
    for (int from = 0; from < 5; ++from)
        for (int to = 0; to < 5; ++to) {
            if (legal[from][to]) continue;
            EXPECT_FALSE(legalTransition(S(from), S(to)))
                << stateName(S(from)) << " -> " << stateName(S(to));
        }
}

TEST(AcquisitionLoopDeathTest, CallFromTheLoopThreadAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            vexacq::AcquisitionLoop loop;
            loop.call([&] { loop.call([] {}); });
        },
        "call from the loop thread");
}

} // namespace
