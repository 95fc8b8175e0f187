// One client's view of the engine: its own engine session, and the mapping
// from request lines to engine calls and reply lines. Free of sockets, so
// tests drive it line by line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Engine.h"

namespace vexcountd {

struct Request;

class ClientSession {
public:
    explicit ClientSession(vexengine::Engine& engine);
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    struct Answer {
        std::string reply;  // without the line end
        bool close = false; // close the connection once the reply is sent
    };

    // The answer to one request line; none for an empty line.
    std::optional<Answer> handleLine(std::string_view line);

    // Ends the engine session: stops its count and frees its module. Safe to
    // call twice; later requests get "not connected".
    void release();

private:
    std::string execute(const Request& request);
    std::string measuresReply(int32_t capacity);
    std::string timeBaseReply();
    std::string deviceProblemsReply() const;

    vexengine::Engine& m_engine;
    vexengine::SessionId m_session = 0; // 0 once released
};

} // namespace vexcountd
