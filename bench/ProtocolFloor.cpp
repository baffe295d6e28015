#include "bench/ProtocolFloor.h"

#include "instrument/FlightRecord.h"
#include "instrument/PilotName.h"
#include "link/Protocol.h"

namespace ProtocolFloor {

namespace {

// One memory read: the command paced out character by character, then the
// answer wait.
constexpr qint64 readMs()
{
    return qint64(Protocol::kReadCommandLength) * Protocol::kCharPauseMs + Protocol::kAnswerWaitMs;
}

} // namespace

QList<Part> exportRun(int flights)
{
    const qint64 connectionTest = Protocol::kAnswerWaitMs;
    return {
        { QStringLiteral("connection test (\"T\" + answer wait)"), connectionTest },
        { QStringLiteral("flight count read (%1 x %2 ms + %3 ms)")
                .arg(Protocol::kReadCommandLength)
                .arg(Protocol::kCharPauseMs)
                .arg(Protocol::kAnswerWaitMs),
            readMs() },
        { QStringLiteral("wait after the count"), Protocol::kAnswerWaitMs },
        { QStringLiteral("flight records (%1 flights x %2 reads x %3 ms)")
                .arg(flights)
                .arg(FlightRecord::kRecordReads)
                .arg(readMs()),
            qint64(flights) * FlightRecord::kRecordReads * readMs() },
        { QStringLiteral("pilot name: connection test"), connectionTest },
        { QStringLiteral("pilot name: %1 reads x %2 ms").arg(PilotName::kLength).arg(readMs()),
            PilotName::kLength * readMs() },
        { QStringLiteral("pilot name: final wait"), Protocol::kAnswerWaitMs },
        { QStringLiteral("text report writer (no waits)"), 0 },
    };
}

qint64 total(const QList<Part> &parts)
{
    qint64 sum = 0;
    for (const Part &part : parts)
        sum += part.ms;
    return sum;
}

} // namespace ProtocolFloor
