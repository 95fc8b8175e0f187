// Reading the server argument of the command line, and the failure message
// that names the server.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct ServerCase {
    const char* name;
    std::vector<std::string> arguments;
    std::optional<std::string> host;
    int32_t port;
    // The port text as typed, when it is no port number.
    std::optional<std::string> invalidPort = std::nullopt;
};

const std::string kLongHost(200, 'h');

const ServerCase kServerCases[] = {
    {"NoArguments", {}, std::nullopt, 0},
    {"NoServerArgument", {"-v", "file.txt", "mode=fast"}, std::nullopt, 0},
    {"HostAndPortLowerCased", {"server=Lab-PC:9000"}, "lab-pc", 9000},
    {"HostWithoutPort", {"server=lab-pc"}, "lab-pc", 0},
    {"KeyMatchedInAnyCase", {"SERVER=Host:81"}, "host", 81},
    {"EmptyHostIsNotBuiltIn", {"server=:9000"}, "", 9000},
    {"EmptyEverything", {"server="}, "", 0},
    {"PortNotANumber", {"server=host:AbC"}, "host", 0, "AbC"},
    {"EmptyPort", {"server=host:"}, "host", 0, ""},
    {"OnlyFirstEqualsSplits", {"server=a=b"}, "a=b", 0},
    {"OnlyFirstColonSplits", {"server=h:81:82"}, "h", 0, "81:82"},
    {"PrefixedKeyIgnored", {"xserver=h"}, std::nullopt, 0},
    {"KeyMustEndAtFirstEquals", {"server-x=h", "serverx=h"}, std::nullopt, 0},
    {"FirstServerArgumentWins", {"server=first:1", "server=second:2"}, "first", 1},
    {"OtherArgumentsSkipped", {"-x", "xserver=h", "server=lab:7"}, "lab", 7},
    {"LongHostCut", {"server=" + kLongHost}, std::string(127, 'h'), 0},
    {"LongHostCutAfterPortSplit", {"server=" + kLongHost + ":81"}, std::string(127, 'h'), 81},
    {"NegativePort", {"server=h:-1"}, "h", 0, "-1"},
    {"SignedPort", {"server=h:+81"}, "h", 0, "+81"},
    {"PortWithBlank", {"server=h: 81"}, "h", 0, " 81"},
    {"PortAboveRange", {"server=h:65536"}, "h", 0, "65536"},
    {"PortAtTopOfRange", {"server=h:65535"}, "h", 65535},
    {"PortOverflowing32Bits", {"server=h:4294967377"}, "h", 0, "4294967377"},
    {"PortLeadingZeros", {"server=h:0081"}, "h", 81},
    {"PortZeroIsTheDefault", {"server=h:0"}, "h", 0},
    {"PortFiveNines", {"server=h:99999"}, "h", 0, "99999"},
    {"PortWithLetters", {"server=h:12ab"}, "h", 0, "12ab"},
    {"PortOfALaterArgumentIgnored", {"server=h:81", "server=h:x"}, "h", 81},
};

class ServerArgument : public testing::TestWithParam<ServerCase> {};

TEST_P(ServerArgument, GivesHostAndPort) {
    const ServerCase& c = GetParam();
    const ServerAddress server = readServerArgument(c.arguments);
    EXPECT_EQ(server.host, c.host);
    EXPECT_EQ(server.port, c.port);
    EXPECT_EQ(server.invalidPort, c.invalidPort);
    if (c.host)
        EXPECT_STREQ(server.hostOrNull(), c.host->c_str());
    else
        EXPECT_EQ(server.hostOrNull(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Table, ServerArgument, testing::ValuesIn(kServerCases),
                         [](const testing::TestParamInfo<ServerCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ServerFailureMessage, NamesHostAndPort) {
    const struct {
        std::optional<std::string> host;
        int32_t port;
        const char* expected;
        std::optional<std::string> invalidPort = std::nullopt;
    } cases[] = {
        {std::nullopt, 0, "Failed to connect to server (local) on default port."},
        {"lab-pc", 9000, "Failed to connect to server (lab-pc) on port 9000"},
        {"127.0.0.1", 1, "Failed to connect to server (127.0.0.1) on port 1"},
        {"", 0, "Failed to connect to server () on default port."},
        {std::nullopt, 81, "Failed to connect to server (local) on port 81"},
        {"lab-pc", 0, "Failed to connect to server (lab-pc): invalid port \"99999\" (0 to 65535)",
         "99999"},
        {"h", 0, "Failed to connect to server (h): invalid port \"\" (0 to 65535)", ""},
    };
    for (const auto& c : cases) {
        ServerAddress server;
        server.host = c.host;
        server.port = c.port;
        server.invalidPort = c.invalidPort;
        EXPECT_EQ(serverFailureMessage("Failed to connect to server", server), c.expected);
    }
}

} // namespace
