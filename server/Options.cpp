// Command line of vexcountd; see Options.h. The options are declared once
// with CLI11, which parses them and writes --help from the same
// declarations; what CLI11 cannot check alone (listen addresses, address
// ranges, the loopback rule) is checked after it.
#include "Options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace vexcountd {
namespace {

// "ADDR:PORT" or "[IPV6]:PORT".
std::optional<ListenAddress> parseListen(std::string_view text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string_view::npos)
        return std::nullopt; // a bare IPv6 address is ambiguous with the port
    const std::string_view portText = text.substr(colon + 1);
    int port = -1;
    const auto [ptr, ec] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (host.empty() || portText.empty() || portText.front() == '-' || ec != std::errc() ||
        ptr != portText.data() + portText.size() || port < 0 || port > 65535)
        return std::nullopt;
    asio::error_code error;
    asio::ip::make_address(std::string(host), error);
    if (error) return std::nullopt;
    return ListenAddress{std::string(host), static_cast<uint16_t>(port)};
}

bool isLoopback(const std::string& address) {
    asio::error_code error;
    return canonical(asio::ip::make_address(address, error)).is_loopback();
}

// The raw texts CLI11 fills in; checked and converted afterwards.
struct RawOptions {
    std::string listen;
    std::string scpi;
    std::string metrics;
    std::vector<std::string> monitors;
    std::vector<std::string> allow;
    double idleSeconds = std::chrono::duration<double>(kDefaultIdleTimeout).count();
    int maxPerAddress = kDefaultMaxPerAddress;
};

void declare(CLI::App& app, Options& options, RawOptions& raw) {
    app.description("The counting server of the Vex frequency and event counter: serves the\n"
                    "simulated Vex modules to libvexif clients over a line protocol on TCP,\n"
                    "and to instrument software over SCPI.");
    app.set_help_flag("-h,--help", "print this text and exit");
    app.get_formatter()->column_width(24);
    app.add_flag("--version", options.showVersion, "print the version and exit");
    app.add_option("--listen", raw.listen,
                   "address and port of the line protocol (default 127.0.0.1:8279;\n"
                   "[::1]:8279 for IPv6; port 0 picks a free port and prints it)")
        ->type_name("ADDR:PORT");
    app.add_option("--scpi", raw.scpi,
                   "also speak SCPI (IEEE 488.2) on this address and port,\n"
                   "conventionally port 5025 (see server/SCPI.md)")
        ->type_name("ADDR:PORT");
    app.add_option("--metrics", raw.metrics,
                   "serve Prometheus metrics at http://ADDR:PORT/metrics\n"
                   "(IPv4; e.g. 0.0.0.0:9464 with --allow; see server/METRICS.md)")
        ->type_name("ADDR:PORT");
    app.add_option("--monitor", raw.monitors,
                   "hold a module and count on it without pause, for the metrics:\n"
                   "MODULE:TYPE:GATE[:CHANNELS], TYPE freq, per or tot, GATE 0.1,\n"
                   "1, 10 or inf (s; not freq), e.g. QVSIMC01:freq:1:0-3,7\n"
                   "(repeatable; channels default to all)")
        ->type_name("MONITOR")
        ->allow_extra_args(false);
    app.add_option("--allow", raw.allow,
                   "admit clients from this address range only, e.g.\n"
                   "192.168.1.0/24, fd00::/8 or 10.0.0.7 (repeatable); needed to\n"
                   "listen on an address other than loopback; 'any' admits all")
        ->type_name("CIDR")
        ->allow_extra_args(false);
    app.add_option("--max-clients", options.maxClients,
                   "clients served at once over both protocols; more are refused\n"
                   "(1 to 1024, default 64, lowered to what the open-file limit allows)")
        ->type_name("N")
        ->check(CLI::Range(1, 1024).description(""));
    app.add_option("--max-per-address", raw.maxPerAddress,
                   "connections at once from one client address (1 to 1024; default\n"
                   "8 for other hosts, no limit for this machine's own clients)")
        ->type_name("N")
        ->check(CLI::Range(1, 1024).description(""));
    app.add_option("--idle-timeout", raw.idleSeconds,
                   "drop a client that sends no request for this long\n"
                   "(0.1 to 86400, default 60)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.1, 86400.0).description(""));
    app.add_option("--device", options.devices,
                   "count a logic analyser through libsigrok:\n"
                   "DRIVER[:key=value...], e.g. demo or fx2lafw:conn=1.5 (repeatable);\n"
                   "replay:file=CAPTURE.sr[:speed=F] plays a recorded capture;\n"
                   "none: no analyser (default: every USB logic analyser found)")
        ->type_name("DEVICE")
        ->allow_extra_args(false);
    app.footer("Try it by hand: nc 127.0.0.1 8279, then type *IDN? or HELP?\n");
}

} // namespace

int Options::maxFrom(const asio::ip::address& address) const {
    if (maxPerAddress) return *maxPerAddress;
    return canonical(address).is_loopback() ? maxClients : kDefaultMaxPerAddress;
}

AddressFilter Options::filter() const {
    return AddressFilter(allow, allowAny || allow.empty());
}

std::variant<Options, OptionsError> parseOptions(const std::vector<std::string_view>& args) {
    Options options;
    RawOptions raw;
    CLI::App app{"", "vexcountd"};
    declare(app, options, raw);
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        options.showHelp = true;
        return options;
    } catch (const CLI::ParseError& e) {
        return OptionsError{std::string(e.what()) + " (try --help)"};
    }

    if (!raw.listen.empty() || app.count("--listen") > 0) {
        const auto listen = parseListen(raw.listen);
        if (!listen)
            return OptionsError{"--listen needs ADDR:PORT (e.g. 127.0.0.1:8279 or [::1]:8279), "
                                "not '" +
                                raw.listen + "'"};
        options.address = listen->address;
        options.port = listen->port;
    }
    if (app.count("--scpi") > 0) {
        options.scpi = parseListen(raw.scpi);
        if (!options.scpi)
            return OptionsError{"--scpi needs ADDR:PORT (e.g. 127.0.0.1:5025 or [::1]:5025), "
                                "not '" +
                                raw.scpi + "'"};
    }
    if (app.count("--metrics") > 0) {
        options.metrics = parseListen(raw.metrics);
        if (!options.metrics)
            return OptionsError{"--metrics needs ADDR:PORT (e.g. 127.0.0.1:9464), not '" +
                                raw.metrics + "'"};
        // The web server under prometheus-cpp (Debian's civetweb) is built
        // without IPv6.
        if (options.metrics->address.find(':') != std::string::npos)
            return OptionsError{"--metrics serves IPv4 only (e.g. 127.0.0.1:9464 or 0.0.0.0:9464), "
                                "not '" +
                                raw.metrics + "'"};
    }
    for (const std::string& text : raw.monitors) {
        auto request = parseMonitorRequest(text);
        if (const auto* error = std::get_if<MonitorRequestError>(&request))
            return OptionsError{error->message};
        MonitorRequest& parsed = std::get<MonitorRequest>(request);
        for (const MonitorRequest& other : options.monitors)
            if (other.module == parsed.module)
                return OptionsError{"--monitor names " + parsed.module + " twice"};
        options.monitors.push_back(std::move(parsed));
    }
    for (const std::string& text : raw.allow) {
        if (text == "any") {
            options.allowAny = true;
            continue;
        }
        const auto range = AddressRange::parse(text);
        if (!range)
            return OptionsError{"--allow needs an address or a range such as 192.168.1.0/24, "
                                "fd00::/8 or 'any', not '" +
                                text + "'"};
        options.allow.push_back(*range);
    }
    options.idleTimeout = std::chrono::milliseconds(std::llround(raw.idleSeconds * 1000));
    if (app.count("--max-per-address") > 0) options.maxPerAddress = raw.maxPerAddress;

    // Serving beyond this machine must be asked for: who may connect.
    if (options.allow.empty() && !options.allowAny) {
        for (const std::string* address :
             {&options.address, options.scpi ? &options.scpi->address : nullptr,
              options.metrics ? &options.metrics->address : nullptr})
            if (address && !isLoopback(*address))
                return OptionsError{"listening on " + *address +
                                    " serves the network: say who may connect with --allow "
                                    "CIDR (e.g. --allow 192.168.1.0/24), or --allow any"};
    }
    return options;
}

std::string usageText() {
    Options options;
    RawOptions raw;
    CLI::App app{"", "vexcountd"};
    declare(app, options, raw);
    return app.help();
}

} // namespace vexcountd
