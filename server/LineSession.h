// What a connection needs from the protocol it speaks: one session per
// connection that turns request lines into reply text. The line protocol of
// PROTOCOL.md and the SCPI personality of SCPI.md are its two kinds.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace vexengine {
class Engine;
}

namespace vexcountd {

enum class Personality { Line, Scpi };

class LineSession {
public:
    virtual ~LineSession() = default;

    struct Outcome {
        bool request = false; // a complete non-blank request: counts as activity
        bool close = false;   // close the connection once the replies are sent
        bool waiting = false; // call resume() after retryIn; no more lines till then
        std::chrono::milliseconds retryIn{0};
        std::chrono::milliseconds patience{0}; // the expected length of the wait
        int errors = 0;                        // requests answered with an error (for the metrics)
    };

    // One complete line (without its line feed); reply lines, with their
    // line ends, are appended to out.
    virtual Outcome handleLine(std::string_view line, std::string& out) = 0;
    // Goes on with a waiting request; giveUp after waiting too long.
    virtual Outcome resume(bool giveUp, std::string& out) = 0;
    // A line over the length limit was dropped.
    virtual void lineTooLong(std::string& out) = 0;
    // Sent unasked before an idle client is dropped ("" for none).
    virtual std::string idleNotice() const = 0;
    // Stops the session's count and frees its module.
    virtual void release() = 0;

    static std::unique_ptr<LineSession> create(Personality personality, vexengine::Engine& engine);
    // The line a client refused before it has a session reads.
    static std::string refusal(Personality personality, const std::string& reason);
};

} // namespace vexcountd
