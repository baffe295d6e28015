#include "export/TextReport.h"

#include "export/SafeFile.h"
#include "instrument/CodePage.h"
#include "instrument/FlightRecord.h"

#include <QStringList>

namespace TextReport {

namespace {

// Six header lines, then at most this many flight lines.
constexpr int kHeaderLines = 6;
constexpr int kMaxFlightLines = 105;
constexpr int kRuleLength = 111;

QStringList headerLines(const QString &pilotName)
{
    const QString rule(kRuleLength, QLatin1Char('_'));
    return {
        QStringLiteral(" Pilot: ") + pilotName,
        rule,
        QStringLiteral(" Fl.\tDate\t\tStart\tDura-\tQNE\tQNE\tHeight\t\tTotal\tLift\tSink\tSpeed\tSpeed\t"),
        QStringLiteral(" No.\tyyyy-mm-dd\ttime\ttion\tmin\tmax\tdiff max\tgain\tmax\tmax\tmin\tmax\t"),
        QStringLiteral(" \t\t\thh:mm\thh:mm\tmeter\tmeter\tmeter\t\tmeter\tm/s\tm/s\tkm/h\tkm/h\t"),
        rule,
    };
}

QString flightLine(int n, const FlightSummary &f)
{
    const QChar tab(u'\t');
    QString line = QLatin1Char(' ') + QString::number(n) + tab + f.date + tab;
    // An unreadable flight's "*" is short enough to need a second tab to stay in its column.
    if (f.date == FlightTable::kFailedMark)
        line += tab;
    line += f.startTime + tab + f.duration + tab + f.qneMin + tab + f.qneMax + tab + f.heightDiffMax + tab
        + tab + f.totalGain + tab + f.liftMax + tab + f.sinkMax + tab + f.speedMin + tab + f.speedMax + tab;
    return line;
}

} // namespace

std::optional<QByteArray> build(const ExportData &data)
{
    if (!data.table)
        return std::nullopt;

    QStringList lines = headerLines(data.pilotName);
    for (int n = data.firstFlight; n <= data.lastFlight; ++n) {
        if (n < 0 || n > FlightRecord::kLastFlight)
            return std::nullopt;
        const FlightSummary &flight = data.table->entry(n);
        // The rows end at the first flight the run left without values.
        if (flight.startTime.isEmpty())
            break;
        if (lines.size() >= kHeaderLines + kMaxFlightLines)
            return std::nullopt;
        lines.append(flightLine(n, flight));
    }

    QByteArray bytes;
    for (const QString &line : lines) {
        bytes += '"';
        bytes += CodePage::encode(line);
        bytes += "\"\r\n";
    }
    return bytes;
}

bool write(QIODevice &device, const ExportData &data)
{
    const auto bytes = build(data);
    return bytes && device.write(*bytes) == bytes->size();
}

bool writeFile(const QString &path, const ExportData &data)
{
    // Build first: a report that cannot be built never touches the file.
    const auto bytes = build(data);
    return bytes && SafeFile::write(path, *bytes);
}

} // namespace TextReport
