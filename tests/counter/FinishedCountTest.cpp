// The measurement cycle's report of ended counts, against the scripted
// library: once per count that finished or was stopped, with the captured
// settings and the measured values; none for a period channel that did not
// finish, the last poll's values for a stopped count.
#include "counter/MeasurementCycle.h"

#include "FakeVexif.h"
#include "TModIfCpp.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

class ReportingHost : public CycleHost {
public:
    int32_t handle = 0;
    CounterSettings settings;
    bool continuous = false;
    struct Report {
        int32_t type, gate, edges;
        std::vector<std::optional<double>> values;
        bool stopped;
        int stopCalls; // QV_FCRun stops sent before the report
    };
    std::vector<Report> reports;

    int32_t libraryHandle() const override { return handle; }
    int32_t channelCount() const override { return 18; }
    CounterSettings counterSettings() const override { return settings; }
    bool continuousChecked() const override { return continuous; }
    char channelCode(int32_t) const override { return '-'; }
    int32_t rowCount() const override { return 19; }
    void setResultHeading(std::string_view) override {}
    void writeResult(int32_t, std::string_view) override {}
    void setRunStateText(std::string_view) override {}
    void enableRunStop(bool, bool) override {}
    void closeModule() override { FAIL() << "no library failure is scripted"; }
    void countFinished(const FinishedCount& count) override {
        int stops = 0;
        for (const auto& call : fakevexif::callsOf("QV_FCRun"))
            stops += call.textNull && !call.args.empty() && call.args.back() == 0;
        reports.push_back({count.counterType,
                           count.gateCode,
                           count.edgeCode,
                           {count.values.begin(), count.values.end()},
                           count.stopped,
                           stops});
    }
};

using Values = std::vector<std::optional<double>>;

// A fresh scripted library with one module of model 'c', opened by host.
void openScriptedModule(ReportingHost& host) {
    fakevexif::reset();
    fakevexif::setModules({{"QVSIM001", 'c'}});
    ASSERT_EQ(QV_Initialize(&host.handle), QV_OK);
    ASSERT_EQ(QV_ConnectToServer(host.handle, nullptr, 0), QV_OK);
    ASSERT_EQ(QV_OpenMod(host.handle, "QVSIM001"), QV_OK);
}

} // namespace

TEST(FinishedCountReport, OncePerFinishedCountWithTheMeasuredValues) {
    const struct {
        const char* name;
        CounterSettings settings;
        std::vector<uint32_t> finalWords; // status words once finished
        std::vector<int64_t> counts;
        Values expected; // channels 0 to 2; the others count nothing
    } cases[] = {
        {"frequency 100 ms", {0, 0, 3, 14}, {0, 2, 2, 2}, {100000, 0, 7}, {1e6, 0.0, 70.0}},
        {"frequency 10 s", {0, 2, 3, 14}, {0, 2, 2, 2}, {15, 0, 7}, {1.5, 0.0, 0.7}},
        // Done, gate timed out, forced stop: only the done channel has a period.
        {"period", {1, 1, 2, 14}, {0, 2, 5, 3}, {6400, 99, 98}, {1000.0, {}, {}}},
        {"events", {2, 1, 0, 14}, {0, 2, 2, 2}, {5, 6, 7}, {5.0, 6.0, 7.0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReportingHost host;
        ASSERT_NO_FATAL_FAILURE(openScriptedModule(host));
        host.settings = c.settings;
        host.continuous = true;
        MeasurementCycle cycle(host);

        // Busy with one channel still counting: nothing to report yet.
        fakevexif::queueStatusWords({1, 2, 1, 1});
        fakevexif::setStatusWords(c.finalWords);
        fakevexif::setCounts(c.counts);
        cycle.UpdateCounter(false, true, false);
        cycle.UpdateCounter(false, false, false);
        EXPECT_TRUE(host.reports.empty());
        cycle.UpdateCounter(false, false, false); // finishes, restarts
        cycle.UpdateCounter(false, false, false); // finishes again
        ASSERT_EQ(host.reports.size(), 2u);
        for (const auto& report : host.reports) {
            EXPECT_EQ(report.type, c.settings.counterType);
            EXPECT_EQ(report.gate, c.settings.gateCode);
            EXPECT_EQ(report.edges, c.settings.edgeCode);
            Values expected = c.expected;
            // Unscripted channels: 0 edges; a period channel left idle has none.
            expected.resize(18, c.settings.counterType == 1 ? std::nullopt
                                                            : std::optional<double>(0.0));
            EXPECT_EQ(report.values, expected);
            EXPECT_FALSE(report.stopped);
        }
        QV_Finalize(host.handle);
    }
}

// Stop ends a count (an event count with the infinite gate ends no other
// way): it is reported once, marked stopped, after the library stopped it,
// with what its last poll read and no further read.
TEST(FinishedCountReport, AStoppedCountHasTheValuesOfItsLastPoll) {
    const struct {
        const char* name;
        CounterSettings settings;
        int polls;
        std::vector<uint32_t> words; // busy throughout
        std::vector<int64_t> counts;
        Values expected; // channels 0 to 3
        std::optional<double> others;
    } cases[] = {
        // A frequency count reads nothing before its gate closes.
        {"frequency", {0, 1, 3, 14}, 3, {1, 1, 1, 1, 1}, {100, 0, 7}, {{}, {}, {}, {}}, {}},
        // Done, still counting, timed out: the done channel has its period.
        {"period", {1, 7, 3, 14}, 2, {1, 2, 1, 5, 1}, {6400, 99, 98}, {1000.0, {}, {}, {}}, {}},
        {"endless events", {2, 7, 3, 14}, 4, {1, 1, 1, 1, 1}, {5, 6, 7}, {5.0, 6.0, 7.0, 0.0}, 0.0},
        {"events, stopped before a poll", {2, 7, 3, 14}, 0, {1}, {5}, {{}, {}, {}, {}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReportingHost host;
        ASSERT_NO_FATAL_FAILURE(openScriptedModule(host));
        host.settings = c.settings;
        MeasurementCycle cycle(host);
        fakevexif::setStatusWords(c.words);
        fakevexif::setCounts(c.counts);
        cycle.UpdateCounter(false, true, false);
        for (int i = 0; i < c.polls; ++i)
            cycle.UpdateCounter(false, false, false);
        EXPECT_TRUE(host.reports.empty());
        const int reads = fakevexif::callCount("QV_FCGetCounts");
        cycle.UpdateCounter(false, false, true);
        cycle.UpdateCounter(false, false, false); // idle: nothing more
        EXPECT_EQ(fakevexif::callCount("QV_FCGetCounts"), reads);
        ASSERT_EQ(host.reports.size(), 1u);
        const auto& report = host.reports[0];
        EXPECT_TRUE(report.stopped);
        EXPECT_EQ(report.stopCalls, 1);
        EXPECT_EQ(report.type, c.settings.counterType);
        EXPECT_EQ(report.gate, c.settings.gateCode);
        Values expected = c.expected;
        expected.resize(18, c.others);
        EXPECT_EQ(report.values, expected);
        QV_Finalize(host.handle);
    }
}
