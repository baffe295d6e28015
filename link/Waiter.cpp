#include "link/Waiter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {

constexpr qint64 kNsPerMs = 1000000;
// The event loop's timers wake up to a millisecond late (the loop polls with a
// whole-millisecond timeout, rounded up), and a late wake-up would add to every
// wait. So the event loop only covers the wait up to its last one or two
// milliseconds; the rest is slept in steps of at most this long on the
// monotonic clock, with pending events handled after each step.
constexpr qint64 kTailStepNs = kNsPerMs;

// Linux lets a sleep overrun by the thread's timer slack (50 us unless set),
// and a read command has eight waits; the final steps of a wait ask for as
// little slack as the kernel allows and give the old value back afterwards.
class TightSleeps
{
public:
#ifdef Q_OS_LINUX
    TightSleeps()
        : m_previous(::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0))
    {
        if (m_previous > 1)
            ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    }
    ~TightSleeps()
    {
        if (m_previous > 1)
            ::prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(m_previous), 0, 0, 0);
    }
    TightSleeps(const TightSleeps &) = delete;
    TightSleeps &operator=(const TightSleeps &) = delete;

private:
    int m_previous;
#endif
};

} // namespace

bool Waiter::wait(int ms)
{
    if (m_cancelled)
        return false;
    if (ms <= 0)
        return true;

    QElapsedTimer clock;
    clock.start();
    const qint64 wanted = qint64(ms) * kNsPerMs;
    for (;;) {
        const qint64 leftNs = wanted - clock.nsecsElapsed();
        if (leftNs <= 2 * kTailStepNs)
            break;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        // A millisecond short: a wake-up that far late still comes before the
        // end of the wait.
        timer.start(int(leftNs / kNsPerMs) - 1);
        QEventLoop *outer = m_loop;
        m_loop = &loop;
        // exec() answers -1 at once once the application is quitting.
        const int result = loop.exec();
        m_loop = outer;
        if (result != 0 || m_cancelled) {
            m_cancelled = true;
            return false;
        }
    }
    const TightSleeps tight;
    for (;;) {
        const qint64 leftNs = wanted - clock.nsecsElapsed();
        if (leftNs > 0)
            std::this_thread::sleep_for(std::chrono::nanoseconds(std::min(leftNs, kTailStepNs)));
        // Characters that arrived during the sleep are in the receive buffer
        // before the wait returns.
        QCoreApplication::processEvents();
        if (m_cancelled)
            return false;
        if (clock.nsecsElapsed() >= wanted)
            return true;
    }
}

void Waiter::cancel()
{
    m_cancelled = true;
    if (m_loop)
        m_loop->exit(1);
}
