#include "logbook/LogbookExport.h"

#include "export/SafeFile.h"
#include "export/Workbook.h"
#include "logbook/LogbookText.h"

namespace LogbookExport {

bool writeCsv(const QString &path, const QList<LogbookEntry> &entries)
{
    return SafeFile::write(path, LogbookText::csv(entries));
}

bool writeWorkbook(const QString &path, const QList<LogbookEntry> &entries, QString *placedAt)
{
    Workbook::ExtraColumnsSheet sheet;
    sheet.extraNames
        = QStringList { QStringLiteral("Site"), QStringLiteral("Glider"), QStringLiteral("Notes") }
        + LogbookText::entryColumnNames();
    QStringList pilots;
    sheet.flights.reserve(entries.size());
    sheet.extraTexts.reserve(entries.size());
    for (const LogbookEntry &e : entries) {
        sheet.flights.append(LogbookText::summaryOf(e.flight, QStringLiteral(".")));
        sheet.extraTexts.append(QStringList { e.site, e.glider, e.notes } + LogbookText::entryColumnTexts(e));
        if (!e.pilot.isEmpty() && !pilots.contains(e.pilot))
            pilots.append(e.pilot);
    }
    // The sheet has one pilot line: the pilots of the flights it holds.
    sheet.pilotName = pilots.join(QStringLiteral(", "));
    // The rates go in as numbers; the point only separates them here.
    sheet.decimalPoint = QStringLiteral(".");
    return Workbook::writeWithExtraColumns(path, sheet, placedAt);
}

} // namespace LogbookExport
