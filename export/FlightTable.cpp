#include "export/FlightTable.h"

#include "export/FlightFields.h"

void FlightTable::markFailed(int n)
{
    FlightSummary failed;
    for (const FlightField &field : FlightFields::kAll) {
        if (field.text)
            failed.*field.text = kFailedMark;
    }
    m_entries.at(n) = withNumber(failed, n);
}
