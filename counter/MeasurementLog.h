// MeasurementLog: the CSV log of ended counts. One row per count: the UTC
// time with milliseconds (ISO 8601), module, counter type, gate (s), edges,
// then one value per channel in the counter type's unit (empty where a
// channel has no value), then how the count ended: "finished" (by the module:
// its gate closed, or every channel finished) or "stopped" (by Stop, with the
// values of its last poll), then its time base: "reference" (timed by a
// locked external reference) or "internal". A header line naming the columns and their units
// comes before the first row of each logging session and again whenever the
// counter type or the channel count changes, so every row sits under a header
// that describes it.
//
// Every row (with its header) is formatted first and handed to the system in
// one write, so nothing waits in a buffer of ours. A failed or short write is
// undone by cutting the file back to its size before the row where the file
// allows it, so the file never ends in half a row; the log then closes and
// reports why. A log file that was removed or replaced on disk also stops the
// log, since the rows would otherwise go nowhere.
#pragma once

#include "counter/FinishedCount.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class MeasurementLog {
public:
    using Clock = std::chrono::system_clock;

    MeasurementLog() = default;
    ~MeasurementLog();
    MeasurementLog(const MeasurementLog&) = delete;
    MeasurementLog& operator=(const MeasurementLog&) = delete;

    // Opens `path` for appending, creating it if needed. Answers why it could
    // not, or nothing on success. An open log is closed first.
    std::optional<std::string> open(const std::string& path);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }

    // Appends the row of a finished count. Answers nothing when it is written
    // whole; otherwise the reason, after undoing the partial row and closing
    // the log.
    std::optional<std::string> append(Clock::time_point time, std::string_view module,
                                      const FinishedCount& count);

    // The texts the log writes, each ending in a line feed.
    static std::string headerLine(int32_t counterType, size_t channels);
    static std::string rowLine(Clock::time_point time, std::string_view module,
                               const FinishedCount& count);
    // "2026-12-09T01:22:34.123Z".
    static std::string isoTime(Clock::time_point time);
    // A CSV field, quoted when it holds a comma, a quote or a line break.
    static std::string csvField(std::string_view text);

private:
    std::optional<std::string> fail(std::string_view reason);

    int m_fd = -1;
    std::string m_path;
    // Counter type and channel count of the last header written this session;
    // -1 before the first.
    int32_t m_headerType = -1;
    size_t m_headerChannels = 0;
};
