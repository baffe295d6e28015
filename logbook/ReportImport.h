#pragma once

#include "logbook/LogbookEntry.h"

#include <QByteArray>
#include <QList>

// Reading back the tab-separated text reports the program writes: the pilot
// line, the header lines, one line per flight. A line is taken whole or not
// at all, so a report cut short or edited by hand never yields half a flight.
namespace ReportImport {

// A pilot line names at most what the instrument holds.
constexpr int kPilotNameLength = 8;

struct Parsed
{
    QList<LogbookEntry> flights; // with the pilot of the report's pilot line
    int failedFlights = 0; // "*" lines: flights the export could not read
    int linesNotUnderstood = 0;
    // Whether anything in it is a report's: a pilot line, a header line or
    // a flight. A file without any is not a report of this program, and its
    // lines are not counted as lines not understood.
    bool isReport = false;
};

// Reads a report line by line, so that a large file is never held whole:
// feed() each line as read (with or without its line end), take the
// flights found so far, and read the counts from parsed() at the end.
class Reader
{
public:
    void feed(const QByteArray &line);
    // The flights found since the last call.
    QList<LogbookEntry> takeFlights();
    const Parsed &parsed() const { return m_parsed; }

private:
    Parsed m_parsed;
    QString m_pilot;
};

// Parses the bytes of one report (Windows-1252, each line in double quotes,
// CR LF). A file holding several reports one after the other is read as
// such: each pilot line names the pilot of the flights below it.
Parsed parse(const QByteArray &report);

} // namespace ReportImport
