// The streaming counter against a brute-force reference (every sample, every
// channel, plain loops; the regression as a long double least-squares fit)
// on seeded random streams cut into random packets, plus hand-computed cases
// for the gate length, arming and period ticks.
#include "StreamCounter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using vexacq::StreamCounter;
using vexengine::CounterStatus;
using vexengine::CountSettings;

constexpr int kChannels = 18; // model 'c'

// Bytes of `samples` at `unitsize` bytes each, little-endian; the bits of
// channels the device does not deliver are set at random to prove they are
// ignored.
std::vector<uint8_t> pack(const std::vector<uint32_t>& samples, unsigned unitsize, int logic,
                          std::mt19937_64& rng) {
    std::vector<uint8_t> bytes;
    for (uint32_t s : samples) {
        uint64_t v = s | (rng() & ~((uint64_t{1} << logic) - 1));
        for (unsigned b = 0; b < unitsize; ++b)
            bytes.push_back(static_cast<uint8_t>(b < 8 ? v >> (8 * b) : 0));
    }
    return bytes;
}

void feed(StreamCounter& c, const std::vector<uint32_t>& samples, unsigned unitsize = 1) {
    std::vector<uint8_t> bytes;
    for (uint32_t s : samples)
        for (unsigned b = 0; b < unitsize; ++b)
            bytes.push_back(static_cast<uint8_t>(b < 4 ? s >> (8 * b) : 0));
    c.feed(bytes.data(), bytes.size(), unitsize);
}

CountSettings settings(int type, int edge, int gate, std::string codes = "--------") {
    return {type, edge, gate, std::move(codes)};
}

// What a count shows after the samples fed since its start, straight from
// the definitions.
struct Expected {
    bool busy = false;
    bool armed = false;
    std::vector<uint32_t> states;
    std::vector<int64_t> counts;
    std::vector<vexengine::ChannelMeasures> measures;
};

// Samples per period: the least-squares slope of edge times against edge number.
double fittedSlope(const std::vector<int64_t>& times) {
    const long double n = times.size(), meanK = (n - 1) / 2;
    long double meanT = 0, kt = 0, kk = 0;
    for (int64_t t : times)
        meanT += t / n;
    for (size_t k = 0; k < times.size(); ++k) {
        kt += (k - meanK) * (times[k] - meanT);
        kk += (k - meanK) * (k - meanK);
    }
    return static_cast<double>(kt / kk);
}

Expected reference(const CountSettings& set, uint64_t rate, int present, bool haveBefore,
                   uint32_t before, const std::vector<uint32_t>& s, bool stopped) {
    const int64_t n = static_cast<int64_t>(s.size());
    auto bit = [&](int64_t j, int ch) -> int {
        if (j >= 0) return s[j] >> ch & 1;
        return haveBefore ? before >> ch & 1 : s[0] >> ch & 1; // no edge at a first sample ever
    };
    auto rising = [&](int64_t j, int ch) { return bit(j - 1, ch) == 0 && bit(j, ch) == 1; };
    auto falling = [&](int64_t j, int ch) { return bit(j - 1, ch) == 1 && bit(j, ch) == 0; };

    bool allFree = set.channelCodes == "--------";
    int64_t g = allFree ? 0 : -1;
    for (int64_t j = 0; j < n && g < 0; ++j) {
        bool ok = true;
        for (int ch = 0; ch < 8; ++ch) {
            char code = set.channelCodes[ch];
            int level = ch < present ? bit(j, ch) : 0;
            bool r = ch < present && rising(j, ch), f = ch < present && falling(j, ch);
            ok = ok && (code != '0' || level == 0) && (code != '1' || level == 1) &&
                 (code != 'R' || r) && (code != 'F' || f) && (code != 'E' || r || f);
        }
        if (ok) g = j;
    }
    int64_t gate = set.gateCode == 0   ? static_cast<int64_t>((rate + 5) / 10)
                   : set.gateCode == 1 ? static_cast<int64_t>(rate)
                   : set.gateCode == 2 ? static_cast<int64_t>(10 * rate)
                                       : INT64_MAX / 2;
    Expected e;
    e.states.assign(kChannels, 0);
    e.counts.assign(kChannels, 0);
    e.measures.assign(kChannels, {});
    e.armed = g >= 0;
    int64_t end = e.armed ? std::min(n, g + gate) : 0;
    bool gateClosed = e.armed && n >= g + gate;
    bool allDone = true;
    for (int ch = 0; ch < present && ch < kChannels; ++ch) {
        bool done = false;
        if (set.counterType != 1) {
            int64_t first = -1, last = -1, high = 0;
            std::vector<int64_t> times;
            for (int64_t j = std::max<int64_t>(g, 0); j < end; ++j) {
                e.counts[ch] += rising(j, ch);
                if (rising(j, ch)) {
                    if (first < 0) first = j;
                    last = j;
                    times.push_back(j);
                }
            }
            for (int64_t j = first; j >= 0 && j < last; ++j)
                high += bit(j, ch);
            if (e.counts[ch] >= 2) { // over the whole periods between first and last rising edge
                const double periods = static_cast<double>(e.counts[ch] - 1);
                const double span = static_cast<double>(last - first),
                             s = static_cast<double>(rate);
                e.measures[ch] = {periods * s / span, high / periods / s,
                                  (span - high) / periods / s, high / span};
            }
            if (times.size() >= 3) e.measures[ch].regressionHz = rate / fittedSlope(times);
        } else if (e.armed) {
            bool firstR = set.edgeCode & 1, secondR = set.edgeCode & 2;
            int intervals = 0;
            int64_t sum = 0;
            for (int64_t a = g; a < end && intervals < 64; ++a) {
                if (!(firstR ? rising(a, ch) : falling(a, ch))) continue;
                for (int64_t b = a + 1; b < end; ++b)
                    if (secondR ? rising(b, ch) : falling(b, ch)) {
                        sum += b - a;
                        ++intervals;
                        break;
                    }
            }
            done = intervals == 64;
            if (intervals > 0)
                e.measures[ch].meanPeriod = static_cast<double>(sum) / intervals / rate;
            // Round half up: (2 x sum x 1e8 + S) / 2S.
            e.counts[ch] = static_cast<int64_t>((static_cast<__int128>(sum) * 200000000 + rate) /
                                                (2 * static_cast<__int128>(rate)));
        }
        allDone = allDone && done;
        uint32_t state = 1;
        if (set.counterType == 1 && done)
            state = 2;
        else if (gateClosed)
            state = set.counterType == 1 ? 5 : 2;
        e.states[ch] = state;
    }
    bool over = gateClosed || (e.armed && set.counterType == 1 && allDone);
    e.busy = !over && !stopped;
    for (uint32_t& st : e.states)
        if (stopped && !over && st == 1) st = 3;
    return e;
}

TEST(StreamCounter, MatchesTheDefinitionsOnRandomStreamsCutIntoRandomPackets) {
    const uint64_t rates[] = {24000, 1000, 3000, 1005, 999};
    const char* codes = "01RFE-";
    for (int trial = 0; trial < 160; ++trial) {
        SCOPED_TRACE(trial);
        std::mt19937_64 rng(trial);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        const unsigned unitsizes[] = {1, 2, 3, 4, 8};
        unsigned unitsize = unitsizes[pick(0, 4)];
        int logic = pick(1, std::min(32, 8 * static_cast<int>(unitsize)));
        uint64_t rate = rates[pick(0, 4)];
        CountSettings set = settings(pick(0, 2), pick(0, 3), pick(0, 2));
        if (set.counterType != 0 && pick(0, 3) == 0) set.gateCode = 7;
        for (int ch = 0; ch < 8; ++ch)
            set.channelCodes[ch] = pick(0, 3) == 0 ? codes[pick(0, 4)] : '-';
        // Per channel a toggle probability: static, slow, fast.
        std::vector<double> toggle(32);
        for (double& p : toggle)
            p = std::array{0.0, 0.002, 0.03, 0.3, 0.9}[pick(0, 4)];
        auto stream = [&](int count, uint32_t& level) {
            std::vector<uint32_t> out;
            for (int i = 0; i < count; ++i) {
                for (int ch = 0; ch < 32; ++ch)
                    if (std::bernoulli_distribution(toggle[ch])(rng)) level ^= 1u << ch;
                out.push_back(level & static_cast<uint32_t>((uint64_t{1} << logic) - 1));
            }
            return out;
        };

        StreamCounter counter(logic, kChannels);
        counter.setSampleRate(rate);
        uint32_t level = static_cast<uint32_t>(rng());
        bool haveBefore = pick(0, 2) != 0;
        uint32_t before = 0;
        if (haveBefore) {
            auto pre = stream(pick(1, 40), level);
            before = pre.back();
            auto bytes = pack(pre, unitsize, logic, rng);
            counter.feed(bytes.data(), bytes.size(), unitsize);
        }
        counter.start(set);
        counter.beginPinReads();
        std::vector<uint32_t> fed; // samples the count saw
        bool anyFed = haveBefore;  // for the pins: was there a sample before this packet
        uint32_t last = before;
        int stopAfter = pick(0, 3) == 0 ? pick(0, 8) : -1;
        bool stopped = false;
        for (int packet = 0; packet < 10; ++packet) {
            if (packet == stopAfter) {
                counter.stop();
                stopped = true;
            }
            // Now and then a packet of several of the fit's 1024-word blocks.
            auto samples = stream(pick(0, 5) == 0 ? pick(0, 20000) : pick(0, 1500), level);
            auto bytes = pack(samples, unitsize, logic, rng);
            bytes.resize(bytes.size() + (unitsize > 1 ? pick(0, 1) : 0)); // a stray partial sample
            counter.feed(bytes.data(), bytes.size(), unitsize);

            // Pins over this packet.
            std::string pins, want(kChannels, '0');
            counter.pins(pins);
            for (int ch = 0; ch < std::min(logic, kChannels); ++ch) {
                bool r = false, f = false;
                uint32_t prev = anyFed ? last : (samples.empty() ? 0 : samples[0]);
                for (uint32_t x : samples) {
                    r = r || (~prev & x) >> ch & 1;
                    f = f || (prev & ~x) >> ch & 1;
                    prev = x;
                }
                want[ch] = r && f ? 'B' : r ? 'R' : f ? 'F' : prev >> ch & 1 ? '1' : '0';
            }
            ASSERT_EQ(pins, want) << "packet " << packet;
            if (!samples.empty()) {
                anyFed = true;
                last = samples.back();
            }

            if (!stopped) fed.insert(fed.end(), samples.begin(), samples.end());
            Expected e = reference(set, rate, logic, haveBefore, before, fed, stopped);
            CounterStatus st;
            counter.status(st);
            std::vector<int64_t> counts;
            counter.counts(counts);
            ASSERT_EQ(st.busy, e.busy) << "packet " << packet;
            ASSERT_EQ(st.armed, e.armed) << "packet " << packet;
            ASSERT_EQ(st.channelStates, e.states) << "packet " << packet;
            ASSERT_EQ(counts, e.counts) << "packet " << packet;
            std::vector<vexengine::ChannelMeasures> measures;
            counter.measures(measures);
            ASSERT_EQ(measures.size(), e.measures.size());
            for (size_t ch = 0; ch < measures.size(); ++ch) {
                SCOPED_TRACE(testing::Message() << "packet " << packet << " channel " << ch);
                const auto &got = measures[ch], &want = e.measures[ch];
                ASSERT_EQ(std::isnan(got.regressionHz), std::isnan(want.regressionHz));
                if (!std::isnan(want.regressionHz)) {
                    ASSERT_NEAR(got.regressionHz / want.regressionHz, 1, 1e-12);
                }
                ASSERT_EQ(std::isnan(got.meanPeriod), std::isnan(want.meanPeriod));
                if (!std::isnan(want.meanPeriod)) {
                    ASSERT_DOUBLE_EQ(got.meanPeriod, want.meanPeriod);
                }
                ASSERT_EQ(std::isnan(got.reciprocalHz), std::isnan(want.reciprocalHz));
                if (std::isnan(want.reciprocalHz)) continue;
                ASSERT_DOUBLE_EQ(got.reciprocalHz, want.reciprocalHz) << "channel " << ch;
                ASSERT_DOUBLE_EQ(got.positiveWidth, want.positiveWidth) << "channel " << ch;
                ASSERT_DOUBLE_EQ(got.negativeWidth, want.negativeWidth) << "channel " << ch;
                ASSERT_DOUBLE_EQ(got.duty, want.duty) << "channel " << ch;
            }
        }
    }
}

// Channel 0 high for `high` of every `period` samples from sample 0, after
// one low sample before the start (so sample 0 has a rising edge).
std::vector<uint32_t> squareWave(int period, int high, int count) {
    std::vector<uint32_t> s;
    for (int j = 0; j < count; ++j)
        s.push_back(j % period < high ? 1u : 0u);
    return s;
}

TEST(StreamCounter, PeriodTicksAtRatesThatDoAndDoNotDivide100MHz) {
    struct Case {
        uint64_t rate; // Hz
        int period, high, edge;
        int64_t ticks; // round(64 intervals x samples x 1e8 / rate)
    };
    const Case cases[] = {
        {24000000, 3, 1, 3, 800},  // 192 samples = 8 us
        {24000000, 3, 1, 1, 267},  // rising to falling: 64 samples = 2.667 us
        {1000000, 5, 2, 1, 12800}, // 128 us
        {1000000, 5, 2, 2, 19200}, // falling to rising: 192 us
        {3000000, 7, 3, 0, 14933}, // 448 samples = 149.33 us
        {3000000, 2, 1, 3, 4267},  // 128 samples = 42.67 us
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        for (unsigned unitsize : {1u, 2u}) {
            StreamCounter counter(8 * static_cast<int>(unitsize), kChannels);
            counter.setSampleRate(c.rate);
            feed(counter, {0}, unitsize);
            counter.start(settings(1, c.edge, 0));
            auto wave = squareWave(c.period, c.high, 66 * c.period);
            for (uint32_t& s : wave)
                s |= s << 9 | 0x80; // channel 9 too; channel 7 static high
            feed(counter, wave, unitsize);
            std::vector<int64_t> counts;
            counter.counts(counts);
            CounterStatus st;
            counter.status(st);
            EXPECT_EQ(counts[0], c.ticks);
            if (unitsize == 2) {
                EXPECT_EQ(counts[9], c.ticks);
            }
            EXPECT_EQ(st.channelStates[0], 2u);
            EXPECT_EQ(st.channelStates[7], 1u); // still waiting for an edge
            EXPECT_TRUE(st.busy);
        }
    }
}

TEST(StreamCounter, GateIsRoundedSamplesAndAnEdgeSplitAcrossPacketsCountsOnce) {
    StreamCounter counter(8, kChannels);
    counter.setSampleRate(1005); // 100 ms = 100.5 samples: the gate is 101
    feed(counter, {1});
    counter.start(settings(0, 3, 0));
    CounterStatus st;
    for (int j = 0; j < 101; ++j) { // one sample per packet: every edge straddles two
        counter.status(st);
        ASSERT_TRUE(st.busy) << j;
        feed(counter, {static_cast<uint32_t>(j % 2)});
    }
    counter.status(st);
    EXPECT_FALSE(st.busy);
    EXPECT_EQ(st.channelStates[0], 2u);
    feed(counter, {0, 1, 0, 1});
    std::vector<int64_t> counts;
    counter.counts(counts);
    EXPECT_EQ(counts[0], 50); // rising at samples 1, 3, ..., 99
    EXPECT_EQ(counts[8], 0);  // absent
    EXPECT_EQ(st.channelStates[8], 0u);
    counter.setSampleRate(2000); // another rate: the count is void
    counter.counts(counts);
    EXPECT_EQ(counts[0], 0);
}

TEST(StreamCounter, ArmsOnTheFirstSampleOrOnAnEdge) {
    struct Case {
        const char* what;
        bool before; // a sample 0 fed before the start
        std::string codes;
        std::vector<uint32_t> samples;
        bool armed;
        int64_t events; // channel 0
    };
    const Case cases[] = {
        {"level on the first sample", false, "1-------", {1, 0, 1}, true, 1},
        {"edge from the last sample before the start", true, "R-------", {1, 0, 1}, true, 2},
        {"no edge at the very first sample", false, "R-------", {1, 0, 1}, true, 1},
        {"three codes at once", true, "R0E-----", {1, 4, 1, 0, 1}, true, 2},
        {"never", true, "F1------", {1, 0, 1, 0}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StreamCounter counter(8, kChannels);
        counter.setSampleRate(1000);
        if (c.before) feed(counter, {0});
        counter.start(settings(2, 3, 7, c.codes));
        feed(counter, c.samples);
        CounterStatus st;
        counter.status(st);
        std::vector<int64_t> counts;
        counter.counts(counts);
        EXPECT_EQ(st.armed, c.armed);
        EXPECT_EQ(counts[0], c.events);
        counter.stop();
        counter.status(st);
        EXPECT_FALSE(st.busy);
        EXPECT_EQ(st.channelStates[0], 3u);
    }
}

} // namespace
