// The Statistics window's choices that need no window, as plain functions:
// the range of the trend's value axis, where the window opens beside the main
// window, and the words for a number of counts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The value axis of the trend: low to high, in the readings' unit.
struct AxisRange {
    double low = 0.0;
    double high = 1.0;

    bool operator==(const AxisRange&) const = default;
};

// The axis for readings that span lowest to highest (lowest <= highest), so
// that their spread fills the plot: 5 % of the spread beyond each end. A
// single value or a constant series sits in the middle of a band of one
// millionth of its size, at least 1 (a tenth of it below 10; -1 to 1 for 0),
// so the line stays in sight. `shown`, the axis as it is, is kept while every
// reading lies in it and it is at most four times the fitted span, so a new
// reading does not lay out the labels afresh each time; pass none to fit anew.
AxisRange trendValueRange(double lowest, double highest, std::optional<AxisRange> shown);

// A window rectangle in screen pixels (x, y the top-left corner).
struct ScreenBox {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    int right() const { return x + width; }   // exclusive
    int bottom() const { return y + height; } // exclusive
    bool operator==(const ScreenBox&) const = default;
};

// Where a window of the given size opens beside `owner` on a screen whose
// free area is `screen`: right of the owner, top edges level, when it fits
// there; else left of it; else on the side with more room, narrowed to that
// room when that leaves at least minimumWidth; else minimumWidth wide over
// the owner, at the screen's edge on the side with more room. The result always lies on the
// screen, shrunk to it if it is larger. `gap` pixels separate the two. All
// sizes are of frames (title bar and borders included).
ScreenBox placeBeside(const ScreenBox& owner, const ScreenBox& screen, int width, int height,
                      int minimumWidth, int gap = 8);

// "1 count", "12 counts", "12 counts, 2 stopped".
std::string countsPhrase(int64_t counts, int64_t stopped);
