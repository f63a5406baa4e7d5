#include "engine/waitable_timer.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QTimer>

#include <gtest/gtest.h>

TEST(WaitableTimer, ReturnsAfterTheTimeWhileTicksKeepArriving)
{
    QTimer ticker;
    int ticks = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(5);

    clsWaitableTimer timer;
    QElapsedTimer clock;
    clock.start();
    timer.Wait(50);
    const qint64 elapsed = clock.elapsed();

    EXPECT_GE(elapsed, 50);
    EXPECT_LT(elapsed, 500);
    // The 5 ms ticker kept running during the pause.
    EXPECT_GE(ticks, 3);
    EXPECT_FALSE(timer.isWaiting());
}

TEST(WaitableTimer, HandlesPendingAndNestedEventsBeforeReturning)
{
    clsWaitableTimer timer;
    bool queuedRan = false;
    bool sawWaiting = false;
    QObject context;
    QMetaObject::invokeMethod(
        &context,
        [&] {
            queuedRan = true;
            sawWaiting = timer.isWaiting();
        },
        Qt::QueuedConnection);

    timer.Wait(0);
    EXPECT_TRUE(queuedRan);
    EXPECT_TRUE(sawWaiting);

    // A wait started from inside another wait ends first; the outer one still lasts its own time.
    QElapsedTimer clock;
    clock.start();
    qint64 innerDoneAt = -1;
    QTimer::singleShot(10, &context, [&] {
        clsWaitableTimer inner;
        inner.Wait(20);
        innerDoneAt = clock.elapsed();
    });
    timer.Wait(60);
    EXPECT_GE(innerDoneAt, 30);
    EXPECT_GE(clock.elapsed(), 60);
}
