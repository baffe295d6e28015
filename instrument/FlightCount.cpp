#include "instrument/FlightCount.h"

#include "instrument/InstrumentSession.h"

using Failure = InstrumentSession::Failure;

FlightCount::Checked FlightCount::check(InstrumentSession &session, OperationEnvironment &env, int highest,
    WhenTooFew whenTooFew, const std::function<void(const QString &)> &status)
{
    const auto count = session.readFlightCount(env);
    if (count.failure() == Failure::Cancelled)
        return { Verdict::Cancelled };
    Checked checked;
    if (!count) {
        status(QStringLiteral("Error while receiving the number of flights in memory"));
    } else if (*count < highest) {
        status(QStringLiteral("Only %1 flights in memory").arg(*count));
        checked = { Verdict::TooFew, *count };
        if (whenTooFew == WhenTooFew::Stop)
            return checked;
    }
    if (session.settleAfterCount(env) == Failure::Cancelled)
        return { Verdict::Cancelled };
    return checked;
}
