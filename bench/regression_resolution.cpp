// The regression frequency's resolution against the reciprocal's on
// synthetic signals of known frequency at 24 MS/s: relative error against
// the truth of both, per frequency, gate and edge jitter, and the worst case
// of a signal within 0.1 ppm of a simple fraction of the sample rate (edge
// phases that barely move). A plain program; prints a Markdown table.
//
//   bin/regression_resolution [--quick]   (--quick leaves out the 10 s gates)
#include "SynthStream.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

using vexacq::synth::countWave;
using vexacq::synth::Wave;

constexpr uint64_t kRate = 24000000; // Hz

void row(const char* what, double hz, double jitter, int gateCode) {
    const vexengine::ChannelMeasures m = countWave(kRate, Wave{0, hz, 0.5, 0.25, jitter}, gateCode);
    const double gate[] = {0.1, 1, 10};
    std::printf("| %s | %.6f | %g | %g | %.2e | %.2e |\n", what, hz, gate[gateCode], jitter * 1e9,
                std::abs(m.regressionHz / hz - 1), std::abs(m.reciprocalHz / hz - 1));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    // Irrational ratios to the sample rate: the golden section's digits.
    const double golden = (std::sqrt(5.0) - 1) / 2 * 1e-3;
    std::printf("| signal | Hz | gate s | jitter ns | regression error | reciprocal error |\n");
    std::printf("| --- | --- | --- | --- | --- | --- |\n");
    for (const double nominal : {1e3, 1e5, 1e6, 5e6})
        for (int gateCode = 0; gateCode <= (quick ? 1 : 2); ++gateCode)
            for (const double jitter : {0.0, 1e-9})
                row("irrational", nominal * (1 + golden), jitter, gateCode);
    // 24 MS/s / 24 x (1 + 5e-8) and 24 MS/s / 5 x (1 - 3e-8): the phase moves
    // by about one sample per second or less.
    for (const double hz : {1e6 * (1 + 5e-8), 4.8e6 * (1 - 3e-8)})
        for (int gateCode = 0; gateCode <= (quick ? 1 : 2); ++gateCode)
            for (const double jitter : {0.0, 1e-9})
                row("near S/n", hz, jitter, gateCode);
    return 0;
}
