// High-resolution result texts: the engine's measures of a channel (its best
// frequency, the mean period, the duty cycle) as result cell texts with as
// many digits as the count resolves, and the reference's state as the text
// of the status bar's time-base panel. Pure functions, no Qt.
//
// How many digits a reading resolves: a count time-stamps edges to one
// sample (1 / sample rate, in s). A reciprocal reading over a gate of T s
// is off by up to one sample in T, a relative resolution of 1 / (rate x T).
// A least-squares fit through all N edges of the gate averages the
// quantisation of every edge and resolves 1 / (rate x T x sqrt(N)) (the
// slope's standard error for a uniform error of one sample; the measured
// spread on a real 1 MHz capture agrees). The engine gives the fit from 3
// edges on, so the fit's rule applies from there and the reciprocal one
// below. A frequency reading then shows ceil(-log10(resolution))
// significant digits, at least 3 and at most 12 (a double holds 15, the
// read-out no more than 12): 1 s at 24 MS/s resolves 8 digits reciprocal and
// 11 for a 1 MHz fit. A simulated module (sample rate 0) has no sampling
// error: it shows 12 digits. The digits say how finely the count resolves,
// not how accurate the time base is: without a locked reference the sample
// clock's own offset (often tens of ppm) is in every digit from the fifth.
//
// A period reading is the mean of the 64 intervals behind the period count:
// the span from the first to the last of their 65 edges, each placed to one
// sample, over 64. No fit averages the edges between, so it resolves one
// sample in the span, 1 / (rate x 64 x period): 3 digits (1.3 ns) for 1 us
// at 12 MS/s, 7 for 1 ms at 24 MS/s. It shows its value in ns with those
// digits and at most six decimals; an integer part shows in full (1001.15 ns
// resolved to 3 digits shows 1001).
#pragma once

#include "vexif.h"

#include <cstdint>
#include <optional>
#include <string>

// Relative resolution of a frequency reading of hz over gateSeconds at
// sampleRate (samples/s); 0 when the rate is unknown (no sampling error).
double frequencyResolution(double hz, double gateSeconds, double sampleRate);
// Relative resolution of the mean of 64 periods of periodSeconds (one
// sample in their span).
double periodResolution(double periodSeconds, double sampleRate);
// Significant digits a relative resolution gives (3 to 12; 12 for 0).
int resolvedDigits(double relativeResolution);

// "<Hz>|Hz$[ <ns> ns, duty <%> % ]" from measures.frequency with the digits
// the gate resolves, the period beside it with as many significant digits
// (at most 8, the room of the grid's remark), and the duty where known. None
// when the frequency is unknown or not above 0 (the count's own text stands).
std::optional<std::string> highResolutionFrequencyText(const QV_ChannelMeasures& measures,
                                                       int32_t gateCode, double sampleRate);
// "<ns>|ns$[ <f> kHz, duty <%> % ]" from measures.period, the frequency
// beside it with as many significant digits as the period (in Hz, kHz or
// MHz). None when the period is unknown or not above 0.
std::optional<std::string> highResolutionPeriodText(const QV_ChannelMeasures& measures,
                                                    double sampleRate);

// The time-base panel's text: "" without a reference (the panel is hidden),
// "Ref 1 MHz: locked, +153.6 ppm" or "Ref 1 MHz: not locked".
std::string timeBaseText(const QV_TimeBase& timeBase);
// The same, short, for a panel too narrow for it: "Ref +153.6 ppm" (an
// offset is known only while locked) or "Ref not locked".
std::string timeBaseShortText(const QV_TimeBase& timeBase);
// A frequency in the unit that fits it, up to 6 significant digits without
// trailing zeros: "1 MHz", "32.768 kHz", "50 Hz".
std::string frequencyName(double hz);
