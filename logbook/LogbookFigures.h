#pragma once

#include "logbook/LogbookEntry.h"
#include "logbook/LogbookText.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <array>

// The figures a pilot logbook adds up: totals per role, glider and type, the
// year table, the recency windows and the printed pages. Pure functions of
// the flights they are given: a filter is applied by passing fewer flights.
namespace LogbookFigures {

// A flight the pilot should look at again: a date before 2000-01-02 (an
// instrument whose clock was never set), a start before 00:10 (the same, or
// a clock that went round) or a duration over 11 hours.
bool isDoubtful(const LogbookFlight &flight);

// What the flights add up to; with a balance, the paper logbook's flights
// before it are added (the caller decides whether they belong: a year or a
// date range chosen leaves them out).
FlightTotals totalsOf(const QList<LogbookText::FlightFigures> &flights, const OpeningBalance &balance = {});
std::array<FlightTotals, kRoleCount> totalsPerRole(
    const QList<LogbookText::FlightFigures> &flights, const OpeningBalance &balance = {});
// Keyed by the glider's name as the flights give it ("" for flights without one).
QMap<QString, FlightTotals> totalsPerGlider(const QList<LogbookText::FlightFigures> &flights);
// Keyed by the type typeOfGlider gives the flight's glider name ("" for a
// glider without a type or not in the list).
QMap<QString, FlightTotals> totalsPerGliderType(
    const QList<LogbookText::FlightFigures> &flights, const QHash<QString, QString> &typeOfGlider);
// Name -> type of the pilot's gliders, for totalsPerGliderType.
QHash<QString, QString> typesOfGliders(const QList<Glider> &gliders);

// The year table: one row per year that has flights, newest first, then
// for an opening balance a row with its flights, launches and time and the
// label "before YYYY-MM-DD" (year 0; rows of years have no label).
QList<LogbookText::YearTotals> yearRows(
    const QList<LogbookText::FlightFigures> &flights, const OpeningBalance &balance);

// What was flown in the last days or months up to and including today, per
// role and in all. Flights after today and the opening balance do not count.
struct RecencyWindow
{
    QString label; // "Last 90 days", "Last 12 months", "Last 24 months"
    QDate from; // the first day counted; the last is today
    std::array<FlightTotals, kRoleCount> byRole {};
    FlightTotals all;
};
QList<RecencyWindow> recency(const QList<LogbookText::FlightFigures> &flights, const QDate &today);

// A printed logbook page: its flights, what they add up to, what the pages
// before it (and the paper logbook before them) add up to, and the sum.
constexpr int kFlightsPerPage = 18;
struct LogbookPage
{
    int number = 0; // from 1
    QList<LogbookEntry> flights;
    FlightTotals pageTotals;
    FlightTotals broughtForward;
    FlightTotals toDate;
};
// The flights in order of date and take-off time (sorted here, whatever
// order they come in), perPage to a page; the first page brings forward the
// opening balance of every role. No flights: one empty page with the
// balance, so that a form can still be printed.
QList<LogbookPage> pages(const QList<LogbookEntry> &flights, int perPage, const OpeningBalance &balance);

} // namespace LogbookFigures
