// Word helpers of the streaming counter's feed path: samples packed into
// 64-bit words (8 / unitsize samples each), masks repeated per sample lane,
// folds of all lanes onto one. Internal to the acquisition folder.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace vexacq::words {

constexpr uint64_t kNibbleOnes = 0x1111111111111111ull;
constexpr uint64_t kLowNibbles = 0x0F0F0F0F0F0F0F0Full;

// One sample: the low (at most 4) bytes, little-endian.
inline uint32_t loadSample(const uint8_t* p, unsigned unitsize) {
    uint32_t v = 0;
    for (unsigned b = 0; b < unitsize && b < 4; ++b)
        v |= uint32_t{p[b]} << (8 * b);
    return v;
}

inline uint64_t loadWord(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    return w;
}

// A sample mask repeated for each sample of a 64-bit word.
template <unsigned Unit> uint64_t replicate(uint32_t mask) {
    constexpr unsigned bits = 8 * Unit;
    uint64_t m = mask & (bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1);
    for (unsigned s = bits; s < 64; s *= 2)
        m |= m << s;
    return m;
}

// OR of all samples of a word onto the low sample.
template <unsigned Unit> uint32_t foldWord(uint64_t w) {
    constexpr unsigned bits = 8 * Unit;
    for (unsigned s = 32; s >= bits; s /= 2)
        w |= w >> s;
    return static_cast<uint32_t>(bits == 32 ? w & 0xFFFFFFFFu : w & ((1u << bits) - 1));
}

// Adds the set bits of three words per bit position to nibble lanes: nib[b]
// counts bit b of each nibble (bits b and b + 4 of a byte). Two-bit lanes
// first (at most 3 each), then nibbles; a nibble lane takes 15 words.
inline void addToNibbles(uint64_t nib[4], uint64_t a, uint64_t b, uint64_t c) {
    constexpr uint64_t pairs = 0x5555555555555555ull, twos = 0x3333333333333333ull;
    const uint64_t even = (a & pairs) + (b & pairs) + (c & pairs);
    const uint64_t odd = (a >> 1 & pairs) + (b >> 1 & pairs) + (c >> 1 & pairs);
    nib[0] += even & twos;
    nib[1] += odd & twos;
    nib[2] += even >> 2 & twos;
    nib[3] += odd >> 2 & twos;
}

template <typename F> void forEachBit(uint64_t bits, F f) {
    while (bits) {
        f(static_cast<unsigned>(std::countr_zero(bits)));
        bits &= bits - 1;
    }
}

} // namespace vexacq::words
