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

// The forms a logbook flight is shown and written in: "yyyy-mm-dd",
// "hh:mm" (a start time), the rates in their shortest form with the given
// separator ("4.5", "3"), whole numbers as they are.
QString dateText(const QDate &date);
QString clockText(int minutes);
QString rateText(double rate, const QString &decimalPoint);
// The text of a field of the flight field table (1 = date ... 11); empty
// for a field the flight does not have.
QString fieldText(const LogbookFlight &flight, int field, const QString &decimalPoint);
// The flight in the decoder's texts, for the writers that take those (the
// flight number is 0: the logbook does not keep it).
FlightSummary summaryOf(const LogbookFlight &flight, const QString &decimalPoint);

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
    QDate date;
    int launches = 0;
    PilotRole role = PilotRole::PilotInCommand;
    bool doubtful = false; // see LogbookFigures::isDoubtful
    QString glider;
};
// Of the flight's values alone: no launches, role or glider.
FlightFigures figuresOf(const LogbookFlight &flight);
// Of the whole entry: its launches, role and glider too.
FlightFigures figuresOf(const LogbookEntry &entry);

struct YearTotals
{
    int year = 0;
    int flights = 0;
    qint64 minutes = 0;
    int longestMinutes = 0;
    std::optional<int> highestQneMax;
    qint64 launches = 0;
    QString label {}; // set on the opening balance's row only: "before YYYY-MM-DD"

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
// A text the pilot typed, as a CSV field: one that starts like a formula
// (=, +, -, @, a tab or a carriage return) gets a leading apostrophe, so
// that a spreadsheet shows it as text and never runs it.
QString csvTextField(const QString &text);

// How the pilot was launched and in which seat: "" (not given), "Foot",
// "Winch", "Aerotow", "Self-launch", "Other"; "Pilot in command", "Dual",
// "Instructor", "Passenger/tandem".
QString launchText(LaunchMethod launch);
QString roleText(PilotRole role);

// The column names of the logbook's files and table, in file order.
QStringList columnNames();
// The last of them, the pilot logbook's columns after the notes, and an
// entry's texts for them ("yes"/"no" for the two marks).
QStringList entryColumnNames();
QStringList entryColumnTexts(const LogbookEntry &entry);

// The entries as CSV: a byte order mark (spreadsheets then read UTF-8), a
// header row, one row per entry, CR LF after each row; numbers as numbers
// with a decimal point.
QByteArray csv(const QList<LogbookEntry> &entries);

} // namespace LogbookText
