// Reading the command line: which counting server the program connects to.
#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::string_view kServerKey = "server=";
constexpr int32_t kMaxPort = 65535;

std::string toLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Decimal digits only, 0 to 65535; stops before the value can overflow.
bool isPortNumber(std::string_view text) {
    if (text.empty()) return false;
    int32_t port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        port = port * 10 + (c - '0');
        if (port > kMaxPort) return false;
    }
    return true;
}

} // namespace

int32_t parsePort(std::string_view text) {
    if (!isPortNumber(text)) return 0;
    int32_t port = 0;
    for (char c : text)
        port = port * 10 + (c - '0');
    return port;
}

ServerAddress readServerArgument(const std::vector<std::string>& arguments) {
    ServerAddress server;
    for (const std::string& argument : arguments) {
        const std::string lower = toLower(argument);
        const std::size_t equals = lower.find('=');
        if (equals == std::string::npos) continue;
        // Only the text up to the first "=" decides, so "server=a=b" names
        // the host "a=b" and "xserver=h" is not a server argument.
        if (std::string_view(lower).substr(0, equals + 1) != kServerKey) continue;

        std::string rest = lower.substr(equals + 1);
        const std::size_t colon = rest.find(':');
        if (colon != std::string::npos) {
            const std::string_view portText = std::string_view(rest).substr(colon + 1);
            server.port = parsePort(portText);
            // Kept as typed: lower-casing keeps every byte in its place.
            if (!isPortNumber(portText))
                server.invalidPort = argument.substr(equals + 1 + colon + 1);
            rest.resize(colon);
        }
        if (rest.size() > ServerAddress::kMaxHostLength) rest.resize(ServerAddress::kMaxHostLength);
        server.host = std::move(rest);
        break; // only the first "server=" argument counts
    }
    return server;
}

std::string serverFailureMessage(std::string_view text, const ServerAddress& server) {
    std::string message(text);
    message += " (";
    message += server.host ? *server.host : std::string("local");
    if (server.invalidPort)
        return message + "): invalid port \"" + *server.invalidPort + "\" (0 to 65535)";
    message += ") ";
    if (server.port != 0)
        message += "on port " + std::to_string(server.port);
    else
        message += "on default port.";
    return message;
}
