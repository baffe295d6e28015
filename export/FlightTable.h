#pragma once

#include "instrument/FlightSummary.h"

#include <QString>
#include <array>

// What an export run has read, per flight number 1..100 (entry 0 is never
// written). Entries keep their texts from one run to the next; a flight
// whose read failed holds "*" in all eleven fields.
class FlightTable
{
public:
    static constexpr int kSize = 101;
    static inline const QString kFailedMark = QStringLiteral("*");

    // The stored fields of flight n (its flightNumber is n). n must be 0..100.
    const FlightSummary &entry(int n) const { return m_entries.at(n); }

    void store(const FlightSummary &summary)
    {
        m_entries.at(summary.flightNumber) = withNumber(summary, summary.flightNumber);
    }
    void markFailed(int n);
    void clear(int n) { m_entries.at(n) = withNumber({}, n); }

private:
    static FlightSummary withNumber(FlightSummary s, int n)
    {
        s.flightNumber = qint16(n);
        return s;
    }
    std::array<FlightSummary, kSize> m_entries {};
};

// Everything the writers read: the range of the run, the table and the
// pilot name last read.
struct ExportData
{
    QString pilotName;
    qint16 firstFlight = 0;
    qint16 lastFlight = 0;
    const FlightTable *table = nullptr;
};
