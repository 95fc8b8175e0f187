// The metrics of vexcountd; see Metrics.h. Names follow Prometheus' naming
// conventions: base units in the name (_hertz, _seconds, _ratio), _total for
// counters. A value nobody measured is left out, never exported as NaN.
#include "Metrics.h"

#include "Readings.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace vexcountd {
namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;
using Labels = std::vector<ClientMetric::Label>;

const char* const kProtocolNames[kProtocolCount] = {"line", "scpi", "metrics"};
const char* const kRefusalNames[kRefusalCount] = {"address", "server_full", "per_address"};
const char* const kCounterTypes[3] = {"frequency", "period", "events"};

MetricFamily family(std::string name, std::string help, MetricType type) {
    MetricFamily f;
    f.name = std::move(name);
    f.help = std::move(help);
    f.type = type;
    return f;
}

void add(MetricFamily& f, double value, Labels labels) {
    ClientMetric& m = f.metric.emplace_back();
    m.label = std::move(labels);
    if (f.type == MetricType::Counter)
        m.counter.value = value;
    else
        m.gauge.value = value;
}

void keep(std::vector<MetricFamily>& families, MetricFamily f) {
    if (!f.metric.empty()) families.push_back(std::move(f));
}

} // namespace

MetricsCollector::Channel::Channel() {
    values.fill(std::numeric_limits<double>::quiet_NaN());
}

MetricsCollector::MetricsCollector(vexengine::Engine& engine, const ServerCounters& counters)
    : m_engine(engine), m_counters(counters) {}

void MetricsCollector::setChannels(const std::string& module, std::vector<int> channels) {
    std::lock_guard lock(m_mutex);
    m_modules[module].channels = std::move(channels);
}

void MetricsCollector::record(const vexengine::FinishedCount& count, bool running) {
    const int type = count.settings.counterType;
    if (type < 0 || type > 2) return;
    const vexengine::Quantity quantity = vexengine::countQuantity(count.settings);
    const Value kind = quantity == vexengine::Quantity::Frequency   ? Frequency
                       : quantity == vexengine::Quantity::Period    ? Period
                       : quantity == vexengine::Quantity::HighWidth ? HighWidth
                       : quantity == vexengine::Quantity::LowWidth  ? LowWidth
                                                                    : Events;
    const double time = std::chrono::duration<double>(count.noticedAt.time_since_epoch()).count();

    std::lock_guard lock(m_mutex);
    ModuleValues& module = m_modules[count.module];
    if (module.measured.size() < count.counts.size()) module.measured.resize(count.counts.size());
    for (size_t c = 0; c < count.counts.size() && c < count.channelStates.size(); ++c) {
        if (!module.channels.empty() &&
            !std::binary_search(module.channels.begin(), module.channels.end(),
                                static_cast<int>(c)))
            continue;
        const uint32_t state = count.channelStates[c];
        const double value = vexengine::countValue(count.settings, state, count.counts[c], running);
        if (std::isnan(value)) continue;
        Channel& channel = module.measured[c];
        channel.values[kind] = value;
        // The measures come with the channel's own value: a frequency channel
        // stopped early or cut by a restart measured part of a gate, and its
        // edges' span is no finished count either.
        if (c < count.measures.size() && (!running || state != vexengine::kChannelCounting)) {
            const vexengine::ChannelMeasures& m = count.measures[c];
            if (!std::isnan(m.reciprocalHz)) channel.values[Reciprocal] = m.reciprocalHz;
            if (!std::isnan(m.duty)) channel.values[Duty] = m.duty;
            if (!std::isnan(m.regressionHz)) channel.values[Regression] = m.regressionHz;
        }
        channel.time = time;
    }
    if (running) return;
    ++module.finished[static_cast<size_t>(type)];
    if (count.timeBase.external)
        module.unreferenced = module.unreferenced.value_or(0) +
                              (vexengine::unreferenced(count.timeBase, count.measures) ? 1 : 0);
}

std::vector<MetricFamily> MetricsCollector::Collect() const {
    std::vector<MetricFamily> families;
    collectServer(families);
    collectModules(families);
    collectValues(families);
    return families;
}

void MetricsCollector::collectServer(std::vector<MetricFamily>& families) const {
    auto clients = family("vexcountd_clients_connected", "Clients connected now, per protocol.",
                          MetricType::Gauge);
    auto requests =
        family("vexcountd_requests_total", "Requests answered, per protocol.", MetricType::Counter);
    auto errors = family("vexcountd_errors_total",
                         "Requests answered with an error, and connections ended by an error.",
                         MetricType::Counter);
    auto refusals =
        family("vexcountd_refusals_total",
               "Connections or scrapes refused, per protocol and reason.", MetricType::Counter);
    for (int p = 0; p < kProtocolCount; ++p) {
        const std::string protocol = kProtocolNames[p];
        if (p != kMetricsProtocol) {
            add(clients, static_cast<double>(m_counters.connected[p].load()),
                {{"protocol", protocol}});
            add(requests, static_cast<double>(m_counters.requests[p].load()),
                {{"protocol", protocol}});
            add(errors, static_cast<double>(m_counters.requestErrors[p].load()),
                {{"kind", "request"}, {"protocol", protocol}});
            add(errors, static_cast<double>(m_counters.connectionErrors[p].load()),
                {{"kind", "connection"}, {"protocol", protocol}});
        }
        for (int r = 0; r < kRefusalCount; ++r)
            if (p != kMetricsProtocol || r == static_cast<int>(Refusal::Address))
                add(refusals, static_cast<double>(m_counters.refusals[p][r].load()),
                    {{"protocol", protocol}, {"reason", kRefusalNames[r]}});
    }
    keep(families, std::move(clients));
    keep(families, std::move(requests));
    keep(families, std::move(errors));
    keep(families, std::move(refusals));
}

void MetricsCollector::collectModules(std::vector<MetricFamily>& families) const {
    auto present =
        family("vexcountd_module_present",
               "1 while the module's device is there (simulations always).", MetricType::Gauge);
    auto held = family("vexcountd_module_held", "1 while a client or a monitor holds the module.",
                       MetricType::Gauge);
    auto sampleRate =
        family("vexcountd_acquisition_sample_rate_hertz",
               "Samples delivered per second over the last second or so.", MetricType::Gauge);
    auto samples = family("vexcountd_acquisition_samples_total",
                          "Samples delivered since the module was created.", MetricType::Counter);
    auto late =
        family("vexcountd_acquisition_late_packets_total",
               "Packets that came later than the device's pace allows.", MetricType::Counter);
    auto dropped = family("vexcountd_acquisition_dropped_packets_total",
                          "Packets or transfers lost (the stream restarted).", MetricType::Counter);
    auto rate = family("vexcountd_timebase_rate_hertz",
                       "The sample rate counts use now (the reference's estimate while locked).",
                       MetricType::Gauge);
    auto locked = family("vexcountd_reference_locked",
                         "1 while the external reference's estimate is in use.", MetricType::Gauge);
    auto offset = family("vexcountd_reference_offset_ratio",
                         "Estimated sample rate / nominal - 1 while locked (1e-6 = 1 ppm).",
                         MetricType::Gauge);
    for (const vexengine::ModuleReport& report : m_engine.moduleReports()) {
        const Labels labels{{"module", report.entry.name}};
        add(present, report.entry.present ? 1 : 0, labels);
        add(held, report.entry.holder != 0 ? 1 : 0, labels);
        const vexengine::AcquisitionStats& a = report.acquisition;
        if (a.acquired) {
            add(sampleRate, a.samplesPerSecond, labels);
            add(samples, static_cast<double>(a.samples), labels);
            add(late, static_cast<double>(a.latePackets), labels);
            add(dropped, static_cast<double>(a.droppedPackets), labels);
        }
        const vexengine::TimeBase& t = report.timeBase;
        if (t.rate > 0) add(rate, t.rate, labels);
        if (t.external) {
            add(locked, t.locked ? 1 : 0, labels);
            if (t.locked) add(offset, t.offsetPpm * 1e-6, labels);
        }
    }
    for (auto* f :
         {&present, &held, &sampleRate, &samples, &late, &dropped, &rate, &locked, &offset})
        keep(families, std::move(*f));
}

void MetricsCollector::collectValues(std::vector<MetricFamily>& families) const {
    std::array<MetricFamily, kValues> values = {
        family("vexcountd_frequency_hertz",
               "Frequency of the last frequency count (events / gate).", MetricType::Gauge),
        family("vexcountd_period_seconds", "Mean period of the last period count.",
               MetricType::Gauge),
        family("vexcountd_pulse_width_seconds",
               "Mean pulse width of the last period count from one edge to the other.",
               MetricType::Gauge),
        {}, // low widths go into the pulse width family
        family("vexcountd_events", "Events of the last (or running) event count.",
               MetricType::Gauge),
        family("vexcountd_reciprocal_frequency_hertz",
               "Rising edges - 1 over the time from the first to the last, in the last count.",
               MetricType::Gauge),
        family("vexcountd_duty_ratio", "Time high over the last count's edges (0 to 1).",
               MetricType::Gauge),
        family("vexcountd_regression_frequency_hertz",
               "Least-squares slope of the rising-edge times over the last count's gate.",
               MetricType::Gauge),
    };
    auto time = family("vexcountd_count_timestamp_seconds",
                       "Unix time of the count the channel's values come from.", MetricType::Gauge);
    auto finished = family("vexcountd_counts_finished_total",
                           "Counts finished on the module, by any client or monitor, per type.",
                           MetricType::Counter);
    auto unreferenced =
        family("vexcountd_counts_unreferenced_total",
               "Counts finished on a module with an external reference that did not time them "
               "(not locked: the device's nominal rate stands).",
               MetricType::Counter);
    std::lock_guard lock(m_mutex);
    for (const auto& [name, module] : m_modules) {
        for (size_t c = 0; c < module.measured.size(); ++c) {
            const Channel& channel = module.measured[c];
            if (channel.time == 0) continue;
            const std::string number = std::to_string(c);
            for (int v = 0; v < kValues; ++v) {
                const double value = channel.values[static_cast<size_t>(v)];
                if (std::isnan(value)) continue;
                if (v == HighWidth || v == LowWidth)
                    add(values[HighWidth], value,
                        {{"channel", number},
                         {"level", v == HighWidth ? "high" : "low"},
                         {"module", name}});
                else
                    add(values[static_cast<size_t>(v)], value,
                        {{"channel", number}, {"module", name}});
            }
            add(time, channel.time, {{"channel", number}, {"module", name}});
        }
        for (size_t t = 0; t < module.finished.size(); ++t)
            if (module.finished[t] > 0)
                add(finished, static_cast<double>(module.finished[t]),
                    {{"module", name}, {"type", kCounterTypes[t]}});
        if (module.unreferenced)
            add(unreferenced, static_cast<double>(*module.unreferenced), {{"module", name}});
    }
    for (MetricFamily& f : values)
        keep(families, std::move(f));
    keep(families, std::move(time));
    keep(families, std::move(finished));
    keep(families, std::move(unreferenced));
}

} // namespace vexcountd
