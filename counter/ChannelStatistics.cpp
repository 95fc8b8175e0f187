// ChannelStatistics: Welford's running mean and variance, extremes, the
// fractional Allan deviation and the recent readings, per channel.
#include "counter/ChannelStatistics.h"

#include <algorithm>
#include <cmath>

void RunningStatistics::add(double value) {
    if (m_n == 0) {
        m_min = m_max = value;
    } else {
        m_min = std::min(m_min, value);
        m_max = std::max(m_max, value);
        const double step = value - m_last;
        m_sumSquaredSteps += step * step;
    }
    ++m_n;
    const double delta = value - m_mean;
    m_mean += delta / static_cast<double>(m_n);
    m_m2 += delta * (value - m_mean);
    m_last = value;
}

std::optional<double> RunningStatistics::standardDeviation() const {
    if (m_n < 2) return std::nullopt;
    // Rounding may leave a tiny negative sum for identical readings.
    return std::sqrt(std::max(0.0, m_m2) / static_cast<double>(m_n - 1));
}

std::optional<double> RunningStatistics::allanDeviation() const {
    if (m_n < 2 || m_mean == 0.0) return std::nullopt;
    const double steps = static_cast<double>(m_n - 1);
    return std::sqrt(m_sumSquaredSteps / (2.0 * steps)) / std::fabs(m_mean);
}

bool ChannelStatistics::add(std::string_view module, const FinishedCount& count) {
    const CountConfiguration configuration{std::string(module),
                                           count.counterType,
                                           count.gateCode,
                                           count.edgeCode,
                                           static_cast<int32_t>(count.values.size()),
                                           count.referenced,
                                           count.highResolution};
    const bool fresh = m_counts != 0 && configuration != m_configuration;
    if (fresh || m_counts == 0) {
        reset();
        m_configuration = configuration;
        m_channels.resize(count.values.size());
    }
    ++m_counts;
    if (count.stopped) ++m_stopped;
    for (size_t i = 0; i < m_channels.size(); ++i) {
        const std::optional<double>& value = count.values[i];
        if (!value) continue;
        m_channels[i].statistics.add(*value);
        m_channels[i].history.add(m_counts, *value);
    }
    return fresh;
}

void ChannelStatistics::reset() {
    m_configuration = {};
    m_counts = 0;
    m_stopped = 0;
    m_channels.clear();
}

const RunningStatistics& ChannelStatistics::channel(int32_t index) const {
    return m_channels.at(static_cast<size_t>(index)).statistics;
}

std::optional<double> ChannelStatistics::allanDeviation(int32_t index) const {
    if (m_configuration.counterType != 0) return std::nullopt;
    return channel(index).allanDeviation();
}

const TrendHistory& ChannelStatistics::history(int32_t index) const {
    return m_channels.at(static_cast<size_t>(index)).history;
}
