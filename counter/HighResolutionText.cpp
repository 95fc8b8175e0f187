// High-resolution result texts and the time-base panel's text.
#include "counter/HighResolutionText.h"

#include "counter/FinishedCount.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

namespace {

constexpr int kMinDigits = 3;
constexpr int kMaxDigits = 12;
constexpr int kMaxPeriodDecimals = 6; // 1 fs
constexpr int kMaxDecimals = 9;
// The value beside the reading shows at most this many significant digits:
// with the duty cycle it fills the remark's room in the grid.
constexpr int kBesideDigits = 8;
constexpr double kPeriodIntervals = 64.0;

// Fixed notation with `decimals` digits after the point, independent of the
// C locale (QApplication adopts the environment's).
std::string fixed(double value, int decimals) {
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed,
                                   std::clamp(decimals, 0, kMaxDecimals));
    if (res.ec != std::errc()) return "?";
    return std::string(buf, res.ptr);
}

// Digits before the point of a positive value (0 or less below 1).
int integerDigits(double value) {
    return static_cast<int>(std::floor(std::log10(value))) + 1;
}

// `digits` significant digits of a positive value; its integer part always
// shows in full (1001.15 to 3 digits is "1001").
std::string significant(double value, int digits) {
    return fixed(value, std::clamp(digits - integerDigits(value), 0, kMaxDecimals));
}

// A frequency in the unit that fits it: the value in Hz, kHz or MHz, and
// the unit's name.
std::pair<double, const char*> inUnit(double hz) {
    if (std::fabs(hz) >= 1e6) return {hz / 1e6, "MHz"};
    if (std::fabs(hz) >= 1e3) return {hz / 1e3, "kHz"};
    return {hz, "Hz"};
}

// `digits` significant digits of a positive frequency in Hz, kHz or MHz, so
// that a coarse reading does not show more digits than it resolves
// (998 853 Hz to 3 digits is "999 kHz").
std::string frequencyWithUnit(double hz, int digits) {
    // The unit follows the rounded value: 999 850 Hz to 3 digits is 1.00 MHz.
    const double step = std::pow(10.0, integerDigits(hz) - digits);
    if (step > 1.0) hz = std::round(hz / step) * step;
    const auto [value, unit] = inUnit(hz);
    return significant(value, digits) + " " + unit;
}

// ", duty 49.5 %" where the duty is known.
std::string dutyRemark(double duty) {
    if (!std::isfinite(duty)) return {};
    return ", duty " + fixed(duty * 100.0, 1) + " %";
}

// "+153.6 ppm": one decimal with its sign; a rounded zero shows as +0.0.
std::string ppmText(double offsetPpm) {
    const double ppm = std::round(offsetPpm * 10.0) / 10.0;
    return (ppm < 0.0 ? "" : "+") + fixed(ppm == 0.0 ? 0.0 : ppm, 1) + " ppm";
}

} // namespace

double frequencyResolution(double hz, double gateSeconds, double sampleRate) {
    if (!(sampleRate > 0.0) || !(gateSeconds > 0.0)) return 0.0;
    const double edges = hz * gateSeconds;
    const double reciprocal = 1.0 / (sampleRate * gateSeconds);
    return edges >= 3.0 ? reciprocal / std::sqrt(edges) : reciprocal;
}

double periodResolution(double periodSeconds, double sampleRate) {
    if (!(sampleRate > 0.0) || !(periodSeconds > 0.0)) return 0.0;
    return 1.0 / (sampleRate * kPeriodIntervals * periodSeconds);
}

int resolvedDigits(double relativeResolution) {
    if (!(relativeResolution > 0.0)) return kMaxDigits;
    const double digits = std::ceil(-std::log10(relativeResolution));
    return static_cast<int>(std::clamp(digits, double{kMinDigits}, double{kMaxDigits}));
}

std::optional<std::string> highResolutionFrequencyText(const QV_ChannelMeasures& measures,
                                                       int32_t gateCode, double sampleRate) {
    const double hz = measures.frequency;
    if (!std::isfinite(hz) || !(hz > 0.0)) return std::nullopt;
    const int digits = resolvedDigits(frequencyResolution(hz, gateSeconds(gateCode), sampleRate));
    const double ns = 1e9 / hz;
    const int beside = std::min(digits, kBesideDigits);
    return significant(hz, digits) + "|Hz$[ " + significant(ns, beside) + " ns" +
           dutyRemark(measures.duty) + " ]";
}

std::optional<std::string> highResolutionPeriodText(const QV_ChannelMeasures& measures,
                                                    double sampleRate) {
    const double seconds = measures.period;
    if (!std::isfinite(seconds) || !(seconds > 0.0)) return std::nullopt;
    const double ns = seconds * 1e9;
    const int digits = std::min(resolvedDigits(periodResolution(seconds, sampleRate)),
                                integerDigits(ns) + kMaxPeriodDecimals);
    const double hz = 1.0 / seconds;
    // The frequency beside it with as many significant digits as the period
    // shows, up to the remark's room.
    const int beside = std::clamp(digits, 1, kBesideDigits);
    return significant(ns, digits) + "|ns$[ " + frequencyWithUnit(hz, beside) +
           dutyRemark(measures.duty) + " ]";
}

std::string frequencyName(double hz) {
    const auto [value, unit] = inUnit(hz);
    std::string text = fixed(value, std::clamp(6 - integerDigits(std::fabs(value)), 0, 6));
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    return text + " " + unit;
}

std::string timeBaseText(const QV_TimeBase& timeBase) {
    if (!(timeBase.referenceHz > 0.0)) return {};
    const std::string head = "Ref " + frequencyName(timeBase.referenceHz) + ": ";
    if (timeBase.locked != 1) return head + "not locked";
    return head + "locked, " + ppmText(timeBase.offsetPpm);
}

std::string timeBaseShortText(const QV_TimeBase& timeBase) {
    if (!(timeBase.referenceHz > 0.0)) return {};
    return timeBase.locked == 1 ? "Ref " + ppmText(timeBase.offsetPpm) : "Ref not locked";
}
