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

    QTest::newRow("one flight") << "5"
                                << "5"
                                << "C" << Verdict::Ok << 5 << 5;
    QTest::newRow("whole logbook") << "1"
                                   << "100"
                                   << "C" << Verdict::Ok << 1 << 100;
    QTest::newRow("blanks and zeros") << " 007 "
                                      << "010"
                                      << "C" << Verdict::Ok << 7 << 10;
    QTest::newRow("halves to even") << "1.5"
                                    << "2.5"
                                    << "C" << Verdict::Ok << 2 << 2;
    QTest::newRow("100.5 is 100") << "99"
                                  << "100.5"
                                  << "C" << Verdict::Ok << 99 << 100;
    QTest::newRow("locale comma") << "2,5"
                                  << "10,5"
                                  << "de_DE" << Verdict::Ok << 2 << 10;

    QTest::newRow("from 0") << "0"
                            << "10"
                            << "C" << Verdict::OutOfRange << 0 << 0;
    QTest::newRow("from 0.5 rounds to 0") << "0.5"
                                          << "10"
                                          << "C" << Verdict::OutOfRange << 0 << 0;
    QTest::newRow("until 101") << "1"
                               << "101"
                               << "C" << Verdict::OutOfRange << 0 << 0;
    QTest::newRow("negative") << "-5"
                              << "-3"
                              << "C" << Verdict::OutOfRange << 0 << 0;
    QTest::newRow("until beyond 16 bits") << "1"
                                          << "99999"
                                          << "C" << Verdict::OutOfRange << 0 << 0;
    QTest::newRow("until far beyond any integer")
        << "1"
        << "1" + QString(40, '0') << "C" << Verdict::OutOfRange << 0 << 0;

    QTest::newRow("from 150") << "150"
                              << "100"
                              << "C" << Verdict::Reversed << 0 << 0;
    QTest::newRow("until 0") << "5"
                             << "0"
                             << "C" << Verdict::Reversed << 0 << 0;
    QTest::newRow("from beyond 16 bits") << "99999"
                                         << "100"
                                         << "C" << Verdict::Reversed << 0 << 0;
    QTest::newRow("from far beyond any integer") << "1" + QString(400, '0') << "50"
                                                 << "C" << Verdict::Reversed << 0 << 0;

    QTest::newRow("from empty") << ""
                                << "10"
                                << "C" << Verdict::NotNumeric << 0 << 0;
    QTest::newRow("until empty") << "1"
                                 << ""
                                 << "C" << Verdict::NotNumeric << 0 << 0;
    QTest::newRow("letters") << "abc"
                             << "10"
                             << "C" << Verdict::NotNumeric << 0 << 0;
    QTest::newRow("exponent") << "1"
                              << "1e9"
                              << "C" << Verdict::NotNumeric << 0 << 0;
    QTest::newRow("comma in a point locale") << "2,5"
                                             << "10"
                                             << "C" << Verdict::NotNumeric << 0 << 0;
    // Not numeric is judged before the range, whichever box is wrong.
    QTest::newRow("until letters, from out of range") << "0"
                                                      << "x"
                                                      << "C" << Verdict::NotNumeric << 0 << 0;
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
    QTest::newRow("blanks around") << " 7 " << 7;
    QTest::newRow("half rounds to even, down") << "6.5" << 6;
    QTest::newRow("half rounds to even, up") << "7.5" << 8;
    QTest::newRow("first") << "1" << 1;
    QTest::newRow("last") << "100" << 100;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("above 100") << "101" << 0;
    QTest::newRow("negative") << "-3" << 0;
    QTest::newRow("beyond 16 bits") << "99999" << 0;
    QTest::newRow("exponent") << "1e9" << 0;
    QTest::newRow("rounds to 0") << "0.5" << 0;
    QTest::newRow("rounds to 101") << "100.6" << 0;
}

void TestExportRange::flightNumber()
{
    QFETCH(QString, text);
    QFETCH(int, flight);
    const auto checked = checkFlightNumber(text, QLocale::c());
    QCOMPARE(checked.value_or(0), qint16(flight));
}

QTEST_APPLESS_MAIN(TestExportRange)
#include "tst_exportrange.moc"
