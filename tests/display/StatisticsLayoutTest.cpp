// The Statistics window's plain choices: the trend's value axis against the
// readings, the window's place beside the main window, the words for counts.
#include "display/StatisticsLayout.h"

#include <gtest/gtest.h>

TEST(StatisticsLayout, ValueAxisFitsTheReadings) {
    const struct {
        const char* name;
        double lowest, highest;
        std::optional<AxisRange> shown;
        AxisRange expected;
    } cases[] = {
        // A steady 1 MHz: a band of 1 Hz about it, not from 0 upwards.
        {"constant 1 MHz", 1e6, 1e6, {}, {1e6 - 1, 1e6 + 1}},
        {"constant 1 MHz, axis of no readings", 1e6, 1e6, AxisRange{0, 1}, {1e6 - 1, 1e6 + 1}},
        {"constant 10 MHz", 1e7, 1e7, {}, {1e7 - 10, 1e7 + 10}},
        {"single 5 events", 5, 5, {}, {4.5, 5.5}},
        {"single 0.25 Hz", 0.25, 0.25, {}, {0.225, 0.275}},
        {"all zero", 0, 0, {}, {-1, 1}},
        // A spread gets 5 % of it beyond each end.
        {"330 to 340 Hz", 330, 340, {}, {329.5, 340.5}},
        {"999990 to 1000010 Hz", 999990, 1000010, {}, {999989, 1000011}},
        // What is shown stays while it holds the readings and is not far too wide.
        {"kept", 331, 339, AxisRange{329.5, 340.5}, {329.5, 340.5}},
        {"kept at four times", 330, 340, AxisRange{320, 364}, {320, 364}},
        {"too wide", 330, 340, AxisRange{0, 1000}, {329.5, 340.5}},
        {"readings outside", 330, 350, AxisRange{329.5, 340.5}, {329, 351}},
        {"spread of the old axis", 1e6, 1e6, AxisRange{-5e4, 1.05e6}, {1e6 - 1, 1e6 + 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const AxisRange range = trendValueRange(c.lowest, c.highest, c.shown);
        EXPECT_DOUBLE_EQ(range.low, c.expected.low);
        EXPECT_DOUBLE_EQ(range.high, c.expected.high);
    }
}

TEST(StatisticsLayout, WindowOpensBesideTheOwnerOnTheScreen) {
    const ScreenBox screen{0, 0, 1920, 1080};
    const struct {
        const char* name;
        ScreenBox owner;
        ScreenBox screen;
        int width, height;
        ScreenBox expected;
    } cases[] = {
        {"right", {100, 50, 760, 600}, screen, 900, 700, {868, 50, 900, 700}},
        {"left", {1000, 50, 760, 600}, screen, 900, 700, {92, 50, 900, 700}},
        // Neither side holds 900: the larger room, narrowed to it.
        {"narrowed right", {0, 0, 760, 600}, {0, 0, 1400, 900}, 900, 700, {768, 0, 632, 700}},
        {"narrowed left", {640, 0, 760, 600}, {0, 0, 1400, 900}, 900, 700, {0, 0, 632, 700}},
        // No room for even the narrowest: that narrow over the owner, at the
        // screen's edge.
        {"over, right", {0, 0, 760, 600}, {0, 0, 1024, 768}, 900, 700, {504, 0, 520, 700}},
        {"over, left", {300, 0, 760, 600}, {0, 0, 1100, 768}, 900, 700, {0, 0, 520, 700}},
        // Kept on the screen: low owners and larger windows.
        {"low owner", {100, 900, 760, 600}, screen, 900, 700, {868, 380, 900, 700}},
        // clang-format off
        {"too tall", {0, 0, 760, 500}, {0, 0, 1400, 600}, 600, 700, {768, 0, 600, 600}},
        {"screen 2", {2000, 100, 760, 600}, {1920, 0, 1920, 1080}, 900, 700, {2768, 100, 900, 700}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ScreenBox box = placeBeside(c.owner, c.screen, c.width, c.height, 520);
        EXPECT_EQ(box, c.expected)
            << box.x << "," << box.y << " " << box.width << "x" << box.height;
    }
}

TEST(StatisticsLayout, CountsInWords) {
    EXPECT_EQ(countsPhrase(0, 0), "0 counts");
    EXPECT_EQ(countsPhrase(1, 1), "1 count, 1 stopped");
    EXPECT_EQ(countsPhrase(12, 2), "12 counts, 2 stopped");
}
