// The least-squares line through one channel's rising-edge times against the
// edge number, kept as exact integer sums so that it does not depend on how
// the stream was cut into packets or words.
//
// With n edges numbered k = 0..n-1 at times t_k (samples after the gate's
// start), the closed forms sum k = n(n-1)/2 and sum k^2 = (n-1)n(2n-1)/6
// turn the slope (n sum kt - sum k sum t) / (n sum k^2 - (sum k)^2) into
//   slope = 6 (2 sum kt - (n-1) sum t) / (n (n^2 - 1))   samples per period,
// so only sum t and sum kt are accumulated. The numerator is formed exactly
// in 128 bits; only the final division rounds.
#pragma once

#include <cstdint>
#include <limits>

namespace vexacq {

struct EdgeFit {
    using Wide = unsigned __int128;

    uint64_t edges = 0; // n
    Wide sumT = 0;      // sum of t_k, samples
    Wide sumKT = 0;     // sum of k x t_k

    // One edge at t samples after the gate's start (later than every edge before).
    void add(uint64_t t) {
        sumKT += static_cast<Wide>(edges) * t;
        sumT += t;
        ++edges;
    }

    // `count` edges at t = base + u_j (j = 0..count-1, in time order), given
    // sum u_j and sum j x u_j: the k of edge j is edges + j, so
    //   sum k t = edges x sum t' + base x count (count - 1) / 2 + sum j u_j
    // with sum t' = count x base + sum u_j the block's own time sum.
    void addBlock(uint64_t base, uint64_t count, uint64_t sumU, uint64_t sumJU) {
        const Wide blockT = static_cast<Wide>(count) * base + sumU;
        sumKT += static_cast<Wide>(edges) * blockT +
                 static_cast<Wide>(base) * (count * (count - 1) / 2) + sumJU;
        sumT += blockT;
        edges += count;
    }

    // Samples per period; NaN with fewer than three edges.
    double slope() const {
        if (edges < 3) return std::numeric_limits<double>::quiet_NaN();
        using Signed = __int128;
        const Signed numerator = 2 * static_cast<Signed>(sumKT) -
                                 static_cast<Signed>(edges - 1) * static_cast<Signed>(sumT);
        const long double n = static_cast<long double>(edges);
        return static_cast<double>(6 * static_cast<long double>(numerator) / (n * (n * n - 1)));
    }
};

} // namespace vexacq
