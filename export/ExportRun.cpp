#include "export/ExportRun.h"

#include "instrument/InstrumentSession.h"
#include "link/OperationEnvironment.h"

#include <utility>

using Failure = InstrumentSession::Failure;

ExportRun::ExportRun(InstrumentSession &session, FlightTable &table)
    : m_session(session)
    , m_table(table)
{
}

void ExportRun::setFlightListener(std::function<void(const FlightSummary &)> listener)
{
    m_flightRead = std::move(listener);
}

void ExportRun::setStatusListener(std::function<void(const QString &)> listener)
{
    m_statusLine = std::move(listener);
}

void ExportRun::status(const QString &line) const
{
    if (m_statusLine)
        m_statusLine(line);
}

ExportRun::End ExportRun::run(OperationEnvironment &env, qint16 from, qint16 until)
{
    for (int n = from; n <= until; ++n)
        m_table.clear(n);

    const auto count = m_session.readFlightCount(env);
    if (count.failure() == Failure::Cancelled)
        return End::Cancelled;
    if (!count) {
        status(QStringLiteral("Error while receiving the number of flights in memory"));
    } else if (*count < until) {
        until = qint16(*count);
        status(QStringLiteral("Only %1 flights in memory").arg(*count));
    }
    if (m_session.settleAfterCount(env) == Failure::Cancelled)
        return End::Cancelled;
    m_first = from;
    m_last = until;

    for (int n = from; n <= until && m_session.isOpen(); ++n) {
        // Emptying the buffer shows "_" in the counter: the number comes after.
        m_session.clearStatus();
        env.setProgressText(QString::number(n));
        const auto read = m_session.readDecodedFlight(env, qint16(n));
        if (!read)
            return End::Cancelled;
        if (read->status == FlightRecord::Status::Garbled) {
            status(QStringLiteral("Error processing: Flight %1").arg(n));
            m_table.markFailed(n);
            continue;
        }
        if (read->status == FlightRecord::Status::NoData) {
            status(QStringLiteral("Stopped at flight %1").arg(n));
            break;
        }
        m_table.store(read->summary);
        if (m_flightRead)
            m_flightRead(read->summary);
    }
    return m_session.isOpen() ? End::Finished : End::ConnectionLost;
}
