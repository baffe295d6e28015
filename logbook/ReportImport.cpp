#include "logbook/ReportImport.h"

#include "instrument/CodePage.h"
#include "logbook/LogbookText.h"

#include <QStringList>
#include <utility>

namespace ReportImport {

namespace {

const QString kPilotPrefix = QStringLiteral(" Pilot: ");

QString decode(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes)
        text.append(CodePage::charFor(uchar(c)));
    return text;
}

// The header lines between the pilot line and the flights; the rules are
// lines of underscores.
bool isHeaderLine(const QString &line)
{
    if (!line.isEmpty() && line.count(QLatin1Char('_')) == line.size())
        return true;
    return line.startsWith(QStringLiteral(" Fl.\t")) || line.startsWith(QStringLiteral(" No.\t"))
        || line
        == QStringLiteral(" \t\t\thh:mm\thh:mm\tmeter\tmeter\tmeter\t\tmeter\tm/s\tm/s\tkm/h\tkm/h\t");
}

// A flight line: " n", the eleven values with an empty field after the
// height difference, and a tab after the last value.
enum class LineKind { Flight, Failed, Other };

LineKind parseFlightLine(const QString &line, FlightSummary *flight)
{
    const QStringList f = line.split(QLatin1Char('\t'));
    if (f.size() < 2 || !f.at(0).startsWith(QLatin1Char(' ')))
        return LineKind::Other;
    bool numberOk = false;
    const int number = f.at(0).mid(1).toInt(&numberOk);
    if (!numberOk || number < 0 || number > 100 || f.at(0).mid(1) != QString::number(number))
        return LineKind::Other;
    // A flight the export could not read: "*" in every column.
    static const QStringList failed { QString(), QStringLiteral("*"), QString(), QStringLiteral("*"),
        QStringLiteral("*"), QStringLiteral("*"), QStringLiteral("*"), QStringLiteral("*"), QString(),
        QStringLiteral("*"), QStringLiteral("*"), QStringLiteral("*"), QStringLiteral("*"),
        QStringLiteral("*"), QString() };
    if (f.size() == failed.size() && f.mid(1) == failed.mid(1))
        return LineKind::Failed;
    if (f.size() != 14 || !f.at(7).isEmpty() || !f.at(13).isEmpty())
        return LineKind::Other;
    FlightSummary s;
    s.flightNumber = qint16(number);
    s.date = f.at(1);
    s.startTime = f.at(2);
    s.duration = f.at(3);
    s.qneMin = f.at(4);
    s.qneMax = f.at(5);
    s.heightDiffMax = f.at(6);
    s.totalGain = f.at(8);
    s.liftMax = f.at(9);
    s.sinkMax = f.at(10);
    s.speedMin = f.at(11);
    s.speedMax = f.at(12);
    if (!LogbookText::isCompleteFlight(s))
        return LineKind::Other;
    *flight = s;
    return LineKind::Flight;
}

} // namespace

void Reader::feed(const QByteArray &rawLine)
{
    QByteArray raw = rawLine;
    if (raw.endsWith('\n'))
        raw.chop(1);
    if (raw.endsWith('\r'))
        raw.chop(1);
    if (raw.isEmpty())
        return; // the end of the file, or a blank line added by hand
    // Every record stands in double quotes; one without its closing quote
    // was cut off.
    if (raw.size() < 2 || !raw.startsWith('"') || !raw.endsWith('"')) {
        ++m_parsed.linesNotUnderstood;
        return;
    }
    const QString line = decode(raw.mid(1, raw.size() - 2));
    if (line.startsWith(kPilotPrefix) || line == kPilotPrefix.trimmed()) {
        m_pilot = line.mid(kPilotPrefix.size()).trimmed().left(kPilotNameLength).trimmed();
        m_parsed.isReport = true;
        return;
    }
    if (isHeaderLine(line)) {
        m_parsed.isReport = true;
        return;
    }
    FlightSummary flight;
    switch (parseFlightLine(line, &flight)) {
    case LineKind::Flight: {
        const auto typed = LogbookFlight::fromSummary(flight);
        if (!typed) {
            // Written whole, but with a date, time or duration no flight has.
            ++m_parsed.linesNotUnderstood;
            break;
        }
        LogbookEntry entry;
        entry.flight = *typed;
        entry.pilot = m_pilot;
        m_parsed.flights.append(entry);
        m_parsed.isReport = true;
        break;
    }
    case LineKind::Failed:
        ++m_parsed.failedFlights;
        m_parsed.isReport = true;
        break;
    case LineKind::Other:
        ++m_parsed.linesNotUnderstood;
        break;
    }
}

QList<LogbookEntry> Reader::takeFlights()
{
    return std::exchange(m_parsed.flights, {});
}

Parsed parse(const QByteArray &report)
{
    Reader reader;
    QList<LogbookEntry> flights;
    for (const QByteArray &line : report.split('\n')) {
        reader.feed(line);
        flights += reader.takeFlights();
    }
    Parsed out = reader.parsed();
    out.flights = flights;
    return out;
}

} // namespace ReportImport
