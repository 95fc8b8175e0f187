// vexcountd's metrics without sockets: --monitor texts, the metrics options,
// the collector's exposition of finished counts, and the monitor holding and
// re-taking a module.
#include "Metrics.h"
#include "Monitor.h"
#include "MonitorRequest.h"
#include "Options.h"
#include "StubModule.h"

#include <prometheus/text_serializer.h>

#include <gtest/gtest.h>

#include <asio/io_context.hpp>

#include <cmath>

namespace {

using namespace vexcountd;
using vexengine::FinishedCount;

TEST(MonitorRequest, ReadsGoodTextsAndExplainsBadOnes) {
    struct Good {
        const char* text;
        const char* module;
        int type;
        int gate;
        std::vector<int> channels;
    };
    const Good good[] = {
        {"QVSIMC01:freq:0.1", "QVSIMC01", 0, 0, {}},
        {"QVSIMC01:freq:1:all", "QVSIMC01", 0, 1, {}},
        {"QVDEMO01:per:10:0-3,7", "QVDEMO01", 1, 2, {0, 1, 2, 3, 7}},
        {"M:tot:inf:5,1-2,2", "M", 2, 7, {1, 2, 5}},
        {"QVSIMB01:per:inf:63", "QVSIMB01", 1, 7, {63}},
    };
    for (const Good& g : good) {
        SCOPED_TRACE(g.text);
        const auto parsed = parseMonitorRequest(g.text);
        ASSERT_TRUE(std::holds_alternative<MonitorRequest>(parsed));
        const MonitorRequest& request = std::get<MonitorRequest>(parsed);
        EXPECT_EQ(request.module, g.module);
        EXPECT_EQ(request.counterType, g.type);
        EXPECT_EQ(request.gateCode, g.gate);
        EXPECT_EQ(request.channels, g.channels);
        EXPECT_EQ(request.text, g.text);
    }
    // Each bad text, and a word its message must contain.
    // clang-format off
    const std::pair<const char*, const char*> bad[] = {
        {"", "parts"}, {"QVSIMC01", "parts"}, {"QVSIMC01:freq:1:0:extra", "parts"},
        {":freq:1", "module name"}, {"QVSIMC01XX:freq:1", "module name"},
        {"QVSIMC01:frequency:1", "freq, per or tot"}, {"QVSIMC01:freq:inf", "finite gate"},
        {"QVSIMC01:per:2", "0.1, 1, 10 or inf"}, {"QVSIMC01:tot:0.10", "0.1, 1, 10 or inf"},
        {"QVSIMC01:freq:1:", "channels"}, {"QVSIMC01:freq:1:3-1", "channels"},
        {"QVSIMC01:freq:1:64", "channels"}, {"QVSIMC01:freq:1:a", "channels"},
    };
    // clang-format on
    for (const auto& [text, word] : bad) {
        SCOPED_TRACE(text);
        const auto parsed = parseMonitorRequest(text);
        ASSERT_TRUE(std::holds_alternative<MonitorRequestError>(parsed));
        const std::string& message = std::get<MonitorRequestError>(parsed).message;
        EXPECT_NE(message.find(word), std::string::npos) << message;
        EXPECT_NE(message.find(std::string("'") + text + "'"), std::string::npos) << message;
    }
}

TEST(MetricsOptions, MetricsPortAndMonitorsFollowTheListenerRules) {
    const auto parsed = parseOptions({"--metrics", "127.0.0.1:9464", "--monitor",
                                      "QVSIMC01:freq:0.1", "--monitor", "QVSIMO01:tot:inf:0-3"});
    ASSERT_TRUE(std::holds_alternative<Options>(parsed));
    const Options& options = std::get<Options>(parsed);
    ASSERT_TRUE(options.metrics);
    EXPECT_EQ(options.metrics->port, 9464);
    ASSERT_EQ(options.monitors.size(), 2u);
    EXPECT_EQ(options.monitors[1].channels, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(std::holds_alternative<Options>(
        parseOptions({"--metrics", "0.0.0.0:9464", "--allow", "10.0.0.0/8"})));

    const std::vector<std::vector<std::string_view>> refused = {
        {"--metrics", "0.0.0.0:9464"}, // the network needs --allow
        {"--metrics", "9464"},
        {"--metrics", "[::1]:9464"}, // the exposer's web server has no IPv6
        {"--metrics"},
        {"--monitor", "QVSIMC01:freq:inf"},
        {"--monitor", "QVSIMC01:freq:1", "--monitor", "QVSIMC01:per:1"}, // one monitor a module
    };
    for (const auto& args : refused) {
        SCOPED_TRACE(std::string(args.back()));
        EXPECT_TRUE(std::holds_alternative<OptionsError>(parseOptions(args)));
    }
}

FinishedCount count(const std::string& module, int type, int edge, int gate,
                    std::vector<uint32_t> states, std::vector<int64_t> counts) {
    FinishedCount c;
    c.module = module;
    c.settings = {type, edge, gate, "--------"};
    c.channelStates = std::move(states);
    c.counts = std::move(counts);
    c.measures.resize(c.counts.size());
    c.noticedAt = std::chrono::system_clock::time_point(std::chrono::seconds(1700000000));
    return c;
}

class Collector : public ::testing::Test {
protected:
    std::string text() const { return prometheus::TextSerializer().Serialize(collector.Collect()); }
    bool has(const std::string& line) const {
        return text().find(line + "\n") != std::string::npos;
    }
    bool mentions(const std::string& what) const { return text().find(what) != std::string::npos; }

    vexengine::Engine engine;
    ServerCounters counters;
    MetricsCollector collector{engine, counters};
};

TEST_F(Collector, ExportsWhatEachCountMeasuredAndLeavesTheUnknownOut) {
    // Frequency, 100 ms gate: channel 0 done, 1 done, 2 stopped by hand.
    FinishedCount frequency = count("A", 0, 3, 0, {2, 2, 3}, {100000, 100, 7});
    frequency.measures[1].reciprocalHz = 1000.5;
    frequency.measures[1].duty = 0.25;
    frequency.measures[1].regressionHz = 1000.25;
    frequency.measures[2].reciprocalHz = 70; // over part of the gate only
    collector.record(frequency);
    // Rising to rising is a period, rising to falling the time high; 64
    // intervals of 10 ns ticks.
    collector.record(count("B", 1, 3, 1, {2, 5}, {6400, 99}));
    collector.record(count("C", 1, 1, 1, {2}, {3200}));
    // A running event count (infinite gate) is read, but not finished.
    collector.record(count("D", 2, 3, 7, {1, 3}, {42, 43}), true);
    // Modules with a reference: E's count was not timed by it, F's was.
    FinishedCount unreferenced = count("E", 0, 3, 1, {2}, {5});
    unreferenced.timeBase.external = true;
    FinishedCount referenced = unreferenced;
    referenced.module = "F";
    referenced.measures[0].referenced = true;
    for (const FinishedCount* c : {&unreferenced, &referenced, &unreferenced})
        collector.record(*c);

    const char* present[] = {
        R"(vexcountd_frequency_hertz{channel="0",module="A"} 1000000)",
        R"(vexcountd_frequency_hertz{channel="1",module="A"} 1000)",
        R"(vexcountd_reciprocal_frequency_hertz{channel="1",module="A"} 1000.5)",
        R"(vexcountd_duty_ratio{channel="1",module="A"} 0.25)",
        R"(vexcountd_regression_frequency_hertz{channel="1",module="A"} 1000.25)",
        R"(vexcountd_counts_unreferenced_total{module="E"} 2)",
        R"(vexcountd_counts_unreferenced_total{module="F"} 0)",
        R"(vexcountd_period_seconds{channel="0",module="B"} 1e-06)",
        R"(vexcountd_pulse_width_seconds{channel="0",level="high",module="C"} 5e-07)",
        R"(vexcountd_events{channel="0",module="D"} 42)",
        R"(vexcountd_events{channel="1",module="D"} 43)",
        R"(vexcountd_count_timestamp_seconds{channel="0",module="A"} 1700000000)",
        R"(vexcountd_counts_finished_total{module="A",type="frequency"} 1)",
        R"(vexcountd_counts_finished_total{module="B",type="period"} 1)",
        R"(vexcountd_module_present{module="QVSIMC01"} 1)",
        R"(vexcountd_module_held{module="QVSIMC01"} 0)",
    };
    for (const char* line : present)
        EXPECT_TRUE(has(line)) << line << "\n" << text();
    const char* absent[] = {
        R"(channel="2",module="A")",                 // stopped frequency count: no value
        R"(channel="1",module="B")",                 // gate timed out
        R"(reciprocal_frequency_hertz{channel="0")", // NaN
        R"(regression_frequency_hertz{channel="0")",
        R"(unreferenced_total{module="A"})", // no reference: nothing to say
        R"(module="D",type=)",               // running counts are not finished ones
        "NaN",
        "vexcountd_acquisition_", // simulations have no acquisition
        "vexcountd_reference_",
    };
    for (const char* what : absent)
        EXPECT_FALSE(mentions(what)) << what;
}

TEST_F(Collector, KeepsTheNewestValuesOfTheChosenChannelsOnly) {
    collector.setChannels("A", {1});
    collector.record(count("A", 0, 3, 1, {2, 2}, {10, 20}));
    collector.record(count("A", 0, 3, 1, {2, 2}, {11, 21}));
    EXPECT_TRUE(has(R"(vexcountd_frequency_hertz{channel="1",module="A"} 21)"));
    EXPECT_FALSE(mentions(R"(channel="0")"));
    EXPECT_TRUE(has(R"(vexcountd_counts_finished_total{module="A",type="frequency"} 2)"));
}

TEST_F(Collector, ShowsTheServerCounters) {
    ++counters.connected[0];
    counters.requests[1] += 5;
    counters.refused(kMetricsProtocol, Refusal::Address);
    counters.refused(0, Refusal::PerAddress);
    ++counters.requestErrors[1];
    for (const char* line : {
             R"(vexcountd_clients_connected{protocol="line"} 1)",
             R"(vexcountd_requests_total{protocol="scpi"} 5)",
             R"(vexcountd_errors_total{kind="request",protocol="scpi"} 1)",
             R"(vexcountd_refusals_total{protocol="metrics",reason="address"} 1)",
             R"(vexcountd_refusals_total{protocol="line",reason="per_address"} 1)",
         })
        EXPECT_TRUE(has(line)) << line << "\n" << text();
}

TEST(MonitorTest, HoldsItsModulesAndTakesAGoneOneAgainWhenItReturns) {
    vexengine::Engine engine;
    auto* plug = static_cast<servertest::StubModule*>(
        engine.addModule(std::make_unique<servertest::StubModule>("PLUG01", 4)));
    ServerCounters counters;
    MetricsCollector metrics(engine, counters);
    engine.setFinishedCountHook([&](const FinishedCount& c) { metrics.record(c); });
    std::vector<std::string> log;
    std::vector<MonitorRequest> requests;
    for (const char* text : {"QVSIMC01:freq:0.1:0-1", "PLUG01:freq:0.1", "NOSUCH:tot:inf"})
        requests.push_back(std::get<MonitorRequest>(parseMonitorRequest(text)));
    asio::io_context io;
    Monitor monitor(io, engine, requests, &metrics,
                    [&](const std::string& l) { log.push_back(l); });
    monitor.start();

    const auto client = engine.openSession();
    EXPECT_EQ(engine.openModule(client, "QVSIMC01"), vexengine::Result::moduleTaken);
    io.run_for(std::chrono::milliseconds(250)); // two 100 ms gates
    const std::string text = prometheus::TextSerializer().Serialize(metrics.Collect());
    EXPECT_NE(text.find(R"(vexcountd_frequency_hertz{channel="1",module="QVSIMC01"} 1000)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(R"(vexcountd_frequency_hertz{channel="3",module="PLUG01"} 30)"),
              std::string::npos);

    plug->plugged = false;
    io.run_for(std::chrono::milliseconds(150));
    plug->plugged = true;
    io.run_for(std::chrono::milliseconds(1200)); // looked for again within a second
    EXPECT_EQ(engine.openModule(client, "PLUG01"), vexengine::Result::moduleTaken);
    const std::vector<std::string> expected = {
        "monitor holds QVSIMC01 and counts (QVSIMC01:freq:0.1:0-1)",
        "monitor holds PLUG01 and counts (PLUG01:freq:0.1)",
        "monitor waits for NOSUCH: no such module",
        "monitor lost PLUG01: it went away; taking it again when it returns",
        "monitor holds PLUG01 and counts (PLUG01:freq:0.1)",
    };
    EXPECT_EQ(log, expected);

    monitor.stop();
    EXPECT_EQ(engine.openModule(client, "QVSIMC01"), vexengine::Result::ok);
}

} // namespace
