#include "instrument/InstrumentInfo.h"

#include <QTest>

class TestInstrumentInfo : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void TestInstrumentInfo::parse_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("serial");

    QTest::newRow("9 characters") << "ORVINKX20" << false << ""
                                  << "";
    QTest::newRow("empty") << "" << false << ""
                           << "";
    QTest::newRow("10 characters, no fields") << "ORVINKX200" << true << ""
                                              << "";
    QTest::newRow("10 spaces") << "          " << true << ""
                               << "";
    QTest::newRow("plain") << "ORVINKX200ABV093012345TAIL" << true << "V0930"
                           << "12345";
    QTest::newRow("spaces anywhere") << " ORVIN KX200 AB V09 30 123 45 TAIL " << true << "V0930"
                                     << "12345";
    QTest::newRow("spaces make it short") << "ORVIN     KX200     " << true << ""
                                          << "";
    QTest::newRow("partial version") << "ORVINKX200ABV09" << true << "V09"
                                     << "";
    QTest::newRow("whole version, no serial") << "ORVINKX200ABV0930" << true << "V0930"
                                              << "";
    QTest::newRow("partial serial") << "ORVINKX200ABV093012" << true << "V0930"
                                    << "12";
    QTest::newRow("only plain spaces removed") << "ORVINKX200A\tV0930\u00a01234" << true << "V0930"
                                               << "\u00a01234";
}

void TestInstrumentInfo::parse()
{
    QFETCH(QString, answer);
    QFETCH(bool, valid);
    QFETCH(QString, version);
    QFETCH(QString, serial);

    const auto info = parseInstrumentInfo(answer);
    QCOMPARE(info.has_value(), valid);
    if (!valid)
        return;
    QCOMPARE(info->version, version);
    QCOMPARE(info->serial, serial);
}

QTEST_APPLESS_MAIN(TestInstrumentInfo)
#include "tst_instrumentinfo.moc"
