#pragma once

#include <QString>

// What a long logbook operation asks of whoever runs it: whether to stop,
// and where to say how far it has come. The window implements it with its
// own progress line; tests with a plain object.
class LogbookEnvironment
{
public:
    virtual ~LogbookEnvironment() = default;
    virtual bool isCancelled() const = 0;
    virtual void setText(const QString &text) = 0;
};
