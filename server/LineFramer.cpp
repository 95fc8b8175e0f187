// Line framing with a bounded buffer; see LineFramer.h.
#include "LineFramer.h"

namespace vexcountd {

void LineFramer::append(std::string_view bytes) {
    compact();
    m_buffer.append(bytes);
}

void LineFramer::compact() {
    if (m_pos == 0) return;
    m_buffer.erase(0, m_pos);
    m_pos = 0;
}

LineFramer::Event LineFramer::next() {
    for (;;) {
        const std::size_t end = m_buffer.find('\n', m_pos);
        if (m_discarding) {
            if (end == std::string::npos) {
                m_buffer.clear();
                m_pos = 0;
                return {};
            }
            m_pos = end + 1;
            m_discarding = false;
            continue;
        }
        if (end != std::string::npos) {
            const std::string_view line(m_buffer.data() + m_pos, end - m_pos);
            m_pos = end + 1;
            if (line.size() > m_maxLine) return {Kind::TooLong, {}};
            return {Kind::Line, line};
        }
        if (pendingBytes() > m_maxLine) {
            // Report the line now rather than when (if ever) it ends, and
            // stop holding its bytes.
            m_buffer.clear();
            m_pos = 0;
            m_discarding = true;
            return {Kind::TooLong, {}};
        }
        return {};
    }
}

} // namespace vexcountd
