// The capture loader's worker and retry policy; see CaptureLoader.h.
#include "CaptureLoader.h"

#include <libsigrok/libsigrok.h>

#include <algorithm>
#include <filesystem>

namespace vexacq {

using Clock = std::chrono::steady_clock;

CaptureLoader::CaptureLoader(Options options) : m_options(std::move(options)) {
    m_options.limits.stop = &m_stop;
    m_worker = std::thread([this] { run(); });
}

CaptureLoader::~CaptureLoader() {
    stop();
}

void CaptureLoader::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_stop = true;
    m_wake.notify_all();
    if (m_worker.joinable()) m_worker.join();
}

std::shared_ptr<const Capture> CaptureLoader::capture(const CaptureFile& file) {
    std::lock_guard lock(m_mutex);
    auto [it, added] = m_entries.try_emplace(captureKey(file));
    if (added) {
        it->second.file = file;
        m_wake.notify_all();
    }
    return it->second.capture;
}

int CaptureLoader::loads(const CaptureFile& file) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(captureKey(file));
    return it == m_entries.end() ? 0 : it->second.loads;
}

CaptureLoader::Stamp CaptureLoader::stampOf(const std::string& path) {
    std::error_code ec;
    Stamp stamp;
    const auto modified = std::filesystem::last_write_time(path, ec);
    if (ec) return stamp;
    stamp.exists = true;
    stamp.modified = modified.time_since_epoch();
    stamp.size = std::filesystem::file_size(path, ec);
    if (ec) stamp.size = 0;
    return stamp;
}

// Under the lock: a queued file, else a failed one whose file changed or
// whose retry interval is over.
CaptureLoader::Entry* CaptureLoader::nextDue(Clock::time_point now) {
    for (auto& [key, entry] : m_entries)
        if (entry.state == Entry::State::queued) return &entry;
    for (auto& [key, entry] : m_entries) {
        if (entry.state != Entry::State::failed) continue;
        if (now - entry.tried >= m_options.retryInterval) return &entry;
        if (!(stampOf(entry.file.path) == entry.stamp)) return &entry;
    }
    return nullptr;
}

void CaptureLoader::run() {
    sr_context* context = nullptr; // this thread's own, for input formats
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        Entry* entry = nextDue(Clock::now());
        if (!entry) {
            // Only failed files are watched; with none, sleep until a file
            // is queued or the loader stops.
            const bool watching = std::any_of(m_entries.begin(), m_entries.end(), [](auto& e) {
                return e.second.state == Entry::State::failed;
            });
            if (watching)
                m_wake.wait_for(lock, m_options.pollInterval);
            else
                m_wake.wait(lock);
            continue;
        }
        entry->state = Entry::State::loading;
        entry->stamp = stampOf(entry->file.path);
        entry->tried = Clock::now();
        ++entry->loads;
        const CaptureFile file = entry->file;
        lock.unlock();
        std::variant<Capture, std::string> result;
        if (m_options.load) {
            result = m_options.load(file, m_options.limits);
        } else {
            if (!file.format.empty() && !context && sr_init(&context) != SR_OK) context = nullptr;
            result = loadCapture(context, file, m_options.limits);
        }
        lock.lock();
        if (m_quit) break; // a load cut short by stop() is no failure to report
        const auto [line, error] = finish(*entry, std::move(result));
        lock.unlock(); // the log and the owner are told without the lock
        if (!line.empty() && m_options.log) m_options.log(line);
        if (m_options.done) m_options.done(file, error);
        lock.lock();
    }
    lock.unlock();
    if (context) sr_exit(context);
}

std::pair<std::string, std::string>
CaptureLoader::finish(Entry& entry, std::variant<Capture, std::string> result) {
    std::string line;
    std::string error;
    if (auto* capture = std::get_if<Capture>(&result)) {
        entry.state = Entry::State::loaded;
        entry.capture = std::make_shared<const Capture>(std::move(*capture));
        if (entry.loads > 1) line = "device replay: capture '" + entry.file.path + "' loaded";
        entry.error.clear();
    } else {
        error = std::get<std::string>(std::move(result));
        entry.state = Entry::State::failed;
        const bool first = entry.loads == 1;
        const bool changed = error != entry.error;
        entry.error = error;
        const Clock::time_point now = Clock::now();
        if (first || changed || now - entry.logged >= m_options.logInterval) {
            const long seconds = long((m_options.retryInterval.count() + 999) / 1000);
            line = "device replay: " + error;
            if (!first)
                line += " (retry " + std::to_string(entry.loads - 1) + " failed" +
                        (entry.unlogged ? ", " + std::to_string(entry.unlogged) +
                                              " more failures since the last line"
                                        : "") +
                        ")";
            line += "; tried again when the file changes or in " + std::to_string(seconds) + " s";
            entry.logged = now;
            entry.unlogged = 0;
        } else {
            ++entry.unlogged;
        }
    }
    return {line, error};
}

} // namespace vexacq
