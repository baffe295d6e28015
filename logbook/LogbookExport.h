#pragma once

#include "logbook/LogbookEntry.h"

#include <QList>
#include <QString>

// Writing flights of the logbook out, placed as safely as the reports: the
// file appears complete or not at all, and an earlier file is never lost.
namespace LogbookExport {

// CSV (RFC 4180, UTF-8, a header row), replacing an earlier file of that
// name only once the new one is complete.
bool writeCsv(const QString &path, const QList<LogbookEntry> &entries);

// The flight log workbook with typed cells plus Site, Glider, Notes and the
// pilot logbook's columns (LogbookText::entryColumnNames()); an
// earlier workbook is never overwritten: the name taken is handed back in
// placedAt ("name (2).xlsx" when path was taken).
bool writeWorkbook(const QString &path, const QList<LogbookEntry> &entries, QString *placedAt = nullptr);

} // namespace LogbookExport
