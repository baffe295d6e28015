// The logbook written out as a workbook, read back with the independent
// reader: more flights than an instrument holds, typed cells as the flight
// log's, and the pilot's three columns inside the framed header.

#include "LogbookSamples.h"

#include "logbook/LogbookExport.h"
#include "tests/export/WorkbookReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

class TestLogbookExport : public QObject
{
    Q_OBJECT

private slots:
    void workbookWithNotes();
};

void TestLogbookExport::workbookWithNotes()
{
    QList<LogbookEntry> entries;
    for (int n = 1; n <= 150; ++n)
        entries.append(sampleEntry(n, QStringLiteral("2009-06-%1").arg(n % 28 + 1, 2, 10, QLatin1Char('0'))));
    entries[0].pilot = QStringLiteral("ANNA");
    entries[0].site = QStringLiteral("Kössen");
    entries[0].glider = QStringLiteral("Mentor 7");
    entries[0].notes = QStringLiteral("=1+1 stays text");
    entries[1].flight.durationMinutes = 6000; // kept by an upgraded first-version logbook
    entries[1].flight.liftMax = 3;
    // A note as long as the logbook takes: the workbook still holds it.
    entries[2].notes = QString(2000, QLatin1Char('n'));
    // A flight entered by hand, without the instrument's summary values.
    entries[3].byHand = true;
    entries[3].flight.unknownFields = 0xFF0;
    entries[3].landingSite = QStringLiteral("Kirchberg");
    entries[3].outlanding = true;
    entries[3].launch = LaunchMethod::Aerotow;
    entries[3].launches = 2;
    entries[3].role = PilotRole::Instructor;

    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("logbook.xlsx"));
    QString placedAt;
    QVERIFY(LogbookExport::writeWorkbook(path, entries, &placedAt));
    QCOMPARE(placedAt, path);
    // An earlier workbook of that name is kept: the next takes "(2)".
    QVERIFY(LogbookExport::writeWorkbook(path, entries.mid(0, 1), &placedAt));
    QCOMPARE(placedAt, dir.filePath(QStringLiteral("logbook (2).xlsx")));

    READ_WORKBOOK(dump, path);
    const QJsonObject cells = dump["cells"].toObject();
    const auto cell = [&cells](const char *name) { return cells[QLatin1String(name)].toObject(); };
    QCOMPARE(dump["max_row"].toInt(), 5 + 150);
    QCOMPARE(cell("A2")["value"].toString(), QStringLiteral("Pilot: ANNA, KESTREL"));
    // No flight number: the values from column A, heads in one case.
    QCOMPARE(cell("A4")["value"].toString(), QStringLiteral("Date"));
    QCOMPARE(cell("F4")["value"].toString(), QStringLiteral("Height diff max"));
    QCOMPARE(cell("K4")["value"].toString(), QStringLiteral("Speed max"));
    QCOMPARE(cell("L4")["value"].toString(), QStringLiteral("Site"));
    QCOMPARE(cell("N4")["value"].toString(), QStringLiteral("Notes"));
    QCOMPARE(cell("O4")["value"].toString(), QStringLiteral("Landing site"));
    QCOMPARE(cell("T4")["value"].toString(), QStringLiteral("Entered by hand"));
    // The frame closes after the pilot's columns, no longer after the
    // flight columns.
    QCOMPARE(cell("T4")["right"].toArray().at(0).toString(), QStringLiteral("medium"));
    QCOMPARE(cell("N4")["right"].toArray().at(0).toString(), QStringLiteral("thin"));
    QCOMPARE(cell("K4")["right"].toArray().at(0).toString(), QStringLiteral("thin"));
    QCOMPARE(cell("A4")["left"].toArray().at(0).toString(), QStringLiteral("medium"));
    QCOMPARE(cell("T5")["bottom"].toArray().at(0).toString(), QStringLiteral("medium"));

    // Values typed and shown as the flight log shows them.
    QCOMPARE(cell("A6")["type"].toString(), QStringLiteral("d"));
    QCOMPARE(cell("A6")["shown"].toString(), QStringLiteral("2009-06-02"));
    QCOMPARE(cell("C7")["value"].toDouble(), 100.0 / 24);
    QCOMPARE(cell("C7")["shown"].toString(), QStringLiteral("100:00"));
    QCOMPARE(cell("H6")["value"].toDouble(), 4.5);
    QCOMPARE(cell("H7")["shown"].toString(), QStringLiteral("3"));
    QCOMPARE(cell("L6")["value"].toString(), QStringLiteral("Kössen"));
    QCOMPARE(cell("M6")["value"].toString(), QStringLiteral("Mentor 7"));
    QCOMPARE(cell("N6")["type"].toString(), QStringLiteral("s"));
    QCOMPARE(cell("N6")["value"].toString(), QStringLiteral("=1+1 stays text"));
    QCOMPARE(cell("N8")["value"].toString().size(), 2000);
    QCOMPARE(cell("N7")["right"].toArray().at(0).toString(), QStringLiteral("thin"));
    // The values a flight entered by hand lacks stay empty, never 0.
    QCOMPARE(cell("C9")["shown"].toString(), QStringLiteral("01:30"));
    QVERIFY(cell("D9")["value"].toString().isEmpty());
    QVERIFY(cell("K9")["value"].toString().isEmpty());
    const QStringList pilotColumns { cell("O9")["value"].toString(), cell("P9")["value"].toString(),
        cell("Q9")["value"].toString(), cell("R9")["value"].toString(), cell("S9")["value"].toString(),
        cell("T9")["value"].toString() };
    QCOMPARE(pilotColumns, QStringList({ "Kirchberg", "yes", "Aerotow", "2", "Instructor", "yes" }));
    QCOMPARE(cell("T8")["value"].toString(), QStringLiteral("no"));
    // Site and Glider as wide as their texts; Notes wide, and wrapped.
    const QJsonObject widths = dump["columns"].toObject();
    QVERIFY2(widths["L"].toDouble() >= 7 && widths["M"].toDouble() >= 9,
        qPrintable(QJsonDocument(widths).toJson()));
    QVERIFY(widths["N"].toDouble() > 40);
    QVERIFY(cell("N8")["wrap"].toBool());
}

QTEST_GUILESS_MAIN(TestLogbookExport)
#include "tst_logbookexport.moc"
