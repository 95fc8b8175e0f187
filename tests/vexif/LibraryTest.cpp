// The real libvexif on its built-in server: modules and ownership across
// handles, the model table, the server identity, remote hosts, a count in
// real time, and handles used from several threads.
#include "VexifTestSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

TEST(Library, ListsTheSimulationsAsPresentAndFree) {
    ScopedHandle h;
    h.connected();
    int32_t count = 0;
    ASSERT_EQ(QV_ModCount(h, &count), QV_OK);
    ASSERT_GE(count, 4);
    std::string models;
    for (int32_t i = 0; i < count; ++i) {
        char name[QV_MODULE_NAME_SIZE];
        char info[QV_MODULE_INFO_SIZE];
        std::memset(name, 'x', sizeof name);
        ASSERT_EQ(QV_ModInfo(h, i, name, info), QV_OK);
        ASSERT_EQ(name[8], '\0');
        EXPECT_EQ(std::strlen(name), 8u);
        EXPECT_EQ(std::string(name, 5), "QVSIM");
        EXPECT_EQ(info[1], 'f') << name;
        EXPECT_EQ(info[2], 'p') << name;
        EXPECT_EQ(info[3], 0);
        models += info[0];
        // The module's channel count is the one QV_Info gives for its model.
        QV_ModuleInfo mi;
        ASSERT_EQ(QV_Info(info[0], &mi, 88), QV_OK);
        ASSERT_EQ(QV_OpenMod(h, name), QV_OK);
        std::vector<char> pins(static_cast<size_t>(mi.channelCount));
        EXPECT_EQ(QV_GetPinStatus(h, pins.data(), mi.channelCount), QV_OK) << name;
        EXPECT_EQ(QV_GetPinStatus(h, pins.data(), mi.channelCount - 1), QV_ERR_BAD_ARGUMENT);
    }
    EXPECT_GE(std::count(models.begin(), models.end(), 'c'), 2);
    EXPECT_EQ(std::count(models.begin(), models.end(), 'o'), 1);
    EXPECT_EQ(std::count(models.begin(), models.end(), 'r'), 1);
}

TEST(Library, AModuleOpenedByOneHandleIsTakenForAnotherUntilClosedOrFinalised) {
    ScopedHandle a, b;
    a.connected();
    b.connected();
    ASSERT_EQ(QV_OpenMod(a, "QVSIMC01"), QV_OK);
    EXPECT_EQ(moduleInfo(a, "QVSIMC01"), "cfp");
    EXPECT_EQ(moduleInfo(b, "QVSIMC01"), "ctp");
    EXPECT_EQ(QV_OpenMod(b, "QVSIMC01"), QV_ERR_MODULE_TAKEN);
    int32_t open = 1;
    ASSERT_EQ(QV_ModIsOpen(b, &open), QV_OK);
    EXPECT_EQ(open, 0);
    ASSERT_EQ(QV_CloseMod(a), QV_OK); // closing frees it
    EXPECT_EQ(moduleInfo(b, "QVSIMC01"), "cfp");
    ASSERT_EQ(QV_OpenMod(a, "QVSIMC01"), QV_OK);

    // Finalising a stops its count and frees the module.
    ASSERT_EQ(QV_FCRun(a, 2, 3, 7, "--------", 1), QV_OK);
    ASSERT_EQ(a.finalise(), QV_OK);
    EXPECT_EQ(moduleInfo(b, "QVSIMC01"), "cfp");
    ASSERT_EQ(QV_OpenMod(b, "QVSIMC01"), QV_OK);
    uint32_t words[19];
    ASSERT_EQ(QV_FCGetStatus(b, words, 19), QV_OK);
    EXPECT_EQ(words[0], 0u);
    EXPECT_TRUE(std::all_of(words + 1, words + 19, [](uint32_t w) { return w == 0; }));
}

TEST(Library, ModelTable) {
    struct Case {
        char code;
        int32_t channels;
        int32_t thresholdAdjustable; // byte 36 bit 0
        int32_t extendedTriggers;    // byte 40 bit 1
        const char* name;
    };
    for (const Case& c : {Case{'r', 8, 0, 0, "Vex8"}, Case{'o', 16, 1, 0, "Vex16"},
                          Case{'c', 18, 1, 1, "Vex18e"}, Case{'b', 32, 1, 1, "Glimbur K34"}}) {
        unsigned char raw[100];
        std::memset(raw, 0xee, sizeof raw);
        ASSERT_EQ(
            QV_Info(static_cast<signed char>(c.code), reinterpret_cast<QV_ModuleInfo*>(raw), 88),
            QV_OK);
        QV_ModuleInfo info;
        std::memcpy(&info, raw, 88);
        EXPECT_EQ(info.channelCount, c.channels) << c.code;
        EXPECT_GT(info.sampleCount, 0) << c.code;
        EXPECT_EQ(info.modelCode, c.code);
        EXPECT_EQ(raw[36] & 1, c.thresholdAdjustable) << c.code;
        EXPECT_EQ((raw[40] >> 1) & 1, c.extendedTriggers) << c.code;
        EXPECT_STREQ(info.modelName, c.name);
        EXPECT_EQ(info.counterClockHz, 100000000);
        EXPECT_EQ(raw[88], 0xee) << "wrote past the record";
    }
    QV_ModuleInfo r;
    ASSERT_EQ(QV_Info('r', &r, 88), QV_OK);
    EXPECT_EQ(r.thresholdMin, 14); // fixed at 1.4 V
    EXPECT_EQ(r.thresholdMax, 14);
}

TEST(Library, ServerIdIsCutToTheBufferAndTerminated) {
    ScopedHandle h;
    h.connected();
    char full[64];
    ASSERT_EQ(QV_QueryServerID(h, full, 64), QV_OK);
    std::string id = full;
    EXPECT_EQ(std::count(id.begin(), id.end(), ','), 3) << id;
    EXPECT_EQ(id.rfind("Vex built-in server,", 0), 0u) << id;
    for (int32_t length : {1, 2, 8, 20}) {
        char buffer[32];
        std::memset(buffer, 'x', sizeof buffer);
        ASSERT_EQ(QV_QueryServerID(h, buffer, length), QV_OK);
        EXPECT_EQ(std::string(buffer), id.substr(0, static_cast<size_t>(length - 1)));
        EXPECT_EQ(buffer[length], 'x') << length;
    }
}

TEST(Library, NamedHostsFailToConnectAndLeaveTheHandleUsable) {
    for (const char* host : {"", "127.0.0.1", "lab-pc"}) {
        ScopedHandle h;
        EXPECT_NE(QV_ConnectToServer(h, host, 1), QV_OK) << host;
        int32_t count = 0;
        EXPECT_EQ(QV_ModCount(h, &count), QV_ERR_NOT_CONNECTED);
        EXPECT_EQ(QV_ConnectToServer(h, nullptr, 0), QV_OK);
    }
}

// Real time: a 100 ms frequency gate still counts exactly, because counts
// follow from the signal, not from when the poll happens.
TEST(Library, FrequencyCountInRealTime) {
    ScopedHandle h;
    h.connected();
    ASSERT_EQ(QV_OpenMod(h, "QVSIMC01"), QV_OK);
    ASSERT_EQ(QV_SetThreshold(h, 0, 14), QV_OK);
    ASSERT_EQ(QV_SetThreshold(h, 1, 14), QV_OK);
    ASSERT_EQ(QV_FCRun(h, 0, 3, 0, "--------", 1), QV_OK);
    uint32_t words[20];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        ASSERT_EQ(QV_FCGetStatus(h, words, 20), QV_OK);
        if (!(words[0] & QV_STATUS_BUSY)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    ASSERT_EQ(words[0], QV_STATUS_ARMED); // finished: no longer busy, still armed
    EXPECT_TRUE(std::all_of(words + 1, words + 19, [](uint32_t w) { return w == QV_CH_DONE; }));
    EXPECT_EQ(words[19], 0u); // beyond the channels: zeroed
    int64_t counts[20];
    std::memset(counts, 0x5a, sizeof counts);
    ASSERT_EQ(QV_FCGetCounts(h, counts, 20), QV_OK);
    EXPECT_EQ(counts[0], 100000);
    EXPECT_EQ(counts[1], 100);
    EXPECT_EQ(counts[18], 0);
    EXPECT_EQ(counts[19], 0);
}

TEST(Library, StoppedEventCountReportsForcedStopAndFreezes) {
    ScopedHandle h;
    h.connected();
    ASSERT_EQ(QV_OpenMod(h, "QVSIMC02"), QV_OK);
    ASSERT_EQ(QV_FCRun(h, 2, 3, 7, "--------", 1), QV_OK);
    uint32_t words[19];
    ASSERT_EQ(QV_FCGetStatus(h, words, 19), QV_OK);
    EXPECT_EQ(words[0], QV_STATUS_BUSY | QV_STATUS_ARMED); // all "-": armed at once
    EXPECT_EQ(words[1], QV_CH_COUNTING);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(QV_FCRun(h, 0, 0, 0, nullptr, 0), QV_OK);
    int64_t first[18], second[18];
    ASSERT_EQ(QV_FCGetCounts(h, first, 18), QV_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(QV_FCGetCounts(h, second, 18), QV_OK);
    EXPECT_GT(first[0], 0);
    EXPECT_TRUE(std::equal(first, first + 18, second));
    ASSERT_EQ(QV_FCGetStatus(h, words, 19), QV_OK);
    EXPECT_EQ(words[0], QV_STATUS_ARMED);
    EXPECT_TRUE(
        std::all_of(words + 1, words + 19, [](uint32_t w) { return w == QV_CH_FORCED_STOP; }));
}

TEST(Library, HandlesFromManyThreads) {
    std::atomic<int> opened{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i) {
        threads.emplace_back([&] {
            for (int round = 0; round < 50; ++round) {
                int32_t h = 0;
                ASSERT_EQ(QV_Initialize(&h), QV_OK);
                ASSERT_EQ(QV_ConnectToServer(h, nullptr, 0), QV_OK);
                if (QV_OpenMod(h, "QVSIMB01") == QV_OK) {
                    ++opened;
                    char pins[32];
                    EXPECT_EQ(QV_GetPinStatus(h, pins, 32), QV_OK);
                }
                ASSERT_EQ(QV_Finalize(h), QV_OK);
                EXPECT_EQ(QV_Finalize(h), QV_ERR_BAD_HANDLE);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_GT(opened.load(), 0);
    ScopedHandle h;
    h.connected();
    EXPECT_EQ(moduleInfo(h, "QVSIMB01"), "bfp");
}

} // namespace
