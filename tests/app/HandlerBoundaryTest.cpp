// An exception escaping an event handler stops at the handler's boundary: the
// event loop goes on and the next tick is handled as usual.
#include "TModIfCpp.h"
#include "app/EventGuard.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

TEST(HandlerBoundary, TimerKeepsTickingAfterAThrowingTick) {
    QTimer timer;
    timer.setInterval(5);
    int ticks = 0;
    QEventLoop loop;
    QObject::connect(&timer, &QTimer::timeout, &timer, [&] {
        runGuarded("PollTick", [&] {
            ++ticks;
            if (ticks == 1) throw TModIfError(QV_ERR_CONNECTION_LOST);
            if (ticks == 2) throw std::runtime_error("second tick");
            if (ticks >= 4) loop.quit();
        });
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit); // bound the test in time
    testing::internal::CaptureStderr();
    timer.start();
    loop.exec();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_GE(ticks, 4);
    EXPECT_NE(err.find("PollTick: device library status 5"), std::string::npos) << err;
    EXPECT_NE(err.find("PollTick: second tick"), std::string::npos) << err;
}
