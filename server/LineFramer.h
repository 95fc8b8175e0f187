// Cuts a client's byte stream into request lines. Memory stays bounded
// whatever arrives: a line longer than the limit is reported once and its
// bytes are dropped up to the next line end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vexcountd {

class LineFramer {
public:
    enum class Kind { None, Line, TooLong };
    struct Event {
        Kind kind = Kind::None;
        std::string_view line; // valid until the next call of append() or next()
    };

    // maxLine: the longest line accepted, without its line feed.
    explicit LineFramer(std::size_t maxLine) : m_maxLine(maxLine) {}

    void append(std::string_view bytes);

    // The next complete line, the report of an over-long one, or None when
    // more bytes are needed.
    Event next();

    // Bytes held for a line that has not ended yet.
    std::size_t pendingBytes() const { return m_buffer.size() - m_pos; }

private:
    void compact();

    std::size_t m_maxLine;
    std::string m_buffer;
    std::size_t m_pos = 0;     // start of the unread part of m_buffer
    bool m_discarding = false; // inside an over-long line already reported
};

} // namespace vexcountd
