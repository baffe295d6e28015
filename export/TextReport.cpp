#include "export/TextReport.h"

#include "export/FlightFields.h"
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
// Columns are set by tabs, a stop every eight characters.

// One line of columns: a space, then each column's text and its tab (two for
// a wide column whose text is shorter than a tab stop).
template <typename TextOf> QString columnsLine(TextOf textOf)
{
    QString line(QLatin1Char(' '));
    for (const FlightField &field : FlightFields::kAll) {
        const QString text = textOf(field);
        line += text + QLatin1Char('\t');
        if (field.reportWide && text.size() < kTabStop)
            line += QLatin1Char('\t');
    }
    return line;
}

QStringList headerLines(const QString &pilotName)
{
    const QString rule(kRuleLength, QLatin1Char('_'));
    QStringList lines { QStringLiteral(" Pilot: ") + pilotName, rule };
    for (int row = 0; row < 3; ++row)
        lines << columnsLine([row](const FlightField &f) { return QString::fromLatin1(f.reportHead[row]); });
    lines << rule;
    return lines;
}

QString flightLine(const FlightSummary &f)
{
    return columnsLine([&f](const FlightField &field) { return field.valueOf(f); });
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
        lines.append(flightLine(flight));
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
