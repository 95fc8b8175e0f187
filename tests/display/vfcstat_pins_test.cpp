// Glyph choice and placement of the status bar's pin row.
#include "display/vfcstat_pins.h"

#include <gtest/gtest.h>

#include <string>

TEST(PinGlyph, EachStateHasItsGlyphAndEverythingElseShowsLow) {
    const std::pair<char, int> cases[] = {{'0', 0}, {'1', 1}, {'R', 2}, {'F', 3},  {'B', 4},
                                          {'E', 0}, {'r', 0}, {'-', 0}, {'\0', 0}, {'2', 0}};
    for (const auto& [state, glyph] : cases)
        EXPECT_EQ(pinGlyphIndex(state), glyph) << state;
}

namespace {
// Sizes of the runs of glyphs between the gaps, left to right.
std::vector<int> groupSizes(const PinRowLayout& row) {
    std::vector<int> sizes;
    int expectedX = -1;
    for (const PinGlyphPlace& place : row.glyphs) {
        if (place.x != expectedX) sizes.push_back(0);
        ++sizes.back();
        expectedX = place.x + kPinGlyphWidth;
    }
    return sizes;
}
} // namespace

TEST(PinRow, EighteenPinsRunFromTheHighestInGroupsOfTwoThenFours) {
    const PinRowLayout row = layoutPinRow(std::string(17, '0') + "R", 18, 100);
    ASSERT_EQ(row.glyphs.size(), 18u);
    EXPECT_EQ(row.glyphs.front().pin, 17);
    EXPECT_EQ(row.glyphs.front().glyph, 2);
    EXPECT_EQ(row.glyphs.front().x, 100);
    EXPECT_EQ(row.glyphs.back().pin, 0);
    EXPECT_EQ(groupSizes(row), (std::vector<int>{2, 4, 4, 4, 4}));
    // 18 glyphs, five gaps, and the "0" 2 pixels back from the end.
    EXPECT_EQ(row.zeroLabelX, 100 + 18 * 8 + 5 * 4 - 2);
}

TEST(PinRow, AShortTextDrawsOnlyItsPinsAndALongOneIsCut) {
    const PinRowLayout shortRow = layoutPinRow("1000000B", 18, 0);
    ASSERT_EQ(shortRow.glyphs.size(), 8u);
    EXPECT_EQ(shortRow.glyphs.front().glyph, 4); // pin 7 first
    EXPECT_EQ(shortRow.glyphs.back().glyph, 1);  // pin 0 last
    EXPECT_EQ(groupSizes(shortRow), (std::vector<int>{4, 4}));
    EXPECT_EQ(shortRow.zeroLabelX, 8 * 8 + 2 * 4 - 2);

    EXPECT_EQ(layoutPinRow(std::string(20, '1'), 18, 0).glyphs.front().pin, 17);
    EXPECT_TRUE(layoutPinRow("0101", -3, 0).glyphs.empty());
}
