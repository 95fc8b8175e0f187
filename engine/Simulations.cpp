// The simulation table. Periods and high times are whole ns so every count
// is exact; frequencies in the comments are 1e9 / period.
#include "Simulations.h"

namespace vexengine {

const std::vector<Signal>& simulationSignals() {
    static const std::vector<Signal> table = {
        Signal::square(1000, 500),                 //  0: 1 MHz, 50 %
        Signal::square(1000000, 500000),           //  1: 1 kHz, 50 %
        Signal::square(1000000, 250000),           //  2: 1 kHz, 25 %
        Signal::square(100000, 50000, 25000),      //  3: 10 kHz, 50 %, phase 25 us
        Signal::square(10000, 1000),               //  4: 100 kHz, 10 %
        Signal::square(kSecond, kSecond / 2),      //  5: 1 Hz, 50 %
        Signal::staticLow(),                       //  6: low
        Signal::staticHigh(),                      //  7: high
        Signal::square(100, 50),                   //  8: 10 MHz, 50 %
        Signal::square(80, 40),                    //  9: 12.5 MHz, 50 %
        Signal::square(20000, 6000),               // 10: 50 kHz, 30 %
        Signal::square(500000, 250000, 100000),    // 11: 2 kHz, 50 %, phase 100 us
        Signal::square(100000000, 50000000),       // 12: 10 Hz, 50 %
        Signal::square(3000000, 1500000),          // 13: 333.33 Hz, 50 %
        Signal::square(142857, 71428),             // 14: 7000.0 Hz, 50 %
        Signal::square(10000000, 7500000),         // 15: 100 Hz, 75 %
        Signal::square(200, 80),                   // 16: 5 MHz, 40 %
        Signal::square(40000, 20000),              // 17: 25 kHz, 50 %
        Signal::square(500, 250),                  // 18: 2 MHz, 50 %
        Signal::square(50000, 25000),              // 19: 20 kHz, 50 %
        Signal::square(5000000, 2500000),          // 20: 200 Hz, 50 %
        Signal::staticLow(),                       // 21: low
        Signal::square(250, 125),                  // 22: 4 MHz, 50 %
        Signal::square(25000, 12500),              // 23: 40 kHz, 50 %
        Signal::square(2500000, 1250000),          // 24: 400 Hz, 50 %
        Signal::staticHigh(),                      // 25: high
        Signal::square(2 * kSecond, kSecond / 2),  // 26: 0.5 Hz, 25 %
        Signal::square(1000, 100, 300),            // 27: 1 MHz, 10 %, phase 300 ns
        Signal::square(1000000, 900000),           // 28: 1 kHz, 90 %
        Signal::square(333, 167),                  // 29: 3.003 MHz, 50.2 %
        Signal::square(1000000, 500000, 500000),   // 30: 1 kHz, 50 %, phase 500 us
        Signal::square(10 * kSecond, 5 * kSecond), // 31: 0.1 Hz, 50 %
    };
    return table;
}

std::vector<std::unique_ptr<Module>> makeSimulatedModules() {
    struct Sim {
        const char* name;
        char model;
        int channels;
        bool quarterAdvanced; // every wave a quarter period earlier
    };
    static const Sim sims[] = {
        {"QVSIMC01", 'c', 18, false}, {"QVSIMC02", 'c', 18, true},  {"QVSIMO01", 'o', 16, false},
        {"QVSIMR01", 'r', 8, false},  {"QVSIMB01", 'b', 32, false},
    };
    const std::vector<Signal>& table = simulationSignals();
    std::vector<std::unique_ptr<Module>> modules;
    for (const Sim& sim : sims) {
        std::vector<Signal> signals(table.begin(), table.begin() + sim.channels);
        if (sim.quarterAdvanced)
            for (Signal& s : signals)
                s = s.advanced(s.periodNs() / 4);
        modules.push_back(std::make_unique<SimulatedModule>(sim.name, sim.model, std::move(signals),
                                                            sim.model == 'r'));
    }
    return modules;
}

} // namespace vexengine
