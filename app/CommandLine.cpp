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

} // namespace

int32_t parsePort(std::string_view text) {
    if (text.empty()) return 0;
    int32_t port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        port = port * 10 + (c - '0');
        // Stop before the value can overflow: a port has at most five digits.
        if (port > kMaxPort) return 0;
    }
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
            server.port = parsePort(std::string_view(rest).substr(colon + 1));
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
    message += ") ";
    if (server.port != 0)
        message += "on port " + std::to_string(server.port);
    else
        message += "on default port.";
    return message;
}
