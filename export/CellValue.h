#pragma once

#include <QString>

// What a flight table text becomes in a workbook cell. A spreadsheet
// application turns typed-in text such as "1500", "2005-07-14" or "04:46"
// into values a pilot can sum; a written file has no such step, so the
// writer stores the value that entry would have produced, with a number
// format under which the cell shows exactly the stored text. A text that is
// no valid value of its column ("*", month 13, 24:00 as a time of day)
// stays text.
namespace CellValue {

// Sheet columns of a data row, counted from 0 (A).
enum Column {
    FlightNumber = 0, // A
    Date, // B: yyyy-mm-dd
    StartTime, // C: hh:mm
    Duration, // D: hours (two or more digits) and minutes
    QneMin, // E to L: whole numbers and the rates
    QneMax,
    HeightDiffMax,
    TotalGain,
    LiftMax,
    SinkMax,
    SpeedMin,
    SpeedMax, // L
};

struct Cell
{
    bool isNumber = false;
    // Days since the spreadsheet's epoch for dates and times, else the
    // number itself. Unused for text.
    double number = 0;
    // Empty: the General format.
    QString numberFormat;
    // The text to store when isNumber is false.
    QString text;
};

inline const QString kDateFormat = QStringLiteral("yyyy-mm-dd");
inline const QString kTimeFormat = QStringLiteral("hh:mm");
// Elapsed hours go past 24 instead of wrapping into days.
inline const QString kDurationFormat = QStringLiteral("[hh]:mm");

// The cell for text in column. decimalPoint is the separator the rates
// were written with (the program's locale).
Cell fromText(Column column, const QString &text, const QString &decimalPoint);

} // namespace CellValue
