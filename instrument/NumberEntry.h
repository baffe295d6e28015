#pragma once

#include <QLocale>
#include <QString>
#include <optional>

// Numbers typed by the pilot into the flight number and range boxes.
namespace NumberEntry {

// A number is: surrounding blanks, an optional sign, digits and an optional
// decimal part (with "." or the locale's decimal separator). Anything else,
// the empty text included, is not a number.
std::optional<double> parse(const QString &text, const QLocale &locale = QLocale::system());

// Rounded to the nearest whole number, halves to the even neighbour.
double roundHalfEven(double value);

// The rounded value when it fits a 16-bit signed integer.
std::optional<qint16> toInt16(double value);

} // namespace NumberEntry
