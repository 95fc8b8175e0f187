// FinishedCount: what the measurement cycle reports when a count has ended,
// by itself or by Stop. The measured quantities in double precision, one per
// channel: Hz for a frequency count, the mean period in ns for a period
// count, events for an event count. A channel that did not finish its
// measurement (a period channel that timed out or was stopped) has no value.
// A count ended by Stop has the values of its last poll, which the grid
// shows: the totals so far of an event count, the periods of the channels
// that had finished, none for a frequency count (read only at its end).
// Statistics, the trend and the log are built from these, never from the
// grid's texts.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

struct FinishedCount {
    int32_t counterType = 0; // 0 frequency, 1 period, 2 events
    int32_t gateCode = 0;    // 0 = 100 ms, 1 = 1 s, 2 = 10 s, 7 = infinite
    int32_t edgeCode = 3;    // 3 R->R, 1 R->F, 2 F->R, 0 F->F
    // Channel 0 first; empty optional: no value for that channel.
    std::span<const std::optional<double>> values;
    // Ended by Stop rather than by the module (an event count with the
    // infinite gate ends no other way).
    bool stopped = false;
    // The count's gate and times came from a locked external reference.
    bool referenced = false;
    // The values are the engine's measures (High Resolution): for a
    // frequency count its best frequency (a regression fit), for a period
    // count the mean period; not the values derived from the counts.
    bool highResolution = false;
};

// Rising edges within the gate -> Hz (count / gate length). A gate without a
// length (infinite) gives the count itself.
double frequencyHz(int64_t count, int32_t gateCode);
// Sum of 64 intervals in 10 ns ticks -> mean interval in ns (not truncated).
double periodNs(int64_t count);
// Gate length in seconds; 0 for the infinite gate and unknown codes.
double gateSeconds(int32_t gateCode);

// Unit of a counter type's values: "Hz", "ns" or "events".
std::string_view quantityUnit(int32_t counterType);
// Short name of a counter type: "frequency", "period" or "events".
std::string_view counterTypeName(int32_t counterType);
// Edge pair of an edge code: "R-R", "R-F", "F-R" or "F-F".
std::string_view edgeName(int32_t edgeCode);
// Gate as text in seconds: "0.1", "1", "10" or "inf".
std::string_view gateName(int32_t gateCode);
// Time base of a count: "reference" or "internal".
std::string_view timeBaseName(bool referenced);
