#pragma once

// Flight memories for the simulated instrument, with the text forms of their flights
// known without decoding.

#include "instrument/FlightSummary.h"
#include "sim/MemoryImage.h"

#include <QList>

namespace MemoryFlights {

// Flights whose text forms are known without decoding: negative QNE, one
// decimal rates, whole rates, zero values, the widest fields.
//                              sink lift qneMin qneMax vMin vMax  min day mon year  hh  mm  gain
inline const RawFlight kFlightA { 25, 30, -20, 1500, 7, 45, 286, 14, 7, 2005, 9, 5, 1000 };
inline const RawFlight kFlightB { 8, 0, 0, 2130, 18, 52, 5, 3, 11, 2000, 13, 40, 16777215 };
inline const RawFlight kFlightC { 120, 255, -16383, 16383, 0, 255, 6000, 31, 12, 2255, 23, 59, 65536 };
inline const RawFlight kFlightD { 32, 45, 850, 2130, 18, 52, 90, 14, 7, 2005, 12, 5, 3400 };

inline FlightSummary textsA(int n)
{
    return { qint16(n), "2005-07-14", "09:05", "04:46", "-20", "1500", "1520", "1000", "3", "2.5", "7",
        "45" };
}
inline FlightSummary textsB(int n)
{
    return { qint16(n), "2000-11-03", "13:40", "00:05", "0", "2130", "2130", "16777215", "0", "0.8", "18",
        "52" };
}
inline FlightSummary textsC(int n)
{
    return { qint16(n), "2255-12-31", "23:59", "100:00", "-16383", "16383", "32766", "65536", "25.5", "12",
        "0", "255" };
}
inline FlightSummary textsD(int n)
{
    return { qint16(n), "2005-07-14", "12:05", "01:30", "850", "2130", "1280", "3400", "4.5", "3.2", "18",
        "52" };
}

// A plain flight for filling memory: 2010-05-n at 10:n.
inline RawFlight filler(int n)
{
    return { 10 + n, 20 + n, 100 * n, 1000 + 100 * n, 10 + n, 40 + n, 30 + n, n, 5, 2010, 10, n, 500 * n };
}

inline MemoryImage image(const QList<RawFlight> &flights, const QByteArray &pilot)
{
    MemoryImage m;
    for (int i = 0; i < flights.size(); ++i)
        m.setFlight(i + 1, flights.at(i));
    m.setFlightCount(int(flights.size()));
    m.setPilotName(pilot);
    return m;
}

} // namespace MemoryFlights
