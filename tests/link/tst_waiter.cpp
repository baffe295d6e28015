#include "link/Waiter.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <unistd.h>

class tst_Waiter : public QObject
{
    Q_OBJECT

private slots:
    void lastsAtLeastTheAskedTime_data();
    void lastsAtLeastTheAskedTime();
    void nothingToWait_data();
    void nothingToWait();
    void eventsRunDuringTheWait();
    void pendingInputIsHandledBeforeReturning_data();
    void pendingInputIsHandledBeforeReturning();
    void cancelEndsTheRunningWaitAndEveryLaterOne();
    void quitEndsTheWaitAtAnyMoment_data();
    void quitEndsTheWaitAtAnyMoment();
};

void tst_Waiter::lastsAtLeastTheAskedTime_data()
{
    QTest::addColumn<int>("ms");
    // The character pause, the lengths around the switch from the event loop
    // to the final sleep, and the answer wait.
    QTest::newRow("1 ms") << 1;
    QTest::newRow("2 ms") << 2;
    QTest::newRow("3 ms") << 3;
    QTest::newRow("5 ms") << 5;
    QTest::newRow("50 ms") << 50;
}

void tst_Waiter::lastsAtLeastTheAskedTime()
{
    QFETCH(int, ms);
    Waiter waiter;
    for (int round = 0; round < 20; ++round) {
        QElapsedTimer clock;
        clock.start();
        QVERIFY(waiter.wait(ms));
        const qint64 ns = clock.nsecsElapsed();
        QVERIFY2(ns >= qint64(ms) * 1000000, qPrintable(QStringLiteral("%1 ns").arg(ns)));
        // Generous: a loaded machine may schedule us late, but a wait that
        // takes twice its time plus a scheduler slice is broken.
        QVERIFY2(ns < qint64(2 * ms + 40) * 1000000, qPrintable(QStringLiteral("%1 ns").arg(ns)));
    }
}

void tst_Waiter::nothingToWait_data()
{
    QTest::addColumn<int>("ms");
    QTest::newRow("zero") << 0;
    QTest::newRow("negative") << -5;
}

void tst_Waiter::nothingToWait()
{
    QFETCH(int, ms);
    Waiter waiter;
    bool ran = false;
    QObject context;
    QTimer::singleShot(0, &context, [&ran] { ran = true; });
    QVERIFY(waiter.wait(ms));
    // Returns at once: not even pending events are handled.
    QVERIFY(!ran);
}

void tst_Waiter::eventsRunDuringTheWait()
{
    Waiter waiter;
    QElapsedTimer clock;
    clock.start();
    qint64 firedAtMs = -1;
    QTimer::singleShot(5, Qt::PreciseTimer, this, [&] { firedAtMs = clock.elapsed(); });
    QVERIFY(waiter.wait(30));
    QVERIFY(firedAtMs >= 5);
    QVERIFY(firedAtMs < 30);
}

void tst_Waiter::pendingInputIsHandledBeforeReturning_data()
{
    QTest::addColumn<int>("ms");
    QTest::newRow("character pause") << 1;
    QTest::newRow("short") << 2;
    QTest::newRow("answer wait") << 50;
}

void tst_Waiter::pendingInputIsHandledBeforeReturning()
{
    // Input that is already waiting when the wait starts stands for characters
    // that arrived during it: they must be handed over before it returns.
    QFETCH(int, ms);
    int fds[2];
    QCOMPARE(::pipe(fds), 0);
    QSocketNotifier notifier(fds[0], QSocketNotifier::Read);
    int handled = 0;
    connect(&notifier, &QSocketNotifier::activated, this, [&] {
        char c;
        if (::read(fds[0], &c, 1) == 1)
            ++handled;
    });
    QCOMPARE(::write(fds[1], "!", 1), 1);
    Waiter waiter;
    QVERIFY(waiter.wait(ms));
    QCOMPARE(handled, 1);
    ::close(fds[0]);
    ::close(fds[1]);
}

void tst_Waiter::cancelEndsTheRunningWaitAndEveryLaterOne()
{
    Waiter waiter;
    QTimer::singleShot(10, this, [&waiter] { waiter.cancel(); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!waiter.wait(2000));
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(waiter.isCancelled());
    clock.restart();
    QVERIFY(!waiter.wait(1));
    QVERIFY(!waiter.wait(50));
    QVERIFY(clock.elapsed() < 5);
}

void tst_Waiter::quitEndsTheWaitAtAnyMoment_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<int>("quitAfterMs");
    // A wait of a millisecond is slept through in one step: the quit is met
    // in the round of events after the sleep, the one that ends the wait.
    QTest::newRow("character pause") << 1 << 0;
    QTest::newRow("last milliseconds") << 5 << 4;
    QTest::newRow("answer wait") << 50 << 10;
}

void tst_Waiter::quitEndsTheWaitAtAnyMoment()
{
    QFETCH(int, ms);
    QFETCH(int, quitAfterMs);
    Waiter waiter;
    bool waited = true;
    bool later = true;
    // The waits run inside the application's own loop, as the window's do,
    // and the application is told to quit while the first one runs.
    QTimer::singleShot(0, this, [&] {
        QTimer::singleShot(quitAfterMs, Qt::PreciseTimer, this, [] { QCoreApplication::exit(0); });
        waited = waiter.wait(ms);
        later = waiter.wait(1);
    });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!waited);
    QVERIFY(waiter.isCancelled());
    QVERIFY(!later);
}

QTEST_GUILESS_MAIN(tst_Waiter)
#include "tst_waiter.moc"
