// The two kinds of LineSession: ClientSession (line protocol) and
// ScpiSession (SCPI) behind one interface for the connections.
#include "LineSession.h"

#include "ClientSession.h"
#include "ScpiSession.h"
#include "TcpProtocol.h"
#include "vexif.h"

namespace vexcountd {
namespace {

namespace wire = vexif::wire;

class LineProtocolSession final : public LineSession {
public:
    explicit LineProtocolSession(vexengine::Engine& engine) : m_session(engine) {}

    Outcome handleLine(std::string_view line, std::string& out) override {
        Outcome outcome;
        const std::optional<ClientSession::Answer> answer = m_session.handleLine(line);
        if (!answer) return outcome; // a blank line is not a request
        outcome.request = true;
        outcome.close = answer->close;
        // Every reply starts with its status; "0" alone or "0 ..." is success.
        const std::string& reply = answer->reply;
        outcome.errors = reply.empty() || reply[0] != '0' || (reply.size() > 1 && reply[1] != ' ');
        out += reply;
        out += '\n';
        return outcome;
    }
    Outcome resume(bool, std::string&) override { return {}; }
    void lineTooLong(std::string& out) override {
        out += std::to_string(wire::kStatusLineTooLong) + " line too long\n";
    }
    std::string idleNotice() const override {
        // For people at nc; the library treats any unasked line as the end
        // of the session anyway.
        return std::to_string(wire::kStatusIdleTimeout) + " idle timeout, closing\n";
    }
    void release() override { m_session.release(); }

private:
    ClientSession m_session;
};

class ScpiLineSession final : public LineSession {
public:
    explicit ScpiLineSession(vexengine::Engine& engine) : m_session(engine) {}

    Outcome handleLine(std::string_view line, std::string& out) override {
        return convert(m_session.handleLine(line), out);
    }
    Outcome resume(bool giveUp, std::string& out) override {
        return convert(m_session.resume(giveUp), out);
    }
    void lineTooLong(std::string&) override { m_session.lineTooLong(); }
    // An unasked line would be read as the answer to the next query.
    std::string idleNotice() const override { return {}; }
    void release() override { m_session.release(); }

private:
    Outcome convert(const ScpiSession::Step& step, std::string& out) {
        Outcome outcome;
        const uint64_t queued = m_session.errorsQueued();
        outcome.errors = static_cast<int>(queued - m_errorsSeen);
        m_errorsSeen = queued;
        outcome.request = step.request;
        outcome.waiting = step.waiting;
        outcome.retryIn = step.retryIn;
        outcome.patience = step.patience;
        if (step.hasReply) {
            out += step.reply;
            out += '\n';
        }
        return outcome;
    }

    ScpiSession m_session;
    uint64_t m_errorsSeen = 0;
};

} // namespace

std::unique_ptr<LineSession> LineSession::create(Personality personality,
                                                 vexengine::Engine& engine) {
    if (personality == Personality::Scpi) return std::make_unique<ScpiLineSession>(engine);
    return std::make_unique<LineProtocolSession>(engine);
}

std::string LineSession::refusal(Personality personality, const std::string& reason) {
    if (personality == Personality::Scpi) return "-300,\"Device-specific error; " + reason + "\"\n";
    return std::to_string(QV_ERR_SERVER_BUSY) + " " + reason + "\n";
}

} // namespace vexcountd
