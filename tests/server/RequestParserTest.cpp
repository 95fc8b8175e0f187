// The request parser, the line framer and the command line of vexcountd:
// pure functions, driven by tables.
#include "RequestParser.h"
#include "LineFramer.h"
#include "Options.h"
#include "TcpProtocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

using namespace vexcountd;
namespace wire = vexif::wire;

namespace {

struct GoodCase {
    std::string line;
    Command command;
    std::array<int32_t, 3> numbers;
    std::string word;
};

TEST(RequestParser, ReadsEveryCommandWithItsArguments) {
    const GoodCase cases[] = {
        {"HELLO 1", Command::Hello, {1, 0, 0}, ""},
        {"*IDN?", Command::Identify, {}, ""},
        {"*idn?", Command::Identify, {}, ""},
        {"MOD:COUNT?", Command::ModCount, {}, ""},
        {"mod:info? 3", Command::ModInfo, {3, 0, 0}, ""},
        {"MOD:INFO? -1", Command::ModInfo, {-1, 0, 0}, ""},
        {"MOD:OPEN QVSIMC01", Command::ModOpen, {}, "QVSIMC01"},
        {"MOD:OPEN qvsimc01", Command::ModOpen, {}, "qvsimc01"}, // arguments keep their case
        {"MOD:OPEN?", Command::ModIsOpen, {}, ""},
        {"MOD:CLOSE", Command::ModClose, {}, ""},
        {"PINS? 18", Command::Pins, {18, 0, 0}, ""},
        {"THRESH 1 +25", Command::Threshold, {1, 25, 0}, ""},
        {"FC:RUN 2 3 7 01RFE-01", Command::FcRun, {2, 3, 7}, "01RFE-01"},
        {"FC:STOP", Command::FcStop, {}, ""},
        {"FC:STATUS? 2147483647", Command::FcStatus, {2147483647, 0, 0}, ""},
        {"FC:COUNTS? -2147483648", Command::FcCounts, {-2147483648, 0, 0}, ""},
        {"FC:MEASURES? 18", Command::FcMeasures, {18, 0, 0}, ""},
        {"timebase?", Command::TimeBase, {}, ""},
        {"DEV:PROBLEMS?", Command::DeviceProblems, {}, ""},
        {"HELP?", Command::Help, {}, ""},
        {"quit", Command::Quit, {}, ""},
        // Blanks, tabs and a carriage return around and between words.
        {"  \tPINS?\t 8  \r", Command::Pins, {8, 0, 0}, ""},
    };
    for (const GoodCase& c : cases) {
        SCOPED_TRACE(c.line);
        const ParseResult result = parseRequest(c.line);
        const Request* request = std::get_if<Request>(&result);
        ASSERT_NE(request, nullptr);
        EXPECT_EQ(request->command, c.command);
        EXPECT_EQ(request->numbers, c.numbers);
        EXPECT_EQ(request->word, c.word);
    }
}

TEST(RequestParser, RefusesWhatIsNotARequest) {
    const std::pair<std::string, int> cases[] = {
        {"FOO", wire::kStatusUnknownCommand},
        {"IDN?", wire::kStatusUnknownCommand},
        {"MOD", wire::kStatusUnknownCommand},
        {std::string("\x01\x02\xff\xfe", 4), wire::kStatusUnknownCommand},
        {std::string("*IDN?\0", 6), wire::kStatusUnknownCommand}, // NUL inside the word
        {"*IDN? extra", wire::kStatusMalformed},
        {"MOD:INFO?", wire::kStatusMalformed},
        {"MOD:INFO? 1 2", wire::kStatusMalformed},
        {"MOD:INFO? x", wire::kStatusMalformed},
        {"MOD:INFO? 1x", wire::kStatusMalformed},
        {"MOD:INFO? 0x10", wire::kStatusMalformed},
        {"MOD:INFO? 2147483648", wire::kStatusMalformed},
        {"MOD:INFO? -2147483649", wire::kStatusMalformed},
        {"MOD:INFO? +", wire::kStatusMalformed},
        {"MOD:INFO? ++1", wire::kStatusMalformed},
        {"MOD:INFO? +-5", wire::kStatusMalformed}, // a sign once, then digits only
        {"MOD:INFO? -+5", wire::kStatusMalformed},
        {"MOD:INFO? --5", wire::kStatusMalformed},
        {"MOD:INFO? -", wire::kStatusMalformed},
        {"THRESH 0 +-14", wire::kStatusMalformed},
        {"MOD:OPEN", wire::kStatusMalformed},
        {"MOD:OPEN two words", wire::kStatusMalformed},
        {"MOD:OPEN na\x7fme", wire::kStatusMalformed},
        {"THRESH 1", wire::kStatusMalformed},
        {"FC:RUN 2 3 7", wire::kStatusMalformed},
        {"FC:RUN 2 3 x --------", wire::kStatusMalformed},
        {"FC:RUN 2 3 7 -------- more words here", wire::kStatusMalformed},
        {"FC:MEASURES?", wire::kStatusMalformed},
        {"TIMEBASE? 0", wire::kStatusMalformed},
        {"DEV:PROBLEMS? all", wire::kStatusMalformed},
        {std::string(4097, 'A'), wire::kStatusLineTooLong},
    };
    for (const auto& [line, status] : cases) {
        SCOPED_TRACE(line);
        const ParseResult result = parseRequest(line);
        const ParseError* error = std::get_if<ParseError>(&result);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->status, status);
        EXPECT_FALSE(error->message.empty());
    }
}

TEST(RequestParser, IgnoresEmptyLinesAndAcceptsTheLongestLine) {
    for (const std::string line : {"", " ", "\t \t", "\r"})
        EXPECT_TRUE(std::holds_alternative<EmptyLine>(parseRequest(line)));
    // 4096 bytes exactly: a request padded with blanks is still a request.
    std::string longest = "*IDN?" + std::string(4096 - 5, ' ');
    EXPECT_TRUE(std::holds_alternative<Request>(parseRequest(longest)));
    EXPECT_TRUE(std::holds_alternative<Request>(parseRequest(longest + "\r")));
}

// Feeds chunks and collects the events as text: the line, or "<long>".
std::vector<std::string> frame(LineFramer& framer, const std::vector<std::string>& chunks) {
    std::vector<std::string> out;
    for (const std::string& chunk : chunks) {
        framer.append(chunk);
        for (auto e = framer.next(); e.kind != LineFramer::Kind::None; e = framer.next())
            out.push_back(e.kind == LineFramer::Kind::Line ? std::string(e.line) : "<long>");
    }
    return out;
}

TEST(LineFramer, CutsLinesWhereverTheBytesArriveSplit) {
    LineFramer framer(10);
    EXPECT_EQ(frame(framer, {"*ID", "N?\nMOD:", "COUNT?\n\nx"}),
              (std::vector<std::string>{"*IDN?", "MOD:COUNT?", ""}));
    EXPECT_EQ(framer.pendingBytes(), 1u); // "x" waits for its line end
    EXPECT_EQ(frame(framer, {"\n"}), (std::vector<std::string>{"x"}));
}

TEST(LineFramer, ReportsAnOverLongLineOnceAndKeepsNoneOfIt) {
    LineFramer framer(10);
    // Arriving whole, or in pieces without a line end for a long time: one
    // report each, the next line intact, and memory bounded meanwhile.
    EXPECT_EQ(frame(framer, {std::string(11, 'a') + "\nok\n"}),
              (std::vector<std::string>{"<long>", "ok"}));
    EXPECT_EQ(frame(framer, {std::string(8, 'b'), std::string(8, 'b')}),
              (std::vector<std::string>{"<long>"}));
    for (int i = 0; i < 1000; ++i) {
        EXPECT_TRUE(frame(framer, {std::string(4096, 'c')}).empty());
        ASSERT_LE(framer.pendingBytes(), 10u);
    }
    EXPECT_EQ(frame(framer, {"ccc\nMOD:OPEN?\n"}), (std::vector<std::string>{"MOD:OPEN?"}));
    // Exactly the limit is still a line.
    EXPECT_EQ(frame(framer, {std::string(10, 'd') + "\n"}),
              (std::vector<std::string>{std::string(10, 'd')}));
}

TEST(ServerOptions, ReadsTheCommandLine) {
    const auto options = [](std::vector<std::string_view> args) {
        auto parsed = parseOptions(args);
        EXPECT_TRUE(std::holds_alternative<Options>(parsed));
        return std::holds_alternative<Options>(parsed) ? std::get<Options>(parsed) : Options{};
    };
    const Options defaults = options({});
    EXPECT_EQ(defaults.address, "127.0.0.1");
    EXPECT_EQ(defaults.port, 8279);
    EXPECT_EQ(defaults.idleTimeout, std::chrono::seconds(60));
    EXPECT_EQ(defaults.maxClients, 64);

    const Options lab =
        options({"--listen", "0.0.0.0:9000", "--idle-timeout=0.5", "--max-clients", "3", "--allow",
                 "192.168.1.0/24", "--allow=fd00::/8", "--scpi", "[::]:5025", "--max-per-address",
                 "2", "--device", "demo", "--device", "fx2lafw:conn=1.2"});
    EXPECT_EQ(lab.address, "0.0.0.0");
    EXPECT_EQ(lab.port, 9000);
    EXPECT_EQ(lab.idleTimeout, std::chrono::milliseconds(500));
    EXPECT_EQ(lab.maxClients, 3);
    ASSERT_EQ(lab.allow.size(), 2u);
    EXPECT_EQ(lab.allow[0].text(), "192.168.1.0/24");
    EXPECT_EQ(lab.allow[1].text(), "fd00::/8");
    EXPECT_FALSE(lab.allowAny);
    ASSERT_TRUE(lab.scpi);
    EXPECT_EQ(lab.scpi->address, "::");
    EXPECT_EQ(lab.scpi->port, 5025);
    EXPECT_EQ(lab.maxFrom(asio::ip::make_address("127.0.0.1")), 2);
    EXPECT_EQ(lab.devices, (std::vector<std::string>{"demo", "fx2lafw:conn=1.2"}));
    // Without --max-per-address this machine's clients are not limited,
    // other hosts are.
    EXPECT_EQ(defaults.maxFrom(asio::ip::make_address("::ffff:127.0.0.1")), 64);
    EXPECT_EQ(defaults.maxFrom(asio::ip::make_address("10.0.0.1")), 8);
    EXPECT_TRUE(options({"--listen", "[::]:0", "--allow", "any"}).allowAny);
    EXPECT_FALSE(defaults.scpi);

    const Options v6 = options({"--listen=[::1]:0"});
    EXPECT_EQ(v6.address, "::1");
    EXPECT_EQ(v6.port, 0);
    EXPECT_TRUE(options({"--help"}).showHelp);
    EXPECT_TRUE(options({"--version"}).showVersion);

    EXPECT_TRUE(defaults.devices.empty());
    EXPECT_EQ(options({"--device", "demo", "--device=fx2lafw:conn=1.5"}).devices,
              (std::vector<std::string>{"demo", "fx2lafw:conn=1.5"}));
}

TEST(ServerOptions, RefusesUnusableArguments) {
    const std::vector<std::vector<std::string_view>> cases = {
        {"--listen"},
        {"--listen", "127.0.0.1"},
        {"--listen", "127.0.0.1:65536"},
        {"--listen", "127.0.0.1:-1"},
        {"--listen", "127.0.0.1:80x"},
        {"--listen", ":8279"},
        {"--listen", "lab-pc:8279"}, // numeric addresses only: no resolver at start
        {"--listen", "::1:8279"},
        {"--idle-timeout", "0"},
        {"--idle-timeout", "abc"},
        {"--max-clients", "0"},
        {"--max-clients"},
        {"--device"},
        {"--device="},
        {"--port", "1"},
        {"listen"},
        {"--max-clients", "1025"},
        {"--max-clients", "+-5"},
        // Serving the network needs --allow.
        {"--listen", "0.0.0.0:8279"},
        {"--scpi", "[::]:5025"},
        {"--scpi", "192.168.1.2:5025", "--listen", "127.0.0.1:0"},
        {"--allow", "10.0.0.0/33"},
        {"--allow", "lab-pc"},
        {"--allow", "10.0.0.0/-1"},
        {"--allow", "10.0.0.1", "10.0.0.2"}, // one range per --allow
        {"--allow"},
        {"--scpi", "5025"},
        {"--max-per-address", "0"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.empty() ? "" : std::string(args.back()));
        const auto parsed = parseOptions(args);
        ASSERT_TRUE(std::holds_alternative<OptionsError>(parsed));
        EXPECT_FALSE(std::get<OptionsError>(parsed).message.empty());
    }
}

TEST(ReplyLines, SplitIntoStatusAndPayload) {
    const auto reply = wire::splitReply("0 vexcountd,1.0.0,2024-05-14,09:12:03\r");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 0);
    EXPECT_EQ(reply->payload, "vexcountd,1.0.0,2024-05-14,09:12:03");
    EXPECT_EQ(wire::splitReply("8 module taken")->status, 8);
    EXPECT_EQ(wire::splitReply("0")->payload, "");
    for (const std::string_view bad : {"", "x", " 0", "0x", "-1 a", "99999 a"})
        EXPECT_FALSE(wire::splitReply(bad)) << bad;

    wire::NumberReader numbers("1 -2 9223372036854775807");
    EXPECT_EQ(numbers.next<int32_t>(), 1);
    EXPECT_EQ(numbers.next<int64_t>(), -2);
    EXPECT_EQ(numbers.next<int64_t>(), INT64_MAX);
    EXPECT_TRUE(numbers.atEnd());
    EXPECT_FALSE(numbers.next<int32_t>());
    EXPECT_FALSE(wire::NumberReader("12x").next<int32_t>());
    EXPECT_FALSE(wire::NumberReader("4294967296").next<uint32_t>());
}

// Real numbers and free text cross the wire unchanged, whatever they hold.
TEST(ReplyLines, RealsAndTextRoundTrip) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const double value : {25000.0, 1e-5, 0.1, -150.02250337550632, 999850.0, 0.0, 1.0 / 3.0,
                               4.9406564584124654e-324, 1.7976931348623157e308, nan, -nan,
                               std::numeric_limits<double>::infinity()}) {
        const std::string text = wire::formatReal(value);
        SCOPED_TRACE(text);
        EXPECT_EQ(text.find_first_of(" ,"), std::string::npos);
        const auto back = wire::NumberReader(text).next<double>();
        ASSERT_TRUE(back);
        if (std::isnan(value)) {
            EXPECT_EQ(text, "nan");
            EXPECT_TRUE(std::isnan(*back));
        } else {
            EXPECT_EQ(*back, value);
        }
    }
    const std::string text = "capture '/tmp/a b%.sr': no such file\ttab\n\xc3\xa9t\xc3\xa9\n";
    const std::string escaped = wire::escapeText(text);
    EXPECT_TRUE(std::all_of(escaped.begin(), escaped.end(),
                            [](char c) { return c == ' ' || wire::isWordChar(c); }));
    EXPECT_NE(escaped.find("b%25.sr"), std::string::npos);
    EXPECT_EQ(wire::unescapeText(escaped), text);
    for (const std::string_view bad : {"%", "a%4", "%4G", "%%41", "a\tb"})
        EXPECT_FALSE(wire::unescapeText(bad)) << bad;
}

} // namespace
