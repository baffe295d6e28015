// What the logbook reads from files the pilot picks: any bytes handed to the
// report import, and any text made into a CSV field.

#include "fuzz/FuzzCheck.h"
#include "logbook/LogbookText.h"
#include "logbook/ReportImport.h"

namespace {

// Reads one CSV field back as a spreadsheet application does: a quoted field
// ends at a lone quote and doubles its quotes; a plain one may hold no
// comma, quote or line break.
bool readsBackAs(const QString &field, const QString &text)
{
    if (!field.startsWith(QLatin1Char('"'))) {
        for (const QChar c : field) {
            if (c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\r')
                || c == QLatin1Char('\n'))
                return false;
        }
        return field == text;
    }
    if (field.size() < 2 || !field.endsWith(QLatin1Char('"')))
        return false;
    QString value;
    const QStringView inner = QStringView(field).sliced(1, field.size() - 2);
    for (qsizetype i = 0; i < inner.size(); ++i) {
        if (inner[i] == QLatin1Char('"')) {
            if (i + 1 >= inner.size() || inner[i + 1] != QLatin1Char('"'))
                return false; // a lone quote would end the field early
            ++i;
        }
        value.append(inner[i]);
    }
    return value == text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    // Every flight taken from a report is whole; every line counts once at most.
    const ReportImport::Parsed parsed = ReportImport::parse(bytes);
    for (const LogbookEntry &entry : parsed.flights) {
        // Every value is one a flight can have: it reads back as the same flight.
        const FlightSummary text = LogbookText::summaryOf(entry.flight, QStringLiteral("."));
        FUZZ_CHECK(LogbookFlight::fromSummary(text) == entry.flight);
        FUZZ_CHECK(entry.flight.durationMinutes <= 24 * 60 && entry.flight.date.isValid());
    }
    const qsizetype lines = bytes.count('\n') + bytes.count('\r') + 1;
    FUZZ_CHECK(parsed.flights.size() + parsed.failedFlights + parsed.linesNotUnderstood <= lines);

    for (const QString &text : { Fuzz::latin1(data, size), Fuzz::utf16(data, size) })
        FUZZ_CHECK(readsBackAs(LogbookText::csvField(text), text));
    return 0;
}
