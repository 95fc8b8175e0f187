// The counter settings in the device library's codes, and the tables that map
// each settings group's items to those codes. Plain data without widgets, so
// the measurement cycle and the tests use it directly.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The settings of one count, read from the groups when the count starts.
struct CounterSettings {
    int32_t counterType = 0; // 0 frequency, 1 period, 2 events
    int32_t gateCode = 0;    // 0 = 100 ms, 1 = 1 s, 2 = 10 s, 7 = infinite
    int32_t edgeCode = 3;    // first/second edge: 3 R->R, 1 R->F, 2 F->R, 0 F->F
    int32_t threshold = 14;  // tenths of a volt, 8 to 25

    bool operator==(const CounterSettings&) const = default;
};

// One radio item: its caption (with the & mnemonic) and the code the library
// takes for it. The underlined letters are unique across the main window,
// whose menu bar holds Alt+F, Alt+C and Alt+H; the words stay as they were.
struct GroupItem {
    std::string_view caption;
    int32_t libraryValue;
};

inline constexpr std::array<GroupItem, 4> kEdgeItems{{
    {"&Rising to Rising", 3},
    {"Rising &to Falling", 1},
    {"F&alling to Rising", 2},
    {"Falli&ng to Falling", 0},
}};

// The last item exists only while the counter type is not frequency.
inline constexpr std::array<GroupItem, 4> kGateItems{{
    {"100&ms", 0},
    {"1&s", 1},
    {"&10s", 2},
    {"&Infinite", 7},
}};
inline constexpr int kInfiniteGateIndex = 3;

inline constexpr std::array<GroupItem, 3> kCountTypeItems{{
    {"Fre&quency", 0},
    {"&Period", 1},
    {"&Events", 2},
}};

// The library value of item `index`; an index outside the table (no item
// selected) gives item 0's value, the groups' default.
int32_t itemLibraryValue(std::span<const GroupItem> items, int index);

// Threshold range and default, tenths of a volt.
inline constexpr int32_t kThresholdMin = 8;
inline constexpr int32_t kThresholdMax = 25;
inline constexpr int32_t kThresholdDefault = 14;

int32_t clampThreshold(int32_t tenths);
// "1.4V" for 14 tenths of a volt.
std::string thresholdText(int32_t tenths);
// The threshold group's two-part hint, its lines separated by CR LF and its
// range taken from kThresholdMin and kThresholdMax.
std::string thresholdHint();

// Heading of the grid's result column for a counter type; empty for an
// unknown type.
std::string_view resultHeading(int counterType);
