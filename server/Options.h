// vexcountd's command line, read by a pure function so that every option
// and every mistake is testable without starting a server.
#pragma once

#include "AddressFilter.h"
#include "MonitorRequest.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vexcountd {

constexpr uint16_t kDefaultPort = 8279;
constexpr int kDefaultMaxClients = 64;
constexpr int kDefaultMaxPerAddress = 8;
constexpr std::chrono::milliseconds kDefaultIdleTimeout{60'000};

// A numeric address and a port to listen on.
struct ListenAddress {
    std::string address; // numeric IPv4 or IPv6 address
    uint16_t port = 0;   // 0: any free port (printed at start)
};

struct Options {
    std::string address = "127.0.0.1"; // the line protocol's listener
    uint16_t port = kDefaultPort;
    std::optional<ListenAddress> scpi;    // the SCPI listener, if any
    std::optional<ListenAddress> metrics; // the Prometheus metrics port, if any
    std::vector<MonitorRequest> monitors; // --monitor: modules counted without pause
    std::chrono::milliseconds idleTimeout = kDefaultIdleTimeout;
    int maxClients = kDefaultMaxClients; // both listeners together
    std::optional<int> maxPerAddress;    // --max-per-address, if given
    std::vector<AddressRange> allow;     // --allow ranges
    bool allowAny = false;               // --allow any
    // --device DEVICE, repeatable: the logic analysers to count (libsigrok
    // DRIVER[:key=value...]); none given: every USB analyser found; "none":
    // no analyser.
    std::vector<std::string> devices;
    bool showHelp = false;
    bool showVersion = false;

    // Who is admitted: the --allow ranges; everybody with --allow any or
    // when no --allow was given (then every listener is a loopback one).
    AddressFilter filter() const;
    // Connections at once from one address: --max-per-address, else no limit
    // for loopback peers (this machine's own users, as before) and
    // kDefaultMaxPerAddress for other hosts.
    int maxFrom(const asio::ip::address& address) const;
};

// The message for a command line that cannot be used.
struct OptionsError {
    std::string message;
};

// args: the arguments after the program name. A listener on an address
// other than loopback without any --allow is an error.
std::variant<Options, OptionsError> parseOptions(const std::vector<std::string_view>& args);

std::string usageText();

} // namespace vexcountd
