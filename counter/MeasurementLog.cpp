// MeasurementLog: CSV rows of finished counts, each written whole or not at all.
#include "counter/MeasurementLog.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string systemError(int error) {
    return std::strerror(error);
}

// Shortest text that reads back as the same double, without an exponent, so
// a spreadsheet shows 1000000 rather than 1e+06. Independent of the locale.
void appendNumber(std::string& out, double value) {
    char buf[400]; // a double in fixed notation needs at most 330 characters
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (res.ec == std::errc()) out.append(buf, res.ptr);
}

} // namespace

MeasurementLog::~MeasurementLog() {
    close();
}

std::optional<std::string> MeasurementLog::open(const std::string& path) {
    close();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return "Cannot open " + path + ": " + systemError(errno);
    m_fd = fd;
    m_path = path;
    m_headerType = -1;
    m_headerChannels = 0;
    return std::nullopt;
}

void MeasurementLog::close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

std::optional<std::string> MeasurementLog::fail(std::string_view reason) {
    close();
    return "Cannot write to the log file " + m_path + ": " + std::string(reason) +
           ". Logging has stopped.";
}

std::optional<std::string> MeasurementLog::append(Clock::time_point time, std::string_view module,
                                                  const FinishedCount& count) {
    if (m_fd < 0) return std::string("The log file is not open.");

    const bool newHeader =
        m_headerType != count.counterType || m_headerChannels != count.values.size();
    std::string text;
    if (newHeader) text = headerLine(count.counterType, count.values.size());
    text += rowLine(time, module, count);

    // Rows written to a file that is no longer the one at the path (removed,
    // or replaced by another) would be lost without a word.
    struct stat opened {};
    struct stat named {};
    if (::fstat(m_fd, &opened) != 0) return fail(systemError(errno));
    if (::stat(m_path.c_str(), &named) != 0 || named.st_dev != opened.st_dev ||
        named.st_ino != opened.st_ino)
        return fail("the file was removed or replaced");

    ssize_t written = -1;
    do {
        written = ::write(m_fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(text.size())) {
        if (newHeader) {
            m_headerType = count.counterType;
            m_headerChannels = count.values.size();
        }
        return std::nullopt;
    }

    const std::string reason =
        written < 0 ? systemError(errno) : std::string("only part of a row could be written");
    // Cut off the part that did get out; a device such as /dev/full has no
    // size to cut back to and took nothing anyway.
    if (written > 0 && S_ISREG(opened.st_mode)) (void)!::ftruncate(m_fd, opened.st_size);
    return fail(reason);
}

std::string MeasurementLog::headerLine(int32_t counterType, size_t channels) {
    const std::string unit(quantityUnit(counterType));
    std::string line = "time (UTC),module,type,gate (s),edges";
    for (size_t i = 0; i < channels; ++i)
        line += ",channel " + std::to_string(i) + " (" + unit + ")";
    line += ",end,timebase\n";
    return line;
}

std::string MeasurementLog::rowLine(Clock::time_point time, std::string_view module,
                                    const FinishedCount& count) {
    std::string line = isoTime(time);
    line += ',';
    line += csvField(module);
    line += ',';
    line += counterTypeName(count.counterType);
    line += ',';
    line += gateName(count.gateCode);
    line += ',';
    line += edgeName(count.edgeCode);
    for (const std::optional<double>& value : count.values) {
        line += ',';
        if (value) appendNumber(line, *value);
    }
    line += count.stopped ? ",stopped," : ",finished,";
    line += timeBaseName(count.referenced);
    line += '\n';
    return line;
}

std::string MeasurementLog::isoTime(Clock::time_point time) {
    using namespace std::chrono;
    const auto ms = time_point_cast<milliseconds>(time).time_since_epoch().count();
    // Floor division, so times before 1970 keep a millisecond part of 0-999.
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    long milli = static_cast<long>(ms % 1000);
    if (milli < 0) {
        milli += 1000;
        --seconds;
    }
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char buf[40];
    const size_t length = std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &utc);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03ldZ", milli);
    return std::string(buf, length) + fraction;
}

std::string MeasurementLog::csvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}
