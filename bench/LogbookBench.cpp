// tolmera-bench --logbook N: the Logbook window and the logbook store timed
// over N flights, against the targets the window is built for.

#include "bench/LogbookBench.h"

#include "export/TextReport.h"
#include "link/Waiter.h"
#include "logbook/LogbookFigures.h"
#include "logbook/LogbookText.h"
#include "logbook/PilotLogbook.h"
#include "ui/LogbookFilter.h"
#include "ui/LogbookModel.h"
#include "ui/LogbookPrint.h"
#include "ui/LogbookWindow.h"

#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTest>

#include <cstdio>

namespace {

constexpr double kOpenTargetMs = 300;
constexpr double kSortFilterTargetMs = 50;
constexpr double kChartTargetMs = 100;
constexpr double kImportOneTargetMs = 100;
constexpr double kImportHundredTargetMs = 5000;
constexpr double kRecencyTargetMs = 20;
constexpr double kPdfTargetMs = 5000;
// A flight of an export costs about a second of the protocol's waits;
// recording may add half a percent of that.
constexpr double kRecordShare = 0.005;
constexpr double kFlightFloorMs = 19 * 50;

const char *verdict(bool ok)
{
    return ok ? "ok" : "MISSED";
}

// Resident memory of this process in MB, from /proc/self/status.
double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

// Flight k of a pilot's history: spread over ten seasons, mostly in summer,
// on four gliders.
LogbookEntry historyFlight(int k, int salt = 0)
{
    static const char *const gliders[] = { "Mentor 7", "Rush 6", "Chili 5", "Ion 6" };
    const int year = 2015 + k % 10;
    const int month = 3 + (k / 10) % 8;
    const int day = 1 + (k / 80) % 28;
    const int minutes = 15 + (k * 37) % 300;
    FlightSummary f;
    f.flightNumber = qint16(1 + k % 100);
    f.date = QStringLiteral("%1-%2-%3")
                 .arg(year)
                 .arg(month, 2, 10, QLatin1Char('0'))
                 .arg(day, 2, 10, QLatin1Char('0'));
    f.startTime = QStringLiteral("%1:%2")
                      .arg(9 + (k / 2240) % 10, 2, 10, QLatin1Char('0'))
                      .arg((k + salt) % 60, 2, 10, QLatin1Char('0'));
    f.duration = QStringLiteral("%1:%2")
                     .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                     .arg(minutes % 60, 2, 10, QLatin1Char('0'));
    const int qneMin = 300 + (k * 13) % 900;
    const int qneMax = qneMin + 200 + (k * 29) % 2500;
    f.qneMin = QString::number(qneMin);
    f.qneMax = QString::number(qneMax);
    f.heightDiffMax = QString::number(qneMax - qneMin);
    f.totalGain = QString::number((k * 97) % 9000);
    f.liftMax = QStringLiteral("%1.%2").arg(1 + k % 7).arg(k % 10);
    f.sinkMax = QStringLiteral("%1.%2").arg(1 + k % 5).arg((k / 3) % 10);
    f.speedMin = QString::number(18 + k % 10);
    f.speedMax = QString::number(40 + k % 30);
    LogbookEntry e;
    e.flight = *LogbookFlight::fromSummary(f);
    e.pilot = QStringLiteral("KESTREL");
    e.glider = QString::fromLatin1(gliders[k % 4]);
    e.site = k % 3 ? QStringLiteral("Kössen") : QStringLiteral("Bassano");
    return e;
}

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

namespace LogbookBench {

std::unique_ptr<QTemporaryDir> scratchDataHome()
{
    auto dir = std::make_unique<QTemporaryDir>();
    if (dir->isValid())
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir->path()));
    return dir;
}

int run(int flights)
{
    const QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    bool allOk = true;

    // The store filled beforehand, in one transaction.
    PilotLogbook logbook(dir.filePath(QStringLiteral("logbook.sqlite")));
    {
        QList<LogbookEntry> history;
        for (int k = 0; k < flights; ++k)
            history.append(historyFlight(k));
        const auto added = logbook.store().recordAll(history);
        if (!added || added->added != flights) {
            std::fprintf(stderr, "tolmera-bench: could not fill the logbook: %s\n",
                qUtf8Printable(logbook.store().message()));
            return 1;
        }
    }
    logbook.store().close();
    std::printf("Logbook of %d flights\n", flights);

    // Opening: from nothing to the window shown with every flight in it.
    QApplication::processEvents();
    const double rssBefore = residentMb();
    QElapsedTimer t;
    t.start();
    auto window = std::make_unique<LogbookWindow>(&logbook);
    window->show();
    QApplication::processEvents();
    window->repaint();
    const double openMs = msSince(t);
    const bool shown = window->model()->rowCount() == flights;
    std::printf("Window opens and shows them:   %8.1f ms (target < %.0f: %s)%s\n", openMs, kOpenTargetMs,
        verdict(openMs < kOpenTargetMs), shown ? "" : "  -- NOT every flight shown");
    allOk = allOk && shown && openMs < kOpenTargetMs;
    QTest::qWait(100);
    const double rssAfter = residentMb();

    // Sorting by each kind of column, with the table repainted.
    auto *table = window->findChild<QTableView *>(QStringLiteral("tblFlights"));
    double worstSort = 0;
    for (const int column : { int(LogbookModel::Duration), int(LogbookModel::QneMax), int(LogbookModel::Site),
             int(LogbookModel::Notes), int(LogbookModel::Date) }) {
        for (const Qt::SortOrder order : { Qt::AscendingOrder, Qt::DescendingOrder }) {
            t.restart();
            table->sortByColumn(column, order);
            table->viewport()->repaint();
            worstSort = qMax(worstSort, msSince(t));
        }
    }
    std::printf("Sort (worst of 10):            %8.1f ms (target < %.0f: %s)\n", worstSort,
        kSortFilterTargetMs, verdict(worstSort < kSortFilterTargetMs));
    allOk = allOk && worstSort < kSortFilterTargetMs;

    // Filtering by year and glider: the list, the totals, the per-year
    // table and the chart all follow.
    auto *years = window->findChild<QComboBox *>(QStringLiteral("cmbYear"));
    auto *gliders = window->findChild<QComboBox *>(QStringLiteral("cmbGlider"));
    double worstFilter = 0;
    for (const auto &[combo, index] : { std::pair { years, 1 }, std::pair { gliders, 2 },
             std::pair { years, 0 }, std::pair { gliders, 0 } }) {
        t.restart();
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        window->repaint();
        worstFilter = qMax(worstFilter, msSince(t));
    }
    std::printf("Filter (worst of 4):           %8.1f ms (target < %.0f: %s)   %s\n", worstFilter,
        kSortFilterTargetMs, verdict(worstFilter < kSortFilterTargetMs),
        qUtf8Printable(window->totalsText()));
    allOk = allOk && worstFilter < kSortFilterTargetMs;

    // The chart alone, redrawn for another year.
    auto *chart = window->findChild<QChartView *>(QStringLiteral("chartHours"));
    double worstChart = 0;
    for (int i = 1; i < qMin(years->count(), 6); ++i) {
        years->setCurrentIndex(i);
        emit years->activated(i);
        t.restart();
        chart->repaint();
        worstChart = qMax(worstChart, msSince(t));
    }
    std::printf("Chart redraw (worst):          %8.1f ms (target < %.0f: %s)\n", worstChart, kChartTargetMs,
        verdict(worstChart < kChartTargetMs));
    allOk = allOk && worstChart < kChartTargetMs;
    std::printf("Memory of the window:          %8.1f MB resident (%.1f MB before it opened)\n",
        rssAfter - rssBefore, rssBefore);
    window.reset();

    // The recency panel's figures and the printed logbook, of the same
    // flights with a few roles and launches more, after a paper logbook.
    QList<LogbookEntry> entries;
    QList<LogbookText::FlightFigures> figures;
    for (int k = 0; k < flights; ++k) {
        LogbookEntry e = historyFlight(k);
        e.launches = 1 + (k % 7 == 0);
        e.role = k % 11 ? PilotRole::PilotInCommand : PilotRole::Passenger;
        e.launch = LaunchMethod::Foot;
        entries.append(e);
        figures.append(LogbookText::figuresOf(e));
    }
    OpeningBalance balance;
    balance.asOf = QDate(2015, 1, 1);
    balance.byRole[size_t(PilotRole::PilotInCommand)] = { 250, 300, 15000 };
    double worstRecency = 0;
    QList<LogbookFigures::RecencyWindow> recent;
    for (int i = 0; i < 5; ++i) {
        t.restart();
        recent = LogbookFigures::recency(figures, QDate(2024, 12, 31));
        worstRecency = qMax(worstRecency, msSince(t));
    }
    std::printf("Recency panel (worst of 5):    %8.2f ms (target < %.0f: %s)   %s: %lld flights, %s hours\n",
        worstRecency, kRecencyTargetMs, verdict(worstRecency < kRecencyTargetMs),
        qUtf8Printable(recent.at(1).label), recent.at(1).all.flights,
        qUtf8Printable(LogbookText::hoursText(recent.at(1).all.minutes)));
    allOk = allOk && worstRecency < kRecencyTargetMs;

    t.restart();
    const auto pages = LogbookFigures::pages(entries, LogbookFigures::kFlightsPerPage, balance);
    const QByteArray pdf = LogbookPrint::pdf(pages, QStringLiteral("KESTREL"));
    const double pdfMs = msSince(t);
    const qsizetype expectedPages
        = (flights + LogbookFigures::kFlightsPerPage - 1) / LogbookFigures::kFlightsPerPage;
    const FlightTotals toDate = pages.last().toDate;
    const bool pagesRight = pages.size() == qMax<qsizetype>(1, expectedPages) && !pdf.isEmpty()
        && toDate.flights == flights + 250;
    std::printf(
        "Printing them to PDF:          %8.1f ms (target < %.0f: %s)   %lld pages, %.1f MB, to date %s%s\n",
        pdfMs, kPdfTargetMs, verdict(pdfMs < kPdfTargetMs), qint64(pages.size()), double(pdf.size()) / 1e6,
        qUtf8Printable(LogbookText::totalsLine(toDate.flights, toDate.minutes)),
        pagesRight ? "" : "  -- PAGES OR TOTALS WRONG");
    allOk = allOk && pagesRight && pdfMs < kPdfTargetMs;

    // Recording as an export does it, one flight at a time, each flushed to
    // disk before the next is read.
    constexpr int kRecorded = 100;
    t.restart();
    for (int k = 0; k < kRecorded; ++k) {
        const LogbookEntry e = historyFlight(flights + k);
        logbook.record(LogbookText::summaryOf(e.flight, QStringLiteral(".")), e.pilot);
    }
    const double perFlight = msSince(t) / kRecorded;
    std::printf("Recording a flight:            %8.2f ms = %.3f%% of a flight's %.0f ms of waits (target < "
                "%.1f%%: %s)\n",
        perFlight, perFlight / kFlightFloorMs * 100, kFlightFloorMs, kRecordShare * 100,
        verdict(perFlight / kFlightFloorMs < kRecordShare));
    allOk = allOk && perFlight / kFlightFloorMs < kRecordShare;

    // Importing reports of 100 flights written by the program's own writer.
    const auto writeReport = [&dir](int n) {
        FlightTable table;
        for (int f = 1; f <= 100; ++f) {
            FlightSummary s
                = LogbookText::summaryOf(historyFlight(f * 101 + n, 17).flight, QStringLiteral("."));
            s.flightNumber = qint16(f);
            s.date = QStringLiteral("20%1-%2-%3")
                         .arg(30 + n / 12 % 60)
                         .arg(1 + n % 12, 2, 10, QLatin1Char('0'))
                         .arg(1 + f % 28, 2, 10, QLatin1Char('0'));
            table.store(s);
        }
        const QString path = dir.filePath(QStringLiteral("report-%1.txt").arg(n));
        QFile file(path);
        const auto bytes = TextReport::build(ExportData { QStringLiteral("KESTREL "), 1, 100, &table });
        return bytes && file.open(QIODevice::WriteOnly) && file.write(*bytes) == bytes->size() ? path
                                                                                               : QString();
    };
    QStringList reports;
    for (int n = 0; n < 101; ++n)
        reports.append(writeReport(n));
    if (reports.contains(QString()))
        return 1;
    WaiterEnvironment env;
    t.restart();
    const auto one = logbook.importReports({ reports.first() }, env);
    const double oneMs = msSince(t);
    t.restart();
    const auto hundred = logbook.importReports(reports.mid(1), env);
    const double hundredMs = msSince(t);
    std::printf("Import of a 100-flight report: %8.1f ms (target < %.0f: %s)   %s\n", oneMs,
        kImportOneTargetMs, verdict(oneMs < kImportOneTargetMs),
        qUtf8Printable(PilotLogbook::importSummary(one)));
    std::printf("Import of 100 such reports:    %8.1f ms (target < %.0f: %s)   %s\n", hundredMs,
        kImportHundredTargetMs, verdict(hundredMs < kImportHundredTargetMs),
        qUtf8Printable(PilotLogbook::importSummary(hundred)));
    allOk = allOk && oneMs < kImportOneTargetMs && hundredMs < kImportHundredTargetMs && one.added == 100
        && hundred.added == 10000;
    std::fflush(stdout);
    return allOk ? 0 : 1;
}

} // namespace LogbookBench
