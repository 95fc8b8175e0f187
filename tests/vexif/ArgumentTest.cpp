// Every QV_ function refuses bad handles, missing connections, missing
// modules, null pointers, short buffers and out-of-range codes with a
// non-zero status, and leaves the caller's memory alone.
#include "VexifTestSupport.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

namespace {

struct Row {
    const char* what;
    std::function<int32_t(int32_t)> call; // gets the handle under test
    int32_t expected = QV_ERR_BAD_ARGUMENT;
};

// A valid call of each function that takes a handle.
std::vector<Row> everyCallWith(int32_t expected) {
    static char text[64];
    static char name[QV_MODULE_NAME_SIZE];
    static char info[QV_MODULE_INFO_SIZE];
    static int32_t value;
    static uint32_t words[33];
    static int64_t counts[32];
    static QV_ChannelMeasures measures[32];
    for (QV_ChannelMeasures& m : measures)
        m.size = sizeof m;
    static QV_TimeBase timeBase;
    timeBase.size = sizeof timeBase;
    return {
        {"ConnectToServer", [](int32_t h) { return QV_ConnectToServer(h, nullptr, 0); }, expected},
        {"Finalize", [](int32_t h) { return QV_Finalize(h); }, expected},
        {"QueryServerID", [](int32_t h) { return QV_QueryServerID(h, text, 64); }, expected},
        {"ModCount", [](int32_t h) { return QV_ModCount(h, &value); }, expected},
        {"ModInfo", [](int32_t h) { return QV_ModInfo(h, 0, name, info); }, expected},
        {"OpenMod", [](int32_t h) { return QV_OpenMod(h, "QVSIMC02"); }, expected},
        {"ModIsOpen", [](int32_t h) { return QV_ModIsOpen(h, &value); }, expected},
        {"CloseMod", [](int32_t h) { return QV_CloseMod(h); }, expected},
        {"GetPinStatus", [](int32_t h) { return QV_GetPinStatus(h, text, 32); }, expected},
        {"SetThreshold", [](int32_t h) { return QV_SetThreshold(h, 0, 14); }, expected},
        {"FCRun start", [](int32_t h) { return QV_FCRun(h, 0, 3, 0, "--------", 1); }, expected},
        {"FCRun stop", [](int32_t h) { return QV_FCRun(h, 0, 0, 0, nullptr, 0); }, expected},
        {"FCGetStatus", [](int32_t h) { return QV_FCGetStatus(h, words, 33); }, expected},
        {"FCGetCounts", [](int32_t h) { return QV_FCGetCounts(h, counts, 32); }, expected},
        {"FCGetMeasures", [](int32_t h) { return QV_FCGetMeasures(h, measures, 32); }, expected},
        {"GetTimeBase", [](int32_t h) { return QV_GetTimeBase(h, &timeBase); }, expected},
        {"GetDeviceProblems", [](int32_t h) { return QV_GetDeviceProblems(h, text, 64); },
         expected},
    };
}

TEST(Arguments, UnknownAndFinalisedHandlesAreRefused) {
    int32_t finalised = 0;
    ASSERT_EQ(QV_Initialize(&finalised), QV_OK);
    ASSERT_EQ(QV_ConnectToServer(finalised, nullptr, 0), QV_OK);
    ASSERT_EQ(QV_Finalize(finalised), QV_OK);
    for (int32_t handle : {0, -1, 999999, finalised})
        for (const Row& row : everyCallWith(QV_ERR_BAD_HANDLE))
            EXPECT_EQ(row.call(handle), row.expected) << row.what << " handle " << handle;
}

TEST(Arguments, CallsBeforeConnectingAreRefused) {
    ScopedHandle h;
    for (const Row& row : everyCallWith(QV_ERR_NOT_CONNECTED)) {
        if (row.what == std::string("ConnectToServer") || row.what == std::string("Finalize"))
            continue;
        EXPECT_EQ(row.call(h), row.expected) << row.what;
    }
}

TEST(Arguments, ModuleCallsWithoutAModuleAreRefused) {
    ScopedHandle h;
    h.connected();
    for (const Row& row : everyCallWith(QV_ERR_NO_MODULE_OPEN)) {
        std::string what = row.what;
        if (what == "GetPinStatus" || what == "SetThreshold" || what == "GetTimeBase" ||
            what.rfind("FC", 0) == 0) {
            EXPECT_EQ(row.call(h), row.expected) << row.what;
        }
    }
    int32_t open = 7;
    EXPECT_EQ(QV_ModIsOpen(h, &open), QV_OK);
    EXPECT_EQ(open, 0);
    EXPECT_EQ(QV_CloseMod(h), QV_OK); // nothing to close is not an error
    char problems[8] = "xxxxxxx";
    EXPECT_EQ(QV_GetDeviceProblems(h, problems, sizeof problems), QV_OK); // needs no module
    EXPECT_STREQ(problems, "");
}

TEST(Arguments, BadArgumentsWithAModuleOpen) {
    ScopedHandle h;
    h.connected();
    ASSERT_EQ(QV_OpenMod(h, "QVSIMC01"), QV_OK); // 18 channels
    char text[64];
    char name[QV_MODULE_NAME_SIZE];
    char info[QV_MODULE_INFO_SIZE];
    uint32_t words[19];
    int64_t counts[18];
    int32_t listed = 0;
    ASSERT_EQ(QV_ModCount(h, &listed), QV_OK);
    constexpr int32_t kNoSuch = QV_ERR_NO_SUCH_MODULE;
    // clang-format off
    const Row rows[] = {
        {"Initialize null", [](int32_t) { return QV_Initialize(nullptr); }},
        {"QueryServerID null", [](int32_t h) { return QV_QueryServerID(h, nullptr, 64); }},
        {"QueryServerID length 0", [&](int32_t h) { return QV_QueryServerID(h, text, 0); }},
        {"QueryServerID length -5", [&](int32_t h) { return QV_QueryServerID(h, text, -5); }},
        {"ModCount null", [](int32_t h) { return QV_ModCount(h, nullptr); }},
        {"ModInfo null name", [&](int32_t h) { return QV_ModInfo(h, 0, nullptr, info); }},
        {"ModInfo null info", [&](int32_t h) { return QV_ModInfo(h, 0, name, nullptr); }},
        {"ModInfo index -1", [&](int32_t h) { return QV_ModInfo(h, -1, name, info); }, kNoSuch},
        {"ModInfo at count", [&](int32_t h) { return QV_ModInfo(h, listed, name, info); }, kNoSuch},
        {"OpenMod null", [](int32_t h) { return QV_OpenMod(h, nullptr); }},
        {"OpenMod empty", [](int32_t h) { return QV_OpenMod(h, ""); }, kNoSuch},
        {"OpenMod 9 characters", [](int32_t h) { return QV_OpenMod(h, "QVSIMC01X"); }, kNoSuch},
        {"OpenMod unknown", [](int32_t h) { return QV_OpenMod(h, "QVSIMX01"); }, kNoSuch},
        {"ModIsOpen null", [](int32_t h) { return QV_ModIsOpen(h, nullptr); }},
        {"GetPinStatus null", [](int32_t h) { return QV_GetPinStatus(h, nullptr, 18); }},
        {"GetPinStatus 17", [&](int32_t h) { return QV_GetPinStatus(h, text, 17); }},
        {"GetPinStatus 0", [&](int32_t h) { return QV_GetPinStatus(h, text, 0); }},
        {"GetPinStatus -1", [&](int32_t h) { return QV_GetPinStatus(h, text, -1); }},
        {"SetThreshold which 2", [](int32_t h) { return QV_SetThreshold(h, 2, 14); }},
        {"SetThreshold which -1", [](int32_t h) { return QV_SetThreshold(h, -1, 14); }},
        {"SetThreshold 0.7 V", [](int32_t h) { return QV_SetThreshold(h, 0, 7); }},
        {"SetThreshold 2.6 V", [](int32_t h) { return QV_SetThreshold(h, 1, 26); }},
        {"FCRun type 3", [](int32_t h) { return QV_FCRun(h, 3, 3, 0, "--------", 1); }},
        {"FCRun type -1", [](int32_t h) { return QV_FCRun(h, -1, 3, 0, "--------", 1); }},
        {"FCRun edge 4", [](int32_t h) { return QV_FCRun(h, 1, 4, 0, "--------", 1); }},
        {"FCRun gate 3", [](int32_t h) { return QV_FCRun(h, 1, 3, 3, "--------", 1); }},
        {"FCRun gate 8", [](int32_t h) { return QV_FCRun(h, 2, 3, 8, "--------", 1); }},
        {"FCRun freq, infinite", [](int32_t h) { return QV_FCRun(h, 0, 3, 7, "--------", 1); }},
        {"FCRun codes null", [](int32_t h) { return QV_FCRun(h, 0, 3, 0, nullptr, 1); }},
        {"FCRun 7 codes", [](int32_t h) { return QV_FCRun(h, 0, 3, 0, "-------", 1); }},
        {"FCRun code x", [](int32_t h) { return QV_FCRun(h, 0, 3, 0, "---x----", 1); }},
        {"FCRun run 2", [](int32_t h) { return QV_FCRun(h, 0, 3, 0, "--------", 2); }},
        {"FCGetStatus null", [](int32_t h) { return QV_FCGetStatus(h, nullptr, 19); }},
        {"FCGetStatus 18 words", [&](int32_t h) { return QV_FCGetStatus(h, words, 18); }},
        {"FCGetStatus 0 words", [&](int32_t h) { return QV_FCGetStatus(h, words, 0); }},
        {"FCGetCounts null", [](int32_t h) { return QV_FCGetCounts(h, nullptr, 18); }},
        {"FCGetCounts 17", [&](int32_t h) { return QV_FCGetCounts(h, counts, 17); }},
        {"FCGetCounts -3", [&](int32_t h) { return QV_FCGetCounts(h, counts, -3); }},
    };
    // clang-format on
    for (const Row& row : rows) {
        std::memset(text, 'x', sizeof text);
        std::memset(name, 'x', sizeof name);
        std::memset(info, 'x', sizeof info);
        std::memset(words, 0x5a, sizeof words);
        std::memset(counts, 0x5a, sizeof counts);
        EXPECT_EQ(row.call(h), row.expected) << row.what;
        EXPECT_EQ(std::string(text, sizeof text), std::string(sizeof text, 'x')) << row.what;
        EXPECT_EQ(std::string(name, sizeof name), std::string(sizeof name, 'x')) << row.what;
        EXPECT_EQ(std::string(info, sizeof info), std::string(sizeof info, 'x')) << row.what;
        EXPECT_EQ(words[0], 0x5a5a5a5au) << row.what;
        EXPECT_EQ(counts[0], 0x5a5a5a5a5a5a5a5a) << row.what;
    }
    // The module is still open and the refused starts started nothing.
    int32_t open = 0;
    EXPECT_EQ(QV_ModIsOpen(h, &open), QV_OK);
    EXPECT_EQ(open, 1);
    ASSERT_EQ(QV_FCGetStatus(h, words, 19), QV_OK);
    EXPECT_EQ(words[0], 0u);
}

TEST(Arguments, InfoChecksItsRecordAndCode) {
    QV_ModuleInfo info;
    std::memset(&info, 0x5a, sizeof info);
    EXPECT_EQ(QV_Info('c', nullptr, 88), QV_ERR_BAD_ARGUMENT);
    EXPECT_EQ(QV_Info('c', &info, 87), QV_ERR_BAD_ARGUMENT);
    for (int32_t code : {0, int32_t{'x'}, int32_t{'C'}, int32_t{'u'}, -99, 0x163})
        EXPECT_EQ(QV_Info(code, &info, 88), QV_ERR_UNKNOWN_MODEL) << code;
    EXPECT_EQ(info.channelCount, 0x5a5a5a5a);
}

TEST(Arguments, ConnectChecksHostAndPort) {
    struct Case {
        const char* host;
        int32_t port;
    };
    const std::string longHost(300, 'h');
    for (const Case& c : {Case{nullptr, -1}, Case{nullptr, 65536}, Case{longHost.c_str(), 9000}}) {
        ScopedHandle h;
        EXPECT_EQ(QV_ConnectToServer(h, c.host, c.port), QV_ERR_BAD_ARGUMENT);
        int32_t count = 0;
        EXPECT_EQ(QV_ModCount(h, &count), QV_ERR_NOT_CONNECTED);
    }
    ScopedHandle h;
    ASSERT_EQ(QV_ConnectToServer(h, nullptr, 0), QV_OK);
    EXPECT_EQ(QV_ConnectToServer(h, nullptr, 0), QV_ERR_ALREADY_CONNECTED);
}

// Sized structs: the size is checked on every entry and is the stride; a
// caller's larger struct keeps what lies beyond the fields known here.
TEST(Arguments, SizedStructsAreCheckedAndFilledAtTheCallersSize) {
    ScopedHandle h;
    h.connected();
    ASSERT_EQ(QV_OpenMod(h, "QVSIMC01"), QV_OK); // 18 channels
    constexpr int32_t kV1 = sizeof(QV_ChannelMeasures);
    constexpr int32_t kNewer = kV1 + 16; // a later version's struct
    alignas(8) unsigned char area[20 * kNewer];
    char problems[16];
    const auto prepare = [&](int32_t size, int32_t n) {
        std::memset(area, 0x5a, sizeof area);
        std::memset(problems, 'x', sizeof problems);
        for (int32_t i = 0; i < n; ++i)
            std::memcpy(area + i * size, &size, sizeof size);
    };
    const auto measures = [&](int32_t count) {
        return QV_FCGetMeasures(h, reinterpret_cast<QV_ChannelMeasures*>(area), count);
    };
    const auto timeBase = [&] { return QV_GetTimeBase(h, reinterpret_cast<QV_TimeBase*>(area)); };
    struct Case {
        const char* what;
        int32_t size, sized; // the first `sized` entries get `size`
        std::function<int32_t()> call;
    };
    // clang-format off
    const Case refused[] = {
        {"FCGetMeasures null", kV1, 18, [&] { return QV_FCGetMeasures(h, nullptr, 18); }},
        {"FCGetMeasures count 0", kV1, 18, [&] { return measures(0); }},
        {"FCGetMeasures 17 for 18 channels", kV1, 18, [&] { return measures(17); }},
        {"FCGetMeasures size one short", kV1 - 1, 18, [&] { return measures(18); }},
        {"FCGetMeasures last size unset", kV1, 17, [&] { return measures(18); }},
        {"GetTimeBase null", kV1, 1, [&] { return QV_GetTimeBase(h, nullptr); }},
        {"GetTimeBase size one short", int32_t{sizeof(QV_TimeBase)} - 1, 1, timeBase},
        {"GetDeviceProblems null", kV1, 1, [&] { return QV_GetDeviceProblems(h, nullptr, 16); }},
        {"GetDeviceProblems length 0", kV1, 1, [&] { return QV_GetDeviceProblems(h, problems, 0); }},
    };
    // clang-format on
    for (const Case& c : refused) {
        prepare(c.size, c.sized);
        unsigned char before[sizeof area];
        std::memcpy(before, area, sizeof area);
        EXPECT_EQ(c.call(), QV_ERR_BAD_ARGUMENT) << c.what;
        EXPECT_EQ(std::memcmp(before, area, sizeof area), 0) << c.what;
        EXPECT_EQ(std::string(problems, sizeof problems), std::string(sizeof problems, 'x'))
            << c.what;
    }

    // Each caller's size: 18 channels and two extra entries at its stride.
    for (const int32_t size : {kV1, kNewer}) {
        SCOPED_TRACE(size);
        prepare(size, 20);
        ASSERT_EQ(measures(20), QV_OK);
        for (int32_t i = 0; i < 20; ++i) {
            QV_ChannelMeasures m;
            std::memcpy(&m, area + i * size, sizeof m);
            EXPECT_EQ(m.size, size) << i;
            EXPECT_TRUE(i < 18 || std::isnan(m.frequency)) << i; // beyond the channels: NaN
            for (int32_t b = kV1; b < size; ++b)
                EXPECT_EQ(area[i * size + b], 0x5a) << i << " byte " << b;
        }
        prepare(size, 1);
        ASSERT_EQ(timeBase(), QV_OK);
        QV_TimeBase tb;
        std::memcpy(&tb, area, sizeof tb);
        EXPECT_EQ(tb.size, size);
        EXPECT_EQ(tb.channel, -1); // a simulation has no reference
        EXPECT_EQ(area[sizeof tb], 0x5a);
    }
}

} // namespace
