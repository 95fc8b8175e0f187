// SCPI program messages to engine calls; see ScpiSession.h and SCPI.md for
// every command and its reply.
#include "ScpiSession.h"

#include "ScpiParser.h"
#include "TcpProtocol.h"
#include "vexif.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

namespace vexcountd {
namespace {

using vexengine::Result;

constexpr std::size_t kMaxQueuedErrors = 20;
constexpr double kInfinite = std::numeric_limits<double>::infinity();

std::string number(const char* format, double value) {
    char text[40];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

std::chrono::milliseconds gateLength(int gateCode) {
    switch (gateCode) {
    case 0:
        return std::chrono::milliseconds(100);
    case 1:
        return std::chrono::milliseconds(1000);
    case 2:
        return std::chrono::milliseconds(10000);
    }
    return std::chrono::milliseconds(0);
}

} // namespace

ScpiSession::ScpiSession(vexengine::Engine& engine)
    : m_engine(engine), m_session(engine.openSession()) {}

ScpiSession::~ScpiSession() {
    release();
}

void ScpiSession::release() {
    if (m_session == 0) return;
    m_engine.closeSession(m_session);
    m_session = 0;
}

void ScpiSession::lineTooLong() {
    pushError(-223, "line longer than " + std::to_string(vexif::wire::kMaxRequestBytes) + " bytes");
}

void ScpiSession::pushError(int code, std::string detail) {
    ++m_errorsQueued;
    // A reply must never carry a control character, and details may repeat
    // what the client sent; quotes inside the quoted text are doubled.
    if (detail.size() > 80) detail.resize(80);
    for (char& c : detail)
        if (c < ' ' || c >= 0x7f) c = '?';
    std::string text(scpi::errorMessage(code));
    if (!detail.empty()) text += "; " + detail;
    // The event bits record that the error happened, whether or not the
    // queue has room for it; a lost error is itself a device-dependent one.
    setEventBit(code);
    if (m_errors.size() >= kMaxQueuedErrors) {
        m_errors.back() = "-350,\"Queue overflow\"";
        setEventBit(-350);
        return;
    }
    m_errors.push_back(std::to_string(code) + "," + quoted(text));
}

void ScpiSession::setEventBit(int code) {
    if (code <= -100 && code > -200) m_esr |= 32; // command error
    if (code <= -200 && code > -300) m_esr |= 16; // execution error
    if (code <= -300 && code > -400) m_esr |= 8;  // device-dependent error
    if (code <= -400) m_esr |= 4;                 // query error
}

ScpiSession::Step ScpiSession::handleLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) return {};
    m_commands.clear();
    m_replies.clear();
    m_next = 0;
    m_path.clear();
    m_wait = Wait::None;
    Step refused;
    refused.request = true;
    // The connection's framer lets one more byte through for a carriage
    // return; the limit is on the message itself.
    if (line.size() > vexif::wire::kMaxRequestBytes) {
        lineTooLong();
        return refused;
    }
    auto commands = scpi::splitMessage(line);
    if (!commands) {
        pushError(-102, "unbalanced quote or parenthesis");
        return refused;
    }
    // A program message may end with a separator ("*IDN?;"): the empty
    // command after it is no command.
    if (commands->size() > 1 && commands->back().find_first_not_of(" \t") == std::string::npos)
        commands->pop_back();
    m_commands = std::move(*commands);
    return run(false);
}

ScpiSession::Step ScpiSession::resume(bool giveUp) {
    return run(giveUp);
}

ScpiSession::Step ScpiSession::run(bool giveUp) {
    Step step;
    step.request = true;
    while (m_next < m_commands.size()) {
        if (m_wait != Wait::None) {
            if (!finishWait(giveUp)) {
                step.waiting = true;
                step.retryIn = std::exchange(m_firstRetry, std::chrono::milliseconds(1));
                step.patience = gateLength(m_measuredGate);
                return step;
            }
            ++m_next;
            continue;
        }
        const scpi::ParsedCommand parsed = scpi::parseCommand(m_commands[m_next], m_path);
        if (!parsed.command) {
            // A command error ends the message: what follows it may depend on it.
            pushError(parsed.error.code, parsed.error.detail);
            break;
        }
        m_path = parsed.command->path;
        execute(*parsed.command);
        if (m_wait == Wait::None) ++m_next;
    }
    m_commands.clear();
    m_next = 0;
    if (!m_replies.empty()) {
        step.hasReply = true;
        for (std::size_t i = 0; i < m_replies.size(); ++i)
            step.reply += (i ? ";" : "") + m_replies[i];
        m_replies.clear();
    }
    return step;
}

void ScpiSession::execute(const scpi::Command& command) {
    using scpi::Header;
    const auto& parameters = command.parameters;
    switch (command.header) {
    case Header::Identify: {
        const vexengine::ServerIdentity identity = m_engine.identity();
        m_replies.push_back("Vex," + identity.name + ",0," + identity.version);
        return;
    }
    case Header::Reset:
        abort();
        resetSettings();
        applyLevels();
        m_initiated = false;
        return;
    case Header::Clear:
        m_errors.clear();
        m_esr = 0;
        return;
    case Header::OpcQuery:
        startWait(Wait::Opc, false);
        return;
    case Header::Opc:
        m_esr |= 1; // every operation is complete once its command has run
        return;
    case Header::Wait:
        startWait(Wait::Silent, false);
        return;
    case Header::EsrQuery:
        m_replies.push_back(std::to_string(std::exchange(m_esr, 0)));
        return;
    case Header::StbQuery:
        m_replies.push_back(std::to_string((m_errors.empty() ? 0 : 4) | (m_esr ? 32 : 0)));
        return;
    case Header::SelfTest:
        m_replies.push_back("0");
        return;
    case Header::ErrorQuery:
        if (m_errors.empty()) {
            m_replies.push_back("0,\"No error\"");
        } else {
            m_replies.push_back(m_errors.front());
            m_errors.pop_front();
        }
        return;
    case Header::VersionQuery:
        m_replies.push_back("1999.0");
        return;
    case Header::Catalog: {
        std::string list;
        for (const vexengine::ModuleEntry& entry : m_engine.modules())
            if (entry.present) list += (list.empty() ? "" : ",") + quoted(entry.name);
        m_replies.push_back(list.empty() ? "\"\"" : list);
        return;
    }
    case Header::Select: {
        auto name = scpi::parseString(parameters[0]);
        if (!name) return pushError(-104, "a module name, e.g. \"QVSIMC01\"");
        // A bare word is character data, which SCPI matches in any case; a
        // quoted string is taken as written.
        const char first = parameters[0].front();
        if (first != '"' && first != '\'') *name = moduleNamed(*name);
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
    case Header::SelectQuery:
        m_replies.push_back(quoted(m_module));
        return;
    case Header::ConfFrequency:
        configure(Function::Frequency, command);
        return;
    case Header::ConfPeriod:
        configure(Function::Period, command);
        return;
    case Header::ConfTotalize:
        configure(Function::Totalize, command);
        return;
    case Header::ConfQuery: {
        static const char* names[] = {"FREQ", "PER", "TOT", "PWID", "NWID", "DCYC"};
        std::string text = names[static_cast<int>(m_function)];
        if (!m_channels.empty()) {
            text += " (@";
            for (std::size_t i = 0; i < m_channels.size(); ++i)
                text += (i ? "," : "") + std::to_string(m_channels[i]);
            text += ")";
        }
        m_replies.push_back(quoted(text));
        return;
    }
    case Header::GateTime: {
        const auto seconds = scpi::parseNumber(parameters[0], {0.1, 10.0, 1.0, kInfinite});
        if (!seconds) return pushError(-104, "seconds: 0.1, 1, 10 or INF");
        // The path as written, in any case and either form: "SENS:FREQ:GATE",
        // "sense:Frequency:gate".
        const bool frequency = scpi::pathHasNode(command.path, "FREQuency");
        const double s = *seconds;
        if (s >= 9.9e37) {
            if (frequency) return pushError(-221, "a frequency count needs a finite gate");
            m_gateCode = 7;
        } else if (std::abs(s - 0.1) < 1e-9) {
            m_gateCode = 0;
        } else if (std::abs(s - 1) < 1e-9) {
            m_gateCode = 1;
        } else if (std::abs(s - 10) < 1e-9) {
            m_gateCode = 2;
        } else {
            return pushError(-222, "gate time 0.1, 1, 10 or INF");
        }
        return;
    }
    case Header::GateTimeQuery:
        m_replies.push_back(m_gateCode == 7 ? "9.9E+37"
                                            : number("%.1E", gateLength(m_gateCode).count() / 1e3));
        return;
    case Header::Slope:
    case Header::SlopeQuery: {
        if (command.suffix != 1 && command.suffix != 2)
            return pushError(-113, "SLOPe1 or SLOPe2 (first or second edge)");
        bool& rising = m_slopeRising[command.suffix - 1];
        if (command.header == Header::SlopeQuery) {
            m_replies.push_back(rising ? "POS" : "NEG");
        } else if (scpi::matchesMnemonic(parameters[0], "POSitive")) {
            rising = true;
        } else if (scpi::matchesMnemonic(parameters[0], "NEGative")) {
            rising = false;
        } else {
            pushError(-224, "POSitive or NEGative");
        }
        return;
    }
    case Header::Level:
    case Header::LevelQuery: {
        if (command.suffix != 1 && command.suffix != 2) return pushError(-113, "LEVel1 or LEVel2");
        int& tenths = m_levelTenths[command.suffix - 1];
        if (command.header == Header::LevelQuery) {
            m_replies.push_back(number("%.1f", tenths / 10.0));
            return;
        }
        const auto volts = scpi::parseNumber(parameters[0], {0.8, 2.5, 1.4, {}});
        if (!volts) return pushError(-104, "volts, 0.8 to 2.5");
        const double scaled = *volts * 10;
        if (!(scaled > 7.999 && scaled < 25.001) || std::abs(scaled - std::round(scaled)) > 1e-6)
            return pushError(-222, "volts 0.8 to 2.5 in steps of 0.1");
        tenths = static_cast<int>(std::lround(scaled));
        if (!applyLevels()) levelConflict();
        return;
    }
    case Header::ArmCodes: {
        auto codes = scpi::parseString(parameters[0]);
        if (codes)
            for (char& c : *codes)
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!codes || codes->size() != 8 || codes->find_first_not_of("01RFE-") != std::string::npos)
            return pushError(-224, "8 codes of 01RFE- for channels 0 to 7");
        m_armCodes = *codes;
        return;
    }
    case Header::ArmCodesQuery:
        m_replies.push_back(quoted(m_armCodes));
        return;
    case Header::Initiate:
        initiate();
        return;
    case Header::Abort:
        abort();
        return;
    // A measurement query that cannot measure still answers, with the "no
    // result" value, so that a client never waits for a reply in vain.
    case Header::Fetch:
        if (!m_initiated) {
            pushError(-230, "no measurement: INIT, READ? or MEAS? first");
            m_replies.push_back(number("%.2E", kNoResult));
            return;
        }
        startWait(Wait::Values, false);
        return;
    case Header::Read:
        if (initiate())
            startWait(Wait::Values, true);
        else
            m_replies.push_back(number("%.2E", kNoResult));
        return;
    case Header::MeasFrequency:
    case Header::MeasPeriod:
    case Header::MeasTotalize: {
        const bool configured =
            configure(command.header == Header::MeasFrequency ? Function::Frequency
                      : command.header == Header::MeasPeriod  ? Function::Period
                                                              : Function::Totalize,
                      command);
        if (configured && initiate())
            startWait(Wait::Values, true);
        else
            m_replies.push_back(number("%.2E", kNoResult));
        return;
    }
    case Header::ConfPositiveWidth:
    case Header::ConfNegativeWidth:
    case Header::ConfDutyCycle:
    case Header::MeasPositiveWidth:
    case Header::MeasNegativeWidth:
    case Header::MeasDutyCycle:
    case Header::FrequencyMode:
    case Header::FrequencyModeQuery:
    case Header::RoscSourceQuery:
    case Header::RoscExternalFrequency:
    case Header::RoscExternalLock:
        executeTimeBase(command);
        return;
    }
}

void ScpiSession::resetSettings() {
    m_function = Function::Frequency;
    m_channels.clear();
    m_gateCode = 1;
    m_slopeRising[0] = m_slopeRising[1] = true;
    m_levelTenths[0] = m_levelTenths[1] = 14;
    m_armCodes = "--------";
    m_reciprocal = true;
}

bool ScpiSession::applyLevels() {
    if (m_module.empty()) return true;
    bool applied = true;
    for (int which = 0; which < 2; ++which) {
        int real = 0;
        if (m_engine.setThreshold(m_session, which, m_levelTenths[which]) != Result::ok ||
            m_engine.threshold(m_session, which, real) != Result::ok ||
            real == m_levelTenths[which])
            continue;
        m_levelTenths[which] = real;
        applied = false;
    }
    return applied;
}

void ScpiSession::levelConflict() {
    pushError(-221, m_module +
                        " keeps its fixed thresholds: " + number("%.1f", m_levelTenths[0] / 10.0) +
                        " V and " + number("%.1f", m_levelTenths[1] / 10.0) + " V");
}

std::string ScpiSession::moduleNamed(const std::string& word) const {
    std::string match = word;
    for (const vexengine::ModuleEntry& entry : m_engine.modules()) {
        if (entry.name == word) return word;
        if (scpi::equalsIgnoringCase(entry.name, word)) match = entry.name;
    }
    return match;
}

bool ScpiSession::configure(Function function, const scpi::Command& command) {
    std::vector<int> channels;
    if (!command.parameters.empty()) {
        const auto list = scpi::parseChannelList(command.parameters[0]);
        if (!list) {
            pushError(-102, "channel list, e.g. (@0,1) or (@0:17)");
            return false;
        }
        channels = *list;
    }
    abort();
    m_initiated = false;
    m_function = function;
    m_channels = std::move(channels);
    m_gateCode = 1; // every function starts with the 1 s gate
    return true;
}

std::vector<int> ScpiSession::measuredChannels(int channelCount) const {
    if (!m_channels.empty()) return m_channels;
    std::vector<int> all(static_cast<std::size_t>(channelCount));
    for (int i = 0; i < channelCount; ++i)
        all[static_cast<std::size_t>(i)] = i;
    return all;
}

bool ScpiSession::initiate() {
    int channels = 0;
    if (m_module.empty() || m_engine.channelCount(m_session, channels) != Result::ok) {
        pushError(-221, "no module selected (INST:SEL \"NAME\")");
        return false;
    }
    if (isFrequencyCount(m_function) && m_gateCode == 7) {
        pushError(-221, "a frequency count needs a finite gate");
        return false;
    }
    std::vector<int> measured = measuredChannels(channels);
    for (const int c : measured)
        if (c < 0 || c >= channels) {
            pushError(-222, "channel " + std::to_string(c) + " of " + m_module + " (0 to " +
                                std::to_string(channels - 1) + ")");
            return false;
        }
    applyLevels();
    vexengine::CountSettings settings;
    settings.counterType = isFrequencyCount(m_function) ? 0 : static_cast<int32_t>(m_function);
    settings.edgeCode = (m_slopeRising[0] ? 1 : 0) | (m_slopeRising[1] ? 2 : 0);
    settings.gateCode = m_gateCode;
    settings.channelCodes = m_armCodes;
    if (m_engine.startCount(m_session, settings) != Result::ok) {
        pushError(-221, "the count did not start");
        return false;
    }
    m_initiated = true;
    m_measuredFunction = m_function;
    m_measuredGate = m_gateCode;
    m_measuredChannels = std::move(measured);
    return true;
}

void ScpiSession::abort() {
    if (!m_module.empty()) m_engine.stopCount(m_session);
}

void ScpiSession::startWait(Wait kind, bool startedHere) {
    m_wait = kind;
    // A count started by this very query is first looked at when its gate
    // should have closed; otherwise after a millisecond, and then every one.
    // A period count may end before its gate does, so it is looked at early.
    const bool full = startedHere && m_measuredFunction != Function::Period;
    m_firstRetry = full ? std::max(gateLength(m_measuredGate), std::chrono::milliseconds(1))
                        : std::chrono::milliseconds(1);
}

bool ScpiSession::finishWait(bool giveUp) {
    const Wait kind = m_wait;
    vexengine::CounterStatus status;
    bool done = true;
    int channels = 0;
    const bool counting = m_initiated && m_engine.channelCount(m_session, channels) == Result::ok &&
                          m_engine.counterStatus(m_session, channels, status) == Result::ok;
    if (counting && status.busy) {
        switch (m_measuredFunction) {
        case Function::Frequency:
        case Function::PositiveWidth:
        case Function::NegativeWidth:
        case Function::DutyCycle:
            done = false;
            break;
        case Function::Period: // done once every measured channel is
            done = std::none_of(m_measuredChannels.begin(), m_measuredChannels.end(), [&](int c) {
                return status.channelStates[static_cast<std::size_t>(c)] == QV_CH_COUNTING;
            });
            break;
        case Function::Totalize: // an endless total is read while it runs
            done = m_measuredGate == 7;
            break;
        }
    }
    if (!done && !giveUp) return false;
    m_wait = Wait::None;
    if (!done) pushError(-214, "no result within the wait limit");
    if (kind == Wait::Opc) m_replies.push_back("1");
    if (kind == Wait::Values) {
        if (counting) {
            m_replies.push_back(results(status));
        } else {
            pushError(-230, "the module was released");
            m_replies.push_back(number("%.2E", kNoResult));
        }
    }
    return true;
}

std::string ScpiSession::results(const vexengine::CounterStatus& status) {
    std::vector<int64_t> counts;
    m_engine.counts(m_session, static_cast<int>(status.channelStates.size()), counts);
    std::vector<vexengine::ChannelMeasures> measures;
    m_engine.measures(m_session, measures);
    measures.resize(status.channelStates.size());
    std::string text;
    for (const int c : m_measuredChannels) {
        const auto i = static_cast<std::size_t>(c);
        const bool done = status.channelStates[i] == QV_CH_DONE;
        const double count = static_cast<double>(counts[i]);
        std::string value = measureResult(m_measuredFunction, done, measures[i]);
        if (!value.empty()) {
            text += (text.empty() ? "" : ",") + value;
            continue;
        }
        switch (m_measuredFunction) {
        case Function::Frequency: // Hz; exact for the 0.1 s, 1 s and 10 s gates
            value = !done                 ? number("%.2E", kNoResult)
                    : m_measuredGate == 0 ? number("%.9E", count * 10)
                    : m_measuredGate == 2 ? number("%.9E", count / 10)
                                          : number("%.9E", count);
            break;
        case Function::Period: // seconds: 64 intervals in 10 ns ticks
            value = done && counts[i] > 0 ? number("%.9E", count * 10 / 64 * 1e-9)
                                          : number("%.2E", kNoResult);
            break;
        case Function::Totalize: // events
            value = std::to_string(counts[i]);
            break;
        default:
            break;
        }
        text += (text.empty() ? "" : ",") + value;
    }
    return text;
}

} // namespace vexcountd
