// The counting engine: module registry, sessions, simulated modules, counter
// and pin status. One Engine serves many sessions: one per library handle in
// process, one per TCP client in vexcountd. Every member function is
// thread-safe (one mutex) and costs O(channels) whatever the signal
// frequencies, gate lengths or elapsed time.
//
// Modules come in kinds behind one interface (Module.h): the simulated ones
// the engine creates itself, and any a module source adds at run time (real
// logic analysers, acquisition/). The list only grows; a module whose device
// goes away stays listed as not present.
//
// Time comes from the Clock given at construction; engine time 0 is the
// clock's reading at construction. No Qt, no sockets.
#pragma once

#include "Clock.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vexengine {

class Module;

// Outcome of an engine call. The values are those of the vexif.h status
// codes, so the library and the server can pass them on unchanged.
enum class Result : int32_t {
    ok = 0,
    badSession = 1,   // unknown or closed session id
    badArgument = 2,  // code out of range, buffer capacity below the channel count
    noSuchModule = 7, // no present module of that name or index
    moduleTaken = 8,  // held by another session
    noModuleOpen = 9, // the call needs an open module
    moduleGone = 16,  // the open module's device went away; the session no longer holds it
};

// Session ids are positive and never reused within one engine.
using SessionId = uint64_t;

// One module of the registry as the engine lists it.
struct ModuleEntry {
    std::string name;     // at most 8 characters
    char model = 0;       // 'r', 'o', 'c' or 'b'
    bool present = false; // simulations are always present; an unplugged device is not
    SessionId holder = 0; // the session holding it, 0 = free

    // 'f' when viewer may open it (free, or held by viewer itself), else 't'.
    char freeFlagFor(SessionId viewer) const { return holder == 0 || holder == viewer ? 'f' : 't'; }
};

// Arguments of a count start, as QV_FCRun passes them.
struct CountSettings {
    int32_t counterType = 0;               // 0 frequency, 1 period, 2 events
    int32_t edgeCode = 3;                  // bit 0: first edge rising, bit 1: second edge rising
    int32_t gateCode = 0;                  // 0 100 ms, 1 1 s, 2 10 s, 7 infinite (not frequency)
    std::string channelCodes = "--------"; // channels 0..7, each of "01RFE-"
};

// Counter state as QV_FCGetStatus reports it.
struct CounterStatus {
    bool busy = false;
    bool armed = false; // the channel codes have opened the gate (stays set after the count ends)
    std::vector<uint32_t> channelStates; // one per channel: 0 idle, 1 counting,
                                         // 2 done, 3 forced stop, 5 gate timed out
};

// What a count measured per channel beside its count, in SI units, over the
// rising edges inside the gate (times through the module's time base). NaN
// where a channel has no value (fewer than two rising edges, absent, idle).
struct ChannelMeasures {
    double reciprocalHz =
        std::numeric_limits<double>::quiet_NaN(); // (edges - 1) / (t_last - t_first)
    double positiveWidth = std::numeric_limits<double>::quiet_NaN(); // mean time high, s
    double negativeWidth = std::numeric_limits<double>::quiet_NaN(); // mean time low, s
    double duty = std::numeric_limits<double>::quiet_NaN(); // time high / (t_last - t_first)
    // Least-squares slope of the rising-edge times against the edge number
    // over the gate, as a frequency (Hz); NaN with fewer than three edges.
    double regressionHz = std::numeric_limits<double>::quiet_NaN();
    // Period counts: the mean of the intervals summed, s, through the time
    // base and exact to a sample (the count's 10 ns ticks are rounded).
    double meanPeriod = std::numeric_limits<double>::quiet_NaN();
    // The count's gate and times came from a locked external reference; the
    // same for every channel of a count.
    bool referenced = false;
};

// The time base a module counts with.
struct TimeBase {
    bool external = false;  // a reference input is configured (ref=FREQ@CH)
    bool locked = false;    // ... and its estimate is in use now
    double referenceHz = 0; // the reference's nominal frequency (external only)
    int referenceChannel = -1;
    double nominalRate = 0; // the sample rate the device claims, Hz (0: not sampled)
    double rate = 0;        // the rate counts use now: the estimate while locked
    double offsetPpm = 0;   // (estimate / nominal - 1) x 1e6 while locked
};

// How a module's sample stream fares (acquired modules; simulations have none).
struct AcquisitionStats {
    bool acquired = false;       // the module counts a sample stream
    double samplesPerSecond = 0; // delivered over the last second or so
    uint64_t samples = 0;        // delivered since the module was created
    uint64_t latePackets = 0;    // packets that came later than the device's pace allows
    uint64_t droppedPackets = 0; // packets or transfers lost (the stream restarted)
};

// "name,version,start date,start time" parts of QV_QueryServerID.
struct ServerIdentity {
    std::string name;
    std::string version;
    std::string startDate; // YYYY-MM-DD, local time
    std::string startTime; // HH:MM:SS, local time
    std::string text() const;
};

// A count that has ended (its gate closed, every channel final, or it was
// stopped), as the engine noticed it; see Engine::setFinishedCountHook.
struct FinishedCount {
    std::string module;
    CountSettings settings;
    std::vector<uint32_t> channelStates;   // one per channel, as CounterStatus has them
    std::vector<int64_t> counts;           // one per channel
    std::vector<ChannelMeasures> measures; // one per channel
    TimeBase timeBase;
    bool stopped = false;                            // ended by stopCount rather than by its gate
    std::chrono::system_clock::time_point noticedAt; // wall clock when the engine saw it end
};

// One module of the registry with its health, for monitoring.
struct ModuleReport {
    ModuleEntry entry;
    int channels = 0;
    AcquisitionStats acquisition;
    TimeBase timeBase;
};

struct EngineOptions {
    std::string serverName = "Vex built-in server"; // commas become blanks
    std::string version = "1.0.0";
    // Wall-clock start reported by identity(); default: construction time.
    std::chrono::system_clock::time_point startedAt = std::chrono::system_clock::now();
};

class Engine {
public:
    explicit Engine(std::shared_ptr<const Clock> clock = std::make_shared<SteadyClock>(),
                    EngineOptions options = {});
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    ServerIdentity identity() const;

    // --- sessions
    SessionId openSession();
    // Stops the session's count, releases its module and forgets the session.
    // Unknown ids are ignored.
    void closeSession(SessionId session);
    bool hasSession(SessionId session) const;
    int sessionCount() const;

    // --- registry (the list only grows; indexes stay valid)
    // moduleCount and modules call the list hook first: asking for the list
    // is the moment a module source may look for new devices.
    int moduleCount() const;
    Result moduleAt(int index, ModuleEntry& entry) const;
    std::vector<ModuleEntry> modules() const;

    // Appends a module (from any thread); the engine owns it and keeps it for
    // its life. nullptr, and the module dropped, when the name is taken.
    Module* addModule(std::unique_ptr<Module> module);
    // Called (on the asking thread) each time the list is asked for; it must
    // return at once, e.g. only wake a discovery thread. An empty function
    // removes it; once that call returns, the old hook is not running and
    // will not run again.
    void setModuleListHook(std::function<void()> hook);

    // Every module with its acquisition statistics and time base.
    std::vector<ModuleReport> moduleReports() const;

    // Called once for every count that ends, on any module, whichever session
    // ran it: the first of counterStatus, counts, measures, stopCount,
    // startCount (a new count), closeModule, openModule or closeSession that
    // finds the count no longer busy reports it. The hook runs on that
    // caller's thread after the engine's lock is released, so it may call the
    // engine (but not set this hook); it must not throw. Counts that never
    // end, and those of a module whose device went away, are not reported.
    // An empty function removes it; once that call returns, the old hook is
    // not running and will not run again.
    void setFinishedCountHook(std::function<void(const FinishedCount&)> hook);

    // --- per session
    // Every call that needs the open module fails with moduleGone when the
    // module is no longer present, and the session then holds no module.
    //
    // Opens the named present module for the session. A module the session
    // already holds is re-opened (its count reset); otherwise the module held
    // before is closed first. On failure the session keeps what it held.
    Result openModule(SessionId session, std::string_view name);
    // Stops the count and releases the module; no module is not an error.
    Result closeModule(SessionId session);
    // A module that is no longer present answers moduleGone once (and is
    // released), so a caller that only asks this still learns of the loss.
    Result isModuleOpen(SessionId session, bool& open);
    // Channel count of the open module.
    Result channelCount(SessionId session, int& channels);
    // One character per pin since this session's last read (or the opening):
    // '0' / '1' steady, 'R' / 'F' one rising / falling change, 'B' both.
    // capacity below the channel count: badArgument, and the read does not
    // count as one.
    Result pinStatus(SessionId session, int capacity, std::string& pins);
    // which 0 or 1, 8..25 tenths of a volt. Accepted and ignored by models
    // with a fixed threshold.
    Result setThreshold(SessionId session, int which, int tenthsOfVolt);
    // The threshold the open module uses (tenths of a volt), which 0 or 1:
    // after setThreshold, a model with a fixed threshold still answers its own.
    Result threshold(SessionId session, int which, int& tenthsOfVolt);
    // Starts a count (replacing a running one) after validating the settings.
    Result startCount(SessionId session, const CountSettings& settings);
    // Counting channels become forced stop, busy clears, counts freeze.
    Result stopCount(SessionId session);
    Result counterStatus(SessionId session, int capacity, CounterStatus& status);
    // One count per channel; capacity below the channel count: badArgument.
    Result counts(SessionId session, int capacity, std::vector<int64_t>& counts);
    // Reciprocal and regression frequency, mean period, pulse widths, duty
    // and whether the reference timed it, per channel of the count (one entry
    // per channel), and the module's time base. Beside the library's 15
    // functions: QV_FCGetMeasures and QV_GetTimeBase, SCPI and the metrics
    // read them.
    Result measures(SessionId session, std::vector<ChannelMeasures>& measures);
    Result timeBase(SessionId session, TimeBase& timeBase);
    // The settings of the session's current or last count (the defaults
    // before its first).
    Result countSettings(SessionId session, CountSettings& settings);

    // --- device problems
    // The device-config and device faults a module source reports, one line
    // each as its log states them (a bad config entry, a capture that does
    // not load, a configured device never found). The source replaces its
    // whole list whenever it changes; any thread.
    void setDeviceProblems(std::vector<std::string> problems);
    std::vector<std::string> deviceProblems() const;

private:
    struct Session;
    struct State;

    int64_t elapsed() const; // engine time, ns
    Session* findSession(SessionId id) const;
    // The module the session holds: badSession for an unknown session,
    // noModuleOpen when it holds none, moduleGone (and released) when it is
    // no longer present.
    Result heldModule(SessionId id, Module*& module);
    void releaseLocked(Session& session);
    // The session's module lost its device since the session opened it.
    static bool lostFor(const Session& session, const Module& module);
    // The holder a listing shows: none once the holder lost the device.
    SessionId listedHolder(const Module& module) const;
    void callListHook() const;
    // Moves the session's count into finished when it has ended and is not
    // reported yet (and a hook wants it).
    void collectFinished(Session& session, bool stopped, std::vector<FinishedCount>& finished);
    void deliver(const std::vector<FinishedCount>& finished);

    std::shared_ptr<const Clock> m_clock;
    int64_t m_origin;
    ServerIdentity m_identity;
    mutable std::mutex m_mutex;
    std::unique_ptr<State> m_state;
    mutable std::mutex m_hookMutex; // held while the hook runs, never with m_mutex
    std::function<void()> m_listHook;
    // Held while the hook runs, never with m_mutex; recursive, so an engine
    // call inside the hook may report the counts it finds ended.
    std::recursive_mutex m_finishHookMutex;
    std::function<void(const FinishedCount&)> m_finishHook;
    std::atomic<bool> m_finishHookSet{false};
    mutable std::mutex m_problemsMutex;
    std::vector<std::string> m_deviceProblems;
};

} // namespace vexengine
