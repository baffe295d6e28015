#pragma once

#include "export/FlightTable.h"
#include "instrument/FlightSummary.h"

#include <QString>
#include <functional>

class InstrumentSession;
class OperationEnvironment;

// The range run of an export: the flight count, then every flight of the
// range read through the session into the flight table, until the range or
// the logbook ends. The writers then take the table as the run left it.
//
// Rows of the range are emptied before anything is read, so that a row of
// an earlier run never passes for a flight of this one; a flight whose read
// fails is marked "*" and the run goes on; an erased flight ends the run.
class ExportRun
{
public:
    enum class End {
        Finished, // the range was read, or it ended at an erased flight
        ConnectionLost, // the port went away: what was read is incomplete
        Cancelled, // a wait was cut short
    };

    ExportRun(InstrumentSession &session, FlightTable &table);

    // Hears every flight read completely, as the run reads it.
    void setFlightListener(std::function<void(const FlightSummary &)> listener);
    // Hears the lines the run has for the status log.
    void setStatusListener(std::function<void(const QString &)> listener);

    // Reads flights from..until (1..100, from <= until) after a passed
    // connection check. The progress text shows the flight being read.
    End run(OperationEnvironment &env, qint16 from, qint16 until);

    // The range the writers cover: from, and until lowered to the number of
    // flights in memory (below from when there are fewer).
    qint16 firstFlight() const { return m_first; }
    qint16 lastFlight() const { return m_last; }

private:
    void status(const QString &line) const;

    InstrumentSession &m_session;
    FlightTable &m_table;
    std::function<void(const FlightSummary &)> m_flightRead;
    std::function<void(const QString &)> m_statusLine;
    qint16 m_first = 0;
    qint16 m_last = 0;
};
