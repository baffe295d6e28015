#include "export/ExportRange.h"

#include "instrument/FlightRecord.h"
#include "instrument/NumberEntry.h"

ExportRange ExportRange::check(const QString &fromText, const QString &untilText, const QLocale &locale)
{
    ExportRange range;
    const auto fromValue = NumberEntry::parse(fromText, locale);
    const auto untilValue = NumberEntry::parse(untilText, locale);
    if (!fromValue || !untilValue) {
        range.verdict = Verdict::NotNumeric;
        return range;
    }
    // Compared as doubles: a bound far beyond 16 bits is simply out of range.
    const double from = NumberEntry::roundHalfEven(*fromValue);
    const double until = NumberEntry::roundHalfEven(*untilValue);
    if (from < FlightRecord::kFirstFlight || until > FlightRecord::kLastFlight) {
        range.verdict = Verdict::OutOfRange;
        return range;
    }
    if (from > until) {
        range.verdict = Verdict::Reversed;
        return range;
    }
    range.verdict = Verdict::Ok;
    range.from = qint16(from);
    range.until = qint16(until);
    return range;
}

QString ExportRange::message(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Ok:
        return {};
    case Verdict::NotNumeric:
        return QStringLiteral("Flightnumber is not numeric");
    case Verdict::OutOfRange:
        return QStringLiteral("Flightnumbers have to be between 1 and 100");
    case Verdict::Reversed:
        return QStringLiteral("The from number must be smaller then the until flight");
    }
    return {};
}

std::optional<qint16> checkFlightNumber(const QString &text, const QLocale &locale)
{
    const auto entered = NumberEntry::parse(text, locale);
    const auto number = entered ? NumberEntry::toInt16(*entered) : std::nullopt;
    if (!number || *number < FlightRecord::kFirstFlight || *number > FlightRecord::kLastFlight)
        return std::nullopt;
    return number;
}
