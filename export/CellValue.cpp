#include "export/CellValue.h"

#include <QDate>
#include <QRegularExpression>

#include <cmath>

namespace CellValue {

namespace {

// Day 0 of the 1900 date system as dates after February 1900 count it.
constexpr qint64 kEpochJulianDay = 2415019; // 1899-12-30
constexpr double kMinutesPerDay = 24 * 60;
// General shows up to this many digits before it switches to a rounded or
// scientific form, which would no longer read as the stored text.
constexpr int kMaxGeneralDigits = 11;

// A pattern that must match the whole text: "$" alone also matches before
// a final line feed, and "2005-07-14\n" is no date.
QString wholeText(const QString &pattern)
{
    return QRegularExpression::anchoredPattern(pattern);
}

Cell text(const QString &t)
{
    Cell c;
    c.text = t;
    return c;
}

Cell number(double value, const QString &format)
{
    Cell c;
    c.isNumber = true;
    c.number = value;
    c.numberFormat = format;
    return c;
}

// Hours and minutes of "hh:mm" (exactly two digits each) or, when
// longHours, of "hhh...:mm", shown by [hh] with at least two digits.
bool hoursAndMinutes(const QString &t, bool longHours, int *hours, int *minutes)
{
    static const QRegularExpression shortForm(wholeText(QStringLiteral("([0-9]{2}):([0-9]{2})")));
    static const QRegularExpression longForm(wholeText(QStringLiteral("([0-9]{2,5}):([0-9]{2})")));
    const auto m = (longHours ? longForm : shortForm).match(t);
    if (!m.hasMatch())
        return false;
    *hours = m.captured(1).toInt();
    *minutes = m.captured(2).toInt();
    // A leading zero beyond the two digits that [hh] pads to would not be
    // shown again.
    if (m.captured(1).size() > 2 && m.captured(1).startsWith(QLatin1Char('0')))
        return false;
    return *minutes < 60;
}

Cell date(const QString &t)
{
    static const QRegularExpression form(wholeText(QStringLiteral("([0-9]{4})-([0-9]{2})-([0-9]{2})")));
    const auto m = form.match(t);
    if (!m.hasMatch())
        return text(t);
    const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    // The 1900 date system counts from 1900; later years all convert.
    if (!d.isValid() || d.year() < 1901)
        return text(t);
    return number(double(d.toJulianDay() - kEpochJulianDay), kDateFormat);
}

Cell plainNumber(const QString &t, const QString &decimalPoint)
{
    const QString sep = QRegularExpression::escape(decimalPoint);
    const QRegularExpression form(wholeText(QStringLiteral("-?([0-9]+)(%1([0-9]+))?").arg(sep)));
    const auto m = form.match(t);
    if (!m.hasMatch() || m.captured(1).size() + m.captured(3).size() > kMaxGeneralDigits)
        return text(t);
    bool ok = false;
    const double value = QString(t).replace(decimalPoint, QStringLiteral(".")).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return text(t);
    // General shows the shortest form of the value: "007", "4.50" or "-0"
    // would be shown as something else than stored, so they stay text.
    QString shown
        = QString::number(value, 'g', kMaxGeneralDigits + 4).replace(QLatin1Char('.'), decimalPoint);
    if (value == 0)
        shown = QStringLiteral("0");
    return shown == t ? number(value, QString()) : text(t);
}

} // namespace

Cell fromText(Kind kind, const QString &t, const QString &decimalPoint)
{
    int hours = 0;
    int minutes = 0;
    switch (kind) {
    case Kind::Date:
        return date(t);
    case Kind::TimeOfDay:
        if (hoursAndMinutes(t, false, &hours, &minutes) && hours < 24)
            return number((hours * 60 + minutes) / kMinutesPerDay, kTimeFormat);
        return text(t);
    case Kind::Duration:
        if (hoursAndMinutes(t, true, &hours, &minutes))
            return number((hours * 60 + minutes) / kMinutesPerDay, kDurationFormat);
        return text(t);
    case Kind::Number:
        return plainNumber(t, decimalPoint);
    case Kind::Text:
        break;
    }
    return text(t);
}

} // namespace CellValue
