// The boundary of an event handler: what escapes is reported once and dropped.
#include "app/EventGuard.h"
#include "TModIfCpp.h"
#include "app/IdleTickCounter.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(EventGuard, DropsEveryKindOfException) {
    testing::internal::CaptureStderr();
    EXPECT_TRUE(runGuarded("Quiet", [] {}));
    EXPECT_FALSE(runGuarded("Library", [] { throw TModIfError(QV_ERR_CONNECTION_LOST); }));
    EXPECT_FALSE(runGuarded("Standard", [] { throw std::runtime_error("broken pipe"); }));
    EXPECT_FALSE(runGuarded("Other", [] { throw 42; }));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Library: device library status 5"), std::string::npos) << err;
    EXPECT_NE(err.find("Standard: broken pipe"), std::string::npos) << err;
    EXPECT_NE(err.find("Other: unknown exception"), std::string::npos) << err;
    EXPECT_EQ(err.find("Quiet"), std::string::npos) << err;
}

TEST(EventGuard, ReportsARepeatedFailureOnce) {
    testing::internal::CaptureStderr();
    for (int i = 0; i < 50; ++i)
        runGuarded("PollTick", [] { throw TModIfError(QV_ERR_TIMEOUT); });
    runGuarded("PollTick", [] { throw TModIfError(QV_ERR_BAD_HANDLE); });
    runGuarded("PollTick", [] { throw TModIfError(QV_ERR_TIMEOUT); });
    const std::string err = testing::internal::GetCapturedStderr();
    int lines = 0;
    for (char c : err)
        lines += c == '\n';
    EXPECT_EQ(lines, 3) << err; // timeout, bad handle, timeout again
}

TEST(IdleTickCounter, RefreshOnSecondTickThenEveryTenth) {
    IdleTickCounter counter;
    std::vector<int> due;
    for (int tick = 1; tick <= 35; ++tick)
        if (counter.advance()) due.push_back(tick);
    EXPECT_EQ(due, (std::vector<int>{2, 12, 22, 32}));
}
