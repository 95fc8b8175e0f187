// Error queue and status registers of one SCPI client; see ScpiStatus.h.
#include "ScpiStatus.h"

#include "ScpiParser.h"
#include "ScpiReplies.h"

#include <utility>

namespace vexcountd {
namespace {

constexpr std::size_t kMaxQueuedErrors = 20;

// The event register bit of an error number's class.
int eventBit(int code) {
    if (code <= -100 && code > -200) return ScpiStatus::kCommandError;
    if (code <= -200 && code > -300) return ScpiStatus::kExecutionError;
    if (code <= -300 && code > -400) return ScpiStatus::kDeviceError;
    if (code <= -400) return ScpiStatus::kQueryError;
    return 0;
}

} // namespace

void ScpiStatus::push(int code, std::string detail) {
    ++m_errorsQueued;
    if (eventBit(code) == kCommandError) ++m_commandErrors;
    // A reply must never carry a control character, and details may repeat
    // what the client sent; quotes inside the quoted text are doubled.
    if (detail.size() > 80) detail.resize(80);
    for (char& c : detail)
        if (c < ' ' || c >= 0x7f) c = '?';
    std::string text(scpi::errorMessage(code));
    if (!detail.empty()) text += "; " + detail;
    // The event bits record that the error happened, whether or not the
    // queue has room for it; a lost error is itself a device-dependent one.
    m_esr |= eventBit(code);
    if (m_errors.size() >= kMaxQueuedErrors) {
        m_errors.back() = "-350,\"Queue overflow\"";
        m_esr |= eventBit(-350);
        return;
    }
    m_errors.push_back(std::to_string(code) + "," + scpi::quoted(text));
}

std::string ScpiStatus::next() {
    if (m_errors.empty()) return "0,\"No error\"";
    std::string oldest = std::move(m_errors.front());
    m_errors.pop_front();
    return oldest;
}

void ScpiStatus::clear() {
    m_errors.clear();
    m_esr = 0;
    m_questionableEvents = 0;
}

int ScpiStatus::readEvents() {
    return std::exchange(m_esr, 0);
}

int ScpiStatus::statusByte() const {
    return (m_errors.empty() ? 0 : kErrorQueueNotEmpty) | (m_esr ? kEventSummary : 0) |
           (m_questionableEvents ? kQuestionableSummary : 0);
}

void ScpiStatus::setQuestionable(int bits, bool set) {
    if (set) {
        m_questionableCondition |= bits;
        m_questionableEvents |= bits;
    } else {
        m_questionableCondition &= ~bits;
    }
}

int ScpiStatus::readQuestionableEvents() {
    return std::exchange(m_questionableEvents, 0);
}

} // namespace vexcountd
