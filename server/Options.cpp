// Command line of vexcountd; see Options.h.
#include "Options.h"

#include <asio/ip/address.hpp>

#include <charconv>
#include <cmath>

namespace vexcountd {
namespace {

bool parseNumber(std::string_view text, long long& value) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size() && !text.empty();
}

// "ADDR:PORT" or "[IPV6]:PORT".
std::variant<Options, OptionsError> parseListen(std::string_view text, Options options) {
    const auto bad = [&] {
        return OptionsError{"--listen needs ADDR:PORT (e.g. 127.0.0.1:8279 or [::1]:8279), not '" +
                            std::string(text) + "'"};
    };
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return bad();
    std::string_view host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string_view::npos)
        return bad(); // a bare IPv6 address is ambiguous with the port
    long long port = 0;
    if (host.empty() || !parseNumber(text.substr(colon + 1), port) || port < 0 || port > 65535)
        return bad();
    asio::error_code ec;
    asio::ip::make_address(std::string(host), ec);
    if (ec) return bad();
    options.address = std::string(host);
    options.port = static_cast<uint16_t>(port);
    return options;
}

} // namespace

std::variant<Options, OptionsError> parseOptions(const std::vector<std::string_view>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        // Options with a value take it as the next argument or after "=".
        std::string_view name = arg;
        std::string_view value;
        bool hasValue = false;
        if (const std::size_t eq = arg.find('='); arg.starts_with("--") && eq != arg.npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        const auto takeValue = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= args.size()) return false;
            value = args[++i];
            return true;
        };

        if (name == "--help" || name == "-h") {
            options.showHelp = true;
        } else if (name == "--version") {
            options.showVersion = true;
        } else if (name == "--listen") {
            if (!takeValue()) return OptionsError{"--listen needs ADDR:PORT"};
            auto parsed = parseListen(value, options);
            if (auto* error = std::get_if<OptionsError>(&parsed)) return *error;
            options = std::get<Options>(parsed);
        } else if (name == "--idle-timeout") {
            double seconds = 0;
            if (!takeValue()) return OptionsError{"--idle-timeout needs a number of seconds"};
            auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (ec != std::errc() || ptr != value.data() + value.size() || value.empty() ||
                !(seconds >= 0.1 && seconds <= 86400))
                return OptionsError{"--idle-timeout needs seconds between 0.1 and 86400"};
            options.idleTimeout = std::chrono::milliseconds(std::llround(seconds * 1000));
        } else if (name == "--max-clients") {
            long long count = 0;
            if (!takeValue() || !parseNumber(value, count) || count < 1 || count > 1024)
                return OptionsError{"--max-clients needs a number between 1 and 1024"};
            options.maxClients = static_cast<int>(count);
        } else if (name == "--device") {
            if (!takeValue() || value.empty())
                return OptionsError{"--device needs a device spec, e.g. demo or fx2lafw:conn=1.5"};
            options.devices.emplace_back(value);
        } else {
            return OptionsError{"unknown argument '" + std::string(arg) + "' (try --help)"};
        }
    }
    return options;
}

std::string usageText() {
    return "Usage: vexcountd [options]\n"
           "The counting server of the Vex frequency and event counter: serves the\n"
           "simulated Vex modules to libvexif clients over a line protocol on TCP.\n"
           "\n"
           "  --listen ADDR:PORT     address and port to listen on (default 127.0.0.1:8279;\n"
           "                         0.0.0.0:8279 serves the network, port 0 picks a free\n"
           "                         port and prints it)\n"
           "  --idle-timeout SECONDS drop a client that sends no request for this long\n"
           "                         (default 60)\n"
           "  --max-clients N        clients served at once; more are refused (default 64)\n"
           "  --device SPEC          count this logic analyser (repeatable); SPEC is a\n"
           "                         libsigrok DRIVER[:key=value...], e.g. demo or\n"
           "                         fx2lafw:conn=1.5; none: no analyser (default: every\n"
           "                         USB logic analyser found)\n"
           "  --version              print the version and exit\n"
           "  --help                 print this text and exit\n"
           "\n"
           "Try it by hand: nc 127.0.0.1 8279, then type *IDN? or HELP?\n";
}

} // namespace vexcountd
