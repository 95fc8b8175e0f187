// The request parser of vexcountd: one request line in, one typed request
// (or the error reply it deserves) out. A pure function with no state, so
// the tests and the fuzzer drive it directly.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace vexcountd {

enum class Command {
    Hello,          // HELLO <version>
    Identify,       // *IDN?
    ModCount,       // MOD:COUNT?
    ModInfo,        // MOD:INFO? <index>
    ModOpen,        // MOD:OPEN <name>
    ModIsOpen,      // MOD:OPEN?
    ModClose,       // MOD:CLOSE
    Pins,           // PINS? <length>
    Threshold,      // THRESH <which> <tenths of a volt>
    FcRun,          // FC:RUN <type> <edge> <gate> <channel codes>
    FcStop,         // FC:STOP
    FcStatus,       // FC:STATUS? <word count>
    FcCounts,       // FC:COUNTS? <count>
    FcMeasures,     // FC:MEASURES? <count>
    TimeBase,       // TIMEBASE?
    DeviceProblems, // DEV:PROBLEMS?
    Help,           // HELP?
    Quit,           // QUIT
};

// A request whose words have been checked for count and form. Number
// arguments are in `numbers` in the order written; the one word argument
// (module name, channel codes) is in `word`. Ranges beyond "fits in 32 bits"
// are the engine's to judge.
struct Request {
    Command command = Command::Help;
    std::array<int32_t, 3> numbers{};
    std::string word;
};

// What a line that is not a valid request gets: the status number and a
// short fixed text for the reply.
struct ParseError {
    int status = 0;
    std::string_view message;
};

// An empty line (only blanks) is not a request and gets no reply.
struct EmptyLine {};

using ParseResult = std::variant<Request, ParseError, EmptyLine>;

// Parses one line without its line end (a trailing carriage return is
// allowed). Words are separated by blanks or tabs; the command word is
// matched without regard to case.
ParseResult parseRequest(std::string_view line);

// The command words, for HELP? and the documentation.
std::string_view commandList();

} // namespace vexcountd
