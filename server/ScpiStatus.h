// The IEEE 488.2 / SCPI status reporting of one SCPI client: the error queue
// (SYST:ERR?), the standard event status register (*ESR?), the QUEStionable
// status register (STAT:QUES?) and the status byte (*STB?) that sums them up.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace vexcountd {

class ScpiStatus {
public:
    // Standard event status register bits.
    static constexpr int kOperationComplete = 1;
    static constexpr int kQueryError = 4;
    static constexpr int kDeviceError = 8;
    static constexpr int kExecutionError = 16;
    static constexpr int kCommandError = 32;
    // QUEStionable register: the frequency (and time) readings are in doubt.
    static constexpr int kQuestionableFrequency = 32;
    // Status byte bits.
    static constexpr int kQuestionableSummary = 8;
    static constexpr int kErrorQueueNotEmpty = 4;
    static constexpr int kEventSummary = 32;

    // Queues "<code>,"<standard text>; <detail>"" and sets the error's event
    // bit. A full queue (20) loses the error: its last entry becomes -350.
    void push(int code, std::string detail = {});
    // The oldest error, removed from the queue; 0,"No error" when none.
    std::string next();
    // *CLS: the queue and the event registers emptied (conditions stay).
    void clear();

    void setEvent(int bits) { m_esr |= bits; }
    // *ESR?: the event register, then cleared.
    int readEvents();
    int statusByte() const;

    // The questionable condition as the last reading found it; a bit that
    // becomes set is latched in the event register until it is read.
    void setQuestionable(int bits, bool set);
    int questionableCondition() const { return m_questionableCondition; }
    // STAT:QUES[:EVEN]?: the latched bits, then cleared.
    int readQuestionableEvents();

    // Errors queued since the session began (the metrics count them), and
    // command errors (-1xx) among them, which end a program message.
    uint64_t errorsQueued() const { return m_errorsQueued; }
    uint64_t commandErrors() const { return m_commandErrors; }

private:
    std::deque<std::string> m_errors; // oldest first
    int m_esr = 0;
    int m_questionableCondition = 0;
    int m_questionableEvents = 0;
    uint64_t m_errorsQueued = 0;
    uint64_t m_commandErrors = 0;
};

} // namespace vexcountd
