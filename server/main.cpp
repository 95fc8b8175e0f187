// vexcountd: the counting engine served over TCP. Reads the command line,
// starts the engine and the listener, and runs until SIGINT or SIGTERM.
#include "ConfigCheck.h"
#include "Engine.h"
#include "Metrics.h"
#include "MetricsExposer.h"
#include "Monitor.h"
#include "Options.h"
#include "Server.h"
#include "SigrokSource.h"

#include <asio/signal_set.hpp>

#include <csignal>
#include <iostream>
#include <string_view>
#include <vector>

#ifndef VEXCOUNTD_VERSION
#define VEXCOUNTD_VERSION "0.0.0"
#endif

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    const auto parsed = vexcountd::parseOptions(args);
    if (const auto* error = std::get_if<vexcountd::OptionsError>(&parsed)) {
        std::cerr << "vexcountd: " << error->message << "\n";
        return 2;
    }
    const vexcountd::Options& options = std::get<vexcountd::Options>(parsed);
    if (options.showHelp) {
        std::cout << vexcountd::usageText();
        return 0;
    }
    if (options.showVersion) {
        std::cout << "vexcountd " << VEXCOUNTD_VERSION << "\n";
        return 0;
    }

    if (options.allowAny)
        std::cerr << "vexcountd: warning: --allow any: every address that reaches the port may "
                     "use and lock the modules\n";

    // The logic analysers to count: the --device configs, none for "none",
    // every USB analyser found when none is given.
    vexacq::SourceOptions sourceOptions;
    bool countDevices = true;
    for (const std::string& text : options.devices) {
        if (text == "none") {
            countDevices = false;
            continue;
        }
        auto config = vexacq::readDeviceConfig(text);
        if (const auto* error = std::get_if<vexacq::ConfigError>(&config)) {
            std::cerr << "vexcountd: --device: " << error->message << "\n";
            return 2;
        }
        sourceOptions.configs.push_back(std::get<vexacq::DeviceConfig>(std::move(config)));
    }
    if (!countDevices && !sourceOptions.configs.empty()) {
        std::cerr << "vexcountd: --device none cannot be combined with other devices\n";
        return 2;
    }
    sourceOptions.log = [](const std::string& line) {
        std::cerr << "vexcountd: " << line << std::endl;
    };

    // Sends to a vanished client must fail with an error, not kill us.
    std::signal(SIGPIPE, SIG_IGN);

    vexengine::EngineOptions engineOptions;
    engineOptions.serverName = "vexcountd";
    engineOptions.version = VEXCOUNTD_VERSION;
    vexengine::Engine engine(std::make_shared<vexengine::SteadyClock>(), engineOptions);
    // Declared after the engine so it ends first: its modules stay in the engine.
    std::unique_ptr<vexacq::SigrokSource> source;
    if (countDevices) source = std::make_unique<vexacq::SigrokSource>(engine, sourceOptions);

    asio::io_context io;
    std::unique_ptr<vexcountd::Server> server;
    try {
        server = std::make_unique<vexcountd::Server>(io, engine, options, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "vexcountd: cannot listen on " << options.address << ":" << options.port;
        if (options.scpi) std::cerr << " or " << options.scpi->address << ":" << options.scpi->port;
        std::cerr << ": " << e.what() << "\n";
        return 1;
    }

    const auto log = [](const std::string& line) {
        std::cerr << "vexcountd: " << line << std::endl;
    };
    // The metrics see every finished count through the engine's hook.
    std::shared_ptr<vexcountd::MetricsCollector> metrics;
    std::unique_ptr<vexcountd::MetricsExposer> exposer;
    if (options.metrics) {
        metrics = std::make_shared<vexcountd::MetricsCollector>(engine, server->counters());
        for (const vexcountd::MonitorRequest& request : options.monitors)
            metrics->setChannels(request.module, request.channels);
        engine.setFinishedCountHook(
            [collector = metrics.get()](const vexengine::FinishedCount& count) {
                collector->record(count);
            });
        try {
            exposer = std::make_unique<vexcountd::MetricsExposer>(options, metrics,
                                                                  server->counters(), log);
        } catch (const std::exception& e) {
            std::cerr << "vexcountd: cannot serve metrics on " << options.metrics->address << ":"
                      << options.metrics->port << ": " << e.what() << "\n";
            engine.setFinishedCountHook({});
            return 1;
        }
    }
    std::unique_ptr<vexcountd::Monitor> monitor;
    if (!options.monitors.empty() && !options.metrics)
        log("warning: --monitor without --metrics: the counts are not exported");
    if (!options.monitors.empty())
        monitor =
            std::make_unique<vexcountd::Monitor>(io, engine, options.monitors, metrics.get(), log);

    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const asio::error_code& error, int signal) {
        if (error) return;
        std::cerr << "vexcountd: " << (signal == SIGINT ? "SIGINT" : "SIGTERM")
                  << " received, stopping" << std::endl;
        server->stop();
        if (monitor) monitor->stop();
    });

    // Monitored modules are taken before any client can ask for them.
    if (monitor) monitor->start();
    server->start();
    if (exposer)
        log("metrics listening on " + options.metrics->address + ":" +
            std::to_string(exposer->port()) + " (/metrics)");
    // A failure inside one client's handler (out of memory, say) must not
    // take the other clients down with the process: report it and go on.
    for (;;) {
        try {
            io.run();
            break;
        } catch (const std::exception& e) {
            std::cerr << "vexcountd: error while serving: " << e.what() << std::endl;
        }
    }
    exposer.reset();
    engine.setFinishedCountHook({});
    monitor.reset();
    server.reset();
    source.reset();
    std::cerr << "vexcountd: stopped" << std::endl;
    return 0;
}
