// Streaming counter throughput: samples per second that one core counts for
// 8 channels at one byte per sample and 16 channels at two, for frequency,
// period and event counts. Packets are 24000 samples, as an fx2-class
// analyser at 24 MHz delivers them every millisecond. The "Measured" runs
// add the reciprocal and regression frequency, widths and duty (and a
// reference input on the last channel) to the frequency count; the plain
// runs count only. Streams: channel k a square wave of half period 1 + 3k
// samples; "1MHz": every channel 1 MHz at 24 MS/s (24 samples a period,
// phases apart); "Toggling": every channel changes at every sample, the
// fit's worst case (one rising edge per channel every two samples).
//
//   bin/bench_stream_counter       items_per_second = samples/s
#include "StreamCounter.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr size_t kPacketSamples = 24000;
constexpr size_t kPackets = 64; // a 1.5 M-sample stream, fed round and round

enum class Wave { staggered, oneMHz, toggling };

// Half period of channel k in samples.
size_t halfPeriod(Wave wave, int k) {
    return wave == Wave::staggered ? 1 + 3 * static_cast<size_t>(k) : wave == Wave::oneMHz ? 12 : 1;
}

// Channel k is a square wave of halfPeriod(wave, k) samples (1 MHz: phase k samples).
std::vector<uint8_t> makeStream(unsigned unitsize, int channels, Wave wave) {
    std::vector<uint8_t> bytes(kPacketSamples * kPackets * unitsize);
    for (size_t j = 0; j < kPacketSamples * kPackets; ++j) {
        uint32_t s = 0;
        for (int k = 0; k < channels; ++k) {
            const size_t phase = wave == Wave::oneMHz ? static_cast<size_t>(k) : 0;
            s |= static_cast<uint32_t>((j + phase) / halfPeriod(wave, k) % 2) << k;
        }
        for (unsigned b = 0; b < unitsize; ++b)
            bytes[j * unitsize + b] = static_cast<uint8_t>(s >> (8 * b));
    }
    return bytes;
}

// type 0 frequency (10 s gate at 1 GHz: never closes here), 1 period (a
// fresh count every packet, so the edge-by-edge part is always running),
// 2 events (infinite gate). codes: the arming condition.
// measured: measures on (else off) and a reference on the last channel.
void feedStream(benchmark::State& state, unsigned unitsize, int channels, int type,
                const char* codes = "--------", bool measured = false,
                Wave wave = Wave::staggered) {
    const std::vector<uint8_t> stream = makeStream(unitsize, channels, wave);
    const size_t packetBytes = kPacketSamples * unitsize;
    vexacq::StreamCounter counter(channels, 18);
    counter.setSampleRate(1000000000);
    counter.setMeasuring(measured);
    if (measured) counter.setReference(channels - 1, 1e9 / (2.0 * halfPeriod(wave, channels - 1)));
    const vexengine::CountSettings settings{type, 3, type == 2 ? 7 : 2, codes};
    counter.start(settings);
    size_t packet = 0;
    for (auto _ : state) {
        if (type == 1) counter.start(settings);
        counter.feed(stream.data() + packet * packetBytes, packetBytes, unitsize);
        packet = (packet + 1) % kPackets;
    }
    std::vector<int64_t> counts;
    counter.counts(counts);
    benchmark::DoNotOptimize(counts.data());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPacketSamples));
}

void BM_Frequency8x1(benchmark::State& s) {
    feedStream(s, 1, 8, 0);
}
void BM_Period8x1(benchmark::State& s) {
    feedStream(s, 1, 8, 1);
}
void BM_Events8x1(benchmark::State& s) {
    feedStream(s, 1, 8, 2);
}
// Waiting for channels 0 and 1 to rise at once: never happens here.
void BM_Arming8x1(benchmark::State& s) {
    feedStream(s, 1, 8, 2, "RR------");
}
void BM_Frequency16x2(benchmark::State& s) {
    feedStream(s, 2, 16, 0);
}
void BM_FrequencyMeasured8x1(benchmark::State& s) {
    feedStream(s, 1, 8, 0, "--------", true);
}
void BM_FrequencyMeasured16x2(benchmark::State& s) {
    feedStream(s, 2, 16, 0, "--------", true);
}
void BM_Frequency1MHz8x1(benchmark::State& s) {
    feedStream(s, 1, 8, 0, "--------", false, Wave::oneMHz);
}
void BM_FrequencyMeasured1MHz8x1(benchmark::State& s) {
    feedStream(s, 1, 8, 0, "--------", true, Wave::oneMHz);
}
void BM_Frequency1MHz16x2(benchmark::State& s) {
    feedStream(s, 2, 16, 0, "--------", false, Wave::oneMHz);
}
void BM_FrequencyMeasured1MHz16x2(benchmark::State& s) {
    feedStream(s, 2, 16, 0, "--------", true, Wave::oneMHz);
}
void BM_FrequencyToggling16x2(benchmark::State& s) {
    feedStream(s, 2, 16, 0, "--------", false, Wave::toggling);
}
void BM_FrequencyMeasuredToggling16x2(benchmark::State& s) {
    feedStream(s, 2, 16, 0, "--------", true, Wave::toggling);
}
void BM_Period16x2(benchmark::State& s) {
    feedStream(s, 2, 16, 1);
}
void BM_Events16x2(benchmark::State& s) {
    feedStream(s, 2, 16, 2);
}

BENCHMARK(BM_Frequency8x1);
BENCHMARK(BM_Period8x1);
BENCHMARK(BM_Events8x1);
BENCHMARK(BM_Arming8x1);
BENCHMARK(BM_Frequency16x2);
BENCHMARK(BM_FrequencyMeasured8x1);
BENCHMARK(BM_FrequencyMeasured16x2);
BENCHMARK(BM_Frequency1MHz8x1);
BENCHMARK(BM_FrequencyMeasured1MHz8x1);
BENCHMARK(BM_Frequency1MHz16x2);
BENCHMARK(BM_FrequencyMeasured1MHz16x2);
BENCHMARK(BM_FrequencyToggling16x2);
BENCHMARK(BM_FrequencyMeasuredToggling16x2);
BENCHMARK(BM_Period16x2);
BENCHMARK(BM_Events16x2);

} // namespace

BENCHMARK_MAIN();
