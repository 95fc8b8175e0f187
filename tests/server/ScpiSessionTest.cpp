// The SCPI personality without sockets: header matching in short and long
// form, parameters, and whole conversations against a real engine on a
// manual clock (measurements that wait for their gate, the error queue,
// ownership between two clients).
#include "ScpiSession.h"
#include "ScpiParser.h"
#include "StubModule.h"

#include <gtest/gtest.h>

#include <memory>

using namespace vexcountd;
using scpi::Header;

namespace {

TEST(ScpiParser, MatchesHeadersInShortAndLongFormAnyCase) {
    struct Case {
        const char* text;
        const char* path;
        int error; // 0: parses to header
        Header header;
        int suffix;
    };
    const Case cases[] = {
        {"*IDN?", "", 0, Header::Identify, 1},
        {"*idn?", "", 0, Header::Identify, 1},
        {"SYST:ERR?", "", 0, Header::ErrorQuery, 1},
        {":system:error:next?", "", 0, Header::ErrorQuery, 1},
        {"SYSTE:ERR?", "", -113, Header::Identify, 1}, // neither short nor long form
        {"INST \"QVSIMC01\"", "", 0, Header::Select, 1},
        {"INSTrument:SELect?", "", 0, Header::SelectQuery, 1},
        {"SENS:FREQ:GATE:TIME 0.1", "", 0, Header::GateTime, 1},
        {"freq:gate:time?", "", 0, Header::GateTimeQuery, 1},
        {"PER:SLOP2 NEG", "", 0, Header::Slope, 2},
        {"PER:SLOP POS", "", 0, Header::Slope, 1},
        {"INP:LEV2 1.5", "", 0, Header::Level, 2},
        {"MEAS:FREQ? (@0,1)", "", 0, Header::MeasFrequency, 1},
        {"TIME?", "SENS:FREQ:GATE", 0, Header::GateTimeQuery, 1}, // compound command
        {"MEAS:PER?", "INST", 0, Header::MeasPeriod, 1},          // not under INST: absolute
        {"*RST", "SENS:FREQ:GATE", 0, Header::Reset, 1},
        {"BOGUS", "", -113, Header::Identify, 1},
        {"*IDN", "", -113, Header::Identify, 1}, // only the query exists
        {"*IDN? 1", "", -108, Header::Identify, 1},
        {"INST:SEL", "", -109, Header::Identify, 1},
        {"MEAS:FREQ? (@0", "", -102, Header::Identify, 1},
        {"INP:LEV1 1,", "", -108, Header::Identify, 1},
        {"MEAS:\x01?", "", -113, Header::Identify, 1},
        {"SENS:FREQ:MODE COUN", "", 0, Header::FrequencyMode, 1},
        {"frequency:mode?", "", 0, Header::FrequencyModeQuery, 1},
        {"meas:dcyc? (@1)", "", 0, Header::MeasDutyCycle, 1},
        {"CONFigure:NWIDth", "", 0, Header::ConfNegativeWidth, 1},
        {"ROSC:EXT:LOCK?", "", 0, Header::RoscExternalLock, 1},
        {"SENSe:ROSCillator:EXTernal:FREQuency?", "", 0, Header::RoscExternalFrequency, 1},
        {"ROSC:SOUR EXT", "", -113, Header::Identify, 1}, // the source is chosen by the config
        {"INST:SEL \"QV SIM\"", "", 0, Header::Select, 1},
        {"MEAS:FREQ? (@0, 1)", "", 0, Header::MeasFrequency, 1},
        {"STAT:QUES?", "", 0, Header::QuestionableEventQuery, 1},
        {"STAT:QUES:COND?", "", 0, Header::QuestionableConditionQuery, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const scpi::ParsedCommand parsed = scpi::parseCommand(c.text, c.path);
        EXPECT_EQ(parsed.error.code, c.error);
        if (c.error != 0) continue;
        ASSERT_TRUE(parsed.command);
        EXPECT_EQ(parsed.command->header, c.header);
        EXPECT_EQ(parsed.command->suffix, c.suffix);
    }
    EXPECT_EQ(scpi::splitMessage("A (@0;1);B"), (std::vector<std::string>{"A (@0;1)", "B"}));
    EXPECT_EQ(scpi::splitMessage("A \"x;y"), std::nullopt);
    EXPECT_EQ(scpi::splitMessage("A \"x;y\";B"), (std::vector<std::string>{"A \"x;y\"", "B"}));
}

TEST(ScpiParser, ReadsNumbersStringsAndChannelLists) {
    EXPECT_EQ(scpi::parseNumber("0.1"), 0.1);
    EXPECT_EQ(scpi::parseNumber("+1E1"), 10.0);
    EXPECT_EQ(scpi::parseNumber("max", {0.1, 10.0, 1.0, {}}), 10.0);
    for (const char* bad : {"", "0x10", "inf", "nan", "1V", "1e999", "--1"})
        EXPECT_FALSE(scpi::parseNumber(bad)) << bad;

    EXPECT_EQ(scpi::parseString("\"QVSIMC01\""), "QVSIMC01");
    EXPECT_EQ(scpi::parseString("'a''b'"), "a'b");
    EXPECT_EQ(scpi::parseString("QVSIMC01"), "QVSIMC01");
    for (const char* bad : {"\"open", "\"a\"b\"", "a b"})
        EXPECT_FALSE(scpi::parseString(bad)) << bad;

    EXPECT_EQ(scpi::parseChannelList("(@0:3,7)"), (std::vector<int>{0, 1, 2, 3, 7}));
    EXPECT_EQ(scpi::parseChannelList("(@2:0)"), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(scpi::parseChannelList("(@ 5 )"), (std::vector<int>{5}));
    for (const char* bad : {"(@)", "(0,1)", "(@0,)", "(@0:1:2)", "(@-1)", "(@0:9999)", "@0"})
        EXPECT_FALSE(scpi::parseChannelList(bad)) << bad;
}

class ScpiSessionTest : public ::testing::Test {
protected:
    // The reply to a line, running waiting queries to their end by moving
    // the clock on as the session asks; "<none>" when the line has none.
    std::string ask(ScpiSession& session, std::string_view line) {
        ScpiSession::Step step = session.handleLine(line);
        for (int i = 0; step.waiting && i < 100000; ++i) {
            clock->advance(std::chrono::nanoseconds(step.retryIn).count());
            step = session.resume(false);
        }
        EXPECT_FALSE(step.waiting);
        return step.hasReply ? step.reply : "<none>";
    }

    std::shared_ptr<vexengine::ManualClock> clock = std::make_shared<vexengine::ManualClock>();
    vexengine::Engine engine{clock, {"vexcountd", "9.9", std::chrono::system_clock::now()}};
};

TEST_F(ScpiSessionTest, AnswersAConversationLikeAnInstrument) {
    ScpiSession s(engine);
    const std::pair<const char*, const char*> conversation[] = {
        {"*IDN?", "Vex,vexcountd,0,9.9"},
        {"INST:CAT?", "\"QVSIMC01\",\"QVSIMC02\",\"QVSIMO01\",\"QVSIMR01\",\"QVSIMB01\""},
        {"INST:SEL?", "\"\""},
        {"MEAS:FREQ? (@0)", "9.91E+37"}, // no module yet: an answer all the same
        {"SYST:ERR?", "-221,\"Settings conflict; no module selected (INST:SEL \"\"NAME\"\")\""},
        {"INST:SEL \"QVSIMC01\";INST:SEL?", "\"QVSIMC01\""},
        {"MEAS:FREQ? (@0,1)", "1.000000000E+06,1.000000000E+03"},
        {"CONF:FREQ (@0:2);FREQ:GATE:TIME 0.1;READ?",
         "1.000000000E+06,1.000000000E+03,1.000000000E+03"},
        {"CONF:FREQ (@5);FREQ:GATE:TIME 10;READ?", "1.000000000E+00"},
        {"MEAS:PER? (@0:1)", "1.000000000E-06,1.000000000E-03"},
        {"CONF:PER (@1);PER:SLOP1 POS;PER:SLOP2 NEG;READ?", "5.000000000E-04"}, // high time
        {"CONF:PER (@2);PER:SLOP1 POS;SLOP2 NEG;READ?", "2.500000000E-04"},     // 25 % duty
        {"MEAS:TOT? (@1,5)", "1000,1"},
        {"CONF:TOT (@0);TOT:GATE:TIME INF;INIT;*OPC?", "1"},
        {"ABOR;FETC?", "0"}, // the clock has not moved since INIT
        {"CONF?;TOT:GATE:TIME?", "\"TOT (@0)\";9.9E+37"},
        {"*RST;CONF?;FREQ:GATE:TIME?;INP:LEV1?;ARM:COD?", "\"FREQ\";1.0E+00;1.4;\"--------\""},
        {"SYST:ERR?", "0,\"No error\""},
    };
    for (const auto& [line, reply] : conversation)
        EXPECT_EQ(ask(s, line), reply) << line;
}

TEST_F(ScpiSessionTest, ReciprocalWidthsDutyAndTheReferenceOscillator) {
    // A module whose counts take their time from a locked 10 MHz reference,
    // one whose reference is not locked, and one with fine measures: channel
    // 1 has a reciprocal only (two edges), channel 2 a regression too.
    const auto add = [&](const char* name, vexengine::TimeBase base, bool referenced) {
        auto module = std::make_unique<servertest::StubModule>(name, 18, base);
        module->channelMeasures.resize(3);
        module->channelMeasures[1].reciprocalHz = 999.75;
        module->channelMeasures[2].reciprocalHz = 1000.5;
        module->channelMeasures[2].regressionHz = 1000.25;
        for (vexengine::ChannelMeasures& m : module->channelMeasures)
            m.referenced = referenced;
        ASSERT_NE(engine.addModule(std::move(module)), nullptr);
    };
    add("QVREFD01", {true, true, 10e6, 7, 24e6, 24e6 * 1.00015, 150}, true);
    add("QVUNRF01", {true, false, 10e6, 7, 24e6, 24e6, 0}, false);
    add("QVMEAS01", {}, false);
    ScpiSession s(engine);
    const std::pair<const char*, const char*> conversation[] = {
        {"ROSC:SOUR?", "INT"},
        {"SYST:ERR?", "-221,\"Settings conflict; no module selected (INST:SEL \"\"NAME\"\")\""},
        {"INST:SEL \"QVSIMC01\";FREQ:MODE?", "REC"},
        // Row 14: a period of 142857 ns. Reciprocal reads its frequency, the
        // count its edges in the gate; a static channel has no reciprocal and
        // reads its count.
        {"MEAS:FREQ? (@14,6)", "7.000007000E+03,0.000000000E+00"},
        {"FREQ:MODE COUN;MEAS:FREQ? (@14);:FREQ:MODE?", "7.000000000E+03;COUN"},
        {"FREQ:MODE rec;MEAS:PWID? (@2,4)", "2.500000000E-04,1.000000000E-06"},
        {"MEAS:NWID? (@2,7)", "7.500000000E-04,9.91E+37"},
        {"MEAS:DCYC? (@2,16,6)", "2.500000000E-01,4.000000000E-01,9.91E+37"},
        {"CONF:DCYC (@15);FREQ:GATE:TIME 0.1;READ?;CONF?", "7.500000000E-01;\"DCYC (@15)\""},
        {"CONF:PWID (@1);INIT;ABOR;FETC?", "9.91E+37"}, // stopped: no result
        {"ROSC:SOUR?;:ROSC:EXT:FREQ?;:ROSC:EXT:LOCK?", "INT;9.91E+37;0,9.91E+37"},
        {"FREQ:MODE FAST", "<none>"},
        {"SYST:ERR?", "-224,\"Illegal parameter value; RECiprocal, COUNt or REGRession\""},
        {"FREQ:MODE COUN;*RST;FREQ:MODE?", "REC"},
        // Each mode falls back to the next coarser value a channel has.
        {"INST:SEL QVMEAS01;FREQ:MODE REGRession;FREQ:MODE?;:MEAS:FREQ? (@0:2)",
         "REGR;0.000000000E+00,9.997500000E+02,1.000250000E+03"},
        {"FREQ:MODE REC;:READ?", "0.000000000E+00,9.997500000E+02,1.000500000E+03"},
        {"FREQ:MODE COUN;:READ?", "0.000000000E+00,1.000000000E+00,2.000000000E+00"},
        {"INST:SEL \"QVREFD01\";SENS:ROSC:SOUR?", "EXT"},
        {"ROSC:EXT:FREQ?;:ROSC:EXT:LOCK?", "1.000000000E+07;1,+1.500000E+02"},
        // A count its module's reference did not time is questionable: the
        // condition, the latched event, the status byte's summary and -231.
        {"*CLS;MEAS:FREQ? (@3);:STAT:QUES:COND?;*STB?", "3.000000000E+00;0;0"},
        {"INST:SEL QVUNRF01;MEAS:FREQ? (@3);:STAT:QUES:COND?;*STB?", "3.000000000E+00;32;44"},
        {"SYST:ERR?",
         "-231,\"Data questionable; not timed by the reference of QVUNRF01: not locked\""},
        {"STAT:QUES?;STAT:QUES?;*ESR?;*STB?", "32;0;16;0"},
        {"MEAS:TOT? (@3);:STAT:QUES?;*CLS", "3;32"}, // any count the reference did not time
        {"INST:SEL QVREFD01;MEAS:FREQ? (@3);:STAT:QUES:COND?", "3.000000000E+00;0"},
        {"SYST:ERR?", "0,\"No error\""},
    };
    for (const auto& [line, reply] : conversation)
        EXPECT_EQ(ask(s, line), reply) << line;
}

TEST_F(ScpiSessionTest, QueuesErrorsForBadCommandsAndValues) {
    ScpiSession s(engine);
    ASSERT_EQ(ask(s, "INST:SEL QVSIMR01"), "<none>"); // 8 channels
    const std::pair<std::string, const char*> cases[] = {
        {"BOGUS", "-113,\"Undefined header\""},
        {"BOGUS;*IDN?", "-113,\"Undefined header\""}, // the rest of the line is dropped
        {"FREQ:GATE:TIME 0.5", "-222,\"Data out of range; gate time 0.1, 1, 10 or INF\""},
        {"FREQ:GATE:TIME INF", "-221,\"Settings conflict; a frequency count needs a finite gate\""},
        {"FREQ:GATE:TIME fast", "-104,\"Data type error; seconds: 0.1, 1, 10 or INF\""},
        {"INP:LEV1 3", "-222,\"Data out of range; volts 0.8 to 2.5 in steps of 0.1\""},
        {"INP:LEV1 1.45", "-222,\"Data out of range; volts 0.8 to 2.5 in steps of 0.1\""},
        {"ARM:COD \"01RFE-0\"", "-224,\"Illegal parameter value; 8 codes of 01RFE- for channels "
                                "0 to 7\""},
        {"PER:SLOP1 UP", "-224,\"Illegal parameter value; POSitive or NEGative\""},
        {"CONF:FREQ (@0,8);INIT", "-222,\"Data out of range; channel 8 of QVSIMR01 (0 to 7)\""},
        {"CONF:PER (@0 3)", "-102,\"Syntax error; channel list, e.g. (@0,1) or (@0:17)\""},
        {"INST:SEL \"QVSIMX99\"",
         "-224,\"Illegal parameter value; no module QVSIMX99 (see INST:CAT?)\""},
        {"INST:SEL \"QV\x01\"", "-224,\"Illegal parameter value; no module QV? (see INST:CAT?)\""},
        {"FETC?", "-230,\"Data corrupt or stale; no measurement: INIT, READ? or MEAS? first\""},
        {std::string(4000, 'x'), "-113,\"Undefined header\""},
        {std::string(5000, 'x'), "-223,\"Too much data; line longer than 4096 bytes\""},
    };
    for (const auto& [line, error] : cases) {
        SCOPED_TRACE(line);
        ask(s, line);
        EXPECT_EQ(ask(s, "SYST:ERR?"), error);
        EXPECT_EQ(ask(s, "SYST:ERR?"), "0,\"No error\"");
    }
    // Event status: a command error and an execution error, read once.
    ask(s, "BOGUS;");
    ask(s, "INP:LEV1 9");
    EXPECT_EQ(ask(s, "*STB?;*ESR?;*ESR?"), "36;48;0");
    // The queue holds 20 entries, the last one then says it overflowed.
    ask(s, "*CLS");
    for (int i = 0; i < 25; ++i)
        ask(s, "BOGUS");
    for (int i = 0; i < 19; ++i)
        EXPECT_EQ(ask(s, "SYST:ERR?"), "-113,\"Undefined header\"") << i;
    EXPECT_EQ(ask(s, "SYST:ERR?"), "-350,\"Queue overflow\"");
    ask(s, "BOGUS");
    EXPECT_EQ(ask(s, "*CLS;SYST:ERR?"), "0,\"No error\"");
    // A full queue loses the error but not its event bit, and the overflow
    // is a device-dependent error of its own.
    for (int i = 0; i < 20; ++i)
        ask(s, "BOGUS");
    EXPECT_EQ(ask(s, "*ESR?"), "32");
    ask(s, "INP:LEV1 9");
    EXPECT_EQ(ask(s, "*ESR?;*STB?"), "24;4");
}

TEST_F(ScpiSessionTest, MatchesHeadersInAnyCaseAndKeepsTheMessageRules) {
    ScpiSession s(engine);
    ASSERT_EQ(ask(s, "INST:SEL QVSIMR01"), "<none>"); // thresholds fixed at 1.4 V
    const std::string padded = "*IDN?" + std::string(4096 - 5, ' ');
    const std::string identity = "Vex,vexcountd,0,9.9";
    const std::string noError = "0,\"No error\"";
    const std::string infiniteFrequency =
        "-221,\"Settings conflict; a frequency count needs a finite gate\"";
    const std::string fixedLevel =
        "-221,\"Settings conflict; QVSIMR01 keeps its fixed thresholds: 1.4 V and 1.4 V\"";
    struct Case {
        std::string line;
        std::string reply; // "<none>" for none
        std::string error; // what SYST:ERR? then reads
    };
    const Case cases[] = {
        {"SENS:FREQ:GATE:TIME INF", "<none>", infiniteFrequency},
        {"sense:Frequency:gate:time INF", "<none>", infiniteFrequency},
        {"Sens:FREQUENCY:Gate:Time inf", "<none>", infiniteFrequency},
        {"freq:gate:time 1;time inf", "<none>", infiniteFrequency},
        {"sense:period:gate:time INF;TIME?", "9.9E+37", noError},
        {"PER:GATE:TIME 0.1;*CLS;TIME?", "1.0E-01", noError}, // common commands keep the path
        // A trailing separator ends the message; an empty command inside it
        // is still an error.
        {"*IDN?;", identity, noError},
        {"*idn? ; ", identity, noError},
        {"*IDN?;;", identity, "-102,\"Syntax error; empty command\""},
        // A threshold the module cannot take is refused, and the level read
        // back is the one it uses.
        {"INP:LEV1 2.0;LEV1?", "1.4", fixedLevel},
        {"input:level2 0.8;:INP:LEV2?", "1.4", fixedLevel},
        {"INP:LEV1 1.4;LEV1?", "1.4", noError},
        // 4096 bytes at most, a carriage return before the line feed aside.
        {padded, identity, noError},
        {padded + "\r", identity, noError},
        {padded + " ", "<none>", "-223,\"Too much data; line longer than 4096 bytes\""},
        // Module names as bare words in any case, quoted ones as written; the
        // levels asked for go with the session to the next module.
        {"INST:SEL qvsimc01;INST:SEL?", "\"QVSIMC01\"", noError},
        {"INP:LEV1 2.0;LEV1?", "2.0", noError},
        {"INST:SEL 'qvsimc02'", "<none>",
         "-224,\"Illegal parameter value; no module qvsimc02 (see INST:CAT?)\""},
        {"INST:SEL QVSIMR01;:INP:LEV1?", "1.4", fixedLevel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 60));
        EXPECT_EQ(ask(s, c.line), c.reply);
        EXPECT_EQ(ask(s, "SYST:ERR?"), c.error);
        EXPECT_EQ(ask(s, "SYST:ERR?"), noError);
    }
}

TEST_F(ScpiSessionTest, KeepsTheSyntaxRulesOfIeee4882) {
    ScpiSession s(engine); // no module selected
    const std::string identity = "Vex,vexcountd,0,9.9";
    const std::string noModule =
        "-221,\"Settings conflict; no module selected (INST:SEL \"\"NAME\"\")\"";
    struct Case {
        std::string line;
        std::string reply; // "<none>" for none
        std::string error; // what SYST:ERR? then reads
    };
    const Case cases[] = {
        // A command error (-1xx) drops the rest of the line; what came before stands.
        {"*IDN?;TOT:GATE:TIME abc;*IDN?", identity,
         "-104,\"Data type error; seconds: 0.1, 1, 10 or INF\""},
        {"MEAS:FREQ? (@0 1);*IDN?", "<none>",
         "-102,\"Syntax error; channel list, e.g. (@0,1) or (@0:17)\""},
        {"FREQ:GATE:TIME 1 2;*IDN?", "<none>",
         "-108,\"Parameter not allowed; parameters are separated by commas\""},
        {"FREQ:GATE:TIME 1,2", "<none>", "-108,\"Parameter not allowed\""},
        // An execution error (-2xx) does not.
        {"FREQ:GATE:TIME 0.5;*IDN?", identity,
         "-222,\"Data out of range; gate time 0.1, 1, 10 or INF\""},
        // Channel numbers need a module to mean something; the settings stay.
        {"CONF:FREQ (@0:18);CONF?", "\"FREQ\"", noModule},
        {"MEAS:TOT? (@1);CONF?", "9.91E+37;\"FREQ\"", noModule},
        {"CONF:PER;CONF?", "\"PER\"", "0,\"No error\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ask(s, c.line), c.reply);
        EXPECT_EQ(ask(s, "SYST:ERR?"), c.error);
        EXPECT_EQ(ask(s, "SYST:ERR?"), "0,\"No error\"");
    }
}

TEST_F(ScpiSessionTest, AModuleLostBeforeItsCountsAreReadAnswersNoResult) {
    auto stub = std::make_unique<servertest::StubModule>("QVGONE01", 4);
    servertest::StubModule* gone = stub.get();
    ASSERT_NE(engine.addModule(std::move(stub)), nullptr);
    ScpiSession s(engine);
    ASSERT_EQ(ask(s, "INST:SEL QVGONE01;MEAS:TOT? (@0,3)"), "0,3");
    // The status read sees the count end, then the device goes away before
    // its counts and measures are read.
    gone->vanishOnStatus = true;
    for (const char* query : {"MEAS:TOT? (@0,3)", "MEAS:FREQ? (@1,2)"}) {
        SCOPED_TRACE(query);
        gone->plugged = true;
        ASSERT_EQ(ask(s, "INST:SEL QVGONE01"), "<none>");
        EXPECT_EQ(ask(s, query), "9.91E+37,9.91E+37");
        EXPECT_EQ(ask(s, "SYST:ERR?"),
                  "-230,\"Data corrupt or stale; module QVGONE01 was lost during the count\"");
        EXPECT_EQ(ask(s, "FETC?;*IDN?"), "9.91E+37;Vex,vexcountd,0,9.9");
        ask(s, "*CLS");
    }
}

TEST_F(ScpiSessionTest, TwoClientsContendForOneModule) {
    ScpiSession first(engine), second(engine);
    EXPECT_EQ(ask(first, "INST:SEL \"QVSIMC01\";SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(ask(second, "INST:SEL \"QVSIMC01\";SYST:ERR?"),
              "-221,\"Settings conflict; module QVSIMC01 is in use by another client\"");
    EXPECT_EQ(ask(second, "INST:SEL?"), "\"\"");
    // The first client's going frees the module.
    first.release();
    EXPECT_EQ(ask(second, "INST:SEL \"QVSIMC01\";INST:SEL?;SYST:ERR?"),
              "\"QVSIMC01\";0,\"No error\"");
}

TEST_F(ScpiSessionTest, WaitsForTheGateAndGivesUpOnACountThatNeverEnds) {
    ScpiSession s(engine);
    ASSERT_EQ(ask(s, "INST:SEL \"QVSIMC01\""), "<none>");
    // READ? is first looked at when its 1 s gate should have closed.
    ScpiSession::Step step = s.handleLine("*IDN?;MEAS:FREQ? (@1)");
    ASSERT_TRUE(step.waiting);
    EXPECT_EQ(step.retryIn, std::chrono::seconds(1));
    EXPECT_EQ(step.patience, std::chrono::seconds(1));
    clock->advance(999 * vexengine::kMillisecond);
    EXPECT_TRUE(s.resume(false).waiting);
    clock->advance(vexengine::kMillisecond);
    step = s.resume(false);
    EXPECT_FALSE(step.waiting);
    EXPECT_EQ(step.reply, "Vex,vexcountd,0,9.9;1.000000000E+03");

    // A period count on a static channel with the endless gate never ends.
    step = s.handleLine("CONF:PER (@6);PER:GATE:TIME INF;READ?");
    ASSERT_TRUE(step.waiting);
    clock->advance(60 * vexengine::kSecond);
    EXPECT_TRUE(s.resume(false).waiting);
    step = s.resume(true);
    EXPECT_FALSE(step.waiting);
    EXPECT_EQ(step.reply, "9.91E+37");
    EXPECT_EQ(ask(s, "SYST:ERR?"), "-214,\"Trigger deadlock; no result within the wait limit\"");

    // Blank lines are no requests; over-long ones are queued as -223.
    EXPECT_FALSE(s.handleLine(" \t\r").request);
    s.lineTooLong();
    EXPECT_EQ(ask(s, "SYST:ERR?"), "-223,\"Too much data; line longer than 4096 bytes\"");
}

} // namespace
