#pragma once

#include "export/FlightTable.h"

#include <QByteArray>
#include <QIODevice>
#include <optional>

// The tab-separated text report: six header records, then one record per
// flight until the first flight without a start time. Every record is
// enclosed in double quotes and ends in CR LF; the text is Windows-1252.
namespace TextReport {

// The report's columns stand at tab stops of 8 characters: a wide column's
// text shorter than that is followed by a second tab.
constexpr int kTabStop = 8;

// The report's bytes, or nullopt when a flight number lies outside 0..100
// or the flight lines do not fit the report.
std::optional<QByteArray> build(const ExportData &data);

// Builds the report and writes it to device; false if either fails.
bool write(QIODevice &device, const ExportData &data);

// Writes the report to path atomically (see SafeFile::write): on any
// failure, a name with a control character or a link of someone else's in
// any part of path included, an existing file of that name is left
// untouched and no partial file is left behind.
bool writeFile(const QString &path, const ExportData &data);

} // namespace TextReport
