#include "instrument/FlightRecord.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <array>

using Status = FlightRecord::Status;
using Bytes = std::array<int, FlightRecord::kRecordReads>;
using Patch = QList<QPair<int, int>>; // offset, value

Q_DECLARE_METATYPE(Status)

namespace {

// The answer to the 19 reads of flight 1's record holding these bytes.
QString answerFor(const Bytes &bytes)
{
    QString answer;
    for (int k = 0; k < FlightRecord::kRecordReads; ++k)
        answer += QStringLiteral("R%1%2")
                      .arg(410 + k, 6, 10, QLatin1Char('0'))
                      .arg(bytes[k], 3, 10, QLatin1Char('0'));
    return answer;
}

// A plain flight: 2005-07-14 12:05, 01:30, QNE 850..2130, gain 3400,
// lift 4.5, sink 3.2, speed 18..52.
Bytes sampleBytes()
{
    return { 32, 45, 3, 82, 8, 82, 18, 52, 0, 90, 14, 7, 5, 12, 5, 0, 13, 72, 0 };
}

QString field(const FlightSummary &s, const QString &name)
{
    const QHash<QString, const QString *> fields {
        { "date", &s.date },
        { "startTime", &s.startTime },
        { "duration", &s.duration },
        { "qneMin", &s.qneMin },
        { "qneMax", &s.qneMax },
        { "heightDiffMax", &s.heightDiffMax },
        { "totalGain", &s.totalGain },
        { "liftMax", &s.liftMax },
        { "sinkMax", &s.sinkMax },
        { "speedMin", &s.speedMin },
        { "speedMax", &s.speedMax },
    };
    Q_ASSERT(fields.contains(name));
    return *fields.value(name);
}

} // namespace

class TestFlightRecord : public QObject
{
    Q_OBJECT

private slots:
    void addresses();
    void wholeRecord();
    void fields_data();
    void fields();
    void status_data();
    void status();
    void randomRecordsStayConsistent();
    void arbitraryTextNeverCrashes();
};

void TestFlightRecord::addresses()
{
    QCOMPARE(FlightRecord::recordAddress(1), 410);
    QCOMPARE(FlightRecord::recordAddress(2), 428);
    QCOMPARE(FlightRecord::recordAddress(100), 2192);
    QCOMPARE(FlightRecord::recordAddress(100) + FlightRecord::kRecordReads - 1, 2210);
}

void TestFlightRecord::wholeRecord()
{
    const auto decoded = FlightRecord::decodeFlightRecord(3, answerFor(sampleBytes()), ".");
    QCOMPARE(decoded.status, Status::Ok);

    FlightSummary expected;
    expected.flightNumber = 3;
    expected.date = "2005-07-14";
    expected.startTime = "12:05";
    expected.duration = "01:30";
    expected.qneMin = "850";
    expected.qneMax = "2130";
    expected.heightDiffMax = "1280";
    expected.totalGain = "3400";
    expected.liftMax = "4.5";
    expected.sinkMax = "3.2";
    expected.speedMin = "18";
    expected.speedMax = "52";
    QCOMPARE(decoded.summary, expected);
}

void TestFlightRecord::fields_data()
{
    QTest::addColumn<Patch>("patch");
    QTest::addColumn<QString>("decimalPoint");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("sink 2.5") << Patch { { 0, 25 } } << "."
                              << "sinkMax"
                              << "2.5";
    QTest::newRow("sink 2,5") << Patch { { 0, 25 } } << ","
                              << "sinkMax"
                              << "2,5";
    QTest::newRow("sink 0.8") << Patch { { 0, 8 } } << "."
                              << "sinkMax"
                              << "0.8";
    QTest::newRow("lift 3") << Patch { { 1, 30 } } << "."
                            << "liftMax"
                            << "3";
    QTest::newRow("lift 0") << Patch { { 1, 0 } } << ","
                            << "liftMax"
                            << "0";
    QTest::newRow("lift 25.5") << Patch { { 1, 255 } } << "."
                               << "liftMax"
                               << "25.5";

    QTest::newRow("qne -300") << Patch { { 2, 65 }, { 3, 44 } } << "."
                              << "qneMin"
                              << "-300";
    QTest::newRow("qne 255/0") << Patch { { 2, 255 }, { 3, 0 } } << "."
                               << "qneMin"
                               << "-16128";
    QTest::newRow("qne bit 7 ignored") << Patch { { 2, 128 + 5 }, { 3, 220 } } << "."
                                       << "qneMin"
                                       << "1500";
    QTest::newRow("qne bit 7 with sign") << Patch { { 2, 128 + 65 }, { 3, 44 } } << "."
                                         << "qneMin"
                                         << "-300";
    QTest::newRow("qne largest") << Patch { { 2, 63 }, { 3, 255 } } << "."
                                 << "qneMin"
                                 << "16383";
    QTest::newRow("qne most negative") << Patch { { 2, 127 }, { 3, 255 } } << "."
                                       << "qneMin"
                                       << "-16383";
    QTest::newRow("qne negative zero") << Patch { { 2, 64 }, { 3, 0 } } << "."
                                       << "qneMin"
                                       << "0";
    QTest::newRow("qne max 1500") << Patch { { 4, 5 }, { 5, 220 } } << "."
                                  << "qneMax"
                                  << "1500";
    QTest::newRow("qne max sign") << Patch { { 4, 64 }, { 5, 20 } } << "."
                                  << "qneMax"
                                  << "-20";

    QTest::newRow("diff 1800") << Patch { { 2, 65 }, { 3, 44 }, { 4, 5 }, { 5, 220 } } << "."
                               << "heightDiffMax"
                               << "1800";
    QTest::newRow("diff 1520") << Patch { { 2, 64 }, { 3, 20 }, { 4, 5 }, { 5, 220 } } << "."
                               << "heightDiffMax"
                               << "1520";
    QTest::newRow("diff negative") << Patch { { 2, 5 }, { 3, 220 }, { 4, 0 }, { 5, 0 } } << "."
                                   << "heightDiffMax"
                                   << "-1500";
    QTest::newRow("diff widest") << Patch { { 2, 127 }, { 3, 255 }, { 4, 63 }, { 5, 255 } } << "."
                                 << "heightDiffMax"
                                 << "32766";

    QTest::newRow("date") << Patch { { 10, 14 }, { 11, 7 }, { 12, 5 } } << "."
                          << "date"
                          << "2005-07-14";
    QTest::newRow("year 2000") << Patch { { 10, 1 }, { 11, 1 }, { 12, 0 } } << "."
                               << "date"
                               << "2000-01-01";
    QTest::newRow("bytes as stored") << Patch { { 10, 123 }, { 11, 0 }, { 12, 255 } } << "."
                                     << "date"
                                     << "2255-00-123";
    QTest::newRow("start 09:05") << Patch { { 13, 9 }, { 14, 5 } } << "."
                                 << "startTime"
                                 << "09:05";
    QTest::newRow("start wide") << Patch { { 13, 200 }, { 14, 0 } } << "."
                                << "startTime"
                                << "200:00";

    QTest::newRow("duration 286") << Patch { { 8, 1 }, { 9, 30 } } << "."
                                  << "duration"
                                  << "04:46";
    QTest::newRow("duration 5") << Patch { { 8, 0 }, { 9, 5 } } << "."
                                << "duration"
                                << "00:05";
    QTest::newRow("duration 0") << Patch { { 8, 0 }, { 9, 0 } } << "."
                                << "duration"
                                << "00:00";
    QTest::newRow("duration 6000") << Patch { { 8, 23 }, { 9, 112 } } << "."
                                   << "duration"
                                   << "100:00";
    QTest::newRow("duration 32767") << Patch { { 8, 127 }, { 9, 255 } } << "."
                                    << "duration"
                                    << "546:07";
    QTest::newRow("duration 32768") << Patch { { 8, 128 }, { 9, 0 } } << "."
                                    << "duration"
                                    << "546:08";
    QTest::newRow("duration 65535") << Patch { { 8, 255 }, { 9, 255 } } << "."
                                    << "duration"
                                    << "1092:15";

    QTest::newRow("speed min 7") << Patch { { 6, 7 } } << "."
                                 << "speedMin"
                                 << "7";
    QTest::newRow("speed max 255") << Patch { { 7, 255 } } << "."
                                   << "speedMax"
                                   << "255";
    QTest::newRow("gain 1000") << Patch { { 15, 0 }, { 16, 3 }, { 17, 232 } } << "."
                               << "totalGain"
                               << "1000";
    QTest::newRow("gain largest") << Patch { { 15, 255 }, { 16, 255 }, { 17, 255 } } << "."
                                  << "totalGain"
                                  << "16777215";
    QTest::newRow("gain high byte") << Patch { { 15, 1 }, { 16, 0 }, { 17, 0 } } << "."
                                    << "totalGain"
                                    << "65536";
}

void TestFlightRecord::fields()
{
    QFETCH(Patch, patch);
    QFETCH(QString, decimalPoint);
    QFETCH(QString, name);
    QFETCH(QString, expected);

    Bytes bytes = sampleBytes();
    for (const auto &[offset, value] : patch)
        bytes[offset] = value;
    const auto decoded = FlightRecord::decodeFlightRecord(9, answerFor(bytes), decimalPoint);
    QCOMPARE(decoded.status, Status::Ok);
    QCOMPARE(decoded.summary.flightNumber, qint16(9));
    QCOMPARE(field(decoded.summary, name), expected);
}

void TestFlightRecord::status_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<Status>("expected");

    Bytes erased;
    erased.fill(255);
    QTest::newRow("erased memory") << answerFor(erased) << Status::NoData;
    Bytes onlyQneMinErased = sampleBytes();
    onlyQneMinErased[2] = onlyQneMinErased[3] = 255;
    QTest::newRow("bytes 2 and 3 are 255") << answerFor(onlyQneMinErased) << Status::NoData;
    Bytes highOnly = sampleBytes();
    highOnly[2] = 255;
    highOnly[3] = 0;
    QTest::newRow("255/0 holds data") << answerFor(highOnly) << Status::Ok;
    Bytes lowOnly = sampleBytes();
    lowOnly[2] = 254;
    lowOnly[3] = 255;
    QTest::newRow("254/255 holds data") << answerFor(lowOnly) << Status::Ok;
    Bytes maxErased = sampleBytes();
    maxErased[4] = maxErased[5] = 255;
    QTest::newRow("only qneMax 255/255") << answerFor(maxErased) << Status::Ok;

    const QString good = answerFor(sampleBytes());
    QTest::newRow("189 characters") << good.chopped(1) << Status::Garbled;
    QTest::newRow("191 characters") << good + "0" << Status::Garbled;
    QTest::newRow("180 characters") << good.left(180) << Status::Garbled;
    QTest::newRow("empty") << QString() << Status::Garbled;

    QString badField = good;
    badField.replace(10 * 3 + 7, 3, "2x6");
    QTest::newRow("letter in a value") << badField << Status::Garbled;
    QString tooLarge = good;
    tooLarge.replace(10 * 8 + 7, 3, "256");
    QTest::newRow("value 256") << tooLarge << Status::Garbled;
    QString highBit = good;
    highBit[10 * 17 + 9] = QChar(0xB2);
    QTest::newRow("high-bit character") << highBit << Status::Garbled;
    // The 19th answer is not decoded, but a garbled one still spoils the run.
    QString badNext = good;
    badNext.replace(10 * 18 + 7, 3, "???");
    QTest::newRow("garbled 19th answer") << badNext << Status::Garbled;
    QString badPrefix = good;
    badPrefix.replace(0, 7, "#######");
    QTest::newRow("prefixes not examined") << badPrefix << Status::Ok;
}

void TestFlightRecord::status()
{
    QFETCH(QString, answer);
    QFETCH(Status, expected);

    const auto decoded = FlightRecord::decodeFlightRecord(4, answer, ".");
    QCOMPARE(decoded.status, expected);
    QCOMPARE(decoded.summary.flightNumber, qint16(4));
    if (expected != Status::Ok)
        QVERIFY(decoded.summary.date.isEmpty() && decoded.summary.startTime.isEmpty());
}

void TestFlightRecord::randomRecordsStayConsistent()
{
    QRandomGenerator random(20050714);
    const QRegularExpression date("^2\\d{3}-\\d{2,3}-\\d{2,3}$");
    const QRegularExpression clock("^\\d{2,4}:\\d{2}$");
    const QRegularExpression rate("^\\d{1,2}(,\\d)?$");
    for (int round = 0; round < 2000; ++round) {
        Bytes bytes;
        for (int &b : bytes)
            b = int(random.bounded(256));
        const auto decoded = FlightRecord::decodeFlightRecord(1, answerFor(bytes), ",");
        if (bytes[2] == 255 && bytes[3] == 255) {
            QCOMPARE(decoded.status, Status::NoData);
            continue;
        }
        QCOMPARE(decoded.status, Status::Ok);
        const FlightSummary &s = decoded.summary;
        QCOMPARE(s.heightDiffMax.toInt(), s.qneMax.toInt() - s.qneMin.toInt());
        QVERIFY2(date.match(s.date).hasMatch(), qPrintable(s.date));
        QVERIFY2(clock.match(s.duration).hasMatch(), qPrintable(s.duration));
        QVERIFY2(rate.match(s.liftMax).hasMatch(), qPrintable(s.liftMax));
        QVERIFY2(rate.match(s.sinkMax).hasMatch(), qPrintable(s.sinkMax));
        const QStringList hm = s.duration.split(':');
        QCOMPARE(hm[0].toInt() * 60 + hm[1].toInt(), bytes[8] * 256 + bytes[9]);
    }
}

void TestFlightRecord::arbitraryTextNeverCrashes()
{
    QRandomGenerator random(47);
    for (int round = 0; round < 2000; ++round) {
        // Mostly the right length, so the value checks get exercised.
        const int length = round % 4 == 0 ? int(random.bounded(400)) : 190;
        QString text(length, Qt::Uninitialized);
        for (QChar &c : text)
            c = round % 2 ? QChar(u'0' + random.bounded(10)) : QChar(char16_t(random.bounded(0x10000)));
        const auto decoded = FlightRecord::decodeFlightRecord(1, text, ".");
        if (decoded.status == Status::Ok)
            QVERIFY(!decoded.summary.date.isEmpty());
    }
}

QTEST_APPLESS_MAIN(TestFlightRecord)
#include "tst_flightrecord.moc"
