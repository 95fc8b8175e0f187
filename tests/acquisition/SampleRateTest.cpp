// The rate to acquire at: the highest offered up to the cap, or up to a limit.
#include "SampleRate.h"

#include <gtest/gtest.h>

namespace {

TEST(SampleRate, HighestOfferedUpToTheCapFromListsAndRanges) {
    struct Case {
        const char* what;
        vexacq::RateChoices rates;
        int channels;
        uint64_t expected;
    };
    const Case cases[] = {
        {"list, 8 channels", {{1'000'000, 12'000'000, 24'000'000, 48'000'000}}, 8, 24'000'000},
        {"list, 16 channels", {{1'000'000, 12'000'000, 24'000'000, 48'000'000}}, 16, 12'000'000},
        {"list above the cap only", {{48'000'000, 96'000'000}}, 8, 48'000'000},
        {"range beyond the cap", {{}, 1000, 100'000'000, 1000}, 8, 24'000'000},
        {"range beyond the cap, 16 channels", {{}, 1000, 100'000'000, 1000}, 16, 12'000'000},
        {"range with an odd step", {{}, 20'000, 100'000'000, 30'000}, 8, 23'990'000},
        {"range without a step", {{}, 1'000'000, 50'000'000, 0}, 9, 12'000'000},
        {"range below the cap", {{}, 1000, 5'000'000, 1000}, 8, 5'000'000},
        {"nothing offered", {}, 8, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(vexacq::chooseSampleRate(c.rates, c.channels, 0), c.expected) << c.what;
    EXPECT_EQ(vexacq::chooseSampleRate(cases[0].rates, 8, 1'000'000), 1'000'000u);
    // Up to a limit as well (a gate that must fit a buffer): none may be.
    EXPECT_EQ(vexacq::highestRate(cases[3].rates, 8, 123'456), 123'000u);
    EXPECT_EQ(vexacq::highestRate(cases[0].rates, 8, 999'999), 0u);
}

} // namespace
