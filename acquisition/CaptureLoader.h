// Loads recorded captures on a worker thread of its own, so that the
// acquisition thread (and every live analyser on it) never waits for a file.
//
// capture() answers at once: the loaded capture, or nullptr while the file
// is queued, loading or failed; the first call for a file queues its load.
// A failed load is retried by the worker alone: when the file's size or
// modification time changes (looked at every poll interval), or once per
// retry interval; asking again never loads again. The first failure is
// logged, and each retry that fails again (at most one line per file per
// 10 s). done() tells the owner of every finished load, on the worker.
//
// Input formats need libsigrok: the worker makes its own sr_context on its
// own thread the first time it loads one (libsigrok keeps no state shared
// between contexts that a load touches; the log callback is installed once,
// installCaptureLog()). Session files are read without libsigrok.
//
// Stopping (stop() or the destructor) sets the flag the running load checks
// between two reads of at most 1 MiB, then joins the worker.
#pragma once

#include "Capture.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <variant>

namespace vexacq {

class CaptureLoader {
public:
    using Load =
        std::function<std::variant<Capture, std::string>(const CaptureFile&, const LoadLimits&)>;

    struct Options {
        LoadLimits limits;                               // stop is the loader's own
        std::chrono::milliseconds retryInterval{60'000}; // a failed load at the latest again
        std::chrono::milliseconds pollInterval{1000};    // failed files' size and time looked at
        std::chrono::milliseconds logInterval{10'000};   // least time between two lines per file
        std::function<void(const std::string&)> log;     // may be empty
        // A load ended: the file and "" (loaded) or its error. On the worker.
        std::function<void(const CaptureFile&, const std::string&)> done;
        // Loads one file; empty: loadCapture() with the worker's own context.
        Load load;
    };

    explicit CaptureLoader(Options options);
    ~CaptureLoader();
    CaptureLoader(const CaptureLoader&) = delete;
    CaptureLoader& operator=(const CaptureLoader&) = delete;

    // The loaded capture, or nullptr (its first load queued). Any thread.
    std::shared_ptr<const Capture> capture(const CaptureFile& file);
    // Loads started for the file so far (tests).
    int loads(const CaptureFile& file) const;
    // Ends the running load and the worker; capture() then queues nothing.
    void stop();

private:
    // What a failed file looked like when its load began.
    struct Stamp {
        bool exists = false;
        uintmax_t size = 0;
        std::chrono::nanoseconds modified{0};
        bool operator==(const Stamp&) const = default;
    };
    struct Entry {
        CaptureFile file;
        enum class State { queued, loading, loaded, failed } state = State::queued;
        std::shared_ptr<const Capture> capture;
        std::string error;
        Stamp stamp;
        std::chrono::steady_clock::time_point tried{};
        std::chrono::steady_clock::time_point logged{};
        int loads = 0;
        int unlogged = 0; // failures not logged since the last line
    };

    static Stamp stampOf(const std::string& path);
    void run();
    Entry* nextDue(std::chrono::steady_clock::time_point now);
    // Under the lock: records a load's result; answers the log line to write
    // ("" for none) and the error ("" when it loaded).
    std::pair<std::string, std::string> finish(Entry& entry,
                                               std::variant<Capture, std::string> result);

    Options m_options;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<std::string, Entry> m_entries; // by captureKey()
    bool m_quit = false;
    std::thread m_worker; // last: started once the members above exist
};

} // namespace vexacq
