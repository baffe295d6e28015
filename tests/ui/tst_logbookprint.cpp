// The printed logbook read back as text with pdftotext: pages, the page
// totals, the totals brought forward from page to page (the paper logbook's
// included) and what every page carries.

#include "logbook/LogbookFigures.h"
#include "ui/LogbookPrint.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestLogbookPrint : public QObject
{
    Q_OBJECT

private slots:
    void pagesReadBack();
};

namespace {

// 40 flights from 2025-05-01: flight k lasts 30 + k minutes, with two
// launches when k is a multiple of 3.
QList<LogbookEntry> fortyFlights()
{
    QList<LogbookEntry> entries;
    for (int k = 0; k < 40; ++k) {
        LogbookEntry e;
        e.flight.date = QDate(2025, 5, 1).addDays(k);
        e.flight.startMinutes = 10 * 60 + k;
        e.flight.durationMinutes = 30 + k;
        e.site = QStringLiteral("Kössen");
        e.landingSite = k % 2 ? QStringLiteral("Kössen landing") : QStringLiteral("Field by the river");
        e.outlanding = !(k % 2);
        e.glider = QStringLiteral("Mentor 7");
        e.launch = k % 4 ? LaunchMethod::Foot : LaunchMethod::Winch;
        e.launches = k % 3 ? 1 : 2;
        e.role = k < 3 ? PilotRole::Dual : PilotRole::PilotInCommand;
        e.notes = k == 7
            ? QString(QStringLiteral("Long remarks that no column is wide enough for. ").repeated(4))
            : QStringLiteral("Thermals\nalong the ridge");
        entries.append(e);
    }
    entries[5].flight.startMinutes = 23 * 60 + 30; // lands after midnight
    return entries;
}

QString lineWith(const QString &page, const QString &start)
{
    for (const QString &line : page.split(QLatin1Char('\n'))) {
        if (line.trimmed().startsWith(start))
            return line.simplified();
    }
    return {};
}

} // namespace

void TestLogbookPrint::pagesReadBack()
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");

    OpeningBalance balance;
    balance.asOf = QDate(2025, 1, 1);
    balance.byRole[size_t(PilotRole::PilotInCommand)] = { 100, 130, 6000 };
    const auto pages = LogbookFigures::pages(fortyFlights(), LogbookFigures::kFlightsPerPage, balance);
    const QByteArray pdf = LogbookPrint::pdf(pages, QStringLiteral("KESTREL Anna"));
    QVERIFY(pdf.startsWith("%PDF-"));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("logbook.pdf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(pdf), pdf.size());
    file.close();
    QProcess reader;
    reader.start(pdftotext, { QStringLiteral("-layout"), file.fileName(), QStringLiteral("-") });
    QVERIFY(reader.waitForFinished(30000));
    QCOMPARE(reader.exitCode(), 0);
    QStringList text = QString::fromUtf8(reader.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (text.last().trimmed().isEmpty())
        text.removeLast();
    QCOMPARE(text.size(), 3);

    for (int p = 0; p < 3; ++p) {
        const QString &page = text.at(p);
        QVERIFY2(page.contains(QStringLiteral("KESTREL Anna")), qPrintable(page));
        QVERIFY(page.contains(QStringLiteral("Page %1 of 3").arg(p + 1)));
        QVERIFY(page.contains(QStringLiteral("Pilot's signature")));
        QVERIFY(page.contains(QStringLiteral("Countersignature")));
        for (const char *head : { "Date", "Duration", "Glider", "Launches", "Role", "Remarks" })
            QVERIFY(page.contains(QLatin1String(head)));
    }

    // Page 1: the paper logbook brought forward; the flight over midnight;
    // the first flight's row.
    const QString &first = text.at(0);
    QCOMPARE(lineWith(first, "Brought forward"), QStringLiteral("Brought forward 100 flights 100:00 130"));
    QCOMPARE(lineWith(first, "Totals this page"), QStringLiteral("Totals this page 18 flights 11:33 24"));
    QVERIFY2(
        lineWith(first, "2025-05-06").contains(QStringLiteral(" 23:30 00:05 +1 00:35 ")), qPrintable(first));
    const QString row = lineWith(first, "2025-05-01");
    QVERIFY2(row.startsWith(QStringLiteral("2025-05-01 Kössen Field by the river 10:00 10:30 00:30 Mentor 7 "
                                           "Winch 2 Dual Outlanding; Thermals")),
        qPrintable(row));

    // Page 2 brings forward what page 1 took to date.
    const QString &second = text.at(1);
    QCOMPARE(lineWith(second, "Brought forward"), QStringLiteral("Brought forward 118 flights 111:33 154"));
    QCOMPARE(lineWith(second, "Totals to date"),
        lineWith(text.at(2), "Brought forward").replace("Brought forward", "Totals to date"));
    QVERIFY(second.contains(QStringLiteral("2025-05-19")));

    // The last page: four flights, and everything to date.
    QCOMPARE(lineWith(text.at(2), "Totals this page"), QStringLiteral("Totals this page 4 flights 04:30 6"));
    QCOMPARE(lineWith(text.at(2), "Totals to date"), QStringLiteral("Totals to date 140 flights 133:00 184"));
}

QTEST_MAIN(TestLogbookPrint)
#include "tst_logbookprint.moc"
