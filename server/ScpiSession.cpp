// SCPI program messages to engine calls: the message loop, counts started
// and waited for, and their results; see ScpiSession.h and SCPI.md for
// every command and its reply.
#include "ScpiSession.h"

#include "ScpiParser.h"
#include "ScpiReplies.h"
#include "TcpProtocol.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vexcountd {
namespace {

using scpi::noResult;
using vexengine::Result;

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
                step.patience = vexengine::gateDuration(m_measuredSettings.gateCode);
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
        const uint64_t commandErrors = m_status.commandErrors();
        const std::size_t replies = m_replies.size();
        handlerOf(parsed.command->header)(*this, *parsed.command);
        // So does one its parameters deserve, and the query that made it
        // has no reply.
        if (m_status.commandErrors() != commandErrors) {
            m_replies.resize(replies);
            m_wait = Wait::None;
            break;
        }
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

void ScpiSession::resetSettings() {
    m_function = Function::Frequency;
    m_channels.clear();
    m_gateCode = 1;
    m_slopeRising[0] = m_slopeRising[1] = true;
    m_levelTenths[0] = m_levelTenths[1] = 14;
    m_armCodes = "--------";
    m_frequencyMode = vexengine::FrequencyMode::Reciprocal;
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
    pushError(-221, m_module + " keeps its fixed thresholds: " +
                        scpi::number("%.1f", m_levelTenths[0] / 10.0) + " V and " +
                        scpi::number("%.1f", m_levelTenths[1] / 10.0) + " V");
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
        // Channel numbers mean something only on a module.
        if (m_module.empty()) {
            pushError(-221, "no module selected (INST:SEL \"NAME\")");
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

void ScpiSession::measure(Function function, const scpi::Command& command) {
    if (configure(function, command) && initiate())
        startWait(Wait::Values, true);
    else
        m_replies.push_back(noResult());
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
    if (isFrequencyCount(m_function) && vexengine::endlessGate(m_gateCode)) {
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
    m_measuredSettings = std::move(settings);
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
    m_firstRetry = full ? std::max(vexengine::gateDuration(m_measuredSettings.gateCode),
                                   std::chrono::milliseconds(1))
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
                const auto i = static_cast<std::size_t>(c);
                return i < status.channelStates.size() &&
                       status.channelStates[i] == vexengine::kChannelCounting;
            });
            break;
        case Function::Totalize: // an endless total is read while it runs
            done = vexengine::endlessGate(m_measuredSettings.gateCode);
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
            m_replies.push_back(noResult());
        }
    }
    return true;
}

std::string ScpiSession::results(const vexengine::CounterStatus& status) {
    const std::size_t channels = status.channelStates.size();
    std::vector<int64_t> counts;
    std::vector<vexengine::ChannelMeasures> measures;
    // The module may go away between the status read and these: its values
    // are then unknown, and the count with them.
    const bool read =
        m_engine.counts(m_session, static_cast<int>(channels), counts) == Result::ok &&
        counts.size() >= channels && m_engine.measures(m_session, measures) == Result::ok;
    if (!read) {
        pushError(-230, "module " + m_module + " was lost during the count");
        m_initiated = false;
        std::string text;
        for (std::size_t i = 0; i < m_measuredChannels.size(); ++i)
            text += (i ? "," : "") + noResult();
        return text;
    }
    measures.resize(channels);
    checkReferenced(measures);
    std::string text;
    for (const int c : m_measuredChannels) {
        const auto i = static_cast<std::size_t>(c);
        const uint32_t state = i < channels ? status.channelStates[i] : vexengine::kChannelIdle;
        const int64_t count = i < channels ? counts[i] : 0;
        const vexengine::ChannelMeasures m =
            i < channels ? measures[i] : vexengine::ChannelMeasures{};
        std::string value;
        switch (m_measuredFunction) {
        case Function::Frequency:
            value = scpi::reading(
                vexengine::frequencyValue(m_frequencyMode, m_measuredSettings, state, count, m));
            break;
        case Function::Period:
            value = scpi::reading(vexengine::countValue(m_measuredSettings, state, count));
            break;
        case Function::Totalize: // events; an endless total is read as it runs
            value = std::isnan(vexengine::countValue(m_measuredSettings, state, count, true))
                        ? noResult()
                        : std::to_string(count);
            break;
        case Function::PositiveWidth:
            value = scpi::reading(vexengine::measureValue(state, m.positiveWidth));
            break;
        case Function::NegativeWidth:
            value = scpi::reading(vexengine::measureValue(state, m.negativeWidth));
            break;
        case Function::DutyCycle:
            value = scpi::reading(vexengine::measureValue(state, m.duty));
            break;
        }
        text += (text.empty() ? "" : ",") + value;
    }
    return text;
}

} // namespace vexcountd
