#include "instrument/FlightRecord.h"
#include "tests/support/MemoryFlights.h"

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

// Flight D of the test logbooks: 2005-07-14 12:05, 01:30, QNE 850..2130, gain 3400,
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

    QCOMPARE(decoded.summary, MemoryFlights::textsD(3));
}

void TestFlightRecord::fields_data()
{
    QTest::addColumn<Patch>("patch");
    QTest::addColumn<QString>("decimalPoint");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *tag, const Patch &patch, const char *name, const char *expected,
                         const char *decimalPoint = ".") {
        QTest::newRow(tag) << patch << QString::fromLatin1(decimalPoint) << QString::fromLatin1(name)
                           << QString::fromLatin1(expected);
    };

    row("sink 2.5", { { 0, 25 } }, "sinkMax", "2.5");
    row("sink 2,5", { { 0, 25 } }, "sinkMax", "2,5", ",");
    row("sink 0.8", { { 0, 8 } }, "sinkMax", "0.8");
    row("lift 3", { { 1, 30 } }, "liftMax", "3");
    row("lift 0", { { 1, 0 } }, "liftMax", "0", ",");
    row("lift 25.5", { { 1, 255 } }, "liftMax", "25.5");

    row("qne -300", { { 2, 65 }, { 3, 44 } }, "qneMin", "-300");
    row("qne 255/0", { { 2, 255 }, { 3, 0 } }, "qneMin", "-16128");
    row("qne bit 7 ignored", { { 2, 128 + 5 }, { 3, 220 } }, "qneMin", "1500");
    row("qne bit 7 with sign", { { 2, 128 + 65 }, { 3, 44 } }, "qneMin", "-300");
    row("qne largest", { { 2, 63 }, { 3, 255 } }, "qneMin", "16383");
    row("qne most negative", { { 2, 127 }, { 3, 255 } }, "qneMin", "-16383");
    row("qne negative zero", { { 2, 64 }, { 3, 0 } }, "qneMin", "0");
    row("qne max 1500", { { 4, 5 }, { 5, 220 } }, "qneMax", "1500");
    row("qne max sign", { { 4, 64 }, { 5, 20 } }, "qneMax", "-20");

    row("diff 1800", { { 2, 65 }, { 3, 44 }, { 4, 5 }, { 5, 220 } }, "heightDiffMax", "1800");
    row("diff 1520", { { 2, 64 }, { 3, 20 }, { 4, 5 }, { 5, 220 } }, "heightDiffMax", "1520");
    row("diff negative", { { 2, 5 }, { 3, 220 }, { 4, 0 }, { 5, 0 } }, "heightDiffMax", "-1500");
    row("diff widest", { { 2, 127 }, { 3, 255 }, { 4, 63 }, { 5, 255 } }, "heightDiffMax", "32766");

    row("date", { { 10, 14 }, { 11, 7 }, { 12, 5 } }, "date", "2005-07-14");
    row("year 2000", { { 10, 1 }, { 11, 1 }, { 12, 0 } }, "date", "2000-01-01");
    row("bytes as stored", { { 10, 123 }, { 11, 0 }, { 12, 255 } }, "date", "2255-00-123");
    row("start 09:05", { { 13, 9 }, { 14, 5 } }, "startTime", "09:05");
    row("start wide", { { 13, 200 }, { 14, 0 } }, "startTime", "200:00");

    row("duration 286", { { 8, 1 }, { 9, 30 } }, "duration", "04:46");
    row("duration 5", { { 8, 0 }, { 9, 5 } }, "duration", "00:05");
    row("duration 0", { { 8, 0 }, { 9, 0 } }, "duration", "00:00");
    row("duration 6000", { { 8, 23 }, { 9, 112 } }, "duration", "100:00");
    row("duration 32767", { { 8, 127 }, { 9, 255 } }, "duration", "546:07");
    row("duration 32768", { { 8, 128 }, { 9, 0 } }, "duration", "546:08");
    row("duration 65535", { { 8, 255 }, { 9, 255 } }, "duration", "1092:15");

    row("speed min 7", { { 6, 7 } }, "speedMin", "7");
    row("speed max 255", { { 7, 255 } }, "speedMax", "255");
    row("gain 1000", { { 15, 0 }, { 16, 3 }, { 17, 232 } }, "totalGain", "1000");
    row("gain largest", { { 15, 255 }, { 16, 255 }, { 17, 255 } }, "totalGain", "16777215");
    row("gain high byte", { { 15, 1 }, { 16, 0 }, { 17, 0 } }, "totalGain", "65536");
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

QTEST_APPLESS_MAIN(TestFlightRecord)
#include "tst_flightrecord.moc"
