#pragma once

#include "instrument/FlightSummary.h"
#include "logbook/LogbookEntry.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// The small calculations behind the logbook's lists, totals and files: pure
// functions of texts and numbers.
namespace LogbookText {

// Minutes of a duration "hh:mm" (two or more hour digits, as the instrument
// gives durations of 100 hours and more); nullopt for anything else.
std::optional<int> durationMinutes(const QString &duration);

// Minutes as "H:MM" with at least two hour digits: 286 -> "04:46",
// 24075 -> "401:15".
QString hoursText(qint64 minutes);

// "1 flight, 04:46 hours", "312 flights, 401:15 hours".
QString totalsLine(qint64 flights, qint64 minutes);

// True when every field of the summary has the form the instrument's
// decoder gives it: no empty, "*" or half-read flight passes.
bool isCompleteFlight(const FlightSummary &flight);

// The year of a "yyyy-mm-dd" date, the month 1..12; 0 when not readable.
int yearOf(const QString &date);
int monthOf(const QString &date);

// A number shown in a summary field ("-20", "2.5", "2,5") as a value to sort
// and compare by; nullopt when it is none.
std::optional<double> numberOf(const QString &text);

// What the sums need of one flight, worked out once per flight.
struct FlightFigures
{
    int year = 0;
    int month = 0; // 1..12, 0 when the date has none
    int minutes = 0;
    std::optional<int> qneMax;
};
FlightFigures figuresOf(const FlightSummary &flight);

struct YearTotals
{
    int year = 0;
    int flights = 0;
    qint64 minutes = 0;
    int longestMinutes = 0;
    std::optional<int> highestQneMax;

    bool operator==(const YearTotals &) const = default;
};

// One row per year that has flights, newest year first.
QList<YearTotals> totalsPerYear(const QList<FlightFigures> &flights);

// Minutes flown in each month (index 0 = January) of year; year 0 sums
// every year.
QList<qint64> minutesPerMonth(const QList<FlightFigures> &flights, int year);

// One CSV field: quoted when it holds a comma, a quote, CR or LF (quotes
// doubled), as it stands otherwise.
QString csvField(const QString &text);

// The column names of the logbook's files and table, in file order.
QStringList columnNames();

// The entries as CSV: a header row, one row per entry, CR LF after each
// row, UTF-8 without a byte order mark.
QByteArray csv(const QList<LogbookEntry> &entries);

} // namespace LogbookText
