#pragma once

#include "logbook/LogbookEntry.h"

#include <QByteArray>
#include <QList>

// Reading back the tab-separated text reports the program writes: the pilot
// line, the header lines, one line per flight. A line is taken whole or not
// at all, so a report cut short or edited by hand never yields half a flight.
namespace ReportImport {

struct Parsed
{
    QList<LogbookEntry> flights; // with the pilot of the report's pilot line
    int failedFlights = 0; // "*" lines: flights the export could not read
    int linesNotUnderstood = 0;
};

// Parses the bytes of one report (Windows-1252, each line in double quotes,
// CR LF). A file holding several reports one after the other is read as
// such: each pilot line names the pilot of the flights below it.
Parsed parse(const QByteArray &report);

} // namespace ReportImport
