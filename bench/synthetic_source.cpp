// CPU the streaming counter costs behind a real-time source: one thread feeds
// 24000-sample packets every millisecond (24 M samples/s, like an fx2-class
// analyser at its top rate) while another polls status, counts and pins
// every 100 ms and restarts 100 ms frequency counts as they finish. Prints
// the process CPU time as a share of one core (getrusage).
//
//   bin/bench_synthetic_source [seconds=5] [unitsize=1]
#include "StreamCounter.h"

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    const unsigned unitsize = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 1;
    const int channels = static_cast<int>(8 * unitsize);
    constexpr size_t kPacketSamples = 24000;
    constexpr int kPackets = 100; // a ring of distinct packets, made before timing

    // Channel k: square wave of half period 2^k samples (24 MHz / 2^(k+1)).
    std::vector<uint8_t> stream(kPacketSamples * kPackets * unitsize);
    for (size_t j = 0; j < kPacketSamples * kPackets; ++j)
        for (unsigned b = 0; b < unitsize; ++b)
            stream[j * unitsize + b] = static_cast<uint8_t>(j >> (8 * b));

    vexacq::StreamCounter counter(channels, 18);
    counter.setSampleRate(24000000);
    const vexengine::CountSettings frequency{0, 3, 0, "--------"};
    counter.start(frequency);

    std::atomic<bool> running{true};
    int late = 0;
    const auto begin = Clock::now();
    const double cpuBegin = cpuSeconds();
    std::thread source([&] {
        auto next = Clock::now();
        for (int packet = 0; running; packet = (packet + 1) % kPackets) {
            next += std::chrono::milliseconds(1);
            counter.feed(stream.data() + packet * kPacketSamples * unitsize,
                         kPacketSamples * unitsize, unitsize);
            if (Clock::now() > next) ++late;
            std::this_thread::sleep_until(next);
        }
    });
    int completed = 0;
    int64_t lastCount = -1; // channel 0 of the last completed count
    vexengine::CounterStatus status;
    std::vector<int64_t> counts;
    std::string pins;
    while (Clock::now() - begin < std::chrono::duration<double>(seconds)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        counter.status(status);
        counter.counts(counts);
        counter.pins(pins);
        if (!status.busy) { // counts read after a status that shows it done are final
            ++completed;
            lastCount = counts.empty() ? -1 : counts[0];
            counter.start(frequency);
        }
    }
    running = false;
    source.join();
    const double wall = std::chrono::duration<double>(Clock::now() - begin).count();
    const double cpu = cpuSeconds() - cpuBegin;
    std::printf("synthetic source: %u-byte samples, %d channels, 24 M samples/s for %.1f s\n",
                unitsize, channels, wall);
    std::printf("  samples fed %llu, late packets %d, frequency counts completed %d\n",
                static_cast<unsigned long long>(counter.samplesFed()), late, completed);
    std::printf("  last completed count, channel 0: %lld rising edges in 100 ms (expected "
                "1200000)\n",
                static_cast<long long>(lastCount));
    std::printf("  CPU %.2f %% of one core\n", 100.0 * cpu / wall);
    return 0;
}
