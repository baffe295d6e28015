#include "export/ExportRun.h"

#include "instrument/FlightCount.h"
#include "instrument/InstrumentSession.h"
#include "link/OperationEnvironment.h"

#include <utility>

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

    const FlightCount::Checked count = FlightCount::check(
        m_session, env, until, FlightCount::WhenTooFew::GoOn, [this](const QString &line) { status(line); });
    if (count.verdict == FlightCount::Verdict::Cancelled)
        return End::Cancelled;
    if (count.verdict == FlightCount::Verdict::TooFew)
        until = qint16(count.count);
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
