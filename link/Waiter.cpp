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
// wait. So the timer only covers the wait up to its last one or two
// milliseconds; the rest is slept in steps of at most this long on the
// monotonic clock, with a round of pending events after each step.
constexpr qint64 kTailStepNs = kNsPerMs;

// How the wait's own loop ends: the full time passed, or cancel(). Anything
// else (QCoreApplication::exit(), whatever its code) is a cut too.
constexpr int kWaitedOut = 0x5741;
constexpr int kCut = -0x5741;

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

    // The whole wait runs inside one event loop of its own, the final sleeps
    // included: QCoreApplication::exit() ends every running loop, so a quit
    // at any moment of the wait, even in the round of events that ends it,
    // ends this loop with another code than kWaitedOut. Were any of the
    // wait's events handled outside the loop, a quit there would go unseen and
    // the operation would send on.
    QElapsedTimer clock;
    clock.start();
    const qint64 wanted = qint64(ms) * kNsPerMs;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    // Runs only from inside loop.exec(), so that loop.exit() always ends it.
    const auto step = [&] {
        // A cancel() during a wait nested in this one ended only that one.
        if (m_cancelled) {
            loop.exit(kCut);
            return;
        }
        const qint64 leftNs = wanted - clock.nsecsElapsed();
        if (leftNs > 2 * kTailStepNs) {
            // A millisecond short: a wake-up that far late still comes
            // before the end of the wait.
            timer.start(int(leftNs / kNsPerMs) - 1);
            return;
        }
        const TightSleeps tight;
        for (;;) {
            const qint64 tailNs = wanted - clock.nsecsElapsed();
            if (tailNs > 0)
                std::this_thread::sleep_for(std::chrono::nanoseconds(std::min(tailNs, kTailStepNs)));
            // Characters that arrived during the sleep are in the receive
            // buffer before the wait returns. Still inside loop.exec(): a quit
            // or a cancel() meanwhile has ended the loop with its own code.
            QCoreApplication::processEvents();
            if (!loop.isRunning())
                return;
            if (m_cancelled) {
                loop.exit(kCut);
                return;
            }
            if (clock.nsecsElapsed() >= wanted) {
                loop.exit(kWaitedOut);
                return;
            }
        }
    };
    connect(&timer, &QTimer::timeout, &loop, step);
    // A posted call, not a zero timer: it comes in the loop's first round
    // even while the line keeps the event loop busy.
    QMetaObject::invokeMethod(&loop, step, Qt::QueuedConnection);

    QEventLoop *outer = m_loop;
    m_loop = &loop;
    // exec() answers -1 at once once the application is quitting.
    const int result = loop.exec();
    m_loop = outer;
    if (result != kWaitedOut || m_cancelled) {
        m_cancelled = true;
        return false;
    }
    return true;
}

void Waiter::cancel()
{
    m_cancelled = true;
    if (m_loop)
        m_loop->exit(kCut);
}
