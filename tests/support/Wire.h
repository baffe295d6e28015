#pragma once

// The commands of the instrument's exchanges as the instrument receives them,
// for comparing with the simulator's transcript.

#include <QString>
#include <QStringList>

namespace Wire {

inline QString read(int address)
{
    return QStringLiteral("R%1").arg(address, 6, 10, QLatin1Char('0'));
}

// The 19 reads of a flight's record: its 18 bytes and the first of the next.
inline QStringList recordReads(int flight)
{
    QStringList out;
    for (int k = 0; k < 19; ++k)
        out << read(392 + 18 * flight + k);
    return out;
}

// A pilot name read with its own connection test.
inline QStringList pilotRefresh()
{
    QStringList out { QStringLiteral("T") };
    for (int a = 208; a <= 215; ++a)
        out << read(a);
    return out;
}

} // namespace Wire
