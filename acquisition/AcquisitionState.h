// The acquisition's life of one acquired module: its states and the one
// table of the moves between them, pure. AcquiredModule changes its state
// only through moves this table allows.
#pragma once

namespace vexacq {

enum class AcquisitionState { idle, starting, running, stopping, lost };

// The legal moves (all made on the acquisition loop):
//   idle     -> starting  wanted (held, device attached): open, configure, start
//   starting -> running   the stream started (a new generation)
//   starting -> lost      the device did not open, take its settings or start
//   running  -> stopping  no longer wanted, settings changed, or shutdown
//   running  -> idle      the stream ended by itself (restarts when still wanted)
//   stopping -> idle      the stream ended as asked
//   idle     -> lost      a scan no longer finds the device, or the stream
//                         kept ending by itself (three short runs in a row)
//   lost     -> idle      a scan found the device again
inline constexpr int kAcquisitionStates = 5;
inline constexpr bool kTransitions[kAcquisitionStates][kAcquisitionStates] = {
    // to:  idle   starting running stopping lost        from:
    {false, true, false, false, true},  // idle
    {false, false, true, false, true},  // starting
    {true, false, false, true, false},  // running
    {true, false, false, false, false}, // stopping
    {true, false, false, false, false}, // lost
};

constexpr bool legalTransition(AcquisitionState from, AcquisitionState to) {
    return kTransitions[static_cast<int>(from)][static_cast<int>(to)];
}

constexpr const char* stateName(AcquisitionState state) {
    switch (state) {
    case AcquisitionState::idle:
        return "idle";
    case AcquisitionState::starting:
        return "starting";
    case AcquisitionState::running:
        return "running";
    case AcquisitionState::stopping:
        return "stopping";
    case AcquisitionState::lost:
        return "lost";
    }
    return "?";
}

} // namespace vexacq
