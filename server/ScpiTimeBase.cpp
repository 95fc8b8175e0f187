// The SCPI commands of reciprocal frequency, pulse widths, duty cycle and the
// reference oscillator; see SCPI.md. Widths and duty are measured by a
// frequency count and read from its measures.
#include "ScpiParser.h"
#include "ScpiSession.h"

#include <cmath>
#include <cstdio>

namespace vexcountd {
namespace {

std::string number(const char* format, double value) {
    char text[40];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string noResult() {
    return number("%.2E", ScpiSession::kNoResult);
}

} // namespace

std::string ScpiSession::measureResult(Function function, bool done,
                                       const vexengine::ChannelMeasures& m) const {
    double value = 0;
    switch (function) {
    case Function::Frequency:
        // Fewer than two rising edges have no reciprocal: the count answers.
        if (!m_reciprocal || std::isnan(m.reciprocalHz)) return {};
        value = m.reciprocalHz;
        break;
    case Function::PositiveWidth:
        value = m.positiveWidth;
        break;
    case Function::NegativeWidth:
        value = m.negativeWidth;
        break;
    case Function::DutyCycle:
        value = m.duty;
        break;
    default:
        return {};
    }
    return done && std::isfinite(value) ? number("%.9E", value) : noResult();
}

void ScpiSession::executeTimeBase(const scpi::Command& command) {
    using scpi::Header;
    Function function = Function::PositiveWidth;
    switch (command.header) {
    case Header::ConfPositiveWidth:
        configure(Function::PositiveWidth, command);
        return;
    case Header::ConfNegativeWidth:
        configure(Function::NegativeWidth, command);
        return;
    case Header::ConfDutyCycle:
        configure(Function::DutyCycle, command);
        return;
    case Header::MeasNegativeWidth:
        function = Function::NegativeWidth;
        [[fallthrough]];
    case Header::MeasDutyCycle:
        if (command.header == Header::MeasDutyCycle) function = Function::DutyCycle;
        [[fallthrough]];
    case Header::MeasPositiveWidth:
        if (configure(function, command) && initiate())
            startWait(Wait::Values, true);
        else
            m_replies.push_back(noResult());
        return;
    case Header::FrequencyMode:
        if (scpi::matchesMnemonic(command.parameters[0], "RECiprocal"))
            m_reciprocal = true;
        else if (scpi::matchesMnemonic(command.parameters[0], "COUNt"))
            m_reciprocal = false;
        else
            pushError(-224, "RECiprocal or COUNt");
        return;
    case Header::FrequencyModeQuery:
        m_replies.push_back(m_reciprocal ? "REC" : "COUN");
        return;
    default:
        break;
    }

    // The reference oscillator of the selected module.
    vexengine::TimeBase base;
    const bool known =
        !m_module.empty() && m_engine.timeBase(m_session, base) == vexengine::Result::ok;
    if (!known) pushError(-221, "no module selected (INST:SEL \"NAME\")");
    switch (command.header) {
    case Header::RoscSourceQuery: // what the counts take their time from now
        m_replies.push_back(known && base.locked ? "EXT" : "INT");
        return;
    case Header::RoscExternalFrequency:
        m_replies.push_back(known && base.external ? number("%.9E", base.referenceHz) : noResult());
        return;
    case Header::RoscExternalLock:
        m_replies.push_back(known && base.locked ? "1," + number("%+.6E", base.offsetPpm)
                                                 : "0," + noResult());
        return;
    default:
        return;
    }
}

} // namespace vexcountd
