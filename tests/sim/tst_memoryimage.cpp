#include "sim/MemoryImage.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out += char(v);
    return out;
}

// sink 2.5, lift 3, speeds 7..45, 2005-07-14 (the year given) at 09:05.
RawFlight flight(int qneMin, int qneMax, int minutes, int year, int gain)
{
    return { 25, 30, qneMin, qneMax, 7, 45, minutes, 14, 7, year, 9, 5, gain };
}

} // namespace

class TestMemoryImage : public QObject
{
    Q_OBJECT

private slots:
    void recordEncoding_data();
    void recordEncoding();
    void encodeRefusesWhatDoesNotFit_data();
    void encodeRefusesWhatDoesNotFit();
    void decodeEdges();
    void recordPlacement();
    void textRoundTrip();
    void parse_data();
    void parse();
    void shippedSample();
};

void TestMemoryImage::recordEncoding_data()
{
    QTest::addColumn<RawFlight>("flight");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("typical") << flight(-300, 1500, 286, 2005, 1000)
                             << bytesOf({ 25, 30, 65, 44, 5, 220, 7, 45, 1, 30, 14, 7, 5, 9, 5, 0, 3, 232 });
    QTest::newRow("year 2000, zero altitudes")
        << flight(0, 0, 5, 2000, 0) << bytesOf({ 25, 30, 0, 0, 0, 0, 7, 45, 0, 5, 14, 7, 0, 9, 5, 0, 0, 0 });
    QTest::newRow("largest magnitudes") << flight(-16383, 16383, 6000, 2012,
        16777215) << bytesOf({ 25, 30, 127, 255, 63, 255, 7, 45, 23, 112, 14, 7, 12, 9, 5, 255, 255, 255 });
    QTest::newRow("minus one meter") << flight(
        -1, 256, 59, 2004, 65536) << bytesOf({ 25, 30, 64, 1, 1, 0, 7, 45, 0, 59, 14, 7, 4, 9, 5, 1, 0, 0 });
    QTest::newRow("32768 minutes") << flight(100, 200, 32768, 2255,
        1) << bytesOf({ 25, 30, 0, 100, 0, 200, 7, 45, 128, 0, 14, 7, 255, 9, 5, 0, 0, 1 });
    QTest::newRow("65535 minutes") << flight(100, 200, 65535, 2001,
        255) << bytesOf({ 25, 30, 0, 100, 0, 200, 7, 45, 255, 255, 14, 7, 1, 9, 5, 0, 0, 255 });
}

void TestMemoryImage::recordEncoding()
{
    QFETCH(RawFlight, flight);
    QFETCH(QByteArray, bytes);

    QCOMPARE(MemoryImage::encodeRecord(flight).value_or("refused"), bytes);
    const auto decoded = MemoryImage::decodeRecord(bytes);
    QVERIFY(decoded);
    QVERIFY(*decoded == flight);
}

void TestMemoryImage::encodeRefusesWhatDoesNotFit_data()
{
    QTest::addColumn<RawFlight>("flight");
    const RawFlight good = flight(0, 100, 10, 2005, 10);
    QTest::newRow("qneMin below -16383") << flight(-16384, 100, 10, 2005, 10);
    QTest::newRow("qneMax above 16383") << flight(0, 16384, 10, 2005, 10);
    QTest::newRow("gain above 24 bits") << flight(0, 100, 10, 2005, 16777216);
    QTest::newRow("negative gain") << flight(0, 100, 10, 2005, -1);
    QTest::newRow("duration above 16 bits") << flight(0, 100, 65536, 2005, 10);
    QTest::newRow("year before 2000") << flight(0, 100, 10, 1999, 10);
    QTest::newRow("year after 2255") << flight(0, 100, 10, 2256, 10);
    RawFlight f = good;
    f.sinkTenths = 256;
    QTest::newRow("sink above a byte") << f;
    f = good;
    f.speedMin = -1;
    QTest::newRow("negative speed") << f;
}

void TestMemoryImage::encodeRefusesWhatDoesNotFit()
{
    QFETCH(RawFlight, flight);
    QVERIFY(!MemoryImage::encodeRecord(flight));
    MemoryImage image;
    QVERIFY(!image.setFlight(1, flight));
    QCOMPARE(image.recordBytes(1), QByteArray(18, char(255)));
}

void TestMemoryImage::decodeEdges()
{
    QByteArray record(18, char(255));
    QVERIFY(!MemoryImage::decodeRecord(record));
    // Only the two low-altitude bytes mark a record empty.
    record[3] = 0;
    const auto notEmpty = MemoryImage::decodeRecord(record);
    QVERIFY(notEmpty);
    QCOMPARE(notEmpty->qneMin, -16128);
    // Bit 7 of the high byte is not part of the altitude.
    QCOMPARE(MemoryImage::decodeRecord(
                 bytesOf({ 0, 0, 128 + 5, 220, 128 + 64 + 1, 44, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0 }))
                 ->qneMax,
        -300);
    QVERIFY(!MemoryImage::decodeRecord(QByteArray(17, '\0')));
}

void TestMemoryImage::recordPlacement()
{
    MemoryImage image;
    const RawFlight f = flight(-300, 1500, 286, 2005, 1000);
    QVERIFY(image.setFlight(1, f));
    QVERIFY(image.setFlight(100, f));
    QVERIFY(!image.setFlight(0, f));
    QVERIFY(!image.setFlight(101, f));
    QCOMPARE(image.byte(409), quint8(255));
    QCOMPARE(image.byte(410), quint8(25));
    QCOMPARE(image.byte(427), quint8(232));
    QCOMPARE(image.byte(428), quint8(255));
    QCOMPARE(image.byte(2192), quint8(25));
    QCOMPARE(image.byte(2209), quint8(232));
    QCOMPARE(image.byte(2210), quint8(255));
    QCOMPARE(image.usedFlightNumbers(), QList<int>({ 1, 100 }));

    image.eraseFlight(1);
    QVERIFY(!image.flight(1));
    QCOMPARE(image.usedFlightNumbers(), QList<int>({ 100 }));

    image.setFlightCount(12);
    QCOMPARE(image.byte(47), quint8(12));
    QVERIFY(!image.setPilotName("SHORT"));
    QVERIFY(image.setPilotName("ABC     "));
    QCOMPARE(image.bytes(208, 8), QByteArray("ABC     "));
    QCOMPARE(image.byte(216), quint8(255));
}

void TestMemoryImage::textRoundTrip()
{
    MemoryImage image = MemoryImage::sample();
    image.setByte(0, 0);
    image.setByte(392, 7); // the unused record before flight 1
    image.setByte(4095, 1); // the last address
    image.setPilotName("J\xD6RG,\x01 ");
    QByteArray partial(18, char(255));
    partial[0] = 3; // a record with data but no altitude
    QVERIFY(image.setRecordBytes(60, partial));
    for (int a = 3000; a < 3040; ++a) // a run longer than one line
        image.setByte(a, quint8(a % 256));

    const auto reparsed = MemoryImage::parse(image.toText());
    QVERIFY(reparsed);
    QVERIFY(*reparsed == image);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("logbook.mem"));
    QString error;
    QVERIFY2(image.save(path, &error), qPrintable(error));
    MemoryImage loaded;
    loaded.setByte(5, 5); // load replaces what was there
    QVERIFY2(loaded.load(path, &error), qPrintable(error));
    QVERIFY(loaded == image);

    QVERIFY(!loaded.load(dir.filePath(QStringLiteral("missing.mem")), &error));
    QVERIFY(loaded == image);
}

void TestMemoryImage::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("empty") << QByteArray() << true << QString();
    QTest::newRow("comments and blanks")
        << QByteArray("# header\n\n  47: 3 # count\n\t\n208:65 66\r\n") << true << QString();
    QTest::newRow("last address") << QByteArray("4095: 0") << true << QString();
    QTest::newRow("value too large") << QByteArray("47: 3\n48: 256") << false << QStringLiteral("line 2");
    QTest::newRow("negative value") << QByteArray("47: -1") << false << QStringLiteral("value");
    QTest::newRow("address too large") << QByteArray("4096: 1") << false << QStringLiteral("address");
    QTest::newRow("run past the end") << QByteArray("4095: 1 2") << false << QStringLiteral("end of memory");
    QTest::newRow("no colon") << QByteArray("47 3") << false << QStringLiteral("ADDRESS");
    QTest::newRow("not a number") << QByteArray("47: 3x") << false << QStringLiteral("3x");
    QTest::newRow("no values") << QByteArray("47:") << false << QStringLiteral("no values");
}

void TestMemoryImage::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(QString, errorPart);

    QString error;
    const auto image = MemoryImage::parse(text, &error);
    QCOMPARE(bool(image), valid);
    if (!valid) {
        QVERIFY2(error.contains(errorPart), qPrintable(error));
        return;
    }
    if (text.contains("47: 3")) {
        QCOMPARE(image->byte(47), quint8(3));
        QCOMPARE(image->bytes(208, 3), QByteArray("AB\xFF"));
    }
}

void TestMemoryImage::shippedSample()
{
    MemoryImage shipped;
    QString error;
    QVERIFY2(
        shipped.load(QStringLiteral(TOLMERA_SOURCE_DIR "/sim/memory/sample.mem"), &error), qPrintable(error));
    // The file is generated from the table compiled into the simulator; they must not drift apart.
    QVERIFY(shipped == MemoryImage::sample());

    const QList<int> used = shipped.usedFlightNumbers();
    QCOMPARE(shipped.flightCount(), int(used.size()));
    QCOMPARE(used.front(), 1);
    QCOMPARE(used.back(), shipped.flightCount());
    QCOMPARE(shipped.pilotName(), QByteArray(8, ' '));

    bool year2000 = false, negativeQne = false, overTenHours = false;
    for (int n : used) {
        const auto f = shipped.flight(n);
        QVERIFY(f);
        year2000 |= f->year == 2000;
        negativeQne |= f->qneMin < 0;
        overTenHours |= f->durationMinutes > 600;
        QVERIFY(f->qneMin <= f->qneMax);
        QVERIFY(f->month >= 1 && f->month <= 12 && f->day >= 1 && f->day <= 31);
        QVERIFY(f->hour < 24 && f->minute < 60);
    }
    QVERIFY(year2000 && negativeQne && overTenHours);
}

QTEST_APPLESS_MAIN(TestMemoryImage)
#include "tst_memoryimage.moc"
