// Result texts of the three counter types. Derived reals are rounded to
// single precision when computed and widened to double only for printing, so
// the texts show exactly the single-precision values.
#include "counter/ResultText.h"

#include "vexif.h"

#include <charconv>
#include <system_error>

namespace {

// One second in ns, exact in single precision.
constexpr float kOneSecondNs = 1000000000.0f;

// "%.1f" of a single-precision value widened to double. std::to_chars does
// not depend on the C locale, which QApplication sets from the environment
// (a German locale would print "0,7").
std::string fixed1(float value) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value),
                                   std::chars_format::fixed, 1);
    if (res.ec != std::errc()) return "?"; // a float never needs 64 characters
    return std::string(buf, res.ptr);
}

// 1 000 000 000 divided by x, rounded once to single precision. The division
// runs in extended precision so that a large x keeps all its digits.
float reciprocalNs(long double x) {
    return static_cast<float>(static_cast<long double>(kOneSecondNs) / x);
}

// count x 10 as a 64-bit product where it fits; the frequency is otherwise
// formed in extended precision so that it never wraps round.
float timesTen(int64_t count, int64_t& product, bool& fits) {
    fits = !__builtin_mul_overflow(count, int64_t{10}, &product);
    if (fits) return static_cast<float>(product);
    return static_cast<float>(static_cast<long double>(count) * 10.0L);
}

} // namespace

std::string FrequencyText(int64_t count, int32_t gate) {
    std::string value;
    float hz = 0.0f;
    if (gate == kGate100ms) {
        int64_t product = 0;
        bool fits = false;
        hz = timesTen(count, product, fits);
        // A product beyond 64 bits is printed exactly by appending the zero
        // to the count's digits instead of printing a wrapped-round number.
        value = fits ? std::to_string(product) : std::to_string(count) + "0";
    } else if (gate == kGate10s) {
        // The 0.1 multiplier is applied in extended precision, then rounded.
        hz = static_cast<float>(static_cast<long double>(count) * 0.1L);
        value = fixed1(hz);
    } else {
        hz = static_cast<float>(count);
        value = std::to_string(count);
    }
    if (hz == 0.0f) return value + "|Hz$[ period undefined ]";
    const float periodNs = reciprocalNs(static_cast<long double>(hz));
    return value + "|Hz$[ period: " + fixed1(periodNs) + " ns ]";
}

std::string PeriodText(int64_t count) {
    // Mean of 64 intervals in 10 ns ticks, count x 10 / 64 ns rounded to the
    // nearest ns (halves away from zero). The product is formed in 128 bits,
    // so the largest count neither wraps round nor loses its last digits.
    const __int128 tenths = static_cast<__int128>(count) * 10;
    const __int128 half = tenths < 0 ? -32 : 32;
    const auto periodNs = static_cast<int64_t>((tenths + half) / 64);
    const std::string value = std::to_string(periodNs);
    if (count == 0) return value + "|ns$[ frequency undefined ]";
    // The frequency comes from the unrounded period: 1e9 / (count x 10 / 64)
    // Hz = 6.4e9 / count.
    const float hz = static_cast<float>(6.4e9L / static_cast<long double>(count));
    return value + "|ns$[ frequency: " + fixed1(hz) + " Hz ]";
}

std::string PeriodResultText(uint32_t state, int64_t count) {
    // The count of a channel that did not finish is a sum of fewer than 64
    // intervals; divided by 64 it would be a period that was never measured.
    switch (state & 7u) {
    case QV_CH_DONE:
        return PeriodText(count);
    case QV_CH_GATE_TIMEOUT: // the gate closed before the 64th interval
        return "---|ns$[ timed out ]";
    case QV_CH_IDLE: // 0 and 6: the channel took no part
    case 6:
        return "---|ns$[ not counted ]";
    default: // 3, 4 and 7: forced stop
        return "---|ns$[ stopped ]";
    }
}

std::string EventText(int64_t count) {
    return std::to_string(count) + "|Events";
}
