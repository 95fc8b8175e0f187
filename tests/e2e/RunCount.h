// Test helpers: connects a libvexif handle to a device config, through a
// vexcountd or the built-in server, and runs a count through it to its end.
#pragma once

#include "ServerProcess.h"
#include "vexif.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vfctest {

// Connects handle h to the device config `device`: through a vexcountd
// started with --device (kept in server), or through the built-in server
// (VEXIF_DEVICES). False when the server does not start or a call fails.
inline bool connectToDevice(int32_t h, const std::string& device, bool throughServer,
                            std::unique_ptr<ServerProcess>& server) {
    if (!throughServer) {
        ::setenv("VEXIF_DEVICES", device.c_str(), 1);
        return QV_ConnectToServer(h, nullptr, 0) == QV_OK;
    }
    server = std::make_unique<ServerProcess>(std::vector<std::string>{"--device", device});
    return server->start() && QV_ConnectToServer(h, "127.0.0.1", server->port()) == QV_OK;
}

// Runs a rising-to-rising count on handle h until it ends (at most 5 s);
// the states and counts of all 18 channels. False when a call fails or the
// count does not end.
inline bool runCount(int32_t h, int32_t type, int32_t gate, std::vector<uint32_t>& states,
                     std::vector<int64_t>& counts) {
    if (QV_FCRun(h, type, QV_EDGE_RISE_RISE, gate, "--------", 1) != QV_OK) return false;
    uint32_t words[19] = {}; // the status words of a model 'c' module
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (QV_FCGetStatus(h, words, 19) != QV_OK) return false;
    } while ((words[0] & QV_STATUS_BUSY) && std::chrono::steady_clock::now() < deadline);
    int64_t c[18] = {};
    if (QV_FCGetCounts(h, c, 18) != QV_OK) return false;
    states.assign(words + 1, words + 19);
    counts.assign(c, c + 18);
    return !(words[0] & QV_STATUS_BUSY);
}

} // namespace vfctest
