#include "export/FlightTable.h"

void FlightTable::markFailed(int n)
{
    FlightSummary failed;
    for (QString *field : { &failed.date, &failed.startTime, &failed.duration, &failed.qneMin, &failed.qneMax,
             &failed.heightDiffMax, &failed.totalGain, &failed.liftMax, &failed.sinkMax, &failed.speedMin,
             &failed.speedMax })
        *field = kFailedMark;
    m_entries.at(n) = withNumber(failed, n);
}
