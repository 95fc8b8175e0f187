// Result texts: counts in, cell texts out, single-precision derived values.
#include "counter/ResultText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>
#include <string>

namespace {

struct Case {
    const char* what;
    std::string (*text)(int64_t, int32_t);
    int64_t count;
    int32_t gate;
    const char* expected;
};

std::string frequency(int64_t count, int32_t gate) {
    return FrequencyText(count, gate);
}
std::string period(int64_t count, int32_t) {
    return PeriodText(count);
}
std::string events(int64_t count, int32_t) {
    return EventText(count);
}

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

const Case kCases[] = {
    {"1 s gate", frequency, 1000, kGate1s, "1000|Hz$[ period: 1000000.0 ns ]"},
    {"100 ms gate", frequency, 5, kGate100ms, "50|Hz$[ period: 20000000.0 ns ]"},
    {"period in single precision", frequency, 3, kGate1s, "3|Hz$[ period: 333333344.0 ns ]"},
    {"10 s gate", frequency, 7, kGate10s, "0.7|Hz$[ period: 1428571392.0 ns ]"},
    {"10 s gate, large", frequency, 123456789, kGate10s, "12345679.0|Hz$[ period: 81.0 ns ]"},
    {"1 s gate, zero", frequency, 0, kGate1s, "0|Hz$[ period undefined ]"},
    {"100 ms gate, zero", frequency, 0, kGate100ms, "0|Hz$[ period undefined ]"},
    {"10 s gate, zero", frequency, 0, kGate10s, "0.0|Hz$[ period undefined ]"},
    {"period", period, 6400, 0, "1000|ns$[ frequency: 1000000.0 Hz ]"},
    {"period of 64", period, 64, 0, "10|ns$[ frequency: 100000000.0 Hz ]"},
    // count x 10 / 64 to the nearest ns; the frequency beside it unrounded.
    {"rounded up to 16 ns", period, 100, 0, "16|ns$[ frequency: 64000000.0 Hz ]"},
    {"below one interval", period, 63, 0, "10|ns$[ frequency: 101587304.0 Hz ]"},
    {"below half a ns", period, 3, 0, "0|ns$[ frequency: 2133333376.0 Hz ]"},
    {"zero", period, 0, 0, "0|ns$[ frequency undefined ]"},
    {"period, fraction", period, 3000000, 0, "468750|ns$[ frequency: 2133.3 Hz ]"},
    {"events", events, 42, 0, "42|Events"},
    // 64-bit counts are printed in full.
    {"events, 64-bit", events, kMax, 0, "9223372036854775807|Events"},
    {"1 s gate, beyond 32 bits", frequency, 5000000000, kGate1s,
     "5000000000|Hz$[ period: 0.2 ns ]"},
    // count x 10 beyond 64 bits: the exact product, never a wrapped one.
    {"100 ms gate, product beyond 64 bits", frequency, kMax, kGate100ms,
     "92233720368547758070|Hz$[ period: 0.0 ns ]"},
    {"100 ms gate, negative beyond 64 bits", frequency, -kMax - 1, kGate100ms,
     "-92233720368547758080|Hz$[ period: -0.0 ns ]"},
    {"period of the largest count", period, kMax, 0,
     "1441151880758558720|ns$[ frequency: 0.0 Hz ]"},
    {"negative period rounds away from zero", period, -100, 0,
     "-16|ns$[ frequency: -64000000.0 Hz ]"},
};

class ResultTextTable : public ::testing::TestWithParam<Case> {};

TEST_P(ResultTextTable, GivesTheText) {
    const Case& c = GetParam();
    EXPECT_EQ(c.text(c.count, c.gate), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Counts, ResultTextTable, ::testing::ValuesIn(kCases));

TEST(ResultText, TenSecondGateShowsSinglePrecisionDigits) {
    // From 2^23 Hz upwards the decimal is 0 and the last digits are those of
    // the nearest single-precision value.
    EXPECT_EQ(FrequencyText(83886086, kGate10s).substr(0, 12), "8388609.0|Hz");
    EXPECT_EQ(FrequencyText(999999999, kGate10s).substr(0, 14), "100000000.0|Hz");
}

TEST(ResultText, IgnoresTheProcessLocale) {
    // QApplication adopts the environment's locale; a decimal comma would
    // break the cell text.
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    const std::string text = FrequencyText(7, kGate10s);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(text, "0.7|Hz$[ period: 1428571392.0 ns ]");
}

} // namespace
