#pragma once

// The bytes of the text report as the pilot's other programs read them,
// written out here independently of the writer: every record in quotes with
// CR LF, the six header records, one line per flight.

#include "instrument/FlightSummary.h"

#include <QByteArray>
#include <QStringList>

namespace ReportBytes {

inline QByteArray record(const QByteArray &text)
{
    return '"' + text + "\"\r\n";
}

// The header for a pilot name given in the report's code page.
inline QByteArray header(const QByteArray &pilotBytes)
{
    const QByteArray rule(111, '_');
    return record(" Pilot: " + pilotBytes) + record(rule)
        + record(" Fl.\tDate\t\tStart\tDura-\tQNE\tQNE\tHeight\t\tTotal\tLift\tSink\tSpeed\tSpeed\t")
        + record(" No.\tyyyy-mm-dd\ttime\ttion\tmin\tmax\tdiff max\tgain\tmax\tmax\tmin\tmax\t")
        + record(" \t\t\thh:mm\thh:mm\tmeter\tmeter\tmeter\t\tmeter\tm/s\tm/s\tkm/h\tkm/h\t") + record(rule);
}

// A read flight's line: the height difference comes before the gain and
// takes two tabs.
inline QByteArray line(const FlightSummary &f)
{
    const QStringList fields { f.date, f.startTime, f.duration, f.qneMin, f.qneMax, f.heightDiffMax + '\t',
        f.totalGain, f.liftMax, f.sinkMax, f.speedMin, f.speedMax };
    return record(' ' + QByteArray::number(f.flightNumber) + '\t' + fields.join('\t').toLatin1() + '\t');
}

// The line of a flight that could not be read.
inline QByteArray failedLine(int n)
{
    return record(' ' + QByteArray::number(n) + "\t*\t\t*\t*\t*\t*\t*\t\t*\t*\t*\t*\t*\t");
}

} // namespace ReportBytes
