// SCPI syntax: the header table and the parameter readers; see ScpiParser.h
// and SCPI.md for the commands.
#include "ScpiParser.h"

#include "TextSplit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace vexcountd::scpi {
namespace {

// A header pattern: nodes separated by colons, optional nodes in brackets,
// a trailing '#' for a numeric suffix; the upper-case letters of a node are
// its short form. Common commands are written as they must be sent.
struct Entry {
    std::string_view pattern;
    bool query;
    Header header;
    int minParameters;
    int maxParameters;
};

constexpr std::array kTable{
    Entry{"*IDN", true, Header::Identify, 0, 0},
    Entry{"*RST", false, Header::Reset, 0, 0},
    Entry{"*CLS", false, Header::Clear, 0, 0},
    Entry{"*OPC", true, Header::OpcQuery, 0, 0},
    Entry{"*OPC", false, Header::Opc, 0, 0},
    Entry{"*WAI", false, Header::Wait, 0, 0},
    Entry{"*ESR", true, Header::EsrQuery, 0, 0},
    Entry{"*STB", true, Header::StbQuery, 0, 0},
    Entry{"*TST", true, Header::SelfTest, 0, 0},
    Entry{"SYSTem:ERRor:[NEXT]", true, Header::ErrorQuery, 0, 0},
    Entry{"SYSTem:VERSion", true, Header::VersionQuery, 0, 0},
    Entry{"INSTrument:CATalog", true, Header::Catalog, 0, 0},
    Entry{"INSTrument:[SELect]", false, Header::Select, 1, 1},
    Entry{"INSTrument:[SELect]", true, Header::SelectQuery, 0, 0},
    Entry{"CONFigure:FREQuency", false, Header::ConfFrequency, 0, 1},
    Entry{"CONFigure:PERiod", false, Header::ConfPeriod, 0, 1},
    Entry{"CONFigure:TOTalize", false, Header::ConfTotalize, 0, 1},
    Entry{"CONFigure", true, Header::ConfQuery, 0, 0},
    Entry{"[SENSe]:FREQuency:GATE:TIME", false, Header::GateTime, 1, 1},
    Entry{"[SENSe]:PERiod:GATE:TIME", false, Header::GateTime, 1, 1},
    Entry{"[SENSe]:TOTalize:GATE:TIME", false, Header::GateTime, 1, 1},
    Entry{"[SENSe]:FREQuency:GATE:TIME", true, Header::GateTimeQuery, 0, 0},
    Entry{"[SENSe]:PERiod:GATE:TIME", true, Header::GateTimeQuery, 0, 0},
    Entry{"[SENSe]:TOTalize:GATE:TIME", true, Header::GateTimeQuery, 0, 0},
    Entry{"[SENSe]:PERiod:SLOPe#", false, Header::Slope, 1, 1},
    Entry{"[SENSe]:PERiod:SLOPe#", true, Header::SlopeQuery, 0, 0},
    Entry{"INPut:LEVel#", false, Header::Level, 1, 1},
    Entry{"INPut:LEVel#", true, Header::LevelQuery, 0, 0},
    Entry{"ARM:CODes", false, Header::ArmCodes, 1, 1},
    Entry{"ARM:CODes", true, Header::ArmCodesQuery, 0, 0},
    Entry{"INITiate:[IMMediate]", false, Header::Initiate, 0, 0},
    Entry{"ABORt", false, Header::Abort, 0, 0},
    Entry{"FETCh", true, Header::Fetch, 0, 0},
    Entry{"READ", true, Header::Read, 0, 0},
    Entry{"MEASure:FREQuency", true, Header::MeasFrequency, 0, 1},
    Entry{"MEASure:PERiod", true, Header::MeasPeriod, 0, 1},
    Entry{"MEASure:TOTalize", true, Header::MeasTotalize, 0, 1},
    Entry{"CONFigure:PWIDth", false, Header::ConfPositiveWidth, 0, 1},
    Entry{"CONFigure:NWIDth", false, Header::ConfNegativeWidth, 0, 1},
    Entry{"CONFigure:DCYCle", false, Header::ConfDutyCycle, 0, 1},
    Entry{"MEASure:PWIDth", true, Header::MeasPositiveWidth, 0, 1},
    Entry{"MEASure:NWIDth", true, Header::MeasNegativeWidth, 0, 1},
    Entry{"MEASure:DCYCle", true, Header::MeasDutyCycle, 0, 1},
    Entry{"[SENSe]:FREQuency:MODE", false, Header::FrequencyMode, 1, 1},
    Entry{"[SENSe]:FREQuency:MODE", true, Header::FrequencyModeQuery, 0, 0},
    Entry{"[SENSe]:ROSCillator:SOURce", true, Header::RoscSourceQuery, 0, 0},
    Entry{"[SENSe]:ROSCillator:EXTernal:FREQuency", true, Header::RoscExternalFrequency, 0, 0},
    Entry{"[SENSe]:ROSCillator:EXTernal:LOCK", true, Header::RoscExternalLock, 0, 0},
    Entry{"STATus:QUEStionable:[EVENt]", true, Header::QuestionableEventQuery, 0, 0},
    Entry{"STATus:QUEStionable:CONDition", true, Header::QuestionableConditionQuery, 0, 0},
};

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// One input node against one pattern node (brackets and '#' removed by the
// caller); a digit suffix is taken when the pattern allows one.
bool matchNode(std::string_view input, std::string_view mnemonic, bool takesSuffix, int& suffix) {
    if (takesSuffix) {
        std::size_t digits = input.size();
        while (digits > 0 && input[digits - 1] >= '0' && input[digits - 1] <= '9')
            --digits;
        if (digits < input.size()) {
            const std::string_view number = input.substr(digits);
            if (number.size() > 2) return false;
            suffix = std::atoi(std::string(number).c_str());
            input = input.substr(0, digits);
        }
    }
    return matchesMnemonic(input, mnemonic);
}

bool matchNodes(const std::vector<std::string_view>& pattern, std::size_t p,
                const std::vector<std::string_view>& input, std::size_t i, int& suffix) {
    if (p == pattern.size()) return i == input.size();
    std::string_view node = pattern[p];
    const bool optional = node.front() == '[';
    if (optional) node = node.substr(1, node.size() - 2);
    const bool takesSuffix = node.back() == '#';
    if (takesSuffix) node.remove_suffix(1);
    if (i < input.size() && matchNode(input[i], node, takesSuffix, suffix) &&
        matchNodes(pattern, p + 1, input, i + 1, suffix))
        return true;
    return optional && matchNodes(pattern, p + 1, input, i, suffix);
}

// The table entry of a header without its '?' (colons inside, no leading one).
const Entry* lookUp(std::string_view header, bool query, int& suffix) {
    // The patterns' nodes, split once.
    static const std::vector<std::vector<std::string_view>> patterns = [] {
        std::vector<std::vector<std::string_view>> split;
        for (const Entry& entry : kTable)
            split.push_back(splitAt(entry.pattern, ':'));
        return split;
    }();
    const bool common = header.front() == '*';
    const std::vector<std::string_view> input =
        common ? std::vector<std::string_view>{} : splitAt(header, ':');
    for (std::size_t e = 0; e < kTable.size(); ++e) {
        const Entry& entry = kTable[e];
        if (entry.query != query || (entry.pattern.front() == '*') != common) continue;
        suffix = 1;
        if (common ? equalsIgnoringCase(entry.pattern, header)
                   : matchNodes(patterns[e], 0, input, 0, suffix))
            return &entry;
    }
    return nullptr;
}

// Calls visit(c, outside) for every character of text, outside true where c
// stands outside quotes and parentheses (quotes and parentheses themselves
// are not outside). False when a quote or parenthesis is left open, or a
// parenthesis closed that was not open (the walk stops there).
template <class Visit> bool walkOutside(std::string_view text, Visit visit) {
    char quote = 0;
    int depth = 0;
    for (const char c : text) {
        bool outside = false;
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth < 0) return false;
        } else {
            outside = depth == 0;
        }
        visit(c, outside);
    }
    return !quote && depth == 0;
}

// Splits at separator outside quotes and parentheses; nothing when a quote
// or parenthesis is left open.
std::optional<std::vector<std::string>> splitOutside(std::string_view text, char separator) {
    std::vector<std::string> parts(1);
    const bool closed = walkOutside(text, [&](char c, bool outside) {
        if (outside && c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    });
    if (!closed) return std::nullopt;
    return parts;
}

// Whether text has a blank outside quotes and parentheses.
bool blankOutside(std::string_view text) {
    bool blank = false;
    walkOutside(text, [&](char c, bool outside) { blank = blank || (outside && isBlank(c)); });
    return blank;
}

} // namespace

std::optional<std::vector<std::string>> splitMessage(std::string_view line) {
    return splitOutside(line, ';');
}

ParsedCommand parseCommand(std::string_view text, std::string_view previousPath) {
    text = trim(text);
    std::size_t end = 0;
    while (end < text.size() && !isBlank(text[end]))
        ++end;
    std::string_view header = text.substr(0, end);
    const std::string_view rest = trim(text.substr(end));
    if (header.empty()) return {std::nullopt, {-102, "empty command"}};
    for (const char c : header)
        if (c <= ' ' || c >= 0x7f) return {std::nullopt, {-113, ""}};

    const bool absolute = header.front() == ':';
    if (absolute) header.remove_prefix(1);
    const bool query = !header.empty() && header.back() == '?';
    if (query) header.remove_suffix(1);
    if (header.empty()) return {std::nullopt, {-113, ""}};

    int suffix = 1;
    const Entry* entry = nullptr;
    std::string written(header);
    // Compound commands: "SENS:FREQ:GATE:TIME 1;TIME?" names the second
    // under the first one's path. Absolute headers also serve when the
    // relative reading names nothing, which is what people mean by
    // "INST:SEL X;MEAS:FREQ?".
    if (!absolute && header.front() != '*' && !previousPath.empty()) {
        std::string relative = std::string(previousPath) + ":" + written;
        entry = lookUp(relative, query, suffix);
        if (entry) written = std::move(relative);
    }
    if (!entry) entry = lookUp(header, query, suffix);
    if (!entry) return {std::nullopt, {-113, ""}};

    Command command;
    command.header = entry->header;
    command.suffix = suffix;
    // Common commands leave the path as it was (IEEE 488.2): "FREQ:GATE:TIME
    // 1;*CLS;TIME?" still reads the gate time.
    if (header.front() == '*')
        command.path = previousPath;
    else if (const std::size_t colon = written.rfind(':'); colon != std::string::npos)
        command.path = written.substr(0, colon);
    if (!rest.empty()) {
        const auto parameters = splitOutside(rest, ',');
        if (!parameters) return {std::nullopt, {-102, "unbalanced quote or parenthesis"}};
        for (const std::string& p : *parameters)
            command.parameters.emplace_back(trim(p));
    }
    const int count = static_cast<int>(command.parameters.size());
    if (count > entry->maxParameters) return {std::nullopt, {-108, ""}};
    if (count < entry->minParameters) return {std::nullopt, {-109, ""}};
    for (const std::string& p : command.parameters) {
        if (p.empty()) return {std::nullopt, {-102, "empty parameter"}};
        // "1 2": a second parameter where a comma should separate them.
        if (blankOutside(p)) return {std::nullopt, {-108, "parameters are separated by commas"}};
    }
    return {std::move(command), {}};
}

std::string_view errorMessage(int code) {
    switch (code) {
    case 0:
        return "No error";
    case -102:
        return "Syntax error";
    case -104:
        return "Data type error";
    case -108:
        return "Parameter not allowed";
    case -109:
        return "Missing parameter";
    case -113:
        return "Undefined header";
    case -214:
        return "Trigger deadlock";
    case -221:
        return "Settings conflict";
    case -222:
        return "Data out of range";
    case -223:
        return "Too much data";
    case -224:
        return "Illegal parameter value";
    case -230:
        return "Data corrupt or stale";
    case -231:
        return "Data questionable";
    case -350:
        return "Queue overflow";
    }
    return "Error";
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

bool matchesMnemonic(std::string_view text, std::string_view mnemonic) {
    std::size_t shortLength = 0;
    while (shortLength < mnemonic.size() &&
           !(mnemonic[shortLength] >= 'a' && mnemonic[shortLength] <= 'z'))
        ++shortLength;
    return equalsIgnoringCase(text, mnemonic) ||
           equalsIgnoringCase(text, mnemonic.substr(0, shortLength));
}

bool pathHasNode(std::string_view path, std::string_view mnemonic) {
    const std::vector<std::string_view> nodes = splitAt(path, ':');
    return std::any_of(nodes.begin(), nodes.end(),
                       [&](std::string_view node) { return matchesMnemonic(node, mnemonic); });
}

std::optional<double> parseNumber(std::string_view text, const NumberWords& words) {
    text = trim(text);
    const std::pair<std::string_view, const std::optional<double>*> named[] = {
        {"MINimum", &words.min},
        {"MAXimum", &words.max},
        {"DEFault", &words.def},
        {"INFinity", &words.inf}};
    for (const auto& [mnemonic, value] : named)
        if (matchesMnemonic(text, mnemonic)) return *value;
    // Decimal numbers only: strtod alone would also read hex, "inf", "nan".
    if (text.empty() || text.size() > 64) return std::nullopt;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E'))
            return std::nullopt;
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::string> parseString(std::string_view text) {
    text = trim(text);
    if (text.empty()) return std::nullopt;
    const char quote = text.front();
    if (quote != '"' && quote != '\'') {
        for (const char c : text)
            if (c <= ' ' || c >= 0x7f || c == '"' || c == '\'' || c == ',') return std::nullopt;
        return std::string(text);
    }
    if (text.size() < 2 || text.back() != quote) return std::nullopt;
    std::string value;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] == quote) {
            if (i + 2 >= text.size() || text[i + 1] != quote) return std::nullopt;
            ++i; // a doubled quote stands for one
        }
        value += text[i];
    }
    return value;
}

std::optional<std::vector<int>> parseChannelList(std::string_view text) {
    text = trim(text);
    if (text.size() < 4 || text.substr(0, 2) != "(@" || text.back() != ')') return std::nullopt;
    const auto readChannel = [](std::string_view digits) -> std::optional<int> {
        digits = trim(digits);
        if (digits.empty() || digits.size() > 4) return std::nullopt;
        int value = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + (c - '0');
        }
        return value;
    };
    std::vector<int> channels;
    for (const std::string_view item : splitAt(text.substr(2, text.size() - 3), ',')) {
        const std::vector<std::string_view> bounds = splitAt(item, ':');
        if (bounds.size() > 2) return std::nullopt;
        const auto first = readChannel(bounds.front());
        const auto last = readChannel(bounds.back());
        if (!first || !last) return std::nullopt;
        const int step = *first <= *last ? 1 : -1;
        for (int c = *first;; c += step) {
            if (channels.size() >= 1024) return std::nullopt;
            channels.push_back(c);
            if (c == *last) break;
        }
    }
    return channels;
}

} // namespace vexcountd::scpi
