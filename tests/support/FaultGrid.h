#pragma once

// The faults the simulated instrument plays and where each is aimed inside an
// operation: the session test, the fault matrix and the wire trace all sweep
// this one grid.

#include <QString>
#include <QStringList>

namespace FaultGrid {

struct Aim
{
    const char *name;
    const char *inside; // a command inside the operation
    const char *last; // the last command of its run, where a late answer misses the wait
};

inline constexpr Aim kInformation { "information", "V", "V" };
inline constexpr Aim kReadName { "read name", "R000210", "R000215" }; // the 3rd of eight name reads
inline constexpr Aim kWriteName { "write name", "W000212", "W000215" }; // the 5th name write
inline constexpr Aim kFlightCount { "flight count", "R000047", "R000047" };
inline constexpr Aim kShowFlight3 { "show flight 3", "R000448", "R000464" }; // 3rd read of flight 3
inline constexpr Aim kExport1To2 { "export 1-2", "R000430", "R000446" }; // 3rd read of flight 2

// Wrong answers: none, one character more, one less, a long one, a wrong
// digit, a byte with its high bit set.
inline const QStringList kAnswerFaults { "silent", "extra", "short", "long", "garble", "highbit" };
inline const QString kLate = QStringLiteral("late:80");
inline const QString kHangUp = QStringLiteral("hangup");

// The simulator's fault line for kind aimed at the operation, once.
inline QString fault(const Aim &aim, const QString &kind)
{
    const bool late = kind.startsWith(QLatin1String("late"));
    return kind + QLatin1Char(' ') + QLatin1String(late ? aim.last : aim.inside) + QStringLiteral(" 1");
}

} // namespace FaultGrid
