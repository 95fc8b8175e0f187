// libFuzzer target: arbitrary bytes through the line framer, the request
// parser and a client session on a real engine, as a client's stream would
// reach them. Build with clang and -DVFC_FUZZ=ON; run e.g.
//   bin/fuzz_request_parser -max_total_time=60 -dict=server/fuzz/requests.dict
//       CORPUS_DIR server/fuzz/corpus   (all on one line)
#include "ClientSession.h"
#include "LineFramer.h"
#include "RequestParser.h"
#include "TcpProtocol.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One engine for the whole run: its module registry is fixed, and a
    // session per input keeps inputs independent.
    static vexengine::Engine engine(std::make_shared<vexengine::ManualClock>());
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // The parser alone, on the whole input as one line.
    (void)vexcountd::parseRequest(bytes);

    // The input split at arbitrary points, as TCP may deliver it.
    vexcountd::ClientSession session(engine);
    vexcountd::LineFramer framer(vexif::wire::kMaxRequestBytes + 1);
    const std::size_t cut = size > 0 ? data[0] % (size + 1) : 0;
    for (std::string_view part : {bytes.substr(0, cut), bytes.substr(cut)}) {
        framer.append(part);
        for (;;) {
            const auto event = framer.next();
            if (event.kind == vexcountd::LineFramer::Kind::None) break;
            if (event.kind != vexcountd::LineFramer::Kind::Line) continue;
            const auto answer = session.handleLine(event.line);
            if (answer && answer->reply.find('\n') != std::string::npos) __builtin_trap();
        }
        if (framer.pendingBytes() > vexif::wire::kMaxRequestBytes + 1) __builtin_trap();
    }
    return 0;
}
