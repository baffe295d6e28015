#include "logbook/LogbookFigures.h"

#include <algorithm>

namespace LogbookFigures {

namespace {

FlightTotals totalsOfFlight(const LogbookText::FlightFigures &f)
{
    return FlightTotals { 1, f.launches, f.minutes };
}

// A role read from a file or typed by hand may lie outside the enum.
int roleIndex(PilotRole role)
{
    const int r = int(role);
    return r >= 0 && r < kRoleCount ? r : 0;
}

} // namespace

bool isDoubtful(const LogbookFlight &flight)
{
    static const QDate kFirstTrusted(2000, 1, 2);
    return !flight.date.isValid() || flight.date < kFirstTrusted || flight.startMinutes < 10
        || flight.durationMinutes > 11 * 60;
}

FlightTotals totalsOf(const QList<LogbookText::FlightFigures> &flights, const OpeningBalance &balance)
{
    FlightTotals sum = balance.isEmpty() ? FlightTotals {} : balance.all();
    for (const LogbookText::FlightFigures &f : flights)
        sum += totalsOfFlight(f);
    return sum;
}

std::array<FlightTotals, kRoleCount> totalsPerRole(
    const QList<LogbookText::FlightFigures> &flights, const OpeningBalance &balance)
{
    std::array<FlightTotals, kRoleCount> sums {};
    if (!balance.isEmpty())
        sums = balance.byRole;
    for (const LogbookText::FlightFigures &f : flights)
        sums[size_t(roleIndex(f.role))] += totalsOfFlight(f);
    return sums;
}

QMap<QString, FlightTotals> totalsPerGlider(const QList<LogbookText::FlightFigures> &flights)
{
    QMap<QString, FlightTotals> sums;
    for (const LogbookText::FlightFigures &f : flights)
        sums[f.glider] += totalsOfFlight(f);
    return sums;
}

QMap<QString, FlightTotals> totalsPerGliderType(
    const QList<LogbookText::FlightFigures> &flights, const QHash<QString, QString> &typeOfGlider)
{
    QMap<QString, FlightTotals> sums;
    for (const LogbookText::FlightFigures &f : flights)
        sums[typeOfGlider.value(f.glider)] += totalsOfFlight(f);
    return sums;
}

QHash<QString, QString> typesOfGliders(const QList<Glider> &gliders)
{
    QHash<QString, QString> types;
    for (const Glider &g : gliders)
        types.insert(g.name, g.type);
    return types;
}

QList<LogbookText::YearTotals> yearRows(
    const QList<LogbookText::FlightFigures> &flights, const OpeningBalance &balance)
{
    QList<LogbookText::YearTotals> rows = LogbookText::totalsPerYear(flights);
    if (!balance.isEmpty()) {
        const FlightTotals before = balance.all();
        LogbookText::YearTotals row;
        row.flights = int(before.flights);
        row.launches = before.launches;
        row.minutes = before.minutes;
        row.label = QStringLiteral("before ") + LogbookText::dateText(balance.asOf);
        rows.append(row);
    }
    return rows;
}

QList<RecencyWindow> recency(const QList<LogbookText::FlightFigures> &flights, const QDate &today)
{
    QList<RecencyWindow> windows {
        { QStringLiteral("Last 90 days"), today.addDays(-89), {}, {} },
        { QStringLiteral("Last 12 months"), today.addMonths(-12).addDays(1), {}, {} },
        { QStringLiteral("Last 24 months"), today.addMonths(-24).addDays(1), {}, {} },
    };
    // The windows nest: the widest one's start tells which flights can count at all.
    const QDate earliest = windows.last().from;
    for (const LogbookText::FlightFigures &f : flights) {
        if (!f.date.isValid() || f.date < earliest || f.date > today)
            continue;
        const FlightTotals t = totalsOfFlight(f);
        for (RecencyWindow &w : windows) {
            if (f.date >= w.from) {
                w.byRole[size_t(roleIndex(f.role))] += t;
                w.all += t;
            }
        }
    }
    return windows;
}

QList<LogbookPage> pages(const QList<LogbookEntry> &flights, int perPage, const OpeningBalance &balance)
{
    QList<LogbookEntry> ordered = flights;
    std::stable_sort(ordered.begin(), ordered.end(), [](const LogbookEntry &a, const LogbookEntry &b) {
        if (a.flight.date != b.flight.date)
            return a.flight.date < b.flight.date;
        return a.flight.startMinutes < b.flight.startMinutes;
    });
    perPage = qMax(1, perPage);

    QList<LogbookPage> out;
    FlightTotals carried = balance.isEmpty() ? FlightTotals {} : balance.all();
    qsizetype next = 0;
    do {
        LogbookPage page;
        page.number = int(out.size()) + 1;
        page.flights = ordered.mid(next, perPage);
        next += perPage;
        for (const LogbookEntry &e : std::as_const(page.flights))
            page.pageTotals += FlightTotals { 1, e.launches, e.flight.durationMinutes };
        page.broughtForward = carried;
        page.toDate = carried;
        page.toDate += page.pageTotals;
        carried = page.toDate;
        out.append(page);
    } while (next < ordered.size());
    return out;
}

} // namespace LogbookFigures
