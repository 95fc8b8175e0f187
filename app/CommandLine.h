// Reading the command line: which counting server the program connects to.
// Plain C++ so that the rules can be tested without a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The counting server named on the command line.
struct ServerAddress {
    // Longest host text kept; the rest of a longer one is cut off.
    static constexpr std::size_t kMaxHostLength = 127;

    // std::nullopt: the library's built-in server. Set by a "server=" argument,
    // possibly to an empty text (this machine).
    std::optional<std::string> host;
    // 0: the server's default port.
    int32_t port = 0;
    // The port text as typed when it is not a port number (port is then 0).
    // Such an argument is refused at start rather than quietly sent to the
    // default port, where another server may answer.
    std::optional<std::string> invalidPort;

    // The host as QV_ConnectToServer takes it: null for the built-in server.
    const char* hostOrNull() const { return host ? host->c_str() : nullptr; }
};

// Reads the program's arguments (without the program name). The first argument
// that, in lower case, starts with "server=" names the server: "server=HOST" or
// "server=HOST:PORT". Everything is taken in lower case; the host is the text
// before the first ":" (cut to kMaxHostLength characters), the port the text
// after it. A port text that is not a valid port number (empty, not only
// decimal digits, or above 65535) gives port 0 and is kept, as typed, in
// invalidPort. Later "server=" arguments and all other arguments are ignored.
ServerAddress readServerArgument(const std::vector<std::string>& arguments);

// The port number of a port text: decimal digits only, 0 to 65535; anything
// else (empty, signs, blanks, overflow) is 0, the default port.
int32_t parsePort(std::string_view text);

// The message shown when the connection to the server fails, e.g.
// "Failed to connect to server (lab-pc) on port 9000" or
// "Failed to connect to server (local) on default port.", or, for a port text
// that is no port number, "Failed to connect to server (lab-pc): invalid port
// \"99999\" (0 to 65535)".
std::string serverFailureMessage(std::string_view text, const ServerAddress& server);
