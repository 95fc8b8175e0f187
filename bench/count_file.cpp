// Counts the rising edges of every channel of a raw sample file with the
// streaming counter (an event count from the first sample), for side-by-side
// runs against other tools on the same samples.
//
//   bin/count_file FILE [unitsize=1] [channels=8*unitsize]
//
// Prints one line "channel count" per channel, then the samples counted and
// the time spent counting (the file is read first, in 24000-sample packets
// as an analyser would deliver them).
#include "StreamCounter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [unitsize] [channels]\n", argv[0]);
        return 2;
    }
    const unsigned unitsize = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 1;
    const int channels = argc > 3 ? std::atoi(argv[3]) : static_cast<int>(8 * unitsize);
    if (unitsize < 1 || unitsize > 4 || channels < 1 || channels > static_cast<int>(8 * unitsize)) {
        std::fprintf(stderr, "unitsize must be 1..4 and channels 1..8 x unitsize\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const std::vector<char> data{std::istreambuf_iterator<char>(in), {}};

    const auto begin = std::chrono::steady_clock::now();
    vexacq::StreamCounter counter(channels, channels);
    counter.setSampleRate(24000000);
    counter.start({2, 3, 7, "--------"}); // events, infinite gate, no arming condition
    const size_t packet = 24000 * unitsize;
    for (size_t at = 0; at < data.size(); at += packet)
        counter.feed(data.data() + at, std::min(packet, data.size() - at), unitsize);
    std::vector<int64_t> counts;
    counter.counts(counts);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

    for (int k = 0; k < channels; ++k)
        std::printf("%d %lld\n", k, static_cast<long long>(counts[k]));
    std::printf("samples %llu, counted in %.6f s\n",
                static_cast<unsigned long long>(counter.samplesFed()), seconds);
    return 0;
}
