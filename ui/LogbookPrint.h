#pragma once

#include "logbook/LogbookFigures.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QPagedPaintDevice;

// The logbook's pages in the form of a paper pilot logbook: A4 landscape,
// black on white, the pilot's name and "Page N of M" at the top, a row per
// flight, the page totals, the totals brought forward and the totals to date
// at the foot, and lines for the pilot's signature and a countersignature.
namespace LogbookPrint {

// Paints every page on the device (a QPrinter for printing and its preview,
// a QPdfWriter for a PDF), setting its page layout first. False when the
// device cannot be painted on.
bool paint(
    QPagedPaintDevice &device, const QList<LogbookFigures::LogbookPage> &pages, const QString &pilotName);

// The pages as the bytes of a PDF file, made in memory (the caller writes
// them where the pilot chose); empty when they could not be made.
QByteArray pdf(const QList<LogbookFigures::LogbookPage> &pages, const QString &pilotName);

} // namespace LogbookPrint
