// The streaming counter of an acquired module: frequency, period and event
// counts, arming and pin status computed from a logic analyser's sample
// stream. The acquisition thread feeds packets; polls from any thread cost
// O(channels).
//
// Sample n (counted from the first sample fed after start()) lies at time
// n / S for sample rate S; bit i of a sample is channel i. An edge of channel
// i at sample j is a change of bit i between samples j-1 and j, so an edge
// whose two samples arrive in different packets counts exactly once.
//
// Beside the counts, frequency and event counts measure per channel the
// rising edges' first and last positions and the samples spent high inside
// the gate, which give the reciprocal frequency, the mean pulse widths and
// the duty cycle exactly to a sample; every rising edge's time also enters
// a least-squares fit per channel (EdgeFit), whose slope gives the regression
// frequency. An optional reference input (a channel
// carrying a signal of known frequency) is measured continuously; while its
// estimate is locked, gates and every time conversion use it instead of the
// device's nominal rate.
#pragma once

#include "EdgeFit.h"
#include "Engine.h" // vexengine::CountSettings, CounterStatus, ChannelMeasures, TimeBase
#include "ReferenceEstimator.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vexacq {

// Counts one logic analyser's sample stream for one engine module.
// feed() runs on the acquisition thread; every other member may be called
// from any thread. Thread-safe (one mutex; feed holds it per packet).
class StreamCounter {
public:
    // logicChannels: channels the device delivers, bit i of a sample =
    // channel i (1..32). channelCount: channels the module reports (18 for
    // model 'c'); channels at or beyond logicChannels are absent: state idle
    // (0), count 0, pin '0'.
    StreamCounter(int logicChannels, int channelCount);

    // Samples per second of the stream (> 0); call before feeding and when
    // the device's rate changes (a running count then ends as by stop(),
    // its unfinished channels in "forced stop"; a finished one is void; a
    // reference's window starts afresh).
    void setSampleRate(uint64_t hz);
    uint64_t sampleRate() const;
    // The stream starts anew (another acquisition): the next sample fed has
    // no predecessor, a running count ends as by stop(), and a reference's
    // window starts afresh.
    void newStream();
    int logicChannels() const { return m_logicChannels; }

    // One packet of samples: `bytes` bytes, `unitsize` bytes per sample
    // (any size >= 1; only the low 4 bytes carry channels), little-endian,
    // bit i = channel i. A trailing partial sample is ignored.
    void feed(const void* data, size_t bytes, unsigned unitsize);

    // The count, with the simulated counter's semantics ("settings" already
    // validated by vexengine::validCountSettings).
    void reset();                                         // idle, counts 0
    void start(const vexengine::CountSettings& settings); // from the next sample fed
    void stop(); // counting -> forced stop, busy clears, counts freeze
    void status(vexengine::CounterStatus& status) const; // busy, armed, per-channel states
    void counts(std::vector<int64_t>& counts) const;     // one per channel (channelCount)

    // Pin status since the previous pins() call or beginPinReads():
    // '0'/'1' steady level, 'R' only rising, 'F' only falling, 'B' both;
    // with no sample since then, the last known level ('0' before any sample).
    void beginPinReads();
    void pins(std::string& pins);

    // Total samples fed since construction (for tests and CPU figures).
    uint64_t samplesFed() const;

    // Reciprocal and regression frequency, widths and duty per channel
    // (channelCount entries) over the gate so far, in the count's time base;
    // NaN where unknown (idle, absent channels, fewer than two rising edges,
    // three for the regression). With a locked reference whose channel has
    // three edges in the gate, the regression is the ratio of the two fits
    // times the reference's nominal frequency. Period counts give only the
    // mean interval so far (meanPeriod).
    void measures(std::vector<vexengine::ChannelMeasures>& measures) const;
    // Measuring is on by default; off, counts cost a little less and
    // measures() knows nothing (for throughput comparisons).
    void setMeasuring(bool on);

    // A reference of nominal frequency hz (> 0) on channel (any channel; one
    // the device does not deliver never locks). Measured from the next sample
    // fed, across counts; a count takes the rate in force when it starts.
    void setReference(int channel, double hz);
    // The rate counts use and where it comes from.
    vexengine::TimeBase timeBase() const;

private:
    enum class Phase { idle, arming, gating, closed };

    // One channel's period measurement: completed intervals and their summed
    // length in samples, and the start sample of the open interval.
    struct PeriodChannel {
        int intervals = 0;
        bool open = false;
        uint64_t start = 0;
        uint64_t sum = 0;
    };

    bool armsAt(uint32_t sample, uint32_t rising, uint32_t falling) const;
    void arm();
    // Feed path pieces, all with the mutex held. Spans are sample indices of one packet.
    size_t scanArming(const uint8_t* data, size_t from, size_t to, unsigned unitsize);
    template <unsigned Unit> size_t skipUnarmedWords(const uint8_t* data, size_t from, size_t to);
    void countSpan(const uint8_t* data, size_t from, size_t to, unsigned unitsize);
    template <unsigned Unit> size_t countWords(const uint8_t* data, size_t from, size_t to);
    template <unsigned Unit> void countHighWords(const uint8_t* p, size_t words);
    template <unsigned Unit, bool Measure>
    size_t countEdgeWords(const uint8_t*& p, size_t words, uint64_t& prev, uint64_t& rise,
                          uint64_t& fall);
    void countSamples(const uint8_t* data, size_t from, size_t to, unsigned unitsize);
    void periodEdge(unsigned channel, uint64_t sample, bool rising);
    void closeIfFinished();
    bool countingLocked() const {
        return !m_stopped && (m_phase == Phase::arming || m_phase == Phase::gating);
    }
    int64_t periodTicks(uint64_t samples) const;
    // Measures: the edges a span's blocks saw, located exactly (one word-parallel
    // pass already ran; this looks only at the blocks holding a channel's first
    // or last edge of the span).
    template <unsigned Unit>
    void locateEdges(const uint8_t* words, size_t count, uint64_t previous, size_t blocks);
    void trackSample(uint32_t sample, uint32_t rising, uint32_t falling);
    // Measures: every rising edge of a span's words into the channels' fits.
    template <unsigned Unit> void fitWords(const uint8_t* words, size_t count, uint64_t previous);
    // The regression frequency of one channel (Hz), NaN with fewer than three edges.
    double regressionHz(unsigned channel) const;
    // The reference channel's rising edges of a packet, to the estimator.
    void feedReference(const uint8_t* data, size_t samples, unsigned unitsize);
    template <unsigned Unit>
    void referenceWords(const uint8_t* data, size_t from, size_t to, uint32_t& previous,
                        uint64_t& count, uint64_t& first, uint64_t& last);
    bool isPresent(int channel) const { return channel < 32 && (m_present >> channel & 1); }

    const int m_logicChannels;
    const int m_channelCount;
    const uint32_t m_present; // channels that are both delivered and reported

    mutable std::mutex m_mutex;
    uint64_t m_rate = 0; // Hz
    uint64_t m_fed = 0;

    // Stream: the last sample fed (present channels only).
    bool m_havePrevious = false;
    uint32_t m_previous = 0;

    // Pins: edges seen since the last read.
    uint32_t m_pinRising = 0;
    uint32_t m_pinFalling = 0;

    // The count.
    Phase m_phase = Phase::idle;
    bool m_stopped = false;
    bool m_armed = false;
    vexengine::CountSettings m_settings;
    uint64_t m_position = 0; // samples fed since start()
    uint64_t m_gateEnd = 0;  // first sample after the gate; UINT64_MAX for the infinite gate
    uint64_t m_gateSamples = 0;
    uint32_t m_levelMask = 0, m_levelValue = 0; // arming codes '0' / '1'
    uint32_t m_armRising = 0, m_armFalling = 0, m_armEither = 0;
    bool m_firstRising = true, m_secondRising = true;
    uint32_t m_periodPending = 0; // period channels short of their intervals
    std::array<int64_t, 32> m_edges{};
    std::array<PeriodChannel, 32> m_period{};

    // Measures of a frequency or event count (positions count from start()).
    bool m_measuring = true;
    double m_countRate = 0;                  // the rate the count converts with, Hz
    bool m_countLocked = false;              // ... taken from a locked reference
    uint64_t m_gateStart = 0;                // position of the arming sample
    uint64_t m_countedTo = 0;                // position after the last sample counted
    uint32_t m_haveRise = 0, m_haveFall = 0; // channels with a rising / falling edge so far
    std::array<uint64_t, 32> m_firstRise{}, m_lastRise{}, m_firstFall{}, m_lastFall{};
    std::array<uint64_t, 32> m_high{}; // samples high inside the gate
    std::array<EdgeFit, 32> m_fit{};   // rising edges, t from m_gateStart
    // Per block of 15 words of the span being counted: its rising and falling
    // edges, all lanes ORed.
    std::vector<uint64_t> m_blockRise, m_blockFall;

    // The reference input.
    int m_referenceChannel = -1;
    std::optional<ReferenceEstimator> m_reference;
};

} // namespace vexacq
