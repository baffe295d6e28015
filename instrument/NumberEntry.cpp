#include "instrument/NumberEntry.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace NumberEntry {

namespace {

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

} // namespace

std::optional<double> parse(const QString &text, const QLocale &locale)
{
    const QString trimmed = text.trimmed();
    const QString localePoint = locale.decimalPoint();

    // Rebuilt as "-123.45" in plain ASCII, so the conversion below depends on
    // no locale at all.
    std::string plain;
    plain.reserve(trimmed.size());
    qsizetype i = 0;
    if (i < trimmed.size() && (trimmed.at(i) == QLatin1Char('+') || trimmed.at(i) == QLatin1Char('-'))) {
        if (trimmed.at(i) == QLatin1Char('-'))
            plain += '-';
        ++i;
    }
    bool anyDigit = false;
    bool seenPoint = false;
    while (i < trimmed.size()) {
        const QChar c = trimmed.at(i);
        if (isAsciiDigit(c)) {
            plain += char(c.unicode());
            anyDigit = true;
            ++i;
        } else if (!seenPoint && c == QLatin1Char('.')) {
            plain += '.';
            seenPoint = true;
            ++i;
        } else if (!seenPoint && !localePoint.isEmpty()
            && QStringView(trimmed).sliced(i).startsWith(localePoint)) {
            plain += '.';
            seenPoint = true;
            i += localePoint.size();
        } else {
            return std::nullopt;
        }
    }
    if (!anyDigit)
        return std::nullopt;

    double value = 0;
    const char *first = plain.data();
    const char *last = plain.data() + plain.size();
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
    if (error == std::errc::result_out_of_range) {
        // A long run of digits is still a number, just a very large (or very
        // small) one: the range checks refuse it, not the parser.
        const bool negative = plain.front() == '-';
        const std::string wholePart = plain.substr(0, plain.find('.'));
        if (wholePart.find_first_of("123456789") == std::string::npos)
            return negative ? -0.0 : 0.0;
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    if (error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

double roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return value;
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction < 0.5)
        return lower;
    if (fraction > 0.5)
        return lower + 1;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

std::optional<qint16> toInt16(double value)
{
    const double rounded = roundHalfEven(value);
    if (std::isnan(rounded) || rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return qint16(rounded);
}

} // namespace NumberEntry
