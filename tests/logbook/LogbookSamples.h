#pragma once

#include "logbook/LogbookEntry.h"

// A flight with the worked example's values, varied by its start time and
// date so that each n gives another flight.
inline FlightSummary sampleFlight(int n, const QString &date = QStringLiteral("2005-07-14"))
{
    FlightSummary f;
    f.flightNumber = qint16((n + 99) % 100 + 1);
    f.date = date;
    f.startTime = QStringLiteral("%1:%2")
                      .arg(10 + n / 60 % 10, 2, 10, QLatin1Char('0'))
                      .arg(n % 60, 2, 10, QLatin1Char('0'));
    f.duration = QStringLiteral("01:30");
    f.qneMin = QStringLiteral("850");
    f.qneMax = QStringLiteral("2130");
    f.heightDiffMax = QStringLiteral("1280");
    f.totalGain = QStringLiteral("3400");
    f.liftMax = QStringLiteral("4.5");
    f.sinkMax = QStringLiteral("3.2");
    f.speedMin = QStringLiteral("18");
    f.speedMax = QStringLiteral("52");
    return f;
}

// The flight as the logbook keeps it; an impossible one fails the test.
inline LogbookFlight typedFlight(const FlightSummary &summary)
{
    const auto typed = LogbookFlight::fromSummary(summary);
    if (!typed)
        qFatal("not a flight: %s %s %s", qPrintable(summary.date), qPrintable(summary.startTime),
            qPrintable(summary.duration));
    return *typed;
}

inline LogbookEntry sampleEntry(int n, const QString &date = QStringLiteral("2005-07-14"))
{
    LogbookEntry e;
    e.flight = typedFlight(sampleFlight(n, date));
    e.pilot = QStringLiteral("KESTREL");
    return e;
}
