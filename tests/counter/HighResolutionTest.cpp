// High-resolution texts and the digits they show, and the time-base panel's
// text. Pure functions; the window's use of them is tested with the window.
#include "counter/HighResolutionText.h"

#include "FakeVexif.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

QV_ChannelMeasures measures(double hz, double periodS, double duty) {
    QV_ChannelMeasures m = fakevexif::unknownMeasures();
    m.frequency = hz;
    m.period = periodS;
    m.duty = duty;
    return m;
}

TEST(HighResolutionText, DigitsFollowTheGateAndTheSampleRate) {
    const struct {
        const char* what;
        double hz, gateSeconds, rate;
        int digits;
    } cases[] = {
        // Fewer than 3 edges: one sample in the gate, 1 / (24e6 x 1) = 4.2e-8.
        {"reciprocal, 1 Hz in 1 s at 24 MS/s", 1.0, 1.0, 24e6, 8},
        // A fit of 1e6 edges: 1 / (24e6 x 1 x 1000) = 4.2e-11.
        {"fit, 1 MHz in 1 s at 24 MS/s", 1e6, 1.0, 24e6, 11},
        // 1 / (12e6 x 0.1 x 316) = 2.6e-9: the 0.002 Hz spread of 1 MHz.
        {"fit, 1 MHz in 100 ms at 12 MS/s", 1e6, 0.1, 12e6, 9},
        {"few samples: at least 3 digits", 2.0, 0.1, 1e3, 3},
        {"no sampling error (simulated)", 1e6, 1.0, 0.0, 12},
        {"at most 12 digits", 5e6, 10.0, 1e9, 12},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resolvedDigits(frequencyResolution(c.hz, c.gateSeconds, c.rate)), c.digits)
            << c.what;
}

TEST(HighResolutionText, CellTexts) {
    const struct {
        const char* what;
        bool period;
        QV_ChannelMeasures measures;
        int32_t gate;
        double rate;
        const char* expected; // "" for none: the count's own text stands
    } cases[] = {
        {"frequency, 1 s at 24 MS/s, duty known", false, measures(999846.4031, 1.00015e-6, 0.495),
         QV_GATE_1S, 24e6, "999846.40310|Hz$[ 1000.1536 ns, duty 49.5 % ]"},
        {"frequency, 100 ms at 12 MS/s", false, measures(1000000.00123, NAN, NAN), QV_GATE_100MS,
         12e6, "1000000.00|Hz$[ 1000.00000 ns ]"},
        {"frequency unknown", false, measures(NAN, 1e-6, 0.5), QV_GATE_1S, 24e6, ""},
        {"no edges", false, measures(0.0, NAN, NAN), QV_GATE_1S, 24e6, ""},
        // 64 intervals of 1 us span 768 samples at 12 MS/s: 3 digits.
        {"period, 1 us at 12 MS/s", true, measures(NAN, 1.0e-6, 0.495), QV_GATE_1S, 12e6,
         "1000|ns$[ 1.00 MHz, duty 49.5 % ]"},
        // 3 digits of 1001.15 ns: the integer part in full.
        {"period, 769 samples at 12.0018432 MS/s", true,
         measures(NAN, 769 / 64.0 / 12.0018432e6, NAN), QV_GATE_1S, 12e6, "1001|ns$[ 999 kHz ]"},
        // One sample in 64 ms at 24 MS/s is 7 digits: whole ns.
        {"period, 1 ms at 24 MS/s", true, measures(NAN, 1.00015e-3, NAN), QV_GATE_1S, 24e6,
         "1000150|ns$[ 999.8500 Hz ]"},
        {"period, simulated: six decimals", true, measures(NAN, 1.0e-6, NAN), QV_GATE_1S, 0.0,
         "1000.000000|ns$[ 1.0000000 MHz ]"},
        {"period unknown", true, measures(1e6, NAN, 0.5), QV_GATE_1S, 24e6, ""},
    };
    for (const auto& c : cases) {
        const auto text = c.period ? highResolutionPeriodText(c.measures, c.rate)
                                   : highResolutionFrequencyText(c.measures, c.gate, c.rate);
        EXPECT_EQ(text.value_or(""), c.expected) << c.what;
    }
}

TEST(HighResolutionText, TimeBasePanel) {
    using fakevexif::referenceTimeBase;
    const struct {
        QV_TimeBase timeBase;
        const char* text;
        const char* shortText;
    } cases[] = {
        {referenceTimeBase(0.0, 0, 0.0), "", ""},
        {referenceTimeBase(1e6, 1, 153.6), "Ref 1 MHz: locked, +153.6 ppm", "Ref +153.6 ppm"},
        {referenceTimeBase(50.0, 1, -2.04), "Ref 50 Hz: locked, -2.0 ppm", "Ref -2.0 ppm"},
        {referenceTimeBase(32768.0, 1, 0.01), "Ref 32.768 kHz: locked, +0.0 ppm", "Ref +0.0 ppm"},
        {referenceTimeBase(1e6, 0, 0.0), "Ref 1 MHz: not locked", "Ref not locked"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(timeBaseText(c.timeBase), c.text) << c.timeBase.referenceHz;
        EXPECT_EQ(timeBaseShortText(c.timeBase), c.shortText) << c.timeBase.referenceHz;
    }
}

} // namespace
