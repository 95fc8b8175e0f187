// Request lines to engine calls and back; see ClientSession.h and
// PROTOCOL.md for the reply of every command.
#include "ClientSession.h"

#include "Readings.h"
#include "RequestParser.h"
#include "TcpProtocol.h"
#include "vexif.h"

#include <variant>

namespace vexcountd {
namespace {

using vexengine::Result;
namespace wire = vexif::wire;

std::string_view describe(Result result) {
    switch (result) {
    case Result::ok:
        return "ok";
    case Result::badSession:
        return "session closed";
    case Result::badArgument:
        return "bad argument";
    case Result::noSuchModule:
        return "no such module";
    case Result::moduleTaken:
        return "module taken";
    case Result::noModuleOpen:
        return "no module open";
    case Result::moduleGone:
        return "module gone";
    }
    return "error";
}

// "<status>" alone on success, "<status> <reason>" otherwise.
std::string statusOnly(Result result) {
    if (result == Result::ok) return "0";
    return std::to_string(static_cast<int32_t>(result)) + " " + std::string(describe(result));
}

template <typename Numbers> std::string numbersReply(const Numbers& numbers) {
    std::string reply = "0";
    for (const auto n : numbers) {
        reply += ' ';
        reply += std::to_string(n);
    }
    return reply;
}

} // namespace

ClientSession::ClientSession(vexengine::Engine& engine)
    : m_engine(engine), m_session(engine.openSession()) {}

ClientSession::~ClientSession() {
    release();
}

void ClientSession::release() {
    if (m_session == 0) return;
    m_engine.closeSession(m_session);
    m_session = 0;
}

std::optional<ClientSession::Answer> ClientSession::handleLine(std::string_view line) {
    const ParseResult parsed = parseRequest(line);
    if (std::holds_alternative<EmptyLine>(parsed)) return std::nullopt;
    if (const auto* error = std::get_if<ParseError>(&parsed))
        return Answer{std::to_string(error->status) + " " + std::string(error->message)};
    const Request& request = std::get<Request>(parsed);
    if (request.command == Command::Quit) return Answer{"0 bye", true};
    return Answer{execute(request)};
}

std::string ClientSession::execute(const Request& request) {
    const auto& n = request.numbers;
    switch (request.command) {
    case Command::Hello:
        if (n[0] != wire::kProtocolVersion)
            return std::to_string(wire::kStatusMalformed) + " protocol version " +
                   std::to_string(wire::kProtocolVersion) + " only";
        return "0 " + std::to_string(wire::kProtocolVersion);
    case Command::Identify:
        return "0 " + m_engine.identity().text();
    case Command::ModCount:
        return "0 " + std::to_string(m_engine.moduleCount());
    case Command::ModInfo: {
        vexengine::ModuleEntry entry;
        const Result result = m_engine.moduleAt(n[0], entry);
        if (result != Result::ok) return statusOnly(result);
        // Names come from the engine's own registry and are plain words,
        // but a reply must never carry a blank or a control character.
        for (char& c : entry.name)
            if (!wire::isWordChar(c)) c = '?';
        std::string reply = "0 " + entry.name + " ";
        reply += entry.model;
        reply += entry.freeFlagFor(m_session);
        reply += entry.present ? 'p' : '-';
        return reply;
    }
    case Command::ModOpen:
        return statusOnly(m_engine.openModule(m_session, request.word));
    case Command::ModIsOpen: {
        bool open = false;
        const Result result = m_engine.isModuleOpen(m_session, open);
        return result == Result::ok ? std::string(open ? "0 1" : "0 0") : statusOnly(result);
    }
    case Command::ModClose:
        return statusOnly(m_engine.closeModule(m_session));
    case Command::Pins: {
        std::string pins;
        const Result result = m_engine.pinStatus(m_session, n[0], pins);
        return result == Result::ok ? "0 " + pins : statusOnly(result);
    }
    case Command::Threshold:
        return statusOnly(m_engine.setThreshold(m_session, n[0], n[1]));
    case Command::FcRun: {
        vexengine::CountSettings settings;
        settings.counterType = n[0];
        settings.edgeCode = n[1];
        settings.gateCode = n[2];
        settings.channelCodes = request.word;
        return statusOnly(m_engine.startCount(m_session, settings));
    }
    case Command::FcStop:
        return statusOnly(m_engine.stopCount(m_session));
    case Command::FcStatus: {
        // The caller counts words, busy word included; the engine counts
        // channel states.
        const int channelWords = n[0] > 0 ? n[0] - 1 : -1;
        vexengine::CounterStatus status;
        const Result result = m_engine.counterStatus(m_session, channelWords, status);
        if (result != Result::ok) return statusOnly(result);
        std::vector<uint32_t> words;
        words.reserve(status.channelStates.size() + 1);
        words.push_back((status.busy ? QV_STATUS_BUSY : 0u) |
                        (status.armed ? QV_STATUS_ARMED : 0u));
        words.insert(words.end(), status.channelStates.begin(), status.channelStates.end());
        return numbersReply(words);
    }
    case Command::FcCounts: {
        std::vector<int64_t> counts;
        const Result result = m_engine.counts(m_session, n[0], counts);
        return result == Result::ok ? numbersReply(counts) : statusOnly(result);
    }
    case Command::FcMeasures:
        return measuresReply(n[0]);
    case Command::TimeBase:
        return timeBaseReply();
    case Command::DeviceProblems:
        return deviceProblemsReply();
    case Command::Help:
        return "0 " + std::string(commandList());
    case Command::Quit:
        break; // answered by handleLine
    }
    return "0";
}

// "0" and six words a channel: referenced, frequency, period, positive and
// negative width, duty.
std::string ClientSession::measuresReply(int32_t capacity) {
    std::vector<vexengine::LibraryMeasures> measures;
    if (const Result r = vexengine::readLibraryMeasures(m_engine, m_session, capacity, measures);
        r != Result::ok)
        return statusOnly(r);
    std::string reply = "0";
    for (const vexengine::LibraryMeasures& m : measures) {
        reply += m.referenced ? " 1" : " 0";
        for (const double value :
             {m.frequency, m.period, m.positiveWidth, m.negativeWidth, m.duty}) {
            reply += ' ';
            reply += wire::formatReal(value);
        }
    }
    return reply;
}

// "0 <channel> <locked> <reference Hz> <offset ppm> <measured rate> <nominal rate>"
std::string ClientSession::timeBaseReply() {
    vexengine::TimeBase engineTimeBase;
    if (const Result r = m_engine.timeBase(m_session, engineTimeBase); r != Result::ok)
        return statusOnly(r);
    const vexengine::TimeBase tb = vexengine::libraryTimeBase(engineTimeBase);
    return "0 " + std::to_string(tb.referenceChannel) + (tb.locked ? " 1 " : " 0 ") +
           wire::formatReal(tb.referenceHz) + " " + wire::formatReal(tb.offsetPpm) + " " +
           wire::formatReal(tb.rate) + " " + wire::formatReal(tb.nominalRate);
}

// "0 <problems>": the lines, each ended by a line feed, escaped into one
// word-safe text (%0A between lines); as many whole lines as fit a reply.
std::string ClientSession::deviceProblemsReply() const {
    if (m_session == 0) return statusOnly(Result::badSession);
    std::string escaped;
    for (const std::string& line : m_engine.deviceProblems()) {
        const std::string next = wire::escapeText(vexengine::deviceProblemText({line}));
        if (escaped.size() + next.size() > wire::kMaxProblemBytes) break;
        escaped += next;
    }
    return escaped.empty() ? "0" : "0 " + escaped;
}

} // namespace vexcountd
