// MeasurementCycle: starting, polling and stopping counts on the open module.
#include "counter/MeasurementCycle.h"

#include "TModIfCpp.h"
#include "counter/HighResolutionText.h"
#include "counter/ResultText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

namespace {

// Finished texts of the three counter types; their result column headings
// are the settings groups' (resultHeading).
constexpr std::string_view kFrequencyFinished = "Frequency Count Finished";
constexpr std::string_view kPeriodFinished = "Period Count Finished";
constexpr std::string_view kEventFinished = "Event Count Finished";

constexpr std::string_view kRunning = "Running";
constexpr std::string_view kCounting = "Counting";
constexpr std::string_view kWaiting = "Waiting for trigger";
constexpr std::string_view kWaitingReference = "Waiting for reference";
constexpr std::string_view kStopping = "Stopping";
constexpr std::string_view kIdle = "Idle";

// Status word 0, bit 0: the module is still counting; bit 1: the channel
// codes have opened the gate (QV_STATUS_ARMED). Words 1..n, bits 0 to
// 2: the state of a channel, of which only 1 (counting) is not final: 0 and 6
// are idle, 2 done, 3, 4 and 7 forced stop, 5 gate timed out.
constexpr uint32_t kBusyBit = 1u;
constexpr uint32_t kArmedBit = 2u;
constexpr uint32_t kChannelStateMask = 7u;
constexpr uint32_t kChannelCounting = 1u;
constexpr uint32_t kChannelDone = 2u;

// The library reads the codes of channels 0 to 7 whatever the module's
// channel count; a zero byte follows them.
constexpr int32_t kCodedChannels = 8;

} // namespace

// The two buffers of one poll, sized to the channel count n when the poll
// starts and freed when it ends, also when a library call in it throws.
class MeasurementCycle::PollBuffers {
public:
    explicit PollBuffers(int32_t n)
        : m_n(n), m_words(std::make_unique<uint32_t[]>(static_cast<size_t>(n) + 1)),
          m_counts(std::make_unique<int64_t[]>(static_cast<size_t>(n))) {}

    int32_t n() const { return m_n; }
    uint32_t* words() { return m_words.get(); }
    int64_t* counts() { return m_counts.get(); }
    bool busy() const { return (m_words[0] & kBusyBit) != 0; }
    bool armed() const { return (m_words[0] & kArmedBit) != 0; }
    uint32_t channelState(int32_t channel) const {
        return m_words[static_cast<size_t>(channel) + 1] & kChannelStateMask;
    }
    int64_t count(int32_t channel) const { return m_counts[static_cast<size_t>(channel)]; }

private:
    int32_t m_n;
    std::unique_ptr<uint32_t[]> m_words;
    std::unique_ptr<int64_t[]> m_counts;
};

void MeasurementCycle::UpdateCounter(bool reset, bool start, bool stop) {
    if (reset) {
        m_runState = 0;
        m_host.setRunStateText(kIdle);
        return;
    }

    // Not guarded: a library that cannot say whether the module is open is
    // left to the caller.
    int32_t open = 0;
    check(QV_ModIsOpen(m_host.libraryHandle(), &open));
    if (open != 1) {
        m_runState = 0;
        m_host.setRunStateText({});
        return;
    }

    try {
        if (m_runState == 0) {
            if (start) {
                StartCount();
                m_runState = 1;
            } else {
                m_host.setRunStateText(kIdle);
            }
        } else if (stop) {
            // Idle before the library is told, so a failing stop still leaves
            // the cycle idle.
            m_runState = 0;
            check(QV_FCRun(m_host.libraryHandle(), 0, 0, 0, nullptr, 0));
            m_host.setRunStateText(kStopping);
            // No counts are read after the stop: the count ends with what its
            // last poll read, as the grid shows it.
            reportEnded(true);
        } else {
            bool finished = false;
            switch (m_counterType) {
            case QV_COUNT_FREQUENCY:
                finished = PollFrequency();
                break;
            case QV_COUNT_PERIOD:
                finished = PollPeriod();
                break;
            default:
                finished = PollEvents();
                break;
            }
            if (finished) {
                if (m_host.continuousChecked()) {
                    StartCount();
                } else {
                    m_host.enableRunStop(true, false);
                    m_runState = 0;
                }
            }
        }
    } catch (...) {
        // The count is abandoned silently: the user sees the module closed.
        m_runState = 0;
        m_host.closeModule();
    }
}

void MeasurementCycle::StartCount() {
    m_host.setRunStateText(kRunning);
    const int32_t handle = m_host.libraryHandle();
    const CounterSettings settings = m_host.counterSettings();
    check(QV_SetThreshold(handle, 0, settings.threshold));
    check(QV_SetThreshold(handle, 1, settings.threshold));

    // The polls of this count go by these, whatever the groups show later.
    m_counterType = settings.counterType;
    m_gateCode = settings.gateCode;
    m_edgeCode = settings.edgeCode;
    const auto n = static_cast<size_t>(std::max<int32_t>(0, m_host.channelCount()));
    m_values.assign(n, std::nullopt);
    m_final.assign(n, false);
    m_measured = false;

    std::array<char, kCodedChannels + 1> codes{};
    for (int32_t i = 0; i < kCodedChannels; ++i)
        codes[static_cast<size_t>(i)] = m_host.channelCode(i);
    check(QV_FCRun(handle, m_counterType, m_edgeCode, m_gateCode, codes.data(), 1));
}

template <typename Specific>
bool MeasurementCycle::poll(std::string_view heading, std::string_view finishedText,
                            Specific specific) {
    m_host.setResultHeading(heading);
    PollBuffers buffers(std::max<int32_t>(0, m_host.channelCount()));
    check(QV_FCGetStatus(m_host.libraryHandle(), buffers.words(), buffers.n() + 1));
    const bool finished = specific(buffers);
    // Until the channel codes open the gate nothing is being counted; on a
    // module whose reference has not locked, the engine holds the gate until
    // it does.
    m_host.setRunStateText(finished                     ? finishedText
                           : buffers.armed()            ? kCounting
                           : m_host.referenceUnlocked() ? kWaitingReference
                                                        : kWaiting);
    return finished;
}

template <typename ValueOf> void MeasurementCycle::setValues(int32_t n, ValueOf valueOf) {
    m_values.resize(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i)
        m_values[static_cast<size_t>(i)] = valueOf(i);
}

void MeasurementCycle::reportEnded(bool stopped) {
    FinishedCount count{m_counterType, m_gateCode, m_edgeCode, m_values, stopped};
    // Every channel of a count has the same time base.
    count.referenced = m_measured && !m_measures.empty() && m_measures.front().referenced == 1;
    count.highResolution = m_counterType != QV_COUNT_EVENTS && highResolution();
    m_host.countFinished(count);
}

bool MeasurementCycle::readMeasures(int32_t n) {
    if (m_measuresUnsupported || n <= 0) return false;
    QV_ChannelMeasures blank{};
    blank.size = sizeof blank;
    m_measures.assign(static_cast<size_t>(n), blank);
    const int32_t status = QV_FCGetMeasures(m_host.libraryHandle(), m_measures.data(), n);
    if (status == QV_ERR_NOT_SUPPORTED) m_measuresUnsupported = true;
    m_measured = status == QV_OK;
    return m_measured;
}

const QV_ChannelMeasures& MeasurementCycle::measuresOf(int32_t channel) const {
    return m_measures[static_cast<size_t>(channel)];
}

bool MeasurementCycle::highResolution() const {
    return m_measured && m_host.highResolution();
}

bool MeasurementCycle::PollFrequency() {
    return poll(resultHeading(QV_COUNT_FREQUENCY), kFrequencyFinished, [this](PollBuffers& b) {
        // Counts are read only once the gate has closed.
        if (b.busy()) return false;
        readCounts(b);
        readMeasures(b.n());
        const double rate = m_host.sampleRate();
        for (int32_t i = 0; i < b.n(); ++i) {
            const auto high = highResolution()
                                  ? highResolutionFrequencyText(measuresOf(i), m_gateCode, rate)
                                  : std::nullopt;
            writeResult(i, high ? *high : FrequencyText(b.count(i), m_gateCode));
        }
        setValues(b.n(), [&](int32_t i) {
            const double best = highResolution() ? measuresOf(i).frequency : NAN;
            return std::isfinite(best) && best > 0.0 ? best : frequencyHz(b.count(i), m_gateCode);
        });
        reportEnded(false);
        return true;
    });
}

bool MeasurementCycle::PollPeriod() {
    return poll(resultHeading(QV_COUNT_PERIOD), kPeriodFinished, [this](PollBuffers& b) {
        // Each channel shows its result as soon as its own measurement ends.
        readCounts(b);
        bool allFinal = true;
        bool newlyFinal = false;
        m_final.resize(static_cast<size_t>(b.n()), false);
        for (int32_t i = 0; i < b.n(); ++i) {
            const bool final = b.channelState(i) != kChannelCounting;
            newlyFinal = newlyFinal || (final && !m_final[static_cast<size_t>(i)]);
            m_final[static_cast<size_t>(i)] = final;
            allFinal = allFinal && final;
        }
        const bool finished = !b.busy() || allFinal;
        // The measures once at the end, and in High Resolution whenever a
        // channel has just finished, so its cell shows them at once.
        if (finished || (newlyFinal && m_host.highResolution())) readMeasures(b.n());
        const double rate = m_host.sampleRate();
        // Only a channel that timed its 64 intervals has a period.
        const auto highPeriodNs = [&](int32_t i) {
            const double seconds = highResolution() ? measuresOf(i).period : NAN;
            return std::isfinite(seconds) && seconds > 0.0 ? seconds * 1e9 : NAN;
        };
        for (int32_t i = 0; i < b.n(); ++i) {
            if (!m_final[static_cast<size_t>(i)]) continue;
            const auto high = b.channelState(i) == kChannelDone && highResolution()
                                  ? highResolutionPeriodText(measuresOf(i), rate)
                                  : std::nullopt;
            writeResult(i, high ? *high : PeriodResultText(b.channelState(i), b.count(i)));
        }
        setValues(b.n(), [&](int32_t i) -> std::optional<double> {
            if (b.channelState(i) != kChannelDone) return std::nullopt;
            const double high = highPeriodNs(i);
            return std::isfinite(high) ? high : periodNs(b.count(i));
        });
        if (finished) reportEnded(false);
        return finished;
    });
}

bool MeasurementCycle::PollEvents() {
    return poll(resultHeading(QV_COUNT_EVENTS), kEventFinished, [this](PollBuffers& b) {
        // Running totals, busy or not.
        readCounts(b);
        for (int32_t i = 0; i < b.n(); ++i)
            writeResult(i, EventText(b.count(i)));
        setValues(b.n(), [&](int32_t i) { return static_cast<double>(b.count(i)); });
        if (b.busy()) return false;
        readMeasures(b.n()); // for the count's time base
        reportEnded(false);
        return true;
    });
}

void MeasurementCycle::readCounts(PollBuffers& buffers) {
    check(QV_FCGetCounts(m_host.libraryHandle(), buffers.counts(), buffers.n()));
}

void MeasurementCycle::writeResult(int32_t channel, std::string_view text) {
    if (channel + 1 < m_host.rowCount()) m_host.writeResult(channel, text);
}
