// The scripted fake's shared state and the helpers its QV_ functions use,
// for the fake's own sources (FakeVexif.cpp, FakeVexifMeasures.cpp) only.
#pragma once

#include "FakeVexif.h"
#include "vexif.h"

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace fakevexif {

struct State;
// Back to the defaults of the requests beyond the 15 (FakeVexifMeasures.cpp).
void resetMeasuresLocked(State& s);

struct Failure {
    int32_t status = QV_OK;
    int remaining = 0; // < 0: always
};

struct Session {
    bool connected = false;
    std::string module; // "" = none
};

struct State {
    std::mutex mutex;
    std::map<std::string, Failure, std::less<>> failures;
    std::vector<Module> modules;
    std::string pins;
    std::vector<uint32_t> statusWords;
    std::vector<int64_t> counts;
    std::deque<std::vector<uint32_t>> statusQueue;
    std::deque<std::vector<int64_t>> countsQueue;
    std::string serverId;
    bool vanished = false;
    std::vector<QV_ChannelMeasures> measures;
    QV_TimeBase timeBase{};
    std::string problems;
    bool oldServer = false;
    std::map<int32_t, Session> sessions;
    int32_t nextHandle = 1;
    std::vector<Call> log;

    void resetLocked() {
        failures.clear();
        modules.clear();
        pins.clear();
        statusWords.clear();
        counts.clear();
        statusQueue.clear();
        countsQueue.clear();
        serverId = "vexfake,1.0,2024-01-01,00:00:00";
        vanished = false;
        resetMeasuresLocked(*this);
        sessions.clear();
        nextHandle = 1;
        log.clear();
    }
    State() { resetLocked(); }
};

// The one state of the process.
State& state();
// Logs the call and answers a scripted failure, if one matches: 0 otherwise.
int32_t enter(State& s, Call call);
Call makeCall(const char* fn, std::vector<int64_t> args, std::vector<bool> pointersNull = {});
// Logs at most 256 characters of a text argument.
Call withText(Call c, const char* text);
// Connected session of handle, or the status that refuses it.
int32_t session(State& s, int32_t handle, Session** out);
// Channel count of the session's open module, or the status that refuses it.
int32_t openChannels(State& s, const Session& session, int32_t* channels);

} // namespace fakevexif
