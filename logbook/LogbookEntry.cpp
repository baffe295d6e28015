#include "logbook/LogbookEntry.h"

#include "logbook/LogbookText.h"

namespace {

// Whole meters or km/h: digits, perhaps a minus sign.
std::optional<int> wholeOf(const QString &text, bool mayBeNegative)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || (!mayBeNegative && value < 0) || text.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return value;
}

// "4.5", "4,5" or "3" (the form isCompleteFlight has passed): one decimal
// at most, after whatever separator the locale of the read used. Worked
// out in tenths, so that the same rate read under two locales is the same
// number.
double rateOf(const QString &text)
{
    const qsizetype separator = text.size() - 2;
    if (separator > 0 && !text.at(separator).isDigit())
        return (text.left(separator).toInt() * 10 + text.back().digitValue()) / 10.0;
    return text.toInt() * 10 / 10.0;
}

// "hh:mm" as minutes after midnight; nothing past 23:59.
std::optional<int> clockOf(const QString &text)
{
    const auto minutes = LogbookText::durationMinutes(text);
    if (!minutes || text.size() != 5 || *minutes >= 24 * 60)
        return std::nullopt;
    return minutes;
}

} // namespace

std::optional<LogbookFlight> LogbookFlight::fromSummary(const FlightSummary &s)
{
    if (!LogbookText::isCompleteFlight(s))
        return std::nullopt;
    LogbookFlight f;
    f.date = QDate::fromString(s.date, Qt::ISODate);
    const auto start = clockOf(s.startTime);
    const auto duration = LogbookText::durationMinutes(s.duration);
    const auto qneMin = wholeOf(s.qneMin, true);
    const auto qneMax = wholeOf(s.qneMax, true);
    const auto diff = wholeOf(s.heightDiffMax, true);
    const auto gain = wholeOf(s.totalGain, false);
    const auto speedMin = wholeOf(s.speedMin, false);
    const auto speedMax = wholeOf(s.speedMax, false);
    if (!f.date.isValid() || s.date.size() != 10 || !start || !duration || *duration > 24 * 60 || !qneMin
        || !qneMax || !diff || !gain || !speedMin || !speedMax)
        return std::nullopt;
    f.startMinutes = *start;
    f.durationMinutes = *duration;
    f.qneMin = *qneMin;
    f.qneMax = *qneMax;
    f.heightDiffMax = *diff;
    f.totalGain = *gain;
    f.liftMax = rateOf(s.liftMax);
    f.sinkMax = rateOf(s.sinkMax);
    f.speedMin = *speedMin;
    f.speedMax = *speedMax;
    return f;
}

QVariant LogbookFlight::value(int field) const
{
    if (!has(field))
        return {};
    switch (field) {
    case 1:
        return date;
    case 2:
        return startMinutes;
    case 3:
        return durationMinutes;
    case 4:
        return qneMin;
    case 5:
        return qneMax;
    case 6:
        return heightDiffMax;
    case 7:
        return totalGain;
    case 8:
        return liftMax;
    case 9:
        return sinkMax;
    case 10:
        return speedMin;
    case 11:
        return speedMax;
    default:
        return {};
    }
}
