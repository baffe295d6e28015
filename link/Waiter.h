#pragma once

#include "link/OperationEnvironment.h"

#include <QObject>

class QEventLoop;

// The waits between a command and the judging of its answer. A wait lasts
// at least the asked time on a monotonic clock and keeps the window's events
// flowing (that is how answers arrive), without keeping a processor busy.
//
// A wait can be cut short: when the program is told to quit, or the window
// that runs the operation goes away, cancel() ends the running wait and every
// later one at once, so the operation stops instead of racing on through its
// remaining commands without waits.
class Waiter : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // true when the full time has passed; false when cut short, by cancel()
    // or by the event loop ending (the program quits): either way the waiter
    // is cancelled from then on.
    bool wait(int ms);

    void cancel();
    bool isCancelled() const { return m_cancelled; }

private:
    bool m_cancelled = false;
    QEventLoop *m_loop = nullptr;
};

// The environment of an operation that no window watches (tests, the
// benchmark): the waiter's waits, and the progress text kept for a look.
class WaiterEnvironment : public OperationEnvironment
{
public:
    bool isCancelled() const override { return m_waiter.isCancelled(); }
    bool wait(int ms) override { return m_waiter.wait(ms); }
    void setProgressText(const QString &text) override { m_progress = text; }

    Waiter &waiter() { return m_waiter; }
    QString progressText() const { return m_progress; }

private:
    Waiter m_waiter;
    QString m_progress;
};
