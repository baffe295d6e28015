// Where the workbook goes: a free name beside earlier ones, never over an
// existing file, and nothing left behind when writing fails.

#include "export/Workbook.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool touch(const QString &path, const QByteArray &bytes = "earlier")
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

FlightSummary dated(int n)
{
    FlightSummary s;
    s.flightNumber = qint16(n);
    s.date = QStringLiteral("2005-07-14");
    s.startTime = QStringLiteral("09:05");
    return s;
}

} // namespace

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
            QVERIFY(touch(dir.filePath(name)));
    }
    QCOMPARE(Workbook::nextFreePath(dir.path()), dir.filePath(expected));
}

void TstWorkbookFiles::secondExportGetsNextName()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FlightTable table;
    table.store(dated(1));
    const ExportData data { QStringLiteral("PILOT   "), 1, 1, &table };

    // A dangling link still holds its name: writing through it would put
    // the workbook somewhere else.
    QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("Flight log (2).xlsx")));

    const QString first = Workbook::nextFreePath(dir.path());
    QVERIFY(Workbook::write(first, data));
    const QByteArray firstBytes = contents(first);
    QVERIFY(firstBytes.startsWith("PK")); // a zip container

    const QString second = Workbook::nextFreePath(dir.path());
    QCOMPARE(second, dir.filePath("Flight log (3).xlsx"));
    QVERIFY(Workbook::write(second, data));
    QCOMPARE(contents(first), firstBytes);
    QCOMPARE(entries(dir.path()),
        (QStringList { "Flight log (2).xlsx", "Flight log (3).xlsx", "Flight log.xlsx" }));
}

void TstWorkbookFiles::existingFileIsNeverReplaced()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FlightTable table;
    const QString path = dir.filePath("Flight log.xlsx");
    QVERIFY(touch(path));
    // A name taken by the time the workbook is done: the workbook goes to
    // the next free name and the earlier file stays as it was.
    QString placedAt;
    QVERIFY(Workbook::write(path, { QString(), 1, 0, &table }, &placedAt));
    QCOMPARE(placedAt, dir.filePath("Flight log (2).xlsx"));
    QCOMPARE(contents(path), QByteArray("earlier"));
    QCOMPARE(entries(dir.path()), (QStringList { "Flight log (2).xlsx", "Flight log.xlsx" }));
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
        table.store(dated(n));
    const QString path = dir.filePath("Flight log.xlsx");
    QVERIFY(!Workbook::write(path, { QString(), qint16(first), qint16(last), withTable ? &table : nullptr }));
    QCOMPARE(entries(dir.path()), QStringList {});
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
    QVERIFY(touch(dir.filePath("plain-file")));
    FlightTable table;
    table.store(dated(1));
    const QString path = Workbook::nextFreePath(dir.filePath(folder));
    QVERIFY(!Workbook::write(path, { QString(), 1, 1, &table }));
    QCOMPARE(entries(dir.path()), QStringList { "plain-file" });
    QCOMPARE(contents(dir.filePath("plain-file")), QByteArray("earlier"));
}

QTEST_GUILESS_MAIN(TstWorkbookFiles)
#include "tst_workbook_files.moc"
