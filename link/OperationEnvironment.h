#pragma once

#include <QString>

// What a long instrument operation needs from whoever runs it: whether to
// stop, a wait that keeps the program responsive, and a place for the
// progress text. The window implements it with its waits and its counter
// label; tests and the benchmark with a plain waiter.
//
// Cancelling has one truth: a wait that does not last its full time (the
// program is closing, or its event loop was told to end) returns false, and
// every operation of the core then returns its Cancelled failure at once,
// without sending anything more. The caller ends the operation on that value.
class OperationEnvironment
{
public:
    virtual ~OperationEnvironment() = default;

    // True once the operation must stop; nothing more is sent then.
    virtual bool isCancelled() const = 0;
    // Waits at least ms milliseconds while events keep flowing (that is how
    // answers arrive); false when the wait was cut short.
    virtual bool wait(int ms) = 0;
    // Shows how far the operation has come ("_" when idle, a flight number).
    virtual void setProgressText(const QString &text) = 0;
};
