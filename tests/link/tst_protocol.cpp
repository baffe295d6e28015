#include "link/Protocol.h"

#include <QTest>

using IntList = QList<int>;

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void explode_data();
    void explode();
    void readRunValues_data();
    void readRunValues();
    void thirdValueIsCharacters28To30();
};

void TestProtocol::commands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("expected");

    QTest::newRow("flight count") << Protocol::readCommand(47) << "R000047";
    QTest::newRow("flight 1 first byte") << Protocol::readCommand(410) << "R000410";
    QTest::newRow("flight 100 next record") << Protocol::readCommand(2210) << "R002210";
    QTest::newRow("six digits") << Protocol::readCommand(999999) << "R999999";
    QTest::newRow("write A at 208") << Protocol::writeCommand(208, 65) << "W000208065";
    QTest::newRow("write space at 215") << Protocol::writeCommand(215, 32) << "W000215032";
    QTest::newRow("write 255") << Protocol::writeCommand(0, 255) << "W000000255";
}

void TestProtocol::commands()
{
    QFETCH(QString, command);
    QFETCH(QString, expected);
    QCOMPARE(command, expected);
}

void TestProtocol::explode_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("fill");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *tag, const QString &source, const QString &fill,
                         const QString &expected) { QTest::newRow(tag) << source << fill << expected; };

    row("read command", "R000047", ",", "R,0,0,0,0,4,7");
    row("digits", "123", ",", "1,2,3");
    row("one character", "A", ",", "A");
    row("empty", "", ",", "");
    row("comma in source", "a,b", ",", "a,,,b");
    row("longer fill", "ab", "--", "a--b");
    row("connection test", "T", ",", "T");
    row("high Latin-1", QString::fromLatin1("\xe9\xff"), ",", QString::fromLatin1("\xe9,\xff"));
}

void TestProtocol::explode()
{
    QFETCH(QString, source);
    QFETCH(QString, fill);
    QFETCH(QString, expected);
    const QString result = Protocol::explode(source, fill);
    QCOMPARE(result, expected);
    if (!source.isEmpty())
        QCOMPARE(result.size(), source.size() + (source.size() - 1) * fill.size());
}

void TestProtocol::readRunValues_data()
{
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<IntList>("values");

    const QString eightReads = QStringLiteral("R000208084R000209069R000210083R000211084"
                                              "R000212032R000213032R000214032R000215032");
    QTest::newRow("8 reads") << eightReads << 8 << true << IntList { 84, 69, 83, 84, 32, 32, 32, 32 };
    QTest::newRow("8 reads, 79 characters") << eightReads.chopped(1) << 8 << false << IntList {};
    QTest::newRow("8 reads, 81 characters") << eightReads + "0" << 8 << false << IntList {};
    QTest::newRow("count 12") << "R000047012" << 1 << true << IntList { 12 };
    QTest::newRow("9 characters") << "R00004701" << 1 << false << IntList {};
    QTest::newRow("11 characters") << "R0000470120" << 1 << false << IntList {};
    QTest::newRow("empty buffer, no reads") << "" << 0 << false << IntList {};
    QTest::newRow("negative count") << "" << -1 << false << IntList {};
    // The first seven characters of an answer are never examined.
    QTest::newRow("free prefix") << QString::fromLatin1("\xff\x01 ?xyz000") << 1 << true << IntList { 0 };
    QTest::newRow("bounds") << "R000000000R000001255R000002007" << 3 << true << IntList { 0, 255, 7 };

    // A value field that is not three digits 000..255 spoils the whole run,
    // whichever answer carries it.
    const QStringList garbled { "256", "999", " 12", "12 ", "-12", "+12", "1 2", "12a", "0x1",
        "\u00b9"
        "23",
        "\u0661"
        "23",
        "\u00ff"
        "12",
        "12\u0080" };
    for (const QString &field : garbled) {
        QTest::addRow("garbled first '%s'", qPrintable(field))
            << "R000410" + field + "R000411001" << 2 << false << IntList {};
        QTest::addRow("garbled last '%s'", qPrintable(field))
            << "R000410001R000411" + field << 2 << false << IntList {};
    }
}

void TestProtocol::readRunValues()
{
    QFETCH(QString, buffer);
    QFETCH(int, count);
    QFETCH(bool, valid);
    QFETCH(IntList, values);

    const auto result = Protocol::readRunValues(buffer, count);
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(*result, values);
}

void TestProtocol::thirdValueIsCharacters28To30()
{
    // Prefixes full of digits, so a slice one character off would read a
    // different but still valid number.
    const QString buffer = QStringLiteral("1111111012"
                                          "2222222022"
                                          "3333333033"
                                          "4444444045");
    const auto values = Protocol::readRunValues(buffer, 4);
    QVERIFY(values);
    QCOMPARE(buffer.mid(27, 3), QStringLiteral("033"));
    QCOMPARE(values->at(2), 33);
    QCOMPARE(*values, (QList<int> { 12, 22, 33, 45 }));
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
