// Count placement: where a buffer-at-a-time device's gate fits, and how long
// a count waits for a reference.
#include "CountPlacement.h"
#include "ReferenceWatch.h"

#include <gtest/gtest.h>

namespace {

using vexacq::CountPlacement;
using Fit = CountPlacement::Fit;

TEST(CountPlacement, ABufferDevicesGateFitsOneBufferAtTheHighestRateThatLetsIt) {
    const vexacq::RateChoices offered{{1000, 10'000, 100'000}};
    const CountPlacement::Buffers of1200{1200, offered, false, 8}; // samples a buffer
    struct Case {
        const char* what;
        int gateCode;
        CountPlacement::Buffers buffers;
        uint64_t rate; // the stream's, Hz
        Fit fit;
        uint64_t gateRate;
    };
    // clang-format off
    const Case cases[] = {
        {"100 ms of 1200 samples: 10 kHz, as now", 0, of1200, 10'000, Fit::restart, 10'000},
        {"1 s of 1200 samples: restart at 1 kHz", 1, of1200, 10'000, Fit::restart, 1000},
        {"10 s fits at no rate", 2, of1200, 10'000, Fit::refuse, 0},
        {"an endless gate", 7, of1200, 10'000, Fit::refuse, 0},
        {"the config's rate fits", 0, {1200, offered, true, 8}, 10'000, Fit::fits, 0},
        {"the config's rate does not", 1, {1200, offered, true, 8}, 10'000, Fit::refuse, 0},
        {"buffer size unknown", 1, {0, offered, false, 8}, 10'000, Fit::fits, 0},
        {"no rates known yet", 2, {1200, {}, false, 8}, 0, Fit::fits, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CountPlacement placement;
        placement.begin(vexengine::CountSettings{0, 3, c.gateCode, "--------"});
        EXPECT_EQ(placement.fitGate(c.buffers, c.rate), c.fit);
        EXPECT_EQ(placement.gateRate(), c.gateRate);
        EXPECT_EQ(placement.phase(), c.fit == Fit::refuse ? CountPlacement::Phase::refused
                                                          : CountPlacement::Phase::waiting);
        // Asked again at the rate it restarted at: it fits now.
        if (c.fit == Fit::restart) {
            EXPECT_EQ(placement.fitGate(c.buffers, c.gateRate), Fit::fits);
        }
    }
}

TEST(CountPlacement, ACountWaitsForTheReferencesLockAtMostTheWindowAndOneSecond) {
    struct Case {
        double referenceHz;
        double seconds;
    };
    // 10 periods or 1 s, plus 1 s; never more than 30 s.
    for (const Case& c :
         {Case{10e6, 2}, Case{1e3, 2}, Case{5, 3}, Case{1, 11}, Case{0.5, 21}, Case{0.1, 30}})
        EXPECT_DOUBLE_EQ(vexacq::ReferenceWatch::waitSeconds(c.referenceHz), c.seconds)
            << c.referenceHz;

    using Start = CountPlacement::ReferenceStart;
    struct Packets {
        const char* what;
        std::vector<bool> locked; // before each 1000-sample packet
        std::vector<Start> starts;
    };
    using enum CountPlacement::ReferenceStart;
    // clang-format off
    const Packets cases[] = {
        {"locked at once", {true}, {referenced}},
        {"locks after two packets", {false, false, true}, {wait, wait, referenced}},
        {"waits 3000 samples, then counts without it",
         {false, false, false, false}, {wait, wait, wait, unreferenced}},
        {"a lock at the bound still counts",
         {false, false, false, true}, {wait, wait, wait, referenced}},
    };
    // clang-format on
    for (const Packets& c : cases) {
        SCOPED_TRACE(c.what);
        CountPlacement placement;
        placement.begin(vexengine::CountSettings{});
        std::vector<Start> starts;
        for (bool locked : c.locked)
            starts.push_back(placement.beforePacket(locked, 3000, 1000));
        EXPECT_EQ(starts, c.starts);
        placement.placed(starts.back() == Start::referenced);
        EXPECT_EQ(placement.referenced(), starts.back() == Start::referenced);
        // A new count starts its wait afresh, unreferenced until placed.
        placement.begin(vexengine::CountSettings{});
        EXPECT_FALSE(placement.referenced());
        EXPECT_EQ(placement.beforePacket(false, 3000, 1000), Start::wait);
    }
}

} // namespace
