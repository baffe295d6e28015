#pragma once

#include "export/FlightTable.h"
#include "export/SafeFile.h"

#include <QList>
#include <QString>
#include <QStringList>

// The "Flight log" workbook: bold title, pilot line, a framed two-row header
// and one row per flight until the first flight without a date.
namespace Workbook {

inline const QString kSheetName = QStringLiteral("Flight log");
inline const QString kTitle = QStringLiteral("Tolmera Orvin KX200 Flight log");

// Writes the workbook to path, or, when that name is taken by the time the
// workbook is finished, to the next free "(n)" name after it: nothing that
// holds a name is ever replaced or written through (see SafeFile::writeNew,
// which also says what first is for). placedAt receives the path used
// (empty on failure). False on failure, leaving no file behind.
bool write(const QString &path, const ExportData &data, QString *placedAt = nullptr,
    SafeFile::Placing first = SafeFile::Placing::Rename);

// A sheet like the "Flight log" of any number of flights, with text
// columns after the flight's values (the logbook's Site, Glider and Notes,
// as wide as their texts up to a limit, wrapped beyond it). It has no
// flight number column, and its heads are the logbook's.
struct ExtraColumnsSheet
{
    QString pilotName;
    QList<FlightSummary> flights;
    QStringList extraNames;
    QList<QStringList> extraTexts; // per flight, in the order of extraNames
    QString decimalPoint = QStringLiteral("."); // the rates' separator
};

// Writes such a sheet, placed as write() places its workbook.
bool writeWithExtraColumns(const QString &path, const ExtraColumnsSheet &sheet, QString *placedAt = nullptr);

// "Flight log.xlsx" in folder, or "Flight log (2).xlsx", "(3)" ... when
// that name is taken: an earlier workbook is never overwritten.
QString nextFreePath(const QString &folder);

// Pixel width a column needs for texts in Calibri 11, with the padding the
// spreadsheet application's own fit adds.
int fittedColumnPixels(const QStringList &texts);

} // namespace Workbook
