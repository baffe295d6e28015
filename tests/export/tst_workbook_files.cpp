// Where the workbook goes: a free name beside earlier ones, never over an
// existing file, and nothing left behind when writing fails.

#include "export/Workbook.h"
#include "tests/support/Files.h"
#include "tests/support/MemoryFlights.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TstWorkbookFiles : public QObject
{
    Q_OBJECT

private slots:
    void nextFreePath_data();
    void nextFreePath();
    void secondExportGetsNextName();
    void existingFileIsNeverReplaced();
    void failureLeavesNoFile_data();
    void failureLeavesNoFile();
    void unreachableFolder_data();
    void unreachableFolder();
};

void TstWorkbookFiles::nextFreePath_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty folder") << QStringList {} << "Flight log.xlsx";
    QTest::newRow("first name taken") << QStringList { "Flight log.xlsx" } << "Flight log (2).xlsx";
    QTest::newRow("two taken") << QStringList { "Flight log.xlsx", "Flight log (2).xlsx" }
                               << "Flight log (3).xlsx";
    QTest::newRow("gap is used") << QStringList { "Flight log.xlsx", "Flight log (3).xlsx" }
                                 << "Flight log (2).xlsx";
    QTest::newRow("only a later one exists") << QStringList { "Flight log (2).xlsx" } << "Flight log.xlsx";
    QTest::newRow("a folder holds the name too")
        << QStringList { "Flight log.xlsx/" } << "Flight log (2).xlsx";
    QTest::newRow("other files do not count")
        << QStringList { "flight log.xlsx", "Flight log.txt" } << "Flight log.xlsx";
}

void TstWorkbookFiles::nextFreePath()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &name : existing) {
        if (name.endsWith('/'))
            QVERIFY(QDir(dir.path()).mkdir(name.chopped(1)));
        else
            QVERIFY(Files::write(dir.filePath(name), "earlier"));
    }
    QCOMPARE(Workbook::nextFreePath(dir.path()), dir.filePath(expected));
}

void TstWorkbookFiles::secondExportGetsNextName()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FlightTable table;
    table.store(MemoryFlights::textsD(1));
    const ExportData data { QStringLiteral("PILOT   "), 1, 1, &table };

    // A dangling link still holds its name: writing through it would put
    // the workbook somewhere else.
    QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("Flight log (2).xlsx")));

    const QString first = Workbook::nextFreePath(dir.path());
    QVERIFY(Workbook::write(first, data));
    const QByteArray firstBytes = Files::read(first);
    QVERIFY(firstBytes.startsWith("PK")); // a zip container

    const QString second = Workbook::nextFreePath(dir.path());
    QCOMPARE(second, dir.filePath("Flight log (3).xlsx"));
    QVERIFY(Workbook::write(second, data));
    QCOMPARE(Files::read(first), firstBytes);
    QCOMPARE(Files::entries(dir.path()),
        (QStringList { "Flight log (2).xlsx", "Flight log (3).xlsx", "Flight log.xlsx" }));
}

void TstWorkbookFiles::existingFileIsNeverReplaced()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FlightTable table;
    const QString path = dir.filePath("Flight log.xlsx");
    QVERIFY(Files::write(path, "earlier"));
    // A name taken by the time the workbook is done: the workbook goes to
    // the next free name and the earlier file stays as it was.
    QString placedAt;
    QVERIFY(Workbook::write(path, { QString(), 1, 0, &table }, &placedAt));
    QCOMPARE(placedAt, dir.filePath("Flight log (2).xlsx"));
    QCOMPARE(Files::read(path), QByteArray("earlier"));
    QCOMPARE(Files::entries(dir.path()), (QStringList { "Flight log (2).xlsx", "Flight log.xlsx" }));
}

void TstWorkbookFiles::failureLeavesNoFile_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("withTable");
    // Flights 1 to 100 all hold a date, so only the bounds end the rows.
    QTest::newRow("range runs past flight 100") << 99 << 101 << true;
    QTest::newRow("range starts below flight 0") << -1 << 2 << true;
    QTest::newRow("largest 16-bit number") << 32767 << 32767 << true;
    QTest::newRow("no table for a range") << 1 << 2 << false;
}

void TstWorkbookFiles::failureLeavesNoFile()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, withTable);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FlightTable table;
    for (int n = 0; n < FlightTable::kSize; ++n)
        table.store(MemoryFlights::textsD(n));
    const QString path = dir.filePath("Flight log.xlsx");
    QVERIFY(!Workbook::write(path, { QString(), qint16(first), qint16(last), withTable ? &table : nullptr }));
    QCOMPARE(Files::entries(dir.path()), QStringList {});
}

void TstWorkbookFiles::unreachableFolder_data()
{
    QTest::addColumn<QString>("folder"); // below the test's own temporary folder
    QTest::newRow("missing folder") << "missing/deeper";
    QTest::newRow("a file where the folder should be") << "plain-file";
}

void TstWorkbookFiles::unreachableFolder()
{
    QFETCH(QString, folder);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(Files::write(dir.filePath("plain-file"), "earlier"));
    FlightTable table;
    table.store(MemoryFlights::textsD(1));
    const QString path = Workbook::nextFreePath(dir.filePath(folder));
    QVERIFY(!Workbook::write(path, { QString(), 1, 1, &table }));
    QCOMPARE(Files::entries(dir.path()), QStringList { "plain-file" });
    QCOMPARE(Files::read(dir.filePath("plain-file")), QByteArray("earlier"));
}

QTEST_GUILESS_MAIN(TstWorkbookFiles)
#include "tst_workbook_files.moc"
