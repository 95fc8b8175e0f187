// The simulated modules every engine offers, and the signal table their
// channels carry (README.md lists it).
#pragma once

#include "Signal.h"
#include "SimulatedModule.h"

#include <memory>
#include <vector>

namespace vexengine {

// Row i is the signal of channel i on every simulated module (rows 0..n-1
// for a model of n channels). 32 rows.
const std::vector<Signal>& simulationSignals();

// QVSIMC01, QVSIMC02 (model 'c', 18 channels), QVSIMO01 ('o', 16),
// QVSIMR01 ('r', 8, fixed threshold) and QVSIMB01 ('b', 32), in that order.
// QVSIMC02 carries every wave advanced by a quarter of its period.
std::vector<std::unique_ptr<Module>> makeSimulatedModules();

} // namespace vexengine
