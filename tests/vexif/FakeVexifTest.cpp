// The scripted fake: scripted failures, argument checks and the call log.
#include "FakeVexif.h"
#include "vexif.h"

#include <gtest/gtest.h>

namespace {

class FakeVexif : public ::testing::Test {
protected:
    void SetUp() override {
        fakevexif::reset();
        ASSERT_EQ(QV_Initialize(&h), QV_OK);
        ASSERT_EQ(QV_ConnectToServer(h, nullptr, 0), QV_OK);
        fakevexif::setModules({{"QV000001", 'c'}, {"QVSIMR01", 'r', 't', 'p'}});
    }
    int32_t h = 0;
};

TEST_F(FakeVexif, ScriptedFailureComesFirstAndRunsOut) {
    fakevexif::failNext("QV_ModCount", QV_ERR_CONNECTION_LOST, 2);
    int32_t count = -1;
    EXPECT_EQ(QV_ModCount(h, &count), QV_ERR_CONNECTION_LOST);
    EXPECT_EQ(QV_ModCount(h, nullptr), QV_ERR_CONNECTION_LOST);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(QV_ModCount(h, &count), QV_OK);
    EXPECT_EQ(count, 2);

    fakevexif::failAlways("QV_Info", QV_ERR_TIMEOUT);
    QV_ModuleInfo info{};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(QV_Info('c', &info, 88), QV_ERR_TIMEOUT);
    fakevexif::clearFailures();
    EXPECT_EQ(QV_Info('c', &info, 88), QV_OK);
    EXPECT_EQ(info.channelCount, 18);
}

TEST_F(FakeVexif, ChecksArgumentsAndSessionsLikeTheLibrary) {
    int32_t other = 0;
    ASSERT_EQ(QV_Initialize(&other), QV_OK);
    int32_t flag = 0;
    EXPECT_EQ(QV_ModIsOpen(other, &flag), QV_ERR_NOT_CONNECTED);
    EXPECT_EQ(QV_ModIsOpen(999, &flag), QV_ERR_BAD_HANDLE);
    EXPECT_EQ(QV_GetPinStatus(h, nullptr, 18), QV_ERR_NO_MODULE_OPEN);
    EXPECT_EQ(QV_OpenMod(h, "QVSIMR01"), QV_ERR_MODULE_TAKEN);
    EXPECT_EQ(QV_OpenMod(h, "NOPE"), QV_ERR_NO_SUCH_MODULE);
    ASSERT_EQ(QV_OpenMod(h, "QV000001"), QV_OK);
    char pins[18];
    EXPECT_EQ(QV_GetPinStatus(h, pins, 17), QV_ERR_BAD_ARGUMENT);
    EXPECT_EQ(QV_FCRun(h, 0, 3, 7, "--------", 1), QV_ERR_BAD_ARGUMENT);
    EXPECT_EQ(QV_FCRun(h, 1, 3, 7, "----", 1), QV_ERR_BAD_ARGUMENT);
    EXPECT_EQ(QV_FCRun(h, 0, 0, 0, nullptr, 0), QV_OK);
    EXPECT_EQ(QV_Finalize(other), QV_OK);
    EXPECT_EQ(QV_Finalize(other), QV_ERR_BAD_HANDLE);
}

// Queued and steady poll answers are checked by the measurement cycle's
// tests, which follow them state by state.
TEST_F(FakeVexif, LogsEveryCallWithItsArguments) {
    fakevexif::clearCalls();
    ASSERT_EQ(QV_OpenMod(h, "QV000001"), QV_OK);
    fakevexif::failNext("QV_FCRun", QV_ERR_CONNECTION_LOST);
    EXPECT_EQ(QV_FCRun(h, 1, 3, 2, "01RFE-01", 1), QV_ERR_CONNECTION_LOST);
    EXPECT_EQ(QV_FCRun(h, 0, 0, 0, nullptr, 0), QV_OK);
    EXPECT_EQ(fakevexif::callNames(),
              (std::vector<std::string>{"QV_OpenMod", "QV_FCRun", "QV_FCRun"}));
    auto runs = fakevexif::callsOf("QV_FCRun");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].args, (std::vector<int64_t>{h, 1, 3, 2, 1}));
    EXPECT_EQ(runs[0].text, "01RFE-01");
    EXPECT_FALSE(runs[0].textNull);
    EXPECT_TRUE(runs[1].textNull);
    EXPECT_EQ(fakevexif::openModule(h), "QV000001");
}

} // namespace
