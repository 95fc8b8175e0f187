// ChannelStatistics: per-channel statistics over the finished counts of one
// configuration (module, counter type, gate, edges), and the recent readings
// of every channel for the trend plot. Each finished count costs O(channels).
//
// Standard deviation is the sample standard deviation (divisor n - 1), by
// Welford's running update. The Allan deviation, for frequency counts only,
// is the non-overlapping one at tau = the gate, of the fractional frequency
// y_k = f_k / mean(f):
//     sigma_y(tau) = sqrt( sum_{k=1}^{M-1} (y_{k+1} - y_k)^2 / (2 (M - 1)) )
// over the M readings. Since every y_k has the same divisor, it is kept as
// the sum of squared successive differences of f and divided by the mean
// when asked for, so a new reading never revisits the old ones. The dead time
// between counts (up to one 100 ms poll) is not corrected for.
#pragma once

#include "counter/FinishedCount.h"
#include "counter/TrendHistory.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Running statistics of one channel's readings.
class RunningStatistics {
public:
    void add(double value);

    int64_t count() const { return m_n; }
    // The following need at least one reading; they answer 0 before.
    double last() const { return m_last; }
    double mean() const { return m_mean; }
    double minimum() const { return m_min; }
    double maximum() const { return m_max; }
    // Sample standard deviation; none below two readings.
    std::optional<double> standardDeviation() const;
    // Fractional Allan deviation relative to the mean; none below two readings
    // or with a zero mean.
    std::optional<double> allanDeviation() const;

private:
    int64_t m_n = 0;
    double m_last = 0.0;
    double m_mean = 0.0;
    double m_m2 = 0.0; // sum of squared deviations from the mean (Welford)
    double m_min = 0.0;
    double m_max = 0.0;
    double m_sumSquaredSteps = 0.0; // sum of (f_{k+1} - f_k)^2
};

// The settings that make readings comparable. A referenced count and one
// timed by the module's own clock differ by the clock's offset, and a
// high-resolution reading is another measurement than a count's: neither
// shares a set with the other.
struct CountConfiguration {
    std::string module;
    int32_t counterType = 0;
    int32_t gateCode = 0;
    int32_t edgeCode = 0;
    int32_t channels = 0;
    bool referenced = false;
    bool highResolution = false;

    bool operator==(const CountConfiguration&) const = default;
};

class ChannelStatistics {
public:
    // Recent readings kept per channel for the trend.
    static constexpr size_t kHistory = 500;

    // Adds a count of `module` that ended, by itself or by Stop (its values
    // count alike). A count of another configuration (another module,
    // counter type, gate, edges, channel count, time base or resolution) first
    // starts the statistics afresh; answers whether it did.
    bool add(std::string_view module, const FinishedCount& count);
    // Forgets every reading and the configuration (the user's Reset, a
    // module change).
    void reset();

    // Whether any count has been added since the last reset.
    bool empty() const { return m_counts == 0; }
    const CountConfiguration& configuration() const { return m_configuration; }
    int32_t channelCount() const { return static_cast<int32_t>(m_channels.size()); }
    // Counts since the last reset, those ended by Stop included; the trend's
    // reading numbers.
    int64_t counts() const { return m_counts; }
    // Of these, the counts ended by Stop.
    int64_t stoppedCounts() const { return m_stopped; }
    const RunningStatistics& channel(int32_t index) const;
    // Allan deviation of a channel; only frequency counts have one.
    std::optional<double> allanDeviation(int32_t index) const;
    // The readings are regression readings (high-resolution frequencies),
    // whose Allan deviation reads lower than a classic one at the same tau.
    bool regressionReadings() const {
        return m_configuration.counterType == 0 && m_configuration.highResolution;
    }
    // Recent readings of a channel: (count number from 1, value).
    const TrendHistory& history(int32_t index) const;

private:
    struct Channel {
        RunningStatistics statistics;
        TrendHistory history{kHistory};
    };

    CountConfiguration m_configuration;
    int64_t m_counts = 0;
    int64_t m_stopped = 0;
    std::vector<Channel> m_channels;
};
