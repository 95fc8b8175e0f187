// The streaming counter's measures beside the counts (reciprocal and
// regression frequency, pulse widths, duty, mean period) and its reference
// input.
//
// Over the rising edges r_1 < ... < r_n of a channel inside the gate (sample
// positions) there are n - 1 whole periods, each one high pulse followed by
// one low pulse. So with H the samples high in [r_1, r_n):
//   reciprocal = (n - 1) x S / (r_n - r_1), positive width = H / (n - 1) / S,
//   negative width = (r_n - r_1 - H) / (n - 1) / S, duty = H / (r_n - r_1).
// The word-parallel pass counts the samples high over the whole gate; the
// high samples before r_1 (from the gate's start to the first falling edge,
// if that comes first) and from r_n on (to the last falling edge, or to the
// end) follow from the first and last edges, which are the only edges looked
// at one by one.
//
// The regression fit takes every rising edge's time (EdgeFit): a pass of its
// own over the span's words visits the set bits of each word's rising edges
// (one per edge, in time order per channel) and sums them per channel in
// small blocks with 64-bit block-relative times, which fold into the exact
// 128-bit sums once per block.
#include "StreamCounter.h"

#include "SampleWords.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vexacq {

using namespace vexengine;
using namespace words;

namespace {

// Blocks of the word-parallel pass: 15 words (its nibble lanes' capacity).
constexpr size_t kBlockWords = 15;
// Words per block of the fit pass: block-relative times below 8192 samples
// and edge numbers below 4096 keep sum u inside 32 bits and sum j x u far
// inside 64.
constexpr size_t kFitWords = 1024;

} // namespace

void StreamCounter::setMeasuring(bool on) {
    std::lock_guard lock(m_mutex);
    m_measuring = on;
}

void StreamCounter::setReference(int channel, double hz) {
    std::lock_guard lock(m_mutex);
    m_referenceChannel = channel;
    m_reference.emplace(hz, static_cast<double>(m_rate));
}

TimeBase StreamCounter::timeBase() const {
    std::lock_guard lock(m_mutex);
    TimeBase base;
    base.nominalRate = static_cast<double>(m_rate);
    base.rate = base.nominalRate;
    if (!m_reference) return base;
    base.external = true;
    base.referenceHz = m_reference->referenceHz();
    base.referenceChannel = m_referenceChannel;
    base.locked = m_rate != 0 && m_reference->locked();
    if (base.locked) {
        base.rate = m_reference->rate();
        base.offsetPpm = m_reference->offsetPpm();
    }
    return base;
}

void StreamCounter::measures(std::vector<ChannelMeasures>& measures) const {
    std::lock_guard lock(m_mutex);
    measures.assign(static_cast<size_t>(m_channelCount), ChannelMeasures{});
    if (m_phase == Phase::idle || !m_armed || !m_measuring || m_countRate <= 0) return;
    for (ChannelMeasures& m : measures)
        m.referenced = m_countLocked;
    if (m_settings.counterType == 1) { // the mean of the intervals so far, exact to a sample
        for (int i = 0; i < m_channelCount; ++i) {
            const PeriodChannel& c = m_period[static_cast<size_t>(i)];
            if (isPresent(i) && c.intervals > 0)
                measures[static_cast<size_t>(i)].meanPeriod =
                    static_cast<double>(c.sum) / c.intervals / m_countRate;
        }
        return;
    }
    for (int i = 0; i < m_channelCount; ++i) {
        const auto ch = static_cast<size_t>(i);
        if (!isPresent(i) || m_edges[ch] < 2 || !(m_haveRise >> i & 1)) continue;
        const uint64_t first = m_firstRise[ch], last = m_lastRise[ch];
        const bool fell = m_haveFall >> i & 1;
        const uint64_t before = fell && m_firstFall[ch] < first ? m_firstFall[ch] - m_gateStart : 0;
        const uint64_t after =
            (fell && m_lastFall[ch] > last ? m_lastFall[ch] : m_countedTo) - last;
        const double high = static_cast<double>(m_high[ch] - before - after);
        const double span = static_cast<double>(last - first);
        const double periods = static_cast<double>(m_edges[ch] - 1);
        ChannelMeasures& m = measures[ch];
        m.reciprocalHz = periods * m_countRate / span;
        m.positiveWidth = high / periods / m_countRate;
        m.negativeWidth = (span - high) / periods / m_countRate;
        m.duty = high / span;
        m.regressionHz = regressionHz(static_cast<unsigned>(i));
    }
}

// Samples per period from the fit, through the time base: against a locked
// reference's own fit over the same gate when it has one (so the reading is
// as fine as the channel's fit), else with the count's rate.
double StreamCounter::regressionHz(unsigned channel) const {
    const double slope = m_fit[channel].slope();
    if (!(slope > 0)) return std::numeric_limits<double>::quiet_NaN();
    if (m_countLocked && m_reference && m_referenceChannel >= 0 && isPresent(m_referenceChannel)) {
        const double referenceSlope = m_fit[static_cast<size_t>(m_referenceChannel)].slope();
        if (referenceSlope > 0) return referenceSlope / slope * m_reference->referenceHz();
    }
    return m_countRate / slope;
}

// One sample of the per-sample path (m_position is the sample's position).
void StreamCounter::trackSample(uint32_t sample, uint32_t rising, uint32_t falling) {
    forEachBit(rising & ~m_haveRise, [&](unsigned ch) { m_firstRise[ch] = m_position; });
    forEachBit(falling & ~m_haveFall, [&](unsigned ch) { m_firstFall[ch] = m_position; });
    forEachBit(rising, [&](unsigned ch) { m_lastRise[ch] = m_position; });
    forEachBit(falling, [&](unsigned ch) { m_lastFall[ch] = m_position; });
    m_haveRise |= rising;
    m_haveFall |= falling;
    forEachBit(sample, [&](unsigned ch) { ++m_high[ch]; });
    forEachBit(rising, [&](unsigned ch) { m_fit[ch].add(m_position - m_gateStart); });
}

// The span of `count` words from p began at m_position with `previous` as the
// sample before it: each channel's rising edges, block by block, into its fit.
template <unsigned Unit>
void StreamCounter::fitWords(const uint8_t* p, size_t count, uint64_t previous) {
    constexpr unsigned sampleBits = 8 * Unit;
    constexpr unsigned perWord = 8 / Unit;
    constexpr unsigned sampleShift = std::countr_zero(sampleBits);
    const uint64_t present = replicate<Unit>(m_present);
    uint64_t prev = previous;
    for (size_t from = 0; from < count; from += kFitWords) {
        const size_t to = std::min(count, from + kFitWords);
        // Per channel: edges, sum u and sum j x u (u samples from the block's
        // start), side by side so that an edge touches one 16-byte slot.
        struct Sums {
            uint32_t edges, sumU;
            uint64_t sumJU;
        } sums[32] = {};
        uint64_t seen = 0;
        for (size_t w = from; w < to; ++w) {
            const uint64_t cur = loadWord(p + 8 * w) & present;
            const uint64_t rising = ~(cur << sampleBits | prev) & cur;
            prev = cur >> (64 - sampleBits);
            seen |= rising;
            const auto at = static_cast<uint32_t>((w - from) * perWord);
            forEachBit(rising, [&](unsigned bit) {
                const unsigned ch = bit & (sampleBits - 1);
                const uint32_t u = at + (bit >> sampleShift);
                Sums& c = sums[ch];
                c.sumJU += uint64_t{c.edges++} * u;
                c.sumU += u;
            });
        }
        const uint64_t base = m_position + from * perWord - m_gateStart;
        forEachBit(foldWord<Unit>(seen), [&](unsigned ch) {
            m_fit[ch].addBlock(base, sums[ch].edges, sums[ch].sumU, sums[ch].sumJU);
        });
    }
}

template void StreamCounter::fitWords<1>(const uint8_t*, size_t, uint64_t);
template void StreamCounter::fitWords<2>(const uint8_t*, size_t, uint64_t);
template void StreamCounter::fitWords<4>(const uint8_t*, size_t, uint64_t);

// The span of `count` words from p began at m_position with `previous` as the
// sample before it. Per kind of edge: the first edges of channels that had
// none, from the first block holding one; the last edges from the last block
// holding one.
template <unsigned Unit>
void StreamCounter::locateEdges(const uint8_t* p, size_t count, uint64_t previous, size_t blocks) {
    constexpr unsigned sampleBits = 8 * Unit;
    constexpr unsigned perWord = 8 / Unit;
    constexpr unsigned sampleShift = std::countr_zero(sampleBits);
    const uint64_t present = replicate<Unit>(m_present);
    const uint64_t base = m_position;
    auto edgesOfWord = [&](size_t w, bool rising) {
        const uint64_t before = w == 0 ? previous : (loadWord(p + 8 * (w - 1)) & present);
        const uint64_t cur = loadWord(p + 8 * w) & present;
        const uint64_t shifted =
            cur << sampleBits | (w == 0 ? before : before >> (64 - sampleBits));
        return rising ? ~shifted & cur : shifted & ~cur;
    };
    for (const bool rising : {true, false}) {
        const std::vector<uint64_t>& blockEdges = rising ? m_blockRise : m_blockFall;
        uint32_t& have = rising ? m_haveRise : m_haveFall;
        auto& firstAt = rising ? m_firstRise : m_firstFall;
        auto& lastAt = rising ? m_lastRise : m_lastFall;
        uint32_t seen = 0;
        for (size_t b = 0; b < blocks; ++b)
            seen |= foldWord<Unit>(blockEdges[b]);
        uint32_t pending = seen & ~have;
        for (size_t b = 0; pending && b < blocks; ++b) {
            uint32_t hit = foldWord<Unit>(blockEdges[b]) & pending;
            pending &= ~hit;
            for (size_t w = b * kBlockWords; hit && w < count; ++w) {
                const uint64_t e = edgesOfWord(w, rising);
                forEachBit(hit & foldWord<Unit>(e), [&](unsigned ch) {
                    const uint64_t lanes = e & replicate<Unit>(1u << ch);
                    firstAt[ch] = base + w * perWord + (std::countr_zero(lanes) >> sampleShift);
                    hit &= ~(1u << ch);
                });
            }
        }
        have |= seen;
        pending = seen;
        for (size_t b = blocks; pending && b-- > 0;) {
            uint32_t hit = foldWord<Unit>(blockEdges[b]) & pending;
            pending &= ~hit;
            for (size_t w = std::min(count, (b + 1) * kBlockWords); hit && w-- > b * kBlockWords;) {
                const uint64_t e = edgesOfWord(w, rising);
                forEachBit(hit & foldWord<Unit>(e), [&](unsigned ch) {
                    const uint64_t lanes = e & replicate<Unit>(1u << ch);
                    lastAt[ch] =
                        base + w * perWord + ((63 - std::countl_zero(lanes)) >> sampleShift);
                    hit &= ~(1u << ch);
                });
            }
        }
    }
}

template void StreamCounter::locateEdges<1>(const uint8_t*, size_t, uint64_t, size_t);
template void StreamCounter::locateEdges<2>(const uint8_t*, size_t, uint64_t, size_t);
template void StreamCounter::locateEdges<4>(const uint8_t*, size_t, uint64_t, size_t);

// The reference channel's rising edges over whole words of [from, to):
// counted, and the first and last located (positions relative to the packet).
template <unsigned Unit>
void StreamCounter::referenceWords(const uint8_t* data, size_t from, size_t to, uint32_t& previous,
                                   uint64_t& count, uint64_t& first, uint64_t& last) {
    constexpr unsigned sampleBits = 8 * Unit;
    constexpr unsigned perWord = 8 / Unit;
    constexpr unsigned sampleShift = std::countr_zero(sampleBits);
    const unsigned channel = static_cast<unsigned>(m_referenceChannel);
    const uint64_t lanes = replicate<Unit>(1u << channel);
    uint64_t prev = uint64_t{previous} << channel;
    const uint64_t ones = replicate<Unit>(1); // a multiplier summing the lanes into the top one
    const uint8_t* p = data + from * Unit;
    size_t i = from;
    auto edgesAt = [&] {
        const uint64_t cur = loadWord(p) & lanes;
        const uint64_t r = ~(cur << sampleBits | prev) & cur;
        prev = cur >> (64 - sampleBits);
        return r;
    };
    // Up to the first edge (once per batch), then without branches: a
    // reference edge may come at any word. Edges add up in the sample lanes
    // (at most 31 words, so 8 lanes of a byte hold their sum) and the lanes
    // fold into the count; the last word with an edge is located at the end.
    if (count == 0) {
        for (; i + perWord <= to; i += perWord, p += 8) {
            const uint64_t r = edgesAt();
            if (!r) continue;
            first = i + (std::countr_zero(r) >> sampleShift);
            last = i + ((63 - std::countl_zero(r)) >> sampleShift);
            count = (r >> channel) * ones >> (64 - sampleBits);
            i += perWord;
            p += 8;
            break;
        }
    }
    size_t lastWord = 0;
    uint64_t lastEdges = 0;
    while (i + perWord <= to) {
        uint64_t lanesSum = 0;
        for (int k = 0; k < 31 && i + perWord <= to; ++k, i += perWord, p += 8) {
            const uint64_t r = edgesAt();
            lanesSum += r >> channel;
            lastWord = r ? i : lastWord;
            lastEdges = r ? r : lastEdges;
        }
        count += lanesSum * ones >> (64 - sampleBits);
    }
    if (lastEdges) last = lastWord + ((63 - std::countl_zero(lastEdges)) >> sampleShift);
    previous = static_cast<uint32_t>(prev >> channel) & 1;
}

void StreamCounter::feedReference(const uint8_t* data, size_t samples, unsigned unitsize) {
    const bool delivered = m_referenceChannel >= 0 && isPresent(m_referenceChannel) && m_rate != 0;
    if (!delivered) {
        m_reference->advance(m_fed + samples);
        return;
    }
    const auto channel = static_cast<unsigned>(m_referenceChannel);
    // Batches of at most 5 ms, so that a pause inside a long packet shows.
    const size_t chunk = static_cast<size_t>(std::max<uint64_t>(m_rate / 200, 64));
    const bool words = unitsize == 1 || unitsize == 2 || unitsize == 4;
    uint32_t previous = m_previous >> channel & 1;
    for (size_t from = 0; from < samples; from += chunk) {
        const size_t to = std::min(samples, from + chunk);
        uint64_t count = 0, first = 0, last = 0;
        size_t i = from;
        if (words) {
            const size_t perWord = 8 / unitsize;
            const size_t end = from + (to - from) / perWord * perWord;
            if (unitsize == 1) referenceWords<1>(data, from, end, previous, count, first, last);
            if (unitsize == 2) referenceWords<2>(data, from, end, previous, count, first, last);
            if (unitsize == 4) referenceWords<4>(data, from, end, previous, count, first, last);
            i = end;
        }
        for (; i < to; ++i) {
            const uint32_t level = loadSample(data + i * unitsize, unitsize) >> channel & 1;
            if (level && !previous) {
                if (count == 0) first = i;
                last = i;
                ++count;
            }
            previous = level;
        }
        if (count) m_reference->addEdges(m_fed + first, m_fed + last, count);
        m_reference->advance(m_fed + to);
    }
}

} // namespace vexacq
