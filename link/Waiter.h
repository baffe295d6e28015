#pragma once

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

    // true when the full time has passed; false when cut short.
    bool wait(int ms);

    void cancel();
    bool isCancelled() const { return m_cancelled; }

private:
    bool m_cancelled = false;
    QEventLoop *m_loop = nullptr;
};
