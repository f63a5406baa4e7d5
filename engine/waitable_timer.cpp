#include "engine/waitable_timer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

void clsWaitableTimer::Wait(int MilliSeconds)
{
    const bool outerWaiting = m_waiting;
    m_waiting = true;

    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);

    // A timer may fire a little early on some platforms; wait out any remainder, so the call
    // never returns before the time asked for.
    qint64 remaining = MilliSeconds;
    do {
        timer.start(static_cast<int>(qMax<qint64>(remaining, 0)));
        loop.exec();
        remaining = MilliSeconds - clock.elapsed();
    } while (remaining > 0);

    m_waiting = outerWaiting;
}
