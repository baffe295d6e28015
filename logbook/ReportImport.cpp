#include "logbook/ReportImport.h"

#include "export/FlightFields.h"
#include "export/TextReport.h"
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

// A flight line: " n", then each field of the flight field table as the
// report's writer lays it out (a wide column's short text followed by an
// empty field), and a tab after the last value.
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
    FlightSummary s;
    s.flightNumber = qint16(number);
    qsizetype col = 1;
    bool allFailed = true;
    for (auto field = FlightFields::kAll.begin() + 1; field != FlightFields::kAll.end(); ++field) {
        if (col >= f.size())
            return LineKind::Other;
        const QString &text = f.at(col++);
        s.*field->text = text;
        allFailed = allFailed && text == QStringLiteral("*");
        if (field->reportWide && text.size() < TextReport::kTabStop
            && (col >= f.size() || !f.at(col++).isEmpty()))
            return LineKind::Other;
    }
    if (col != f.size() - 1 || !f.back().isEmpty())
        return LineKind::Other;
    // A flight the export could not read: "*" in every column.
    if (allFailed)
        return LineKind::Failed;
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
