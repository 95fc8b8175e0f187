// The regression frequency on a recorded capture, by hand: the capture is
// loaded through libsigrok and fed to a streaming counter in 10 ms packets,
// round and round as the replay device plays it. Prints consecutive
// frequency counts of one channel (reciprocal and regression, Hz), the fit
// over the whole first pass, and the same gates against a reference input.
//
//   bin/regression_capture FILE.sr [channel=0] [gates=10] [gate code=0]
//                          [reference Hz=1e6] [reference channel=0]
#include "Capture.h"
#include "StreamCounter.h"

#include <libsigrok/libsigrok.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>

namespace {

struct Player {
    const vexacq::Capture& capture;
    uint64_t next = 0; // sample of the capture fed next

    void feed(vexacq::StreamCounter& counter, uint64_t samples) {
        const uint64_t count = std::min(samples, capture.sampleCount() - next);
        counter.feed(capture.samples.data() + next * capture.unitSize, count * capture.unitSize,
                     capture.unitSize);
        next = (next + count) % capture.sampleCount();
    }
};

void gates(vexacq::StreamCounter& counter, Player& player, int channel, int count, int gateCode) {
    const uint64_t packet = player.capture.sampleRate / 100;
    std::vector<vexengine::ChannelMeasures> m;
    double first = 0, sum = 0, sumSquares = 0; // of the differences from the first gate

    for (int g = 0; g < count; ++g) {
        const uint64_t from = player.next;
        counter.start(vexengine::CountSettings{0, 3, gateCode, "--------"});
        vexengine::CounterStatus status;
        do {
            player.feed(counter, packet);
            counter.status(status);
        } while (status.busy);
        counter.measures(m);
        const auto& c = m[static_cast<size_t>(channel)];
        std::printf("gate %2d from sample %9llu: reciprocal %.3f Hz, regression %.4f Hz%s\n", g,
                    static_cast<unsigned long long>(from), c.reciprocalHz, c.regressionHz,
                    c.referenced ? " (referenced)" : "");
        if (g == 0) first = c.regressionHz;
        sum += c.regressionHz - first;
        sumSquares += (c.regressionHz - first) * (c.regressionHz - first);
    }
    const double mean = sum / count;
    std::printf("regression: mean %.4f Hz, spread (standard deviation) %.4f Hz\n", first + mean,
                std::sqrt(std::max(0.0, sumSquares / count - mean * mean)));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.sr [channel] [gates] [gate code] [ref Hz] [ref ch]\n",
                     argv[0]);
        return 2;
    }
    const int channel = argc > 2 ? std::atoi(argv[2]) : 0;
    const int count = argc > 3 ? std::atoi(argv[3]) : 10;
    const int gateCode = argc > 4 ? std::atoi(argv[4]) : 0;
    const double referenceHz = argc > 5 ? std::atof(argv[5]) : 1e6;
    const int referenceChannel = argc > 6 ? std::atoi(argv[6]) : 0;

    sr_context* context = nullptr;
    if (sr_init(&context) != SR_OK) return 1;
    auto loaded = vexacq::loadCapture(context, vexacq::CaptureFile{argv[1], {}, {}});
    if (auto* error = std::get_if<std::string>(&loaded)) {
        std::fprintf(stderr, "%s\n", error->c_str());
        return 1;
    }
    const vexacq::Capture& capture = std::get<vexacq::Capture>(loaded);
    std::printf("%llu samples at %llu Hz, %d channels\n",
                static_cast<unsigned long long>(capture.sampleCount()),
                static_cast<unsigned long long>(capture.sampleRate), capture.logicChannels);

    {
        // The whole first pass as one event count.
        vexacq::StreamCounter counter(capture.logicChannels, 18);
        counter.setSampleRate(capture.sampleRate);
        Player player{capture};
        counter.start(vexengine::CountSettings{2, 3, 7, "--------"});
        player.feed(counter, capture.sampleCount());
        std::vector<vexengine::ChannelMeasures> m;
        counter.measures(m);
        std::printf("whole capture: reciprocal %.4f Hz, regression %.4f Hz\n",
                    m[static_cast<size_t>(channel)].reciprocalHz,
                    m[static_cast<size_t>(channel)].regressionHz);
    }
    {
        std::printf("consecutive gates from sample 0, nominal rate:\n");
        vexacq::StreamCounter counter(capture.logicChannels, 18);
        counter.setSampleRate(capture.sampleRate);
        Player player{capture};
        gates(counter, player, channel, count, gateCode);
    }
    {
        std::printf("with a %.0f Hz reference on channel %d, after 1.5 s for the lock:\n",
                    referenceHz, referenceChannel);
        vexacq::StreamCounter counter(capture.logicChannels, 18);
        counter.setSampleRate(capture.sampleRate);
        counter.setReference(referenceChannel, referenceHz);
        Player player{capture};
        for (int i = 0; i < 150; ++i)
            player.feed(counter, capture.sampleRate / 100);
        const vexengine::TimeBase base = counter.timeBase();
        std::printf("locked %d, offset %.3f ppm\n", base.locked, base.offsetPpm);
        gates(counter, player, channel, count, gateCode);
    }
    sr_exit(context);
    return 0;
}
