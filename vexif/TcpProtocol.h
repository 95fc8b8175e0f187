// The line protocol between libvexif and vexcountd, shared by both ends:
// command words, limits, the extra status numbers only the wire uses, and
// the pure helpers that split a reply line and read its numbers.
// server/PROTOCOL.md documents every command.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace vexif::wire {

// Bumped when a command changes meaning; HELLO carries it.
constexpr int kProtocolVersion = 1;

// A request line longer than this (without its line end) is refused.
constexpr std::size_t kMaxRequestBytes = 4096;
// Largest reply the library accepts; the longest real one (the measures of
// 32 channels) is under 4 KiB. The device problems are cut to fit.
constexpr std::size_t kMaxReplyBytes = 16384;
// The most of a reply the device problems may fill (escaped).
constexpr std::size_t kMaxProblemBytes = kMaxReplyBytes - 64;

// Replies start with a vexif.h status (0 = success). These numbers are used
// only on the wire, for requests the server could not read at all.
constexpr int kStatusUnknownCommand = 50;
constexpr int kStatusMalformed = 51;
constexpr int kStatusLineTooLong = 52;
// Sent, unasked, just before the server drops a client that stayed silent.
constexpr int kStatusIdleTimeout = 53;

// Command words, matched without regard to case by the server.
inline constexpr std::string_view kHello = "HELLO";
inline constexpr std::string_view kIdentify = "*IDN?";
inline constexpr std::string_view kModCount = "MOD:COUNT?";
inline constexpr std::string_view kModInfo = "MOD:INFO?";
inline constexpr std::string_view kModOpen = "MOD:OPEN";
inline constexpr std::string_view kModIsOpen = "MOD:OPEN?";
inline constexpr std::string_view kModClose = "MOD:CLOSE";
inline constexpr std::string_view kPins = "PINS?";
inline constexpr std::string_view kThreshold = "THRESH";
inline constexpr std::string_view kFcRun = "FC:RUN";
inline constexpr std::string_view kFcStop = "FC:STOP";
inline constexpr std::string_view kFcStatus = "FC:STATUS?";
inline constexpr std::string_view kFcCounts = "FC:COUNTS?";
// Beyond the 15: a server older than these answers kStatusUnknownCommand.
inline constexpr std::string_view kFcMeasures = "FC:MEASURES?";
inline constexpr std::string_view kTimeBase = "TIMEBASE?";
inline constexpr std::string_view kDeviceProblems = "DEV:PROBLEMS?";
inline constexpr std::string_view kHelp = "HELP?";
inline constexpr std::string_view kQuit = "QUIT";

// Characters allowed in a word of a request or reply: printable ASCII
// without the blank.
constexpr bool isWordChar(char c) {
    return c > ' ' && c < 0x7f;
}

// A reply line split into its status and the text after the first blank.
struct Reply {
    int status = 0;
    std::string_view payload;
};

// Splits "<status>[ <payload>]". Nothing else than decimal digits may form
// the status; anything unreadable gives no value.
inline std::optional<Reply> splitReply(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t end = 0;
    while (end < line.size() && line[end] >= '0' && line[end] <= '9')
        ++end;
    if (end == 0 || end > 4) return std::nullopt;
    Reply reply;
    std::from_chars(line.data(), line.data() + end, reply.status);
    if (end == line.size()) return reply;
    if (line[end] != ' ') return std::nullopt;
    reply.payload = line.substr(end + 1);
    return reply;
}

// A real number as the shortest text that reads back to the same double
// (independent of the locale); NaN is always "nan", infinities "inf" and
// "-inf".
inline std::string formatReal(double value) {
    if (value != value) return "nan";
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : "nan";
}

// Text that may hold any byte, as one reply payload: '%', control
// characters and bytes beyond ASCII become %XX (two upper-case hex digits),
// so a line feed is %0A.
inline std::string escapeText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f || c == '%') {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

// The reverse of escapeText; no value for a '%' without two hex digits
// after it or for a control character that should have been escaped.
inline std::optional<std::string> unescapeText(std::string_view text) {
    const auto hexValue = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte >= 0x7f) return std::nullopt;
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high << 4 | low);
        i += 2;
    }
    return out;
}

// Reads successive blank-separated numbers (integers, or doubles as
// formatReal writes them) out of a payload.
class NumberReader {
public:
    explicit NumberReader(std::string_view text) : m_text(text) {}

    template <typename T> std::optional<T> next() {
        while (!m_text.empty() && m_text.front() == ' ')
            m_text.remove_prefix(1);
        T value{};
        auto [ptr, ec] = std::from_chars(m_text.data(), m_text.data() + m_text.size(), value);
        if (ec != std::errc() || ptr == m_text.data()) return std::nullopt;
        if (ptr != m_text.data() + m_text.size() && *ptr != ' ') return std::nullopt;
        m_text.remove_prefix(static_cast<std::size_t>(ptr - m_text.data()));
        return value;
    }
    bool atEnd() const { return m_text.find_first_not_of(' ') == std::string_view::npos; }

private:
    std::string_view m_text;
};

} // namespace vexif::wire
