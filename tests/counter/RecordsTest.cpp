// Measurement records without a window: running statistics against values
// worked out by hand, the rules that start the statistics afresh, the trend
// history, the CSV log (on real files, /dev/full and a file size limit) and
// the grid's copy text.
#include "counter/ChannelStatistics.h"
#include "counter/FinishedCount.h"
#include "counter/GridCopy.h"
#include "counter/MeasurementLog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

using Values = std::vector<std::optional<double>>;

FinishedCount countOf(const Values& values, int32_t type = 0, int32_t gate = 0, int32_t edges = 3,
                      bool stopped = false) {
    return FinishedCount{type, gate, edges, values, stopped};
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file of its own in the temporary folder, removed afterwards.
class TempFile {
public:
    TempFile() {
        path =
            std::filesystem::temp_directory_path() / ("vfc-records-" + std::to_string(::getpid()) +
                                                      "-" + std::to_string(++s_serial) + ".csv");
        std::filesystem::remove(path);
    }
    ~TempFile() { std::filesystem::remove(path); }
    std::filesystem::path path;

private:
    static inline int s_serial = 0;
};

const MeasurementLog::Clock::time_point kTime{std::chrono::milliseconds(1700000000123)};

} // namespace

TEST(RunningStatistics, MatchesHandComputedValues) {
    const struct {
        const char* name;
        std::vector<double> readings;
        double mean, minimum, maximum;
        std::optional<double> deviation, allan;
    } cases[] = {
        // One reading: no spread yet.
        {"single", {5.0}, 5.0, 5.0, 5.0, std::nullopt, std::nullopt},
        // Identical readings: no spread at all.
        {"constant", {1e6, 1e6, 1e6}, 1e6, 1e6, 1e6, 0.0, 0.0},
        // Deviations 0, 1, -1, 0: s = sqrt(2/3). Steps +1, -2, +1: sum of
        // squares 6, so sigma_y = sqrt(6 / (2 * 3)) / 1000 = 1e-3.
        {"allan", {1000, 1001, 999, 1000}, 1000, 999, 1001, 0.816496580927726, 1e-3},
        // Squared deviations sum to 32: s = sqrt(32/7). Steps 2,0,0,1,0,2,2:
        // sum of squares 13, sigma_y = sqrt(13/14) / 5.
        {"textbook",
         {2, 4, 4, 4, 5, 5, 7, 9},
         5,
         2,
         9,
         2.138089935299395,
         std::sqrt(13.0 / 14.0) / 5.0},
        // A large offset must not swallow the spread (Welford). Steps 1, 1.
        {"offset",
         {1e9 + 1, 1e9 + 2, 1e9 + 3},
         1e9 + 2,
         1e9 + 1,
         1e9 + 3,
         1.0,
         std::sqrt(2.0 / 4.0) / (1e9 + 2)},
        // A zero mean has no fractional deviation.
        {"zero mean", {-1, 1}, 0, -1, 1, 1.4142135623730951, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunningStatistics statistics;
        for (double reading : c.readings)
            statistics.add(reading);
        EXPECT_EQ(statistics.count(), static_cast<int64_t>(c.readings.size()));
        EXPECT_EQ(statistics.last(), c.readings.back());
        EXPECT_DOUBLE_EQ(statistics.mean(), c.mean);
        EXPECT_EQ(statistics.minimum(), c.minimum);
        EXPECT_EQ(statistics.maximum(), c.maximum);
        ASSERT_EQ(statistics.standardDeviation().has_value(), c.deviation.has_value());
        if (c.deviation) {
            EXPECT_NEAR(*statistics.standardDeviation(), *c.deviation, 1e-12);
        }
        ASSERT_EQ(statistics.allanDeviation().has_value(), c.allan.has_value());
        if (c.allan) {
            EXPECT_NEAR(*statistics.allanDeviation(), *c.allan, 1e-15);
        }
    }
}

TEST(ChannelStatistics, StartAfreshWhenTheConfigurationChanges) {
    // Each step adds one count; `fresh` says whether it must start afresh and
    // `counts` how many counts the statistics then hold.
    const struct {
        const char* module;
        int32_t type, gate, edges, channels;
        bool fresh;
        int64_t counts;
    } steps[] = {
        {"QVSIMC01", 0, 0, 3, 2, false, 1}, {"QVSIMC01", 0, 0, 3, 2, false, 2},
        {"QVSIMC02", 0, 0, 3, 2, true, 1},  {"QVSIMC02", 1, 0, 3, 2, true, 1},
        {"QVSIMC02", 1, 1, 3, 2, true, 1},  {"QVSIMC02", 1, 1, 0, 2, true, 1},
        {"QVSIMC02", 1, 1, 0, 2, false, 2}, {"QVSIMC02", 1, 1, 0, 3, true, 1},
    };
    ChannelStatistics statistics;
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << step.module << " " << step.type << " " << step.gate
                                        << " " << step.edges << " " << step.channels);
        const Values values(static_cast<size_t>(step.channels), 7.0);
        EXPECT_EQ(statistics.add(step.module, countOf(values, step.type, step.gate, step.edges)),
                  step.fresh);
        EXPECT_EQ(statistics.counts(), step.counts);
        EXPECT_EQ(statistics.channelCount(), step.channels);
        EXPECT_EQ(statistics.channel(0).count(), step.counts);
        EXPECT_EQ(statistics.configuration().module, step.module);
    }

    // The user's Reset (and a module change) forgets everything.
    statistics.reset();
    EXPECT_TRUE(statistics.empty());
    EXPECT_EQ(statistics.channelCount(), 0);
    EXPECT_FALSE(statistics.add("QVSIMC02", countOf({1.0, 2.0, 3.0}, 1, 1, 0)));
    EXPECT_EQ(statistics.counts(), 1);
}

TEST(ChannelStatistics, ChannelsWithoutAValueAreLeftOutAndAllanIsForFrequencyOnly) {
    ChannelStatistics statistics;
    statistics.add("QVSIMC01", countOf({1000.0, std::nullopt}, 1));
    statistics.add("QVSIMC01", countOf({1002.0, 50.0}, 1));
    EXPECT_EQ(statistics.channel(0).count(), 2);
    EXPECT_EQ(statistics.channel(1).count(), 1);
    EXPECT_EQ(statistics.channel(1).mean(), 50.0);
    EXPECT_FALSE(statistics.allanDeviation(0)) << "a period count has none";
    ASSERT_EQ(statistics.history(1).size(), 1u);
    EXPECT_EQ(statistics.history(1)[0].count, 2) << "numbered by the count, not the reading";
    // A count ended by Stop counts alike, and is told apart.
    EXPECT_FALSE(statistics.add("QVSIMC01", countOf({1004.0, std::nullopt}, 1, 0, 3, true)));
    EXPECT_EQ(statistics.counts(), 3);
    EXPECT_EQ(statistics.stoppedCounts(), 1);
    EXPECT_EQ(statistics.channel(0).count(), 3);
    EXPECT_EQ(statistics.channel(0).maximum(), 1004.0);

    statistics.add("QVSIMC01", countOf({1000.0}, 0));
    EXPECT_EQ(statistics.stoppedCounts(), 0) << "started afresh";
    statistics.add("QVSIMC01", countOf({1002.0}, 0));
    ASSERT_TRUE(statistics.allanDeviation(0));
    EXPECT_NEAR(*statistics.allanDeviation(0), std::sqrt(4.0 / 2.0) / 1001.0, 1e-15);
}

TEST(ChannelStatistics, TrendKeepsTheLatestReadingsOldestFirst) {
    ChannelStatistics statistics;
    const int64_t total = ChannelStatistics::kHistory + 123;
    for (int64_t i = 1; i <= total; ++i)
        statistics.add("QVSIMC01", countOf({static_cast<double>(i) * 10.0}));
    const TrendHistory& history = statistics.history(0);
    ASSERT_EQ(history.size(), ChannelStatistics::kHistory);
    for (size_t i = 0; i < history.size(); ++i) {
        const int64_t count =
            total - static_cast<int64_t>(history.size()) + 1 + static_cast<int64_t>(i);
        ASSERT_EQ(history[i].count, count) << i;
        ASSERT_EQ(history[i].value, static_cast<double>(count) * 10.0) << i;
    }
    EXPECT_EQ(statistics.channel(0).count(), total) << "the statistics keep every reading";
}

TEST(FinishedCount, CountsBecomeMeasuredQuantities) {
    EXPECT_EQ(frequencyHz(100000, 0), 1e6);   // 100 ms gate
    EXPECT_EQ(frequencyHz(1000, 1), 1000.0);  // 1 s
    EXPECT_EQ(frequencyHz(12345, 2), 1234.5); // 10 s
    EXPECT_EQ(periodNs(6400), 1000.0);        // 64 intervals of 100 ticks
    EXPECT_EQ(periodNs(6401), 1000.15625);    // not rounded as the read-out is
}

TEST(MeasurementLog, RowAndHeaderTexts) {
    EXPECT_EQ(MeasurementLog::isoTime(kTime), "2023-11-14T22:13:20.123Z");
    EXPECT_EQ(MeasurementLog::isoTime(MeasurementLog::Clock::time_point{}),
              "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(MeasurementLog::headerLine(0, 2),
              "time (UTC),module,type,gate (s),edges,channel 0 (Hz),channel 1 (Hz),end,timebase\n");
    EXPECT_EQ(MeasurementLog::headerLine(1, 1),
              "time (UTC),module,type,gate (s),edges,channel 0 (ns),end,timebase\n");
    EXPECT_EQ(
        MeasurementLog::rowLine(kTime, "QVSIMC01", countOf({1e6, std::nullopt, 0.1}, 1, 2, 1)),
        "2023-11-14T22:13:20.123Z,QVSIMC01,period,10,R-F,1000000,,0.1,finished,internal\n");
    EXPECT_EQ(MeasurementLog::rowLine(kTime, "Q,\"x\"", countOf({12.0}, 2, 7, 2)),
              "2023-11-14T22:13:20.123Z,\"Q,\"\"x\"\"\",events,inf,F-R,12,finished,internal\n");
    // Ended by Stop: the last poll's values, marked in the last column.
    EXPECT_EQ(MeasurementLog::rowLine(kTime, "QVSIMC01", countOf({12.0, {}}, 2, 7, 3, true)),
              "2023-11-14T22:13:20.123Z,QVSIMC01,events,inf,R-R,12,,stopped,internal\n");
}

TEST(MeasurementLog, AppendsRowsUnderAHeaderForEachKindOfCount) {
    TempFile file;
    { std::ofstream(file.path) << "earlier\n"; }
    MeasurementLog log;
    ASSERT_FALSE(log.open(file.path.string()));
    EXPECT_FALSE(log.append(kTime, "QVSIMC01", countOf({1e6, 2.5})));
    EXPECT_FALSE(log.append(kTime, "QVSIMC01", countOf({1e6, 3.5})));
    EXPECT_FALSE(log.append(kTime, "QVSIMC01", countOf({7.0, 8.0}, 2)));
    log.close();
    EXPECT_EQ(
        readFile(file.path),
        "earlier\n" + MeasurementLog::headerLine(0, 2) +
            "2023-11-14T22:13:20.123Z,QVSIMC01,frequency,0.1,R-R,1000000,2.5,finished,internal\n"
            "2023-11-14T22:13:20.123Z,QVSIMC01,frequency,0.1,R-R,1000000,3.5,finished,internal\n" +
            MeasurementLog::headerLine(2, 2) +
            "2023-11-14T22:13:20.123Z,QVSIMC01,events,0.1,R-R,7,8,finished,internal\n");
}

TEST(MeasurementLog, AFailedWriteStopsTheLogAndSaysWhy) {
    // A full disk.
    {
        MeasurementLog log;
        ASSERT_FALSE(log.open("/dev/full"));
        const auto failure = log.append(kTime, "QVSIMC01", countOf({1.0}));
        ASSERT_TRUE(failure);
        EXPECT_NE(failure->find("No space left on device"), std::string::npos) << *failure;
        EXPECT_NE(failure->find("Logging has stopped"), std::string::npos) << *failure;
        EXPECT_FALSE(log.isOpen());
    }

    // Removed while logging: the rows would go nowhere.
    TempFile removed;
    MeasurementLog log;
    ASSERT_FALSE(log.open(removed.path.string()));
    ASSERT_FALSE(log.append(kTime, "QVSIMC01", countOf({1.0})));
    std::filesystem::remove(removed.path);
    const auto failure = log.append(kTime, "QVSIMC01", countOf({1.0}));
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("removed"), std::string::npos) << *failure;
    EXPECT_FALSE(log.isOpen());

    // A folder that does not exist cannot take a log.
    const auto refused = log.open("/nonexistent-folder/log.csv");
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->find("No such file or directory"), std::string::npos) << *refused;
}

TEST(MeasurementLog, AShortWriteLeavesNoHalfRow) {
    // A file size limit lets a write through only in part, as a nearly full
    // disk does; the file must end where the last whole row ended.
    TempFile file;
    MeasurementLog log;
    ASSERT_FALSE(log.open(file.path.string()));
    ASSERT_FALSE(log.append(kTime, "QVSIMC01", countOf({1.0, 2.0})));
    const std::string whole = readFile(file.path);

    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = whole.size() + 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const auto failure = log.append(kTime, "QVSIMC01", countOf({3.0, 4.0}));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("only part of a row"), std::string::npos) << *failure;
    EXPECT_FALSE(log.isOpen());
    EXPECT_EQ(readFile(file.path), whole);
}

TEST(GridCopy, ChannelsNamesValuesAndUnitsByTabs) {
    const std::vector<GridCopyRow> rows = {
        {0, "Channel 0", "1000000|Hz$[ period: 1000.0 ns ]"},
        {5, "clock\tin", "No data"},
        {1, "Channel 1", "1000|Hz$[ period: 1000000.0 ns ]"},
    };
    EXPECT_EQ(gridCopyText("Frequency", rows), "Channel\tName\tFrequency\tUnit\n"
                                               "0\tChannel 0\t1000000\tHz\n"
                                               "5\tclock in\tNo data\t\n"
                                               "1\tChannel 1\t1000\tHz\n");
}
