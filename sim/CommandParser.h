#pragma once

#include <QByteArray>
#include <QList>

// Cuts the instrument's input into commands. Commands have no terminator: "T"
// and "V" are complete at once, "R" after six digits, "W" after nine. A
// character that cannot start a command is ignored, which lets the instrument
// find its way back after line noise; a non-digit inside a command abandons
// that command and is looked at afresh as a possible start.
class CommandParser
{
public:
    QList<QByteArray> feed(const QByteArray &input);
    QByteArray pending() const { return m_pending; }
    void reset() { m_pending.clear(); }

    static constexpr int readLength = 7;
    static constexpr int writeLength = 10;

private:
    QByteArray m_pending;
};
