// Result texts: turn the 64-bit count of one channel into the text of its
// result cell ("number|unit$remark", drawn by the result grid). Frequency in
// Hz with the period beside it, period in ns with the frequency beside it, or
// a plain number of events. Pure functions, no Qt.
#pragma once

#include <cstdint>
#include <string>

// Gate codes of a count: 0 = 100 ms, 1 = 1 s, 2 = 10 s, 7 = infinite.
inline constexpr int32_t kGate100ms = 0;
inline constexpr int32_t kGate1s = 1;
inline constexpr int32_t kGate10s = 2;

// Rising edges counted within the gate -> "<Hz>|Hz$[ period: <ns> ns ]".
// Derived values are single precision, as the read-out has always shown them.
// Gate codes other than 0 and 2 show the count itself (the 1 s rule).
std::string FrequencyText(int64_t count, int32_t gate);

// Sum of 64 intervals in 10 ns ticks -> "<ns>|ns$[ frequency: <Hz> Hz ]":
// the mean interval count x 10 / 64 rounded to the nearest ns, and the
// frequency of the unrounded interval (undefined for a zero count).
std::string PeriodText(int64_t count);

// Result of a period channel whose measurement has ended in `state` (bits 0
// to 2 of its status word, any state but 1, counting). Only a channel that is
// done has measured its 64 intervals and shows PeriodText(count); any other
// ending shows no period and no frequency, only why: "---|ns$[ timed out ]"
// (state 5, the gate closed first), "---|ns$[ stopped ]" (3, 4, 7, forced
// stop) or "---|ns$[ not counted ]" (0, 6, idle).
std::string PeriodResultText(uint32_t state, int64_t count);

// Events since the gate opened -> "<count>|Events".
std::string EventText(int64_t count);
