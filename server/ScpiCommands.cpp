// The SCPI command table: one handler per header, in the order of
// scpi::Header, and the handlers of the common, system, instrument,
// configuration, sense, input, arm and trigger commands; see SCPI.md.
#include "ScpiParser.h"
#include "ScpiReplies.h"
#include "ScpiSession.h"

#include <array>
#include <cmath>
#include <limits>
#include <utility>

namespace vexcountd {

using scpi::Command;
using scpi::Header;
using vexengine::Result;

ScpiSession::Handler ScpiSession::handlerOf(Header header) {
    using S = ScpiSession;
    static constexpr std::array<std::pair<Header, Handler>, scpi::kHeaderCount> kHandlers{{
        {Header::Identify,
         [](S& s, const Command&) {
             const vexengine::ServerIdentity identity = s.m_engine.identity();
             s.m_replies.push_back("Vex," + identity.name + ",0," + identity.version);
         }},
        {Header::Reset,
         [](S& s, const Command&) {
             s.abort();
             s.resetSettings();
             s.applyLevels();
             s.m_initiated = false;
         }},
        {Header::Clear, [](S& s, const Command&) { s.m_status.clear(); }},
        {Header::OpcQuery, [](S& s, const Command&) { s.startWait(Wait::Opc, false); }},
        // Every operation is complete once its command has run.
        {Header::Opc,
         [](S& s, const Command&) { s.m_status.setEvent(ScpiStatus::kOperationComplete); }},
        {Header::Wait, [](S& s, const Command&) { s.startWait(Wait::Silent, false); }},
        {Header::EsrQuery,
         [](S& s, const Command&) {
             s.m_replies.push_back(std::to_string(s.m_status.readEvents()));
         }},
        {Header::StbQuery,
         [](S& s, const Command&) {
             s.m_replies.push_back(std::to_string(s.m_status.statusByte()));
         }},
        {Header::SelfTest, [](S& s, const Command&) { s.m_replies.push_back("0"); }},
        {Header::ErrorQuery,
         [](S& s, const Command&) { s.m_replies.push_back(s.m_status.next()); }},
        {Header::VersionQuery, [](S& s, const Command&) { s.m_replies.push_back("1999.0"); }},
        {Header::Catalog,
         [](S& s, const Command&) {
             std::string list;
             for (const vexengine::ModuleEntry& entry : s.m_engine.modules())
                 if (entry.present) list += (list.empty() ? "" : ",") + scpi::quoted(entry.name);
             s.m_replies.push_back(list.empty() ? "\"\"" : list);
         }},
        {Header::Select, [](S& s, const Command& c) { s.select(c); }},
        {Header::SelectQuery,
         [](S& s, const Command&) { s.m_replies.push_back(scpi::quoted(s.m_module)); }},
        {Header::ConfFrequency,
         [](S& s, const Command& c) { s.configure(Function::Frequency, c); }},
        {Header::ConfPeriod, [](S& s, const Command& c) { s.configure(Function::Period, c); }},
        {Header::ConfTotalize, [](S& s, const Command& c) { s.configure(Function::Totalize, c); }},
        {Header::ConfQuery, [](S& s, const Command&) { s.configurationQuery(); }},
        {Header::GateTime, [](S& s, const Command& c) { s.gateTime(c); }},
        {Header::GateTimeQuery,
         [](S& s, const Command&) {
             s.m_replies.push_back(
                 vexengine::endlessGate(s.m_gateCode)
                     ? "9.9E+37"
                     : scpi::number("%.1E", vexengine::gateSeconds(s.m_gateCode)));
         }},
        {Header::Slope, [](S& s, const Command& c) { s.slope(c, false); }},
        {Header::SlopeQuery, [](S& s, const Command& c) { s.slope(c, true); }},
        {Header::Level, [](S& s, const Command& c) { s.level(c, false); }},
        {Header::LevelQuery, [](S& s, const Command& c) { s.level(c, true); }},
        {Header::ArmCodes, [](S& s, const Command& c) { s.armCodes(c); }},
        {Header::ArmCodesQuery,
         [](S& s, const Command&) { s.m_replies.push_back(scpi::quoted(s.m_armCodes)); }},
        {Header::Initiate, [](S& s, const Command&) { s.initiate(); }},
        {Header::Abort, [](S& s, const Command&) { s.abort(); }},
        {Header::Fetch, [](S& s, const Command&) { s.fetch(); }},
        {Header::Read,
         [](S& s, const Command&) {
             if (s.initiate())
                 s.startWait(Wait::Values, true);
             else
                 s.m_replies.push_back(scpi::noResult());
         }},
        {Header::MeasFrequency, [](S& s, const Command& c) { s.measure(Function::Frequency, c); }},
        {Header::MeasPeriod, [](S& s, const Command& c) { s.measure(Function::Period, c); }},
        {Header::MeasTotalize, [](S& s, const Command& c) { s.measure(Function::Totalize, c); }},
        {Header::ConfPositiveWidth,
         [](S& s, const Command& c) { s.configure(Function::PositiveWidth, c); }},
        {Header::ConfNegativeWidth,
         [](S& s, const Command& c) { s.configure(Function::NegativeWidth, c); }},
        {Header::ConfDutyCycle,
         [](S& s, const Command& c) { s.configure(Function::DutyCycle, c); }},
        {Header::MeasPositiveWidth,
         [](S& s, const Command& c) { s.measure(Function::PositiveWidth, c); }},
        {Header::MeasNegativeWidth,
         [](S& s, const Command& c) { s.measure(Function::NegativeWidth, c); }},
        {Header::MeasDutyCycle, [](S& s, const Command& c) { s.measure(Function::DutyCycle, c); }},
        {Header::FrequencyMode, [](S& s, const Command& c) { s.frequencyMode(c); }},
        {Header::FrequencyModeQuery, [](S& s, const Command&) { s.frequencyModeQuery(); }},
        {Header::RoscSourceQuery, [](S& s, const Command& c) { s.referenceOscillator(c); }},
        {Header::RoscExternalFrequency, [](S& s, const Command& c) { s.referenceOscillator(c); }},
        {Header::RoscExternalLock, [](S& s, const Command& c) { s.referenceOscillator(c); }},
        {Header::QuestionableEventQuery,
         [](S& s, const Command&) {
             s.m_replies.push_back(std::to_string(s.m_status.readQuestionableEvents()));
         }},
        {Header::QuestionableConditionQuery,
         [](S& s, const Command&) {
             s.m_replies.push_back(std::to_string(s.m_status.questionableCondition()));
         }},
    }};
    // Every header has its entry, at its own place.
    static_assert([] {
        for (std::size_t i = 0; i < kHandlers.size(); ++i)
            if (static_cast<std::size_t>(kHandlers[i].first) != i) return false;
        return true;
    }());
    return kHandlers[static_cast<std::size_t>(header)].second;
}

void ScpiSession::select(const Command& command) {
    const std::string& written = command.parameters[0];
    auto name = scpi::parseString(written);
    if (!name) return pushError(-104, "a module name, e.g. \"QVSIMC01\"");
    // A bare word is character data, which SCPI matches in any case; a
    // quoted string is taken as written.
    if (written.front() != '"' && written.front() != '\'') *name = moduleNamed(*name);
    abort();
    m_initiated = false;
    switch (m_engine.openModule(m_session, *name)) {
    case Result::ok:
        m_module = *name;
        if (!applyLevels()) levelConflict();
        return;
    case Result::moduleTaken:
        return pushError(-221, "module " + *name + " is in use by another client");
    case Result::noSuchModule:
        return pushError(-224, "no module " + *name + " (see INST:CAT?)");
    default:
        return pushError(-224, "cannot select " + *name);
    }
}

void ScpiSession::configurationQuery() {
    static const char* names[] = {"FREQ", "PER", "TOT", "PWID", "NWID", "DCYC"};
    std::string text = names[static_cast<int>(m_function)];
    if (!m_channels.empty()) {
        text += " (@";
        for (std::size_t i = 0; i < m_channels.size(); ++i)
            text += (i ? "," : "") + std::to_string(m_channels[i]);
        text += ")";
    }
    m_replies.push_back(scpi::quoted(text));
}

void ScpiSession::gateTime(const Command& command) {
    const auto seconds = scpi::parseNumber(
        command.parameters[0], {0.1, 10.0, 1.0, std::numeric_limits<double>::infinity()});
    if (!seconds) return pushError(-104, "seconds: 0.1, 1, 10 or INF");
    // The path as written, in any case and either form: "SENS:FREQ:GATE",
    // "sense:Frequency:gate". 9.9E37 is SCPI's infinity.
    const bool frequency = scpi::pathHasNode(command.path, "FREQuency");
    const int32_t code = vexengine::gateCodeForSeconds(
        *seconds >= 9.9e37 ? std::numeric_limits<double>::infinity() : *seconds);
    if (vexengine::endlessGate(code) && frequency)
        return pushError(-221, "a frequency count needs a finite gate");
    if (code < 0) return pushError(-222, "gate time 0.1, 1, 10 or INF");
    m_gateCode = code;
}

void ScpiSession::slope(const Command& command, bool query) {
    if (command.suffix != 1 && command.suffix != 2)
        return pushError(-113, "SLOPe1 or SLOPe2 (first or second edge)");
    bool& rising = m_slopeRising[command.suffix - 1];
    if (query)
        m_replies.push_back(rising ? "POS" : "NEG");
    else if (scpi::matchesMnemonic(command.parameters[0], "POSitive"))
        rising = true;
    else if (scpi::matchesMnemonic(command.parameters[0], "NEGative"))
        rising = false;
    else
        pushError(-224, "POSitive or NEGative");
}

void ScpiSession::level(const Command& command, bool query) {
    if (command.suffix != 1 && command.suffix != 2) return pushError(-113, "LEVel1 or LEVel2");
    int& tenths = m_levelTenths[command.suffix - 1];
    if (query) {
        m_replies.push_back(scpi::number("%.1f", tenths / 10.0));
        return;
    }
    const auto volts = scpi::parseNumber(command.parameters[0], {0.8, 2.5, 1.4, {}});
    if (!volts) return pushError(-104, "volts, 0.8 to 2.5");
    const double scaled = *volts * 10;
    if (!(scaled > 7.999 && scaled < 25.001) || std::abs(scaled - std::round(scaled)) > 1e-6)
        return pushError(-222, "volts 0.8 to 2.5 in steps of 0.1");
    tenths = static_cast<int>(std::lround(scaled));
    if (!applyLevels()) levelConflict();
}

void ScpiSession::armCodes(const Command& command) {
    auto codes = scpi::parseString(command.parameters[0]);
    if (codes)
        for (char& c : *codes)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!codes || codes->size() != 8 || codes->find_first_not_of("01RFE-") != std::string::npos)
        return pushError(-224, "8 codes of 01RFE- for channels 0 to 7");
    m_armCodes = *codes;
}

// A measurement query that cannot measure still answers, with the "no
// result" value, so that a client never waits for a reply in vain.
void ScpiSession::fetch() {
    if (!m_initiated) {
        pushError(-230, "no measurement: INIT, READ? or MEAS? first");
        m_replies.push_back(scpi::noResult());
        return;
    }
    startWait(Wait::Values, false);
}

} // namespace vexcountd
