// libFuzzer target: arbitrary bytes through the line framer and both
// personalities (the line protocol's parser and client session, and the
// SCPI session) on a real engine, as a client's stream would reach them.
// Besides crashes it checks what the protocols promise: the line protocol
// answers every non-blank line with exactly one reply that starts with a
// status number, SCPI answers a line with at most one reply, and no reply
// carries a control byte. Build with clang and -DVFC_FUZZ=ON; run e.g.
//   bin/fuzz_request_parser -max_total_time=60 -dict=server/fuzz/requests.dict
//       CORPUS_DIR server/fuzz/corpus   (all on one line)
#include "ClientSession.h"
#include "LineFramer.h"
#include "RequestParser.h"
#include "ScpiSession.h"
#include "TcpProtocol.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

bool isBlankLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

// Printable ASCII only: no control byte, no line end inside a reply.
void checkPrintable(std::string_view reply) {
    for (const char c : reply)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            __builtin_trap();
}

// "<digits>" or "<digits> <text>".
void checkStatusPrefix(std::string_view reply) {
    std::size_t digits = 0;
    while (digits < reply.size() && reply[digits] >= '0' && reply[digits] <= '9')
        ++digits;
    if (digits == 0 || (digits < reply.size() && reply[digits] != ' ')) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One engine for the whole run: its module registry is fixed, and a
    // session per input keeps inputs independent.
    static vexengine::Engine engine(std::make_shared<vexengine::ManualClock>());
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // The parser alone, on the whole input as one line.
    (void)vexcountd::parseRequest(bytes);

    // The input split at arbitrary points, as TCP may deliver it, to both
    // personalities.
    vexcountd::ClientSession session(engine);
    vexcountd::ScpiSession scpi(engine);
    vexcountd::LineFramer framer(vexif::wire::kMaxRequestBytes + 1);
    const std::size_t cut = size > 0 ? data[0] % (size + 1) : 0;
    bool quit = false;
    for (std::string_view part : {bytes.substr(0, cut), bytes.substr(cut)}) {
        framer.append(part);
        for (;;) {
            const auto event = framer.next();
            if (event.kind == vexcountd::LineFramer::Kind::None) break;
            if (event.kind != vexcountd::LineFramer::Kind::Line) {
                scpi.lineTooLong();
                continue;
            }
            if (!quit) {
                const auto answer = session.handleLine(event.line);
                if (answer.has_value() == isBlankLine(event.line)) __builtin_trap();
                if (answer) {
                    checkPrintable(answer->reply);
                    checkStatusPrefix(answer->reply);
                    quit = answer->close; // the server closes after QUIT
                }
            }
            // The clock stands still, so a query that waits for its count
            // is given up on; it must then end with its reply.
            auto step = scpi.handleLine(event.line);
            if (step.waiting) step = scpi.resume(true);
            if (step.waiting || (step.request == isBlankLine(event.line))) __builtin_trap();
            if (step.hasReply) checkPrintable(step.reply);
        }
        if (framer.pendingBytes() > vexif::wire::kMaxRequestBytes + 1) __builtin_trap();
    }
    return 0;
}
