#include "link/Waiter.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

bool Waiter::wait(int ms)
{
    if (m_cancelled)
        return false;
    if (ms <= 0)
        return true;

    QElapsedTimer clock;
    clock.start();
    const qint64 wanted = qint64(ms) * 1000000;
    for (;;) {
        const qint64 leftNs = wanted - clock.nsecsElapsed();
        if (leftNs <= 0)
            return true;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(int((leftNs + 999999) / 1000000));
        QEventLoop *outer = m_loop;
        m_loop = &loop;
        // exec() answers -1 at once once the application is quitting.
        const int result = loop.exec();
        m_loop = outer;
        if (result != 0 || m_cancelled)
            return false;
    }
}

void Waiter::cancel()
{
    m_cancelled = true;
    if (m_loop)
        m_loop->exit(1);
}
