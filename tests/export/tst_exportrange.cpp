// The checks of the export range and of the flight number to show. How a
// typed number is read (blanks, signs, separators, exponents) is the table of
// tst_numberentry; these rows are about the bounds, the rounding and the order.

#include "export/ExportRange.h"

#include <QTest>

using Verdict = ExportRange::Verdict;
Q_DECLARE_METATYPE(Verdict)

class TestExportRange : public QObject
{
    Q_OBJECT

private slots:
    void check_data();
    void check();
    void messages();
    void flightNumber_data();
    void flightNumber();
};

void TestExportRange::check_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("until");
    QTest::addColumn<QString>("localeName");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");

    const auto row = [](const char *name, const QString &from, const QString &until, Verdict verdict,
                         int first = 0, int last = 0, const char *locale = "C") {
        QTest::newRow(name) << from << until << QString::fromLatin1(locale) << verdict << first << last;
    };
    row("one flight", "5", "5", Verdict::Ok, 5, 5);
    row("whole logbook", "1", "100", Verdict::Ok, 1, 100);
    row("halves to even", "1.5", "2.5", Verdict::Ok, 2, 2);
    row("100.5 is 100", "99", "100.5", Verdict::Ok, 99, 100);
    row("locale comma", "2,5", "10,5", Verdict::Ok, 2, 10, "de_DE");

    row("from 0", "0", "10", Verdict::OutOfRange);
    row("from 0.5 rounds to 0", "0.5", "10", Verdict::OutOfRange);
    row("until 101", "1", "101", Verdict::OutOfRange);
    row("negative", "-5", "-3", Verdict::OutOfRange);
    row("until beyond 16 bits", "1", "99999", Verdict::OutOfRange);
    row("until far beyond any integer", "1", "1" + QString(40, '0'), Verdict::OutOfRange);

    // A from above 100 or an until below 1 passes the bounds and is refused here.
    row("from 150", "150", "100", Verdict::Reversed);
    row("until 0", "5", "0", Verdict::Reversed);
    row("from beyond 16 bits", "99999", "100", Verdict::Reversed);
    row("from far beyond any integer", "1" + QString(400, '0'), "50", Verdict::Reversed);

    row("from empty", "", "10", Verdict::NotNumeric);
    row("until letters", "1", "abc", Verdict::NotNumeric);
    // Not numeric is judged before the range, whichever box is wrong.
    row("until letters, from out of range", "0", "x", Verdict::NotNumeric);
}

void TestExportRange::check()
{
    QFETCH(QString, from);
    QFETCH(QString, until);
    QFETCH(QString, localeName);
    QFETCH(Verdict, verdict);
    QFETCH(int, first);
    QFETCH(int, last);

    const ExportRange range = ExportRange::check(from, until, QLocale(localeName));
    QCOMPARE(range.verdict, verdict);
    if (verdict == Verdict::Ok) {
        QCOMPARE(int(range.from), first);
        QCOMPARE(int(range.until), last);
    }
}

void TestExportRange::messages()
{
    QCOMPARE(ExportRange::message(Verdict::Ok), QString());
    QCOMPARE(ExportRange::message(Verdict::NotNumeric), QStringLiteral("Flightnumber is not numeric"));
    QCOMPARE(ExportRange::message(Verdict::OutOfRange),
        QStringLiteral("Flightnumbers have to be between 1 and 100"));
    QCOMPARE(ExportRange::message(Verdict::Reversed),
        QStringLiteral("The from number must be smaller then the until flight"));
}

void TestExportRange::flightNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("flight"); // 0: "Invalid flight number"

    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("half rounds to even, down") << "6.5" << 6;
    QTest::newRow("half rounds to even, up") << "7.5" << 8;
    QTest::newRow("first") << "1" << 1;
    QTest::newRow("last") << "100" << 100;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("above 100") << "101" << 0;
    QTest::newRow("negative") << "-3" << 0;
    QTest::newRow("beyond 16 bits") << "99999" << 0;
    QTest::newRow("rounds to 0") << "0.5" << 0;
    QTest::newRow("rounds to 101") << "100.6" << 0;
}

void TestExportRange::flightNumber()
{
    QFETCH(QString, text);
    QFETCH(int, flight);
    QCOMPARE(checkFlightNumber(text, QLocale::c()).value_or(0), qint16(flight));
}

QTEST_APPLESS_MAIN(TestExportRange)
#include "tst_exportrange.moc"
