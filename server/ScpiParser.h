// The SCPI side of vexcountd, syntax only: splits a program message into
// its commands, matches headers against the command table in SCPI's
// short/long form and case rules, and reads parameters (numbers, strings,
// channel lists). Pure functions, tested by tables.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexcountd::scpi {

// What a header names. Queries and settings are separate entries.
enum class Header {
    Identify,      // *IDN?
    Reset,         // *RST
    Clear,         // *CLS
    OpcQuery,      // *OPC?
    Opc,           // *OPC
    Wait,          // *WAI
    EsrQuery,      // *ESR?
    StbQuery,      // *STB?
    SelfTest,      // *TST?
    ErrorQuery,    // SYSTem:ERRor[:NEXT]?
    VersionQuery,  // SYSTem:VERSion?
    Catalog,       // INSTrument:CATalog?
    Select,        // INSTrument[:SELect] <name>
    SelectQuery,   // INSTrument[:SELect]?
    ConfFrequency, // CONFigure:FREQuency [<channels>]
    ConfPeriod,    // CONFigure:PERiod [<channels>]
    ConfTotalize,  // CONFigure:TOTalize [<channels>]
    ConfQuery,     // CONFigure?
    GateTime,      // [SENSe:]{FREQuency|PERiod|TOTalize}:GATE:TIME <seconds>|INF
    GateTimeQuery, // ... GATE:TIME?
    Slope,         // [SENSe:]PERiod:SLOPe{1|2} POSitive|NEGative
    SlopeQuery,    // [SENSe:]PERiod:SLOPe{1|2}?
    Level,         // INPut:LEVel{1|2} <volts>
    LevelQuery,    // INPut:LEVel{1|2}?
    ArmCodes,      // ARM:CODes "<8 of 01RFE->"
    ArmCodesQuery, // ARM:CODes?
    Initiate,      // INITiate[:IMMediate]
    Abort,         // ABORt
    Fetch,         // FETCh?
    Read,          // READ?
    MeasFrequency, // MEASure:FREQuency? [<channels>]
    MeasPeriod,    // MEASure:PERiod? [<channels>]
    MeasTotalize,  // MEASure:TOTalize? [<channels>]
    // Reciprocal frequency, pulse widths, duty cycle and the time base.
    ConfPositiveWidth,     // CONFigure:PWIDth [<channels>]
    ConfNegativeWidth,     // CONFigure:NWIDth [<channels>]
    ConfDutyCycle,         // CONFigure:DCYCle [<channels>]
    MeasPositiveWidth,     // MEASure:PWIDth? [<channels>]
    MeasNegativeWidth,     // MEASure:NWIDth? [<channels>]
    MeasDutyCycle,         // MEASure:DCYCle? [<channels>]
    FrequencyMode,         // [SENSe:]FREQuency:MODE RECiprocal|COUNt
    FrequencyModeQuery,    // [SENSe:]FREQuency:MODE?
    RoscSourceQuery,       // [SENSe:]ROSCillator:SOURce?
    RoscExternalFrequency, // [SENSe:]ROSCillator:EXTernal:FREQuency?
    RoscExternalLock,      // [SENSe:]ROSCillator:EXTernal:LOCK?
    // The QUEStionable status register.
    QuestionableEventQuery,     // STATus:QUEStionable[:EVENt]?
    QuestionableConditionQuery, // STATus:QUEStionable:CONDition?
};
// Headers in all; keep it after the last one.
constexpr int kHeaderCount = static_cast<int>(Header::QuestionableConditionQuery) + 1;

// One command of a program message: its header resolved, the numeric
// suffix of the header (1 when none was written), and the raw parameters.
struct Command {
    Header header = Header::Identify;
    int suffix = 1;
    std::vector<std::string> parameters; // as written, outer blanks removed
    std::string path; // the header's nodes up to its last colon, for the next command
                      // (a common command passes the previous path on)
};

// SCPI error numbers with their standard texts.
struct Error {
    int code = 0;
    std::string detail; // appended after "; ", may be empty
};

// Splits a program message at semicolons outside quotes and parentheses.
// An unbalanced quote or parenthesis is an error (-102).
std::optional<std::vector<std::string>> splitMessage(std::string_view line);

// Resolves one command. previousPath: the path of the previous command in
// the same message ("" for the first): a header without a leading colon or
// asterisk is looked up under it first, as SCPI's compound commands are.
// Returns the command or the error it deserves (-113 unknown header, -102,
// -108 parameter not allowed, also for parameters separated by blanks
// rather than commas, -109 missing parameter).
struct ParsedCommand {
    std::optional<Command> command;
    Error error;
};
ParsedCommand parseCommand(std::string_view text, std::string_view previousPath);

// The standard message of an error number ("Undefined header", ...).
std::string_view errorMessage(int code);

// Parameters. Each returns nothing for a value of the wrong form (the
// caller reports -104 data type error or -224 illegal parameter value).
// A decimal number, e.g. "1", "0.1", "1E-1", "+10". MIN, MAX, DEF and INF
// come back as the given fallbacks when provided.
struct NumberWords {
    std::optional<double> min, max, def, inf;
};
std::optional<double> parseNumber(std::string_view text, const NumberWords& words = {});
// A quoted string ("..." or '...', doubled quotes inside) or a bare word.
std::optional<std::string> parseString(std::string_view text);
// A channel list "(@0:17)", "(@0,3,5)", "(@0:3,7)": channel numbers in the
// order written, ranges expanded (at most 1024 entries).
std::optional<std::vector<int>> parseChannelList(std::string_view text);
// Character data matched in short/long form, e.g. "POS" for "POSitive".
bool matchesMnemonic(std::string_view text, std::string_view mnemonic);
// ASCII letters compared without regard to case.
bool equalsIgnoringCase(std::string_view a, std::string_view b);
// Whether one node of a header path ("SENS:FREQ:GATE") is the mnemonic, in
// short or long form and any case.
bool pathHasNode(std::string_view path, std::string_view mnemonic);

} // namespace vexcountd::scpi
