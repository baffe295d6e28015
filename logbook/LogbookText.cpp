#include "logbook/LogbookText.h"

#include "export/FlightFields.h"
#include "logbook/LogbookFigures.h"

#include <QMap>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace LogbookText {

namespace {

// The forms the instrument's decoder writes: day, month and clock values
// are bytes (two or three digits), durations carry more hour digits from
// 100 hours on, the rates one decimal after the locale's separator.
const QRegularExpression kDate(QStringLiteral("^([0-9]{4})-([0-9]{2,3})-([0-9]{2,3})$"));
const QRegularExpression kClock(QStringLiteral("^[0-9]{2,3}:[0-9]{2,3}$"));
const QRegularExpression kWhole(QStringLiteral("^[0-9]{1,9}$"));
const QRegularExpression kSigned(QStringLiteral("^-?[0-9]{1,9}$"));
const QRegularExpression kRate(QStringLiteral("^[0-9]{1,3}(?:[^0-9][0-9])?$"));

} // namespace

namespace {

// The value of the digits text[from, to), or -1 when any is not a digit.
// Plain loops: the window works these out for every one of ten thousand
// flights when it opens.
int digitsValue(const QString &text, qsizetype from, qsizetype to)
{
    if (from >= to)
        return -1;
    int value = 0;
    for (qsizetype i = from; i < to; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

} // namespace

std::optional<int> durationMinutes(const QString &duration)
{
    // Two or more hour digits (at most six), a colon, two minute digits.
    const qsizetype colon = duration.size() - 3;
    if (colon < 2 || colon > 6 || duration.at(colon) != QLatin1Char(':'))
        return std::nullopt;
    const int hours = digitsValue(duration, 0, colon);
    const int minutes = digitsValue(duration, colon + 1, duration.size());
    if (hours < 0 || minutes < 0 || minutes > 59)
        return std::nullopt;
    return hours * 60 + minutes;
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
    if (date.size() < 8 || date.at(4) != QLatin1Char('-'))
        return 0;
    return qMax(0, digitsValue(date, 0, 4));
}

int monthOf(const QString &date)
{
    const qsizetype dash = date.indexOf(QLatin1Char('-'), 5);
    if (yearOf(date) == 0 || dash < 0)
        return 0;
    const int month = digitsValue(date, 5, dash);
    return month >= 1 && month <= 12 ? month : 0;
}

FlightFigures figuresOf(const LogbookFlight &flight)
{
    constexpr int kQneMaxField = 5; // of FlightFields::kAll
    FlightFigures f;
    f.year = flight.date.isValid() ? flight.date.year() : 0;
    f.month = flight.date.isValid() ? flight.date.month() : 0;
    f.minutes = flight.durationMinutes;
    f.qneMax = flight.has(kQneMaxField) ? std::optional<int>(flight.qneMax) : std::nullopt;
    f.date = flight.date;
    f.doubtful = LogbookFigures::isDoubtful(flight);
    return f;
}

FlightFigures figuresOf(const LogbookEntry &entry)
{
    FlightFigures f = figuresOf(entry.flight);
    f.launches = entry.launches;
    f.role = entry.role;
    f.glider = entry.glider;
    return f;
}

QString dateText(const QDate &date)
{
    return date.isValid() ? date.toString(Qt::ISODate) : QString();
}

QString clockText(int minutes)
{
    return hoursText(minutes);
}

QString rateText(double rate, const QString &decimalPoint)
{
    const qint64 tenths = qRound64(rate * 10);
    QString text = QString::number(tenths / 10);
    if (tenths % 10 != 0)
        text += decimalPoint + QString::number(qAbs(tenths % 10));
    return text;
}

QString fieldText(const LogbookFlight &flight, int field, const QString &decimalPoint)
{
    if (!flight.has(field))
        return QString();
    switch (field) {
    case 1:
        return dateText(flight.date);
    case 2:
        return clockText(flight.startMinutes);
    case 3:
        return hoursText(flight.durationMinutes);
    case 8:
        return rateText(flight.liftMax, decimalPoint);
    case 9:
        return rateText(flight.sinkMax, decimalPoint);
    default:
        return flight.value(field).toString();
    }
}

FlightSummary summaryOf(const LogbookFlight &flight, const QString &decimalPoint)
{
    FlightSummary s;
    for (size_t i = 1; i < FlightFields::kAll.size(); ++i)
        s.*FlightFields::kAll[i].text = fieldText(flight, int(i), decimalPoint);
    return s;
}

std::optional<double> numberOf(const QString &text)
{
    // Digits, perhaps a minus sign before them and a fraction after any one
    // separator: the rates carry the separator of the locale they were read
    // under. Read by hand, for every value of every flight the window opens.
    qsizetype i = 0;
    const bool negative = text.startsWith(QLatin1Char('-'));
    if (negative)
        ++i;
    double whole = 0;
    const qsizetype wholeStart = i;
    for (; i < text.size() && text.at(i).isDigit(); ++i)
        whole = whole * 10 + text.at(i).digitValue();
    if (i == wholeStart)
        return std::nullopt;
    if (i < text.size()) {
        double scale = 0.1;
        const qsizetype fractionStart = ++i;
        for (; i < text.size() && text.at(i).isDigit(); ++i, scale /= 10)
            whole += text.at(i).digitValue() * scale;
        if (i == fractionStart || i != text.size())
            return std::nullopt;
    }
    return negative ? -whole : whole;
}

QList<YearTotals> totalsPerYear(const QList<FlightFigures> &flights)
{
    QMap<int, YearTotals> years;
    for (const FlightFigures &f : flights) {
        YearTotals &t = years[f.year];
        t.year = f.year;
        ++t.flights;
        t.minutes += f.minutes;
        t.launches += f.launches;
        t.longestMinutes = qMax(t.longestMinutes, f.minutes);
        if (f.qneMax && (!t.highestQneMax || *f.qneMax > *t.highestQneMax))
            t.highestQneMax = f.qneMax;
    }
    QList<YearTotals> out;
    out.reserve(years.size());
    for (auto it = years.cend(); it != years.cbegin();)
        out.append(*--it);
    return out;
}

QList<qint64> minutesPerMonth(const QList<FlightFigures> &flights, int year)
{
    QList<qint64> months(12, 0);
    for (const FlightFigures &f : flights) {
        if ((year == 0 || f.year == year) && f.month > 0)
            months[f.month - 1] += f.minutes;
    }
    return months;
}

QString csvField(const QString &text)
{
    // A plain look at each character: a pattern match gives up on text that is
    // not valid UTF-16 (a lone surrogate) and would leave a comma unquoted.
    const bool special = std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c == QLatin1Char('"') || c == QLatin1Char(',') || c == QLatin1Char('\r')
            || c == QLatin1Char('\n');
    });
    if (!special)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString csvTextField(const QString &text)
{
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && formulaStarts.contains(text.front()))
        return csvField(QLatin1Char('\'') + text);
    return csvField(text);
}

QString launchText(LaunchMethod launch)
{
    switch (launch) {
    case LaunchMethod::Unset:
        break;
    case LaunchMethod::Foot:
        return QStringLiteral("Foot");
    case LaunchMethod::Winch:
        return QStringLiteral("Winch");
    case LaunchMethod::Aerotow:
        return QStringLiteral("Aerotow");
    case LaunchMethod::SelfLaunch:
        return QStringLiteral("Self-launch");
    case LaunchMethod::Other:
        return QStringLiteral("Other");
    }
    return QString();
}

QString roleText(PilotRole role)
{
    switch (role) {
    case PilotRole::PilotInCommand:
        break;
    case PilotRole::Dual:
        return QStringLiteral("Dual");
    case PilotRole::Instructor:
        return QStringLiteral("Instructor");
    case PilotRole::Passenger:
        return QStringLiteral("Passenger/tandem");
    }
    return QStringLiteral("Pilot in command");
}

QStringList entryColumnNames()
{
    return { QStringLiteral("Landing site"), QStringLiteral("Outlanding"), QStringLiteral("Launch method"),
        QStringLiteral("Launches"), QStringLiteral("Role"), QStringLiteral("Entered by hand") };
}

QStringList entryColumnTexts(const LogbookEntry &e)
{
    const auto yesNo = [](bool yes) { return yes ? QStringLiteral("yes") : QStringLiteral("no"); };
    return { e.landingSite, yesNo(e.outlanding), launchText(e.launch), QString::number(e.launches),
        roleText(e.role), yesNo(e.byHand) };
}

QStringList columnNames()
{
    QStringList names;
    for (const FlightField &field : FlightFields::kAll) {
        if (field.logbookHead)
            names.append(QString::fromLatin1(field.logbookHead));
    }
    return names
        + QStringList { QStringLiteral("Pilot"), QStringLiteral("Site"), QStringLiteral("Glider"),
              QStringLiteral("Notes") }
    + entryColumnNames();
}

QByteArray csv(const QList<LogbookEntry> &entries)
{
    QString out;
    const auto row = [&out](const QStringList &fields) {
        out += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    };
    QStringList head;
    for (const QString &name : columnNames())
        head.append(csvField(name));
    row(head);
    for (const LogbookEntry &e : entries) {
        QStringList fields;
        // The flight's fields after its number, as the report and the
        // workbook order them, then the pilot's own columns. Numbers carry
        // a decimal point whatever the locale.
        for (size_t i = 1; i < FlightFields::kAll.size(); ++i)
            fields.append(fieldText(e.flight, int(i), QStringLiteral(".")));
        for (const QString *text : { &e.pilot, &e.site, &e.glider, &e.notes })
            fields.append(csvTextField(*text));
        for (const QString &text : entryColumnTexts(e))
            fields.append(csvTextField(text));
        row(fields);
    }
    return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
}

} // namespace LogbookText
