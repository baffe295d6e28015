#pragma once

#include <QString>
#include <functional>

class InstrumentSession;
class OperationEnvironment;

// The flight count as show flight and the export run take it: read from the
// instrument, judged against the highest flight the operation wants, each
// problem told as its status line, then one more answer wait so that a late
// answer lands before the buffer is emptied for the records. A count that
// cannot be read is only told: the operation goes on as if it were enough.
namespace FlightCount {

enum class Verdict {
    Enough, // the highest flight wanted is in memory, or the count is unknown
    TooFew, // fewer flights in memory than wanted
    Cancelled, // a wait was cut short
};

// What the operation does with too few flights.
enum class WhenTooFew {
    Stop, // show flight: it ends there, without the wait after the count
    GoOn, // the export: it reads up to the last flight there is
};

struct Checked
{
    Verdict verdict = Verdict::Enough;
    int count = 0; // the flights in memory, when TooFew
};

Checked check(InstrumentSession &session, OperationEnvironment &env, int highest, WhenTooFew whenTooFew,
    const std::function<void(const QString &)> &status);

} // namespace FlightCount
