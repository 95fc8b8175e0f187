// The SCPI commands of the frequency mode (count, reciprocal, regression)
// and of the reference oscillator, and the questionable flag of a count its
// reference did not time; see SCPI.md.
#include "ScpiParser.h"
#include "ScpiReplies.h"
#include "ScpiSession.h"

namespace vexcountd {

using vexengine::FrequencyMode;

void ScpiSession::frequencyMode(const scpi::Command& command) {
    const std::string& word = command.parameters[0];
    if (scpi::matchesMnemonic(word, "RECiprocal"))
        m_frequencyMode = FrequencyMode::Reciprocal;
    else if (scpi::matchesMnemonic(word, "COUNt"))
        m_frequencyMode = FrequencyMode::Count;
    else if (scpi::matchesMnemonic(word, "REGRession"))
        m_frequencyMode = FrequencyMode::Regression;
    else
        pushError(-224, "RECiprocal, COUNt or REGRession");
}

void ScpiSession::frequencyModeQuery() {
    m_replies.push_back(m_frequencyMode == FrequencyMode::Reciprocal ? "REC"
                        : m_frequencyMode == FrequencyMode::Count    ? "COUN"
                                                                     : "REGR");
}

void ScpiSession::referenceOscillator(const scpi::Command& command) {
    using scpi::Header;
    vexengine::TimeBase base;
    const bool known =
        !m_module.empty() && m_engine.timeBase(m_session, base) == vexengine::Result::ok;
    if (!known) pushError(-221, "no module selected (INST:SEL \"NAME\")");
    switch (command.header) {
    case Header::RoscSourceQuery: // what the counts take their time from now
        m_replies.push_back(known && base.locked ? "EXT" : "INT");
        return;
    case Header::RoscExternalFrequency:
        m_replies.push_back(known && base.external ? scpi::reading(base.referenceHz)
                                                   : scpi::noResult());
        return;
    case Header::RoscExternalLock:
        m_replies.push_back(known && base.locked ? "1," + scpi::number("%+.6E", base.offsetPpm)
                                                 : "0," + scpi::noResult());
        return;
    default:
        return;
    }
}

void ScpiSession::checkReferenced(const std::vector<vexengine::ChannelMeasures>& measures) {
    vexengine::TimeBase base;
    const bool questionable = m_engine.timeBase(m_session, base) == vexengine::Result::ok &&
                              vexengine::unreferenced(base, measures);
    m_status.setQuestionable(ScpiStatus::kQuestionableFrequency, questionable);
    if (questionable) pushError(-231, "not timed by the reference of " + m_module + ": not locked");
}

} // namespace vexcountd
