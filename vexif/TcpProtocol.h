// The line protocol between libvexif and vexcountd, shared by both ends:
// command words, limits, the extra status numbers only the wire uses, and
// the pure helpers that split a reply line and read its numbers.
// server/PROTOCOL.md documents every command.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vexif::wire {

// Bumped when a command changes meaning; HELLO carries it.
constexpr int kProtocolVersion = 1;

// A request line longer than this (without its line end) is refused.
constexpr std::size_t kMaxRequestBytes = 4096;
// Largest reply the library accepts; the longest real one (32 counts) is
// well under 1 KiB.
constexpr std::size_t kMaxReplyBytes = 16384;

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

// Reads successive blank-separated integers out of a payload.
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
