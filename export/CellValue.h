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

// What kind of value a column holds (FlightFields says which column holds
// which).
enum class Kind {
    Text, // stays text whatever it looks like
    Date, // yyyy-mm-dd
    TimeOfDay, // hh:mm
    Duration, // hours (two or more digits) and minutes
    Number, // whole numbers and the rates
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

// The cell for text in a column of that kind. decimalPoint is the separator the rates
// were written with (the program's locale).
Cell fromText(Kind kind, const QString &text, const QString &decimalPoint);

} // namespace CellValue
