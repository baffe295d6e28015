#include "export/TextReport.h"
#include "tests/support/Files.h"
#include "tests/support/MemoryFlights.h"
#include "tests/support/ReportBytes.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

using ReportBytes::header;

// Flight n with the values of the worked example (flight 3's).
FlightSummary flight(int n, const QString &startTime = QStringLiteral("12:05"))
{
    FlightSummary f = MemoryFlights::textsD(n);
    f.startTime = startTime;
    return f;
}

QByteArray exampleLine(int n)
{
    return ReportBytes::line(flight(n));
}

ExportData data(
    const FlightTable &table, int first, int last, const QString &pilot = QStringLiteral("TEST    "))
{
    return ExportData { pilot, qint16(first), qint16(last), &table };
}

} // namespace

class TestTextReport : public QObject
{
    Q_OBJECT

private slots:
    void build_data();
    void build();
    void refused_data();
    void refused();
    void writesToDevice();
    void writeFile_data();
    void writeFile();
};

void TestTextReport::build_data()
{
    QTest::addColumn<QList<FlightSummary>>("stored");
    QTest::addColumn<QList<int>>("failed");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("pilot");
    QTest::addColumn<QByteArray>("expected");
    const auto row = [](const char *tag, const QList<FlightSummary> &stored, const QList<int> &failed,
                         int first, int last, const QString &pilot, const QByteArray &expected) {
        QTest::newRow(tag) << stored << failed << first << last << pilot << expected;
    };

    const QByteArray test = header("TEST    ");
    row("worked example", { flight(3) }, {}, 3, 3, "TEST    ", test + exampleLine(3));
    row("unreadable flight", {}, { 4 }, 4, 4, "TEST    ", test + ReportBytes::failedLine(4));
    row("first after last", { flight(3), flight(5) }, {}, 5, 3, "TEST    ", test);
    row("empty pilot name", { flight(1) }, {}, 1, 1, "", header("") + exampleLine(1));
    row("rows end at the first empty start time", { flight(1), flight(2), flight(3, ""), flight(4) }, {}, 1,
        4, "TEST    ", test + exampleLine(1) + exampleLine(2));
    row("first flight without start time", {}, {}, 1, 10, "TEST    ", test);
    row("numbers without padding", { flight(7), flight(8), flight(9), flight(10), flight(11), flight(12) },
        {}, 7, 12, "TEST    ",
        test + exampleLine(7) + exampleLine(8) + exampleLine(9) + exampleLine(10) + exampleLine(11)
            + exampleLine(12));
    row("stored and failed flights mixed", { flight(1), flight(3) }, { 2 }, 1, 3, "TEST    ",
        test + exampleLine(1) + ReportBytes::failedLine(2) + exampleLine(3));
    row("flight 0 has never a start time", { flight(1) }, {}, 0, 1, "TEST    ", test);
    row("windows-1252 with question marks", {}, {}, 1, 0,
        QString::fromUtf8("Jos\u00e9 \u20ac\u0141\xF0\x9F\x98\x80"), header("Jos\xe9 \x80??"));
    row("quotes are not doubled", {}, {}, 1, 0, "A\"B", header("A\"B"));
}

void TestTextReport::build()
{
    QFETCH(QList<FlightSummary>, stored);
    QFETCH(QList<int>, failed);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QString, pilot);
    QFETCH(QByteArray, expected);

    FlightTable table;
    for (const FlightSummary &f : stored)
        table.store(f);
    for (int n : failed)
        table.markFailed(n);
    const auto bytes = TextReport::build(data(table, first, last, pilot));
    QVERIFY(bytes);
    QCOMPARE(*bytes, expected);
}

void TestTextReport::refused_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("built");

    QTest::newRow("negative flight") << -1 << 3 << false;
    QTest::newRow("beyond the table") << 1 << 101 << false;
    QTest::newRow("the whole table") << 1 << 100 << true;
    QTest::newRow("first beyond the table, after last") << 200 << 100 << true;
}

void TestTextReport::refused()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, built);

    FlightTable table;
    for (int n = 1; n <= 100; ++n)
        table.store(flight(n));
    const auto bytes = TextReport::build(data(table, first, last));
    QCOMPARE(bytes.has_value(), built);
    if (built && first <= last)
        QCOMPARE(bytes->count("\r\n"), 6 + (last - first + 1));

    QCOMPARE(TextReport::build(ExportData { "", 1, 1, nullptr }).has_value(), false);
}

void TestTextReport::writesToDevice()
{
    FlightTable table;
    table.store(flight(3));
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(TextReport::write(buffer, data(table, 3, 3)));
    QCOMPARE(buffer.data(), header("TEST    ") + exampleLine(3));

    QBuffer readOnly;
    QVERIFY(readOnly.open(QIODevice::ReadOnly));
    QVERIFY(!TextReport::write(readOnly, data(table, 3, 3)));
}

void TestTextReport::writeFile_data()
{
    // The report of flights 1 to `earlier` is there first (0: no file); then
    // the report of 3 to `last` is written to `name`. Either the new report
    // replaces the earlier one or the earlier one keeps its bytes.
    QTest::addColumn<int>("earlier");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("written");

    QTest::newRow("replaced by a shorter report") << 20 << "flightlog.txt" << false << 3 << true;
    QTest::newRow("refused range leaves the earlier file") << 3 << "flightlog.txt" << false << 101 << false;
    QTest::newRow("unwritable folder leaves the earlier file") << 3 << "flightlog.txt" << true << 4 << false;
    QTest::newRow("missing folder") << 0 << "no such folder/flightlog.txt" << false << 3 << false;
}

void TestTextReport::writeFile()
{
    QFETCH(int, earlier);
    QFETCH(QString, name);
    QFETCH(bool, readOnlyFolder);
    QFETCH(int, last);
    QFETCH(bool, written);
    if (readOnlyFolder && geteuid() == 0)
        QSKIP("the superuser writes into read-only folders");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("flightlog.txt");
    FlightTable table;
    for (int n = 1; n <= 100; ++n)
        table.store(flight(n));
    if (earlier > 0)
        QVERIFY(TextReport::writeFile(path, data(table, 1, earlier)));
    const QByteArray before = earlier > 0 ? *TextReport::build(data(table, 1, earlier)) : QByteArray();

    const QFile::Permissions writable = QFile::permissions(dir.path());
    if (readOnlyFolder)
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    const bool ok = TextReport::writeFile(dir.filePath(name), data(table, 3, last));
    QFile::setPermissions(dir.path(), writable);

    QCOMPARE(ok, written);
    if (earlier == 0 && !written) {
        QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
        return;
    }
    QCOMPARE(Files::read(path), written ? header("TEST    ") + exampleLine(3) : before);
    QCOMPARE(
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList { "flightlog.txt" });
}

QTEST_APPLESS_MAIN(TestTextReport)
#include "tst_textreport.moc"
