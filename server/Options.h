// vexcountd's command line, read by a pure function so that every option
// and every mistake is testable without starting a server.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vexcountd {

constexpr uint16_t kDefaultPort = 8279;
constexpr int kDefaultMaxClients = 64;
constexpr std::chrono::milliseconds kDefaultIdleTimeout{60'000};

struct Options {
    std::string address = "127.0.0.1"; // numeric IPv4 or IPv6 address
    uint16_t port = kDefaultPort;      // 0: any free port (printed at start)
    std::chrono::milliseconds idleTimeout = kDefaultIdleTimeout;
    int maxClients = kDefaultMaxClients;
    // --device SPEC, repeatable: the logic analysers to count (libsigrok
    // DRIVER[:key=value...]); none given: every USB analyser found; "none":
    // no analyser.
    std::vector<std::string> devices;
    bool showHelp = false;
    bool showVersion = false;
};

// The message for a command line that cannot be used.
struct OptionsError {
    std::string message;
};

// args: the arguments after the program name.
std::variant<Options, OptionsError> parseOptions(const std::vector<std::string_view>& args);

std::string usageText();

} // namespace vexcountd
