// Request parsing: splits the line into words, looks the command up in a
// table that states each command's arguments, and checks them.
#include "RequestParser.h"

#include "TcpProtocol.h"

#include <algorithm>
#include <charconv>

namespace vexcountd {
namespace {

namespace wire = vexif::wire;

// Argument shapes: how many numbers, and whether a word follows them.
struct CommandDef {
    std::string_view name;
    Command command;
    int numberCount;
    bool takesWord;
};

constexpr std::array kCommands{
    CommandDef{wire::kHello, Command::Hello, 1, false},
    CommandDef{wire::kIdentify, Command::Identify, 0, false},
    CommandDef{wire::kModCount, Command::ModCount, 0, false},
    CommandDef{wire::kModInfo, Command::ModInfo, 1, false},
    CommandDef{wire::kModOpen, Command::ModOpen, 0, true},
    CommandDef{wire::kModIsOpen, Command::ModIsOpen, 0, false},
    CommandDef{wire::kModClose, Command::ModClose, 0, false},
    CommandDef{wire::kPins, Command::Pins, 1, false},
    CommandDef{wire::kThreshold, Command::Threshold, 2, false},
    CommandDef{wire::kFcRun, Command::FcRun, 3, true},
    CommandDef{wire::kFcStop, Command::FcStop, 0, false},
    CommandDef{wire::kFcStatus, Command::FcStatus, 1, false},
    CommandDef{wire::kFcCounts, Command::FcCounts, 1, false},
    CommandDef{wire::kFcMeasures, Command::FcMeasures, 1, false},
    CommandDef{wire::kTimeBase, Command::TimeBase, 0, false},
    CommandDef{wire::kDeviceProblems, Command::DeviceProblems, 0, false},
    CommandDef{wire::kHelp, Command::Help, 0, false},
    CommandDef{wire::kQuit, Command::Quit, 0, false},
};

// The longest argument list is FC:RUN's: three numbers and a word.
constexpr std::size_t kMaxWords = 5;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

bool parseInt32(std::string_view word, int32_t& value) {
    const char* first = word.data();
    const char* last = word.data() + word.size();
    // A plain decimal number: one optional sign, then digits only. from_chars
    // alone would read the "-5" after a skipped "+" of "+-5".
    const char* digits = first != last && (*first == '+' || *first == '-') ? first + 1 : first;
    if (digits == last || *digits < '0' || *digits > '9') return false;
    if (*first == '+') ++first; // "+5" reads as 5
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last;
}

} // namespace

ParseResult parseRequest(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > wire::kMaxRequestBytes)
        return ParseError{wire::kStatusLineTooLong, "line too long"};

    // Split into words; one word more than any command takes is enough to
    // know the line is wrong.
    std::array<std::string_view, kMaxWords + 1> words;
    std::size_t count = 0;
    std::size_t pos = 0;
    while (pos < line.size() && count < words.size()) {
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        if (pos == line.size()) break;
        std::size_t end = pos;
        while (end < line.size() && !isBlank(line[end]))
            ++end;
        words[count++] = line.substr(pos, end - pos);
        pos = end;
    }
    if (count == 0) return EmptyLine{};

    for (std::size_t w = 0; w < count; ++w)
        if (!std::all_of(words[w].begin(), words[w].end(), wire::isWordChar))
            return w == 0 ? ParseError{wire::kStatusUnknownCommand, "unknown command"}
                          : ParseError{wire::kStatusMalformed, "unreadable argument"};

    const auto entry = std::find_if(kCommands.begin(), kCommands.end(), [&](const CommandDef& s) {
        return equalsIgnoringCase(s.name, words[0]);
    });
    if (entry == kCommands.end()) return ParseError{wire::kStatusUnknownCommand, "unknown command"};

    const std::size_t expected = 1 + entry->numberCount + (entry->takesWord ? 1 : 0);
    if (count != expected) return ParseError{wire::kStatusMalformed, "wrong number of arguments"};

    Request request;
    request.command = entry->command;
    for (int i = 0; i < entry->numberCount; ++i)
        if (!parseInt32(words[1 + i], request.numbers[i]))
            return ParseError{wire::kStatusMalformed, "argument is not a 32-bit number"};
    if (entry->takesWord) request.word = std::string(words[count - 1]);
    return request;
}

std::string_view commandList() {
    return "HELLO *IDN? MOD:COUNT? MOD:INFO? MOD:OPEN MOD:OPEN? MOD:CLOSE PINS? THRESH "
           "FC:RUN FC:STOP FC:STATUS? FC:COUNTS? FC:MEASURES? TIMEBASE? DEV:PROBLEMS? HELP? QUIT";
}

} // namespace vexcountd
