// Small helpers the latency benchmarks share: percentiles of timed samples
// and durations in microseconds.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

namespace vfcbench {

// The p-quantile (0..1) of samples; reorders them. 0 for no samples.
inline double percentile(std::vector<double>& samples, double p) {
    if (samples.empty()) return 0;
    const std::size_t at =
        std::min(samples.size() - 1, static_cast<std::size_t>(p * samples.size()));
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(at),
                     samples.end());
    return samples[at];
}

inline double microseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

} // namespace vfcbench
