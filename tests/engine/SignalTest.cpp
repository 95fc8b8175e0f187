// Square-wave arithmetic against edges enumerated by brute force.
#include "Signal.h"

#include <gtest/gtest.h>

#include <vector>

using vexengine::Signal;

namespace {

// Edges of s in [a, b) found by stepping 1 ns at a time.
void bruteForce(const Signal& s, int64_t a, int64_t b, int64_t& rising, int64_t& falling) {
    rising = falling = 0;
    for (int64_t t = a; t < b; ++t) {
        bool before = s.levelAt(t - 1), after = s.levelAt(t);
        rising += !before && after;
        falling += before && !after;
    }
}

TEST(Signal, EdgeCountsMatchBruteForceAcrossWindowsAndPhases) {
    const std::vector<Signal> signals = {
        Signal::square(10, 5),
        Signal::square(10, 3, 7),
        Signal::square(7, 1, 6),
        Signal::square(100, 99),
        Signal::staticLow(),
        Signal::staticHigh(),
        Signal::square(10, 5).advanced(13),
    };
    for (const Signal& s : signals) {
        for (int64_t a : {-37, -10, 0, 1, 5, 9, 23}) {
            for (int64_t length : {0, 1, 4, 10, 11, 95}) {
                int64_t rising, falling;
                bruteForce(s, a, a + length, rising, falling);
                EXPECT_EQ(s.risingIn(a, a + length), rising) << a << "+" << length;
                EXPECT_EQ(s.fallingIn(a, a + length), falling) << a << "+" << length;
            }
        }
    }
}

TEST(Signal, NextEdgeIsTheFirstAtOrAfterT) {
    const Signal s = Signal::square(1000, 250, 100); // rises at 900 + k*1000, falls at 150 + k*1000
    struct Case {
        int64_t t, rising, falling;
    };
    for (const Case& c : {Case{0, 900, 150}, Case{150, 900, 150}, Case{151, 900, 1150},
                          Case{900, 900, 1150}, Case{901, 1900, 1150}, Case{-200, -100, 150}}) {
        EXPECT_EQ(s.nextRising(c.t), c.rising) << c.t;
        EXPECT_EQ(s.nextFalling(c.t), c.falling) << c.t;
    }
    EXPECT_TRUE(s.levelAt(900));
    EXPECT_FALSE(s.levelAt(899));
    EXPECT_FALSE(s.levelAt(1150));
    EXPECT_EQ(Signal::staticHigh().nextRising(0), vexengine::kNever);
    EXPECT_EQ(Signal::staticLow().nextFalling(0), vexengine::kNever);
}

TEST(Signal, WorksFarFromTheOrigin) {
    const Signal s = Signal::square(142857, 71428);
    const int64_t day = 86400LL * 1000000000LL;
    EXPECT_EQ(s.risingIn(day, day + 100 * 142857), 100);
    EXPECT_EQ(s.nextRising(day) % 142857, 0);
}

} // namespace
