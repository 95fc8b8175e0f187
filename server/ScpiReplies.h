// How the SCPI personality writes its replies: numbers in a printf format,
// strings quoted with inner quotes doubled, and the "no result" value.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

namespace vexcountd::scpi {

// The "no result" value of SCPI instruments.
constexpr double kNoResult = 9.91e37;

inline std::string number(const char* format, double value) {
    char text[40];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

inline std::string noResult() {
    return number("%.2E", kNoResult);
}

// A reading (Hz, s or a ratio) with ten significant digits; 9.91E+37 for a
// NaN or infinite one.
inline std::string reading(double value) {
    return std::isfinite(value) ? number("%.9E", value) : noResult();
}

inline std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

} // namespace vexcountd::scpi
