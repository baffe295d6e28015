#pragma once

#include <QList>
#include <QString>

// The time an export run cannot go below: the fixed waits after each command
// and the pacing between the characters of each memory read. The instrument
// answers within those waits, so a run that took exactly this long would
// spend nothing of its own.
namespace ProtocolFloor {

struct Part
{
    QString what;
    qint64 ms = 0;
};

// The parts of a text report export of flights 1..flights, in the order the
// run spends them.
QList<Part> exportRun(int flights);

qint64 total(const QList<Part> &parts);

} // namespace ProtocolFloor
