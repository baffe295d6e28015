// The logbook's pure pieces: durations and totals, what counts as a whole
// flight, the sums per year and month, CSV quoting, and reading reports back.

#include "LogbookSamples.h"

#include "export/TextReport.h"
#include "logbook/LogbookText.h"
#include "logbook/ReportImport.h"

#include <QTest>

class TestLogbookText : public QObject
{
    Q_OBJECT

private slots:
    void durations_data();
    void durations();
    void totalsLine_data();
    void totalsLine();
    void wholeFlights_data();
    void wholeFlights();
    void sumsPerYearAndMonth();
    void numbers_data();
    void numbers();
    void csvQuoting_data();
    void csvQuoting();
    void csvFile();
    void importRoundTrip();
    void importBadLines_data();
    void importBadLines();
};

void TestLogbookText::durations_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("minutes"); // -1: not a duration
    QTest::newRow("short") << "00:05" << 5;
    QTest::newRow("hours") << "04:46" << 286;
    QTest::newRow("100 hours") << "100:00" << 6000;
    QTest::newRow("longest the instrument gives") << "1092:15" << 65535;
    QTest::newRow("one hour digit") << "4:46" << -1;
    QTest::newRow("60 minutes") << "01:60" << -1;
    QTest::newRow("failed flight") << "*" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("trailing blank") << "01:30 " << -1;
    QTest::newRow("minute digit missing") << "01:3" << -1;
    QTest::newRow("sign") << "-1:30" << -1;
}

void TestLogbookText::durations()
{
    QFETCH(QString, text);
    QFETCH(int, minutes);
    QCOMPARE(LogbookText::durationMinutes(text).value_or(-1), minutes);
}

void TestLogbookText::totalsLine_data()
{
    QTest::addColumn<qint64>("flights");
    QTest::addColumn<qint64>("minutes");
    QTest::addColumn<QString>("line");
    QTest::newRow("none") << qint64(0) << qint64(0) << "0 flights, 00:00 hours";
    QTest::newRow("one") << qint64(1) << qint64(286) << "1 flight, 04:46 hours";
    QTest::newRow("past 99 hours") << qint64(312) << qint64(401 * 60 + 15) << "312 flights, 401:15 hours";
    QTest::newRow("past 9999 hours") << qint64(10000) << qint64(15000 * 60)
                                     << "10000 flights, 15000:00 hours";
}

void TestLogbookText::totalsLine()
{
    QFETCH(qint64, flights);
    QFETCH(qint64, minutes);
    QFETCH(QString, line);
    QCOMPARE(LogbookText::totalsLine(flights, minutes), line);
}

void TestLogbookText::wholeFlights_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<bool>("possible"); // a flight the logbook takes
    QTest::newRow("as read") << ""
                             << "" << true << true;
    QTest::newRow("negative QNE") << "qneMin"
                                  << "-20" << false << false; // difference no longer matches
    QTest::newRow("decimal comma") << "liftMax"
                                   << "4,5" << true << true;
    QTest::newRow("three-digit day") << "date"
                                     << "2005-07-255" << true << false;
    QTest::newRow("no such date") << "date"
                                  << "2099-13-45" << true << false;
    QTest::newRow("29 February of a leap year") << "date"
                                                << "2008-02-29" << true << true;
    QTest::newRow("past midnight") << "startTime"
                                   << "24:00" << true << false;
    QTest::newRow("minute 60") << "startTime"
                               << "10:60" << true << false;
    QTest::newRow("a day long") << "duration"
                                << "24:00" << true << true;
    QTest::newRow("over a day") << "duration"
                                << "24:01" << true << false;
    QTest::newRow("999999 hours") << "duration"
                                  << "999999:59" << true << false;
    QTest::newRow("whole rate") << "liftMax"
                                << "3" << true << true;
    QTest::newRow("empty date") << "date"
                                << "" << false << false;
    QTest::newRow("failed mark") << "startTime"
                                 << "*" << false << false;
    QTest::newRow("cut duration") << "duration"
                                  << "01:3" << false << false;
    QTest::newRow("cut gain") << "totalGain"
                              << "" << false << false;
    QTest::newRow("letters") << "speedMax"
                             << "5x" << false << false;
    QTest::newRow("two decimals") << "sinkMax"
                                  << "3.25" << false << false;
}

void TestLogbookText::wholeFlights()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(bool, whole);
    QFETCH(bool, possible);
    FlightSummary f = sampleFlight(1);
    const QHash<QString, QString *> fields { { "date", &f.date }, { "startTime", &f.startTime },
        { "duration", &f.duration }, { "qneMin", &f.qneMin }, { "liftMax", &f.liftMax },
        { "sinkMax", &f.sinkMax }, { "totalGain", &f.totalGain }, { "speedMax", &f.speedMax } };
    if (!field.isEmpty())
        *fields.value(field) = value;
    QCOMPARE(LogbookText::isCompleteFlight(f), whole);
    // Taken into the logbook, the values read back in the decoder's forms
    // under either separator.
    const auto typed = LogbookFlight::fromSummary(f);
    QCOMPARE(typed.has_value(), possible);
    if (typed) {
        f.flightNumber = 0;
        f.liftMax.replace(QLatin1Char(','), QLatin1Char('.'));
        QCOMPARE(LogbookText::summaryOf(*typed, QStringLiteral(".")), f);
        QCOMPARE(typed->liftMax, f.liftMax.toDouble());
        QCOMPARE(LogbookText::fieldText(*typed, 8, QStringLiteral(",")), f.liftMax.replace('.', ','));
    }
}

void TestLogbookText::sumsPerYearAndMonth()
{
    QList<LogbookEntry> entries { sampleEntry(1, "2005-07-14"), sampleEntry(2, "2005-07-20"),
        sampleEntry(3, "2005-08-01"), sampleEntry(4, "2010-05-03") };
    entries[1].flight.durationMinutes = 6000; // kept by an upgraded first-version logbook
    entries[3].flight.qneMin = -20;
    entries[3].flight.qneMax = -10;
    entries[3].flight.heightDiffMax = 10;

    QList<LogbookText::FlightFigures> figures;
    for (const LogbookEntry &e : entries)
        figures.append(LogbookText::figuresOf(e.flight));
    const QList<LogbookText::YearTotals> years = LogbookText::totalsPerYear(figures);
    QCOMPARE(years.size(), 2);
    // Newest year first; a year whose highest level lies below zero keeps it.
    QCOMPARE(years.at(0), (LogbookText::YearTotals { 2010, 1, 90, 90, -10 }));
    QCOMPARE(years.at(1), (LogbookText::YearTotals { 2005, 3, 90 + 6000 + 90, 6000, 2130 }));

    const QList<qint64> months2005 = LogbookText::minutesPerMonth(figures, 2005);
    QCOMPARE(months2005.size(), 12);
    QCOMPARE(months2005.at(6), 6090);
    QCOMPARE(months2005.at(7), 90);
    QCOMPARE(months2005.at(4), 0);
    QCOMPARE(LogbookText::minutesPerMonth(figures, 0).at(4), 90);
}

void TestLogbookText::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value"); // NaN: not a number
    const double none = qQNaN();
    QTest::newRow("whole") << "2130" << 2130.0;
    QTest::newRow("negative") << "-16383" << -16383.0;
    QTest::newRow("point") << "2.5" << 2.5;
    QTest::newRow("comma") << "2,5" << 2.5;
    QTest::newRow("empty") << "" << none;
    QTest::newRow("failed mark") << "*" << none;
    QTest::newRow("separator only") << "3." << none;
    QTest::newRow("two separators") << "1.2.3" << none;
    QTest::newRow("minus alone") << "-" << none;
}

void TestLogbookText::numbers()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    const auto number = LogbookText::numberOf(text);
    if (qIsNaN(value))
        QVERIFY(!number);
    else
        QCOMPARE(number.value_or(qQNaN()), value);
}

void TestLogbookText::csvQuoting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typedField"); // the same text typed by the pilot
    QTest::newRow("plain") << "Kössen"
                           << "Kössen"
                           << "Kössen";
    QTest::newRow("comma") << "2,5"
                           << "\"2,5\""
                           << "\"2,5\"";
    QTest::newRow("quote") << "the \"big\" one"
                           << "\"the \"\"big\"\" one\""
                           << "\"the \"\"big\"\" one\"";
    QTest::newRow("line break") << "a\nb"
                                << "\"a\nb\""
                                << "\"a\nb\"";
    QTest::newRow("CR") << "a\rb"
                        << "\"a\rb\""
                        << "\"a\rb\"";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("formula") << "=HYPERLINK(\"x\")"
                             << "\"=HYPERLINK(\"\"x\"\")\""
                             << "\"'=HYPERLINK(\"\"x\"\")\"";
    QTest::newRow("plus") << "+1"
                          << "+1"
                          << "'+1";
    QTest::newRow("minus") << "-2 thermals"
                           << "-2 thermals"
                           << "'-2 thermals";
    QTest::newRow("at") << "@SUM(A1)"
                        << "@SUM(A1)"
                        << "'@SUM(A1)";
    QTest::newRow("tab first") << "\tx"
                               << "\tx"
                               << "'\tx";
    QTest::newRow("CR first") << "\rx"
                              << "\"\rx\""
                              << "\"'\rx\"";
    QTest::newRow("equals inside") << "a=b"
                                   << "a=b"
                                   << "a=b";
    // Not valid UTF-16, so no pattern match sees the comma.
    const QString lone = QString(QChar(0xD800)) + QStringLiteral(",x");
    QTest::newRow("comma after a lone surrogate")
        << lone << QStringLiteral("\"") + lone + QStringLiteral("\"")
        << QStringLiteral("\"") + lone + QStringLiteral("\"");
}

void TestLogbookText::csvQuoting()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QFETCH(QString, typedField);
    QCOMPARE(LogbookText::csvField(text), field);
    QCOMPARE(LogbookText::csvTextField(text), typedField);
}

void TestLogbookText::csvFile()
{
    LogbookEntry e = sampleEntry(5);
    e.site = "Kössen, west";
    e.notes = "thermal";
    LogbookEntry low = sampleEntry(6);
    low.flight.qneMin = -35; // a number, never taken for a formula
    low.flight.heightDiffMax = 2165;
    low.flight.liftMax = 3;
    low.glider = "-Mentor";
    // Entered by hand, without the instrument's values: those fields stay
    // empty, never 0.
    LogbookEntry byHand;
    byHand.flight.date = QDate(2007, 8, 1);
    byHand.flight.startMinutes = 14 * 60;
    byHand.flight.durationMinutes = 25;
    byHand.flight.unknownFields = 0xFF0;
    byHand.byHand = true;
    byHand.landingSite = "Field, by the river";
    byHand.outlanding = true;
    byHand.launch = LaunchMethod::Winch;
    byHand.launches = 3;
    byHand.role = PilotRole::Dual;
    const QByteArray csv = LogbookText::csv({ e, low, byHand });
    QCOMPARE(csv,
        QByteArray(
            "\xEF\xBB\xBF"
            "Date,Start time,Duration,QNE min,QNE max,Height diff max,Total gain,Lift max,Sink max,"
            "Speed min,Speed max,Pilot,Site,Glider,Notes,Landing site,Outlanding,Launch method,Launches,"
            "Role,Entered by hand\r\n"
            "2005-07-14,10:05,01:30,850,2130,1280,3400,4.5,3.2,18,52,KESTREL,\"K\xC3\xB6ssen, west\",,"
            "thermal,,no,,1,Pilot in command,no\r\n"
            "2005-07-14,10:06,01:30,-35,2130,2165,3400,3,3.2,18,52,KESTREL,,'-Mentor,,,no,,1,"
            "Pilot in command,no\r\n"
            "2007-08-01,14:00,00:25,,,,,,,,,,,,,\"Field, by the river\",yes,Winch,3,Dual,yes\r\n"));
}

// A report of the program's own writer, read back: every flight, its pilot
// without the padding, and nothing else.
void TestLogbookText::importRoundTrip()
{
    FlightTable table;
    for (int n = 1; n <= 100; ++n)
        table.store(sampleFlight(n, QStringLiteral("2006-05-%1").arg(n % 28 + 1, 2, 10, QLatin1Char('0'))));
    FlightSummary longFlight = sampleFlight(101);
    longFlight.flightNumber = 7;
    longFlight.duration = "100:00";
    longFlight.qneMin = "-20";
    longFlight.heightDiffMax = "2150";
    longFlight.liftMax = "3";
    table.store(longFlight);
    table.markFailed(9);
    const auto report = TextReport::build(ExportData { QStringLiteral("REN\u00c9    "), 1, 100, &table });
    QVERIFY(report);

    const ReportImport::Parsed parsed = ReportImport::parse(*report);
    // The 100-hour flight is written whole but is no flight: not taken.
    QCOMPARE(parsed.linesNotUnderstood, 1);
    QCOMPARE(parsed.failedFlights, 1);
    QVERIFY(parsed.isReport);
    QCOMPARE(parsed.flights.size(), 98);
    QCOMPARE(parsed.flights.at(0).flight, typedFlight(table.entry(1)));
    QCOMPARE(parsed.flights.at(97).flight, typedFlight(table.entry(100)));
    QCOMPARE(parsed.flights.at(0).pilot, QStringLiteral("REN\u00c9"));
    longFlight.duration = "10:00";
    table.store(longFlight);
    const auto again
        = ReportImport::parse(*TextReport::build(ExportData { QStringLiteral("x"), 7, 7, &table }));
    QCOMPARE(again.flights.size(), 1);
    QCOMPARE(again.flights.at(0).flight.qneMin, -20);
    QCOMPARE(again.flights.at(0).flight.liftMax, 3.0);
    // A pilot line of any length names at most the instrument's eight
    // characters.
    const auto longName = ReportImport::parse(
        *TextReport::build(ExportData { QString(5000, QLatin1Char('W')), 7, 7, &table }));
    QCOMPARE(longName.flights.at(0).pilot, QStringLiteral("WWWWWWWW"));
}

void TestLogbookText::importBadLines_data()
{
    QTest::addColumn<QByteArray>("line");
    const QByteArray good = "\" 3\t2005-07-14\t12:05\t01:30\t850\t2130\t1280\t\t3400\t4.5\t3.2\t18\t52\t\"";
    QTest::newRow("cut short") << good.left(40);
    QTest::newRow("without closing quote") << good.chopped(1);
    QTest::newRow("field missing") << QByteArray(good).replace("\t3400", "");
    QTest::newRow("difference disagrees") << QByteArray(good).replace("\t1280\t", "\t1281\t");
    QTest::newRow("letters in a value") << QByteArray(good).replace("\t18\t", "\t1B\t");
    QTest::newRow("no flight number") << QByteArray(good).replace("\" 3\t", "\" \t");
    QTest::newRow("one star") << QByteArray(good).replace("\t850\t", "\t*\t");
    QTest::newRow("stray text") << QByteArray("\"hello\"");
    QTest::newRow("binary") << QByteArray("\x00\x01\xff\"", 4);
    QTest::newRow("no such date") << QByteArray(good).replace("2005-07-14", "2099-13-45");
    QTest::newRow("start past midnight") << QByteArray(good).replace("12:05", "25:05");
    QTest::newRow("duration of 999999 hours") << QByteArray(good).replace("01:30", "999999:59");
}

// Bad lines between good ones: each counted, none stops the reading, none
// yields a flight.
void TestLogbookText::importBadLines()
{
    QFETCH(QByteArray, line);
    FlightTable table;
    table.store(sampleFlight(1));
    table.store(sampleFlight(2));
    const QByteArray report = *TextReport::build(ExportData { QStringLiteral("ANNA"), 1, 2, &table });
    const qsizetype secondFlight = report.lastIndexOf("\" 2\t");
    const QByteArray mixed = report.left(secondFlight) + line + "\r\n" + report.mid(secondFlight);

    const ReportImport::Parsed parsed = ReportImport::parse(mixed);
    QCOMPARE(parsed.linesNotUnderstood, 1);
    QCOMPARE(parsed.flights.size(), 2);
    QCOMPARE(parsed.flights.at(1).flight, typedFlight(table.entry(2)));
}

QTEST_GUILESS_MAIN(TestLogbookText)
#include "tst_logbooktext.moc"
