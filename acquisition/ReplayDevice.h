// Replay of a recorded capture as a device behind the acquisition seam
// (DeviceBackend.h): the config replay:file=PATH[:format=NAME][:speed=F]
// (ReplayConfig.h) yields one device that plays the capture, loaded whole
// into memory by the capture loader's worker (CaptureLoader.h), in real time and looping
// (ReplayPacer.h), through the same packet path as a live analyser: a GLib timeout on the
// acquisition thread's context hands the due samples to the sink every ~10 ms.
//
// The stream's sample rate is the file's at any speed: counts are in the
// recording's time (a 1 s gate at speed=2 takes half a second of wall time).
// The device has no threshold and no other settings; its serial number is
// the file's path, so the module keeps its name for as long as the file is
// configured.
#pragma once

#include "Capture.h"
#include "DeviceBackend.h"
#include "ReplayConfig.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>

namespace vexacq {

// The loaded capture of a file, or nullptr while it is not (yet) loaded;
// never waits (CaptureLoader::capture()).
using CaptureLookup = std::function<std::shared_ptr<const Capture>(const CaptureFile&)>;

// The backend of the "replay" driver. A config whose capture is not loaded
// yields no device; the loader says why and retries, and a scan after the
// load finds the device.
std::unique_ptr<Backend> makeReplayBackend(CaptureLookup lookup);

} // namespace vexacq
