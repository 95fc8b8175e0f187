// The streaming counter. The feed path handles every channel of a sample at
// once: rising = ~previous & current over 64-bit words holding 8 / unitsize
// samples, with per-channel rising-edge counts accumulated in nibble and byte
// lanes (SWAR) and folded into the counts only every few hundred words. Only
// the edges that can change a period measurement or enter a regression fit,
// and the samples before the count arms, are looked at one by one.
#include "StreamCounter.h"

#include "Counter.h"
#include "SampleWords.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace vexacq {

using namespace vexengine;
using namespace words;

namespace {

constexpr uint64_t kForever = std::numeric_limits<uint64_t>::max();

} // namespace

StreamCounter::StreamCounter(int logicChannels, int channelCount)
    : m_logicChannels(std::clamp(logicChannels, 0, 32)), m_channelCount(std::max(channelCount, 0)),
      m_present(
          static_cast<uint32_t>((uint64_t{1} << std::min(m_logicChannels, m_channelCount)) - 1)) {}

void StreamCounter::setSampleRate(uint64_t hz) {
    std::lock_guard lock(m_mutex);
    if (hz == m_rate) return;
    m_rate = hz;
    // Counts in samples mean nothing at another rate: a finished count is
    // void, a running one ends unfinished (never as a finished count of 0).
    if (countingLocked())
        m_stopped = true;
    else if (m_phase == Phase::closed)
        m_phase = Phase::idle;
    if (m_reference) m_reference->restart(static_cast<double>(hz));
}

void StreamCounter::newStream() {
    std::lock_guard lock(m_mutex);
    m_havePrevious = false;
    if (countingLocked()) m_stopped = true;
    // The reference's edges of the old stream say nothing about the new one.
    if (m_reference) m_reference->restart(static_cast<double>(m_rate));
}

uint64_t StreamCounter::sampleRate() const {
    std::lock_guard lock(m_mutex);
    return m_rate;
}

uint64_t StreamCounter::samplesFed() const {
    std::lock_guard lock(m_mutex);
    return m_fed;
}

void StreamCounter::reset() {
    std::lock_guard lock(m_mutex);
    m_phase = Phase::idle;
}

void StreamCounter::start(const CountSettings& settings) {
    std::lock_guard lock(m_mutex);
    m_settings = settings;
    m_phase = Phase::arming;
    m_stopped = false;
    m_armed = false;
    m_position = 0;
    m_edges.fill(0);
    m_period.fill({});
    m_periodPending = settings.counterType == 1 ? m_present : 0;
    m_firstRising = settings.edgeCode & 1;
    m_secondRising = settings.edgeCode & 2;

    m_haveRise = m_haveFall = 0;
    m_high.fill(0);
    m_fit.fill({});
    // The count keeps the rate in force now: a locked reference's estimate,
    // else the nominal rate (exact integer arithmetic).
    m_countLocked = m_reference && m_reference->locked();
    m_countRate = m_countLocked ? m_reference->rate() : static_cast<double>(m_rate);

    int64_t gateNs = gateLengthNs(settings.gateCode);
    if (gateNs == kNever)
        m_gateSamples = kForever;
    else if (m_countLocked)
        m_gateSamples = static_cast<uint64_t>(
            std::llround(static_cast<double>(gateNs) / kSecond * m_countRate));
    else
        m_gateSamples = static_cast<uint64_t>(
            (static_cast<unsigned __int128>(gateNs) * m_rate + kSecond / 2) / kSecond);
    m_levelMask = m_levelValue = m_armRising = m_armFalling = m_armEither = 0;
    for (size_t i = 0; i < settings.channelCodes.size() && i < 8; ++i) {
        uint32_t bit = 1u << i;
        switch (settings.channelCodes[i]) {
        case '1':
            m_levelValue |= bit;
            [[fallthrough]];
        case '0':
            m_levelMask |= bit;
            break;
        case 'R':
            m_armRising |= bit;
            break;
        case 'F':
            m_armFalling |= bit;
            break;
        case 'E':
            m_armEither |= bit;
            break;
        default:
            break;
        }
    }
    if ((m_levelMask | m_armRising | m_armFalling | m_armEither) == 0) arm();
}

void StreamCounter::stop() {
    std::lock_guard lock(m_mutex);
    if (m_phase == Phase::arming || m_phase == Phase::gating) m_stopped = true;
}

void StreamCounter::arm() {
    m_armed = true;
    m_phase = Phase::gating;
    m_gateStart = m_countedTo = m_position;
    m_gateEnd = m_gateSamples == kForever ? kForever : m_position + m_gateSamples;
    closeIfFinished();
}

void StreamCounter::closeIfFinished() {
    if (m_position >= m_gateEnd) m_phase = Phase::closed;
    if (m_settings.counterType == 1 && m_periodPending == 0) m_phase = Phase::closed;
}

void StreamCounter::status(CounterStatus& status) const {
    std::lock_guard lock(m_mutex);
    status.channelStates.assign(m_channelCount, kChannelIdle);
    status.busy = countingLocked();
    status.armed = m_phase != Phase::idle && m_armed;
    if (m_phase == Phase::idle) return;
    bool period = m_settings.counterType == 1;
    for (int i = 0; i < m_channelCount; ++i) {
        if (!isPresent(i)) continue;
        bool done = period && m_period[i].intervals == kPeriodIntervals;
        uint32_t state = kChannelCounting;
        if (m_phase == Phase::gating && done) state = kChannelDone;
        if (m_phase == Phase::closed) state = !period || done ? kChannelDone : kChannelGateTimedOut;
        if (m_stopped && state == kChannelCounting) state = kChannelForcedStop;
        status.channelStates[i] = state;
    }
}

int64_t StreamCounter::periodTicks(uint64_t samples) const {
    if (m_rate == 0) return 0;
    constexpr unsigned __int128 ticksPerSecond = kSecond / kTickNs;
    if (m_countLocked)
        return std::llround(static_cast<double>(samples) * ticksPerSecond / m_countRate);
    return static_cast<int64_t>((samples * ticksPerSecond + m_rate / 2) / m_rate);
}

void StreamCounter::counts(std::vector<int64_t>& counts) const {
    std::lock_guard lock(m_mutex);
    counts.assign(m_channelCount, 0);
    if (m_phase == Phase::idle) return;
    for (int i = 0; i < m_channelCount; ++i) {
        if (!isPresent(i)) continue;
        counts[i] = m_settings.counterType == 1 ? periodTicks(m_period[i].sum) : m_edges[i];
    }
}

void StreamCounter::beginPinReads() {
    std::lock_guard lock(m_mutex);
    m_pinRising = m_pinFalling = 0;
}

void StreamCounter::pins(std::string& pins) {
    std::lock_guard lock(m_mutex);
    pins.assign(m_channelCount, '0');
    for (int i = 0; i < m_channelCount && isPresent(i); ++i) {
        bool rose = m_pinRising >> i & 1, fell = m_pinFalling >> i & 1;
        pins[i] = rose && fell ? 'B' : rose ? 'R' : fell ? 'F' : (m_previous >> i & 1) ? '1' : '0';
    }
    m_pinRising = m_pinFalling = 0;
}

// ---- feed path

void StreamCounter::feed(const void* data, size_t bytes, unsigned unitsize) {
    if (unitsize == 0) return;
    size_t n = bytes / unitsize;
    if (n == 0) return;
    const auto* p = static_cast<const uint8_t*>(data);
    std::lock_guard lock(m_mutex);
    if (!m_havePrevious) { // no edge at the very first sample
        m_previous = loadSample(p, unitsize) & m_present;
        m_havePrevious = true;
    }
    if (m_reference) feedReference(p, n, unitsize);
    size_t i = 0;
    while (i < n) {
        if (!countingLocked()) { // outside a count the samples only feed the pins
            countSpan(p, i, n, unitsize);
            i = n;
        } else if (m_phase == Phase::arming) {
            i = scanArming(p, i, n, unitsize);
        } else {
            size_t end =
                m_gateEnd == kForever
                    ? n
                    : static_cast<size_t>(std::min<uint64_t>(n, i + (m_gateEnd - m_position)));
            countSpan(p, i, end, unitsize);
            i = end;
            m_countedTo = m_position;
            closeIfFinished();
        }
    }
    m_fed += n;
}

bool StreamCounter::armsAt(uint32_t sample, uint32_t rising, uint32_t falling) const {
    return (sample & m_levelMask) == m_levelValue && (rising & m_armRising) == m_armRising &&
           (falling & m_armFalling) == m_armFalling &&
           ((rising | falling) & m_armEither) == m_armEither;
}

// Consumes samples until the one that arms the count, which is left for the
// gate (its edges belong to the count). Returns that sample's index, or `to`.
size_t StreamCounter::scanArming(const uint8_t* data, size_t from, size_t to, unsigned unitsize) {
    switch (unitsize) { // skip whole words in which no sample arms
    case 1:
        from = skipUnarmedWords<1>(data, from, to);
        break;
    case 2:
        from = skipUnarmedWords<2>(data, from, to);
        break;
    case 4:
        from = skipUnarmedWords<4>(data, from, to);
        break;
    default:
        break;
    }
    uint32_t prev = m_previous;
    size_t i = from;
    for (; i < to; ++i) {
        uint32_t s = loadSample(data + i * unitsize, unitsize) & m_present;
        uint32_t rising = ~prev & s, falling = prev & ~s;
        if (armsAt(s, rising, falling)) break;
        m_pinRising |= rising;
        m_pinFalling |= falling;
        prev = s;
    }
    m_previous = prev;
    m_position += i - from;
    if (i < to) arm();
    return i;
}

// Per word, a sample lane of `unmet` has a bit set for every arming code its
// sample fails; a lane of all zeros arms. Stops at the first word with such a
// lane (found exactly sample by sample by the caller).
template <unsigned Unit>
size_t StreamCounter::skipUnarmedWords(const uint8_t* data, size_t from, size_t to) {
    constexpr unsigned sampleBits = 8 * Unit;
    constexpr unsigned perWord = 8 / Unit;
    const uint8_t* p = data + from * Unit;
    const uint64_t present = replicate<Unit>(m_present);
    const uint64_t levelMask = replicate<Unit>(m_levelMask);
    const uint64_t levelValue = replicate<Unit>(m_levelValue);
    const uint64_t armRising = replicate<Unit>(m_armRising);
    const uint64_t armFalling = replicate<Unit>(m_armFalling);
    const uint64_t armEither = replicate<Unit>(m_armEither);
    const uint64_t top = replicate<Unit>(1u << (sampleBits - 1)); // top bit of every lane
    uint64_t prev = m_previous, rise = 0, fall = 0;
    size_t words = 0;
    for (; from + (words + 1) * perWord <= to; ++words, p += 8) {
        uint64_t cur = loadWord(p) & present;
        uint64_t before = cur << sampleBits | prev;
        uint64_t r = ~before & cur, f = before & ~cur;
        uint64_t unmet = ((cur ^ levelValue) & levelMask) | (~r & armRising) | (~f & armFalling) |
                         (~(r | f) & armEither);
        // Top bit of a lane set when the lane is not zero; no carry leaves a lane.
        uint64_t nonzero = (((unmet & ~top) + ~top) | unmet) & top;
        if (nonzero != top) break;
        prev = cur >> (64 - sampleBits);
        rise |= r;
        fall |= f;
    }
    m_pinRising |= foldWord<Unit>(rise);
    m_pinFalling |= foldWord<Unit>(fall);
    m_previous = static_cast<uint32_t>(prev);
    m_position += words * perWord;
    return from + words * perWord;
}

void StreamCounter::periodEdge(unsigned channel, uint64_t sample, bool rising) {
    PeriodChannel& c = m_period[channel];
    if (c.open && rising == m_secondRising) {
        c.sum += sample - c.start;
        c.open = false;
        if (++c.intervals == kPeriodIntervals) {
            m_periodPending &= ~(1u << channel);
            return;
        }
    }
    if (!c.open && rising == m_firstRising) {
        c.open = true;
        c.start = sample;
    }
}

void StreamCounter::countSpan(const uint8_t* data, size_t from, size_t to, unsigned unitsize) {
    switch (unitsize) {
    case 1:
        from = countWords<1>(data, from, to);
        break;
    case 2:
        from = countWords<2>(data, from, to);
        break;
    case 4:
        from = countWords<4>(data, from, to);
        break;
    default:
        break;
    }
    countSamples(data, from, to, unitsize);
}

// One sample at a time, for the tail of a span and unusual unit sizes.
void StreamCounter::countSamples(const uint8_t* data, size_t from, size_t to, unsigned unitsize) {
    const bool counting = countingLocked();
    const bool period = m_settings.counterType == 1;
    uint32_t prev = m_previous;
    for (size_t i = from; i < to; ++i, ++m_position) {
        uint32_t s = loadSample(data + i * unitsize, unitsize) & m_present;
        uint32_t rising = ~prev & s, falling = prev & ~s;
        m_pinRising |= rising;
        m_pinFalling |= falling;
        prev = s;
        if (!counting) {
            continue;
        } else if (!period) {
            forEachBit(rising, [&](unsigned ch) { ++m_edges[ch]; });
            if (m_measuring) trackSample(s, rising, falling);
        } else if (uint32_t edges = (rising | falling) & m_periodPending) {
            forEachBit(edges, [&](unsigned ch) { periodEdge(ch, m_position, rising >> ch & 1); });
        }
    }
    m_previous = prev;
}

// Rising edges per bit position of `words` words from p: nibble lanes (up to
// 15 words), then byte lanes (up to 255 words), then the counts. Measuring,
// also the samples high per bit position, and each 15-word block's edges in
// m_blockRise / m_blockFall. Advances p and prev; returns the block count.
template <unsigned Unit, bool Measure>
size_t StreamCounter::countEdgeWords(const uint8_t*& p, size_t words, uint64_t& prev,
                                     uint64_t& rise, uint64_t& fall) {
    constexpr unsigned sampleBits = 8 * Unit;
    const uint64_t present = replicate<Unit>(m_present);
    const size_t blocks = (words + 14) / 15;
    if (Measure && m_blockRise.size() < blocks) {
        m_blockRise.resize(blocks);
        m_blockFall.resize(blocks);
    }
    if constexpr (Measure) countHighWords<Unit>(p, words);
    uint64_t bytes[8] = {};
    size_t w = 0, block = 0;
    while (w < words) {
        size_t byteBlock = std::min<size_t>(words - w, 255);
        for (size_t done = 0; done < byteBlock; ++block) {
            size_t nibbleBlock = std::min<size_t>(byteBlock - done, 15);
            uint64_t nib[4] = {}, blockRise = 0, blockFall = 0;
            auto edges = [&] {
                uint64_t cur = loadWord(p) & present;
                p += 8;
                uint64_t before = cur << sampleBits | prev;
                prev = cur >> (64 - sampleBits);
                uint64_t r = ~before & cur;
                blockRise |= r;
                blockFall |= before & ~cur;
                return r;
            };
            size_t k = 0;
            for (; k + 3 <= nibbleBlock; k += 3) {
                const uint64_t a = edges(), b = edges(), c = edges();
                addToNibbles(nib, a, b, c);
            }
            if (k < nibbleBlock) {
                const uint64_t a = edges(), b = k + 1 < nibbleBlock ? edges() : 0;
                addToNibbles(nib, a, b, 0);
            }
            rise |= blockRise;
            fall |= blockFall;
            for (unsigned b = 0; b < 4; ++b) {
                bytes[b] += nib[b] & kLowNibbles;
                bytes[b + 4] += nib[b] >> 4 & kLowNibbles;
            }
            if constexpr (Measure) {
                m_blockRise[block] = blockRise;
                m_blockFall[block] = blockFall;
            }
            done += nibbleBlock;
        }
        // Byte lane L of bytes[b] counts bit b of byte L % Unit of a sample.
        for (unsigned b = 0; b < 8; ++b) {
            for (unsigned lane = 0; lane < 8; ++lane)
                m_edges[8 * (lane % Unit) + b] += bytes[b] >> (8 * lane) & 0xFF;
            bytes[b] = 0;
        }
        w += byteBlock;
    }
    return blocks;
}

// Samples high per bit position over `words` words from p, in a pass of its
// own (beside the edge pass it would run short of registers): nibble lanes,
// byte lanes, then m_high.
template <unsigned Unit> void StreamCounter::countHighWords(const uint8_t* p, size_t words) {
    const uint64_t present = replicate<Unit>(m_present);
    for (size_t w = 0; w < words;) {
        const size_t byteBlock = std::min<size_t>(words - w, 255);
        uint64_t bytes[8] = {};
        for (size_t done = 0; done < byteBlock;) {
            const size_t nibbleBlock = std::min<size_t>(byteBlock - done, 15);
            uint64_t nib[4] = {};
            size_t k = 0;
            for (; k + 3 <= nibbleBlock; k += 3, p += 24)
                addToNibbles(nib, loadWord(p) & present, loadWord(p + 8) & present,
                             loadWord(p + 16) & present);
            for (; k < nibbleBlock; ++k, p += 8)
                addToNibbles(nib, loadWord(p) & present, 0, 0);
            for (unsigned b = 0; b < 4; ++b) {
                bytes[b] += nib[b] & kLowNibbles;
                bytes[b + 4] += nib[b] >> 4 & kLowNibbles;
            }
            done += nibbleBlock;
        }
        for (unsigned b = 0; b < 8; ++b)
            for (unsigned lane = 0; lane < 8; ++lane)
                m_high[8 * (lane % Unit) + b] += bytes[b] >> (8 * lane) & 0xFF;
        w += byteBlock;
    }
}

// Whole 64-bit words of 8 / Unit samples from `from`; returns the first
// sample not handled.
template <unsigned Unit>
size_t StreamCounter::countWords(const uint8_t* data, size_t from, size_t to) {
    constexpr unsigned sampleBits = 8 * Unit;
    constexpr unsigned perWord = 8 / Unit;
    constexpr unsigned sampleShift = std::countr_zero(sampleBits);
    const size_t words = (to - from) / perWord;
    if (words == 0) return from;
    const uint8_t* p = data + from * Unit;
    const uint64_t present = replicate<Unit>(m_present);
    uint64_t prev = m_previous; // the sample before the word, in the low lane
    uint64_t rise = 0, fall = 0;

    if (!countingLocked()) {
        for (size_t w = 0; w < words; ++w, p += 8) {
            uint64_t cur = loadWord(p) & present;
            uint64_t before = cur << sampleBits | prev;
            prev = cur >> (64 - sampleBits);
            rise |= ~before & cur;
            fall |= before & ~cur;
        }
    } else if (m_settings.counterType != 1 && !m_measuring) {
        countEdgeWords<Unit, false>(p, words, prev, rise, fall);
    } else if (m_settings.counterType != 1) {
        const uint8_t* first = p;
        const uint64_t previous = prev;
        const size_t blocks = countEdgeWords<Unit, true>(p, words, prev, rise, fall);
        locateEdges<Unit>(first, words, previous, blocks);
        fitWords<Unit>(first, words, previous);
    } else {
        // Period: only edges of channels still short of their intervals, and
        // only of the kinds that open or close an interval.
        bool wantRising = m_firstRising || m_secondRising;
        bool wantFalling = !m_firstRising || !m_secondRising;
        uint64_t base = m_position;
        for (size_t w = 0; w < words; ++w, p += 8) {
            uint64_t cur = loadWord(p) & present;
            uint64_t before = cur << sampleBits | prev;
            prev = cur >> (64 - sampleBits);
            uint64_t r = ~before & cur, f = before & ~cur;
            rise |= r;
            fall |= f;
            if (m_periodPending == 0) continue;
            uint64_t pending = replicate<Unit>(m_periodPending);
            uint64_t edges = ((wantRising ? r : 0) | (wantFalling ? f : 0)) & pending;
            forEachBit(edges, [&](unsigned bit) {
                unsigned ch = bit & (sampleBits - 1);
                if (m_periodPending >> ch & 1)
                    periodEdge(ch, base + w * perWord + (bit >> sampleShift), r >> bit & 1);
            });
        }
    }
    m_pinRising |= foldWord<Unit>(rise);
    m_pinFalling |= foldWord<Unit>(fall);
    m_previous = static_cast<uint32_t>(prev);
    m_position += words * perWord;
    return from + words * perWord;
}

} // namespace vexacq
