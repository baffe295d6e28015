#include "logbook/LogbookText.h"

#include <QMap>
#include <QRegularExpression>
#include <QStringList>

namespace LogbookText {

namespace {

// The forms the instrument's decoder writes: day, month and clock values
// are bytes (two or three digits), durations carry more hour digits from
// 100 hours on, the rates one decimal after the locale's separator.
const QRegularExpression kDate(QStringLiteral("^([0-9]{4})-([0-9]{2,3})-([0-9]{2,3})$"));
const QRegularExpression kClock(QStringLiteral("^[0-9]{2,3}:[0-9]{2,3}$"));
const QRegularExpression kDuration(QStringLiteral("^([0-9]{2,}):([0-5][0-9])$"));
const QRegularExpression kWhole(QStringLiteral("^[0-9]{1,9}$"));
const QRegularExpression kSigned(QStringLiteral("^-?[0-9]{1,9}$"));
const QRegularExpression kRate(QStringLiteral("^[0-9]{1,3}(?:[^0-9][0-9])?$"));

} // namespace

std::optional<int> durationMinutes(const QString &duration)
{
    const auto m = kDuration.match(duration);
    if (!m.hasMatch() || m.capturedLength(1) > 6)
        return std::nullopt;
    return m.captured(1).toInt() * 60 + m.captured(2).toInt();
}

QString hoursText(qint64 minutes)
{
    if (minutes < 0)
        minutes = 0;
    return QStringLiteral("%1:%2")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString totalsLine(qint64 flights, qint64 minutes)
{
    return QStringLiteral("%1 %2, %3 hours")
        .arg(flights)
        .arg(flights == 1 ? QStringLiteral("flight") : QStringLiteral("flights"))
        .arg(hoursText(minutes));
}

bool isCompleteFlight(const FlightSummary &f)
{
    if (!kDate.match(f.date).hasMatch() || !kClock.match(f.startTime).hasMatch()
        || !durationMinutes(f.duration))
        return false;
    for (const QString *whole : { &f.totalGain, &f.speedMin, &f.speedMax }) {
        if (!kWhole.match(*whole).hasMatch())
            return false;
    }
    for (const QString *rate : { &f.liftMax, &f.sinkMax }) {
        if (!kRate.match(*rate).hasMatch())
            return false;
    }
    if (!kSigned.match(f.qneMin).hasMatch() || !kSigned.match(f.qneMax).hasMatch()
        || !kSigned.match(f.heightDiffMax).hasMatch())
        return false;
    // The difference is computed from the two levels: a line whose three
    // values disagree was not written whole.
    return f.heightDiffMax.toLongLong() == f.qneMax.toLongLong() - f.qneMin.toLongLong();
}

int yearOf(const QString &date)
{
    const auto m = kDate.match(date);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

int monthOf(const QString &date)
{
    const auto m = kDate.match(date);
    const int month = m.hasMatch() ? m.captured(2).toInt() : 0;
    return month >= 1 && month <= 12 ? month : 0;
}

std::optional<double> numberOf(const QString &text)
{
    QString plain = text;
    // The rates carry the separator of the locale they were read under.
    for (QChar &c : plain) {
        if (!c.isDigit() && c != QLatin1Char('-'))
            c = QLatin1Char('.');
    }
    bool ok = false;
    const double value = plain.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

QList<YearTotals> totalsPerYear(const QList<LogbookEntry> &entries)
{
    QMap<int, YearTotals> years;
    for (const LogbookEntry &e : entries) {
        const int year = yearOf(e.flight.date);
        YearTotals &t = years[year];
        t.year = year;
        ++t.flights;
        const int minutes = durationMinutes(e.flight.duration).value_or(0);
        t.minutes += minutes;
        t.longestMinutes = qMax(t.longestMinutes, minutes);
        bool ok = false;
        const int qne = e.flight.qneMax.toInt(&ok);
        if (ok && (!t.highestQneMax || qne > *t.highestQneMax))
            t.highestQneMax = qne;
    }
    QList<YearTotals> out;
    out.reserve(years.size());
    for (auto it = years.cend(); it != years.cbegin();)
        out.append(*--it);
    return out;
}

QList<qint64> minutesPerMonth(const QList<LogbookEntry> &entries, int year)
{
    QList<qint64> months(12, 0);
    for (const LogbookEntry &e : entries) {
        if (year != 0 && yearOf(e.flight.date) != year)
            continue;
        const int month = monthOf(e.flight.date);
        if (month > 0)
            months[month - 1] += durationMinutes(e.flight.duration).value_or(0);
    }
    return months;
}

QString csvField(const QString &text)
{
    static const QRegularExpression special(QStringLiteral("[\",\r\n]"));
    if (!text.contains(special))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QStringList columnNames()
{
    return { QStringLiteral("Date"), QStringLiteral("Start time"), QStringLiteral("Duration"),
        QStringLiteral("QNE min"), QStringLiteral("QNE max"), QStringLiteral("Height diff max"),
        QStringLiteral("Total gain"), QStringLiteral("Lift max"), QStringLiteral("Sink max"),
        QStringLiteral("Speed min"), QStringLiteral("Speed max"), QStringLiteral("Pilot"),
        QStringLiteral("Site"), QStringLiteral("Glider"), QStringLiteral("Notes") };
}

QByteArray csv(const QList<LogbookEntry> &entries)
{
    QString out;
    const auto row = [&out](const QStringList &fields) {
        QStringList quoted;
        quoted.reserve(fields.size());
        for (const QString &f : fields)
            quoted.append(csvField(f));
        out += quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    };
    row(columnNames());
    for (const LogbookEntry &e : entries) {
        const FlightSummary &f = e.flight;
        row({ f.date, f.startTime, f.duration, f.qneMin, f.qneMax, f.heightDiffMax, f.totalGain, f.liftMax,
            f.sinkMax, f.speedMin, f.speedMax, e.pilot, e.site, e.glider, e.notes });
    }
    return out.toUtf8();
}

} // namespace LogbookText
