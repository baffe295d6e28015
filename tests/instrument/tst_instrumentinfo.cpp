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
    const auto row
        = [](const char *tag, const QString &answer, bool valid, const QString &version,
              const QString &serial) { QTest::newRow(tag) << answer << valid << version << serial; };

    row("9 characters", "ORVINKX20", false, "", "");
    row("empty", "", false, "", "");
    row("10 characters, no fields", "ORVINKX200", true, "", "");
    row("10 spaces", "          ", true, "", "");
    row("plain", "ORVINKX200ABV093012345TAIL", true, "V0930", "12345");
    row("spaces anywhere", " ORVIN KX200 AB V09 30 123 45 TAIL ", true, "V0930", "12345");
    row("spaces make it short", "ORVIN     KX200     ", true, "", "");
    row("partial version", "ORVINKX200ABV09", true, "V09", "");
    row("whole version, no serial", "ORVINKX200ABV0930", true, "V0930", "");
    row("partial serial", "ORVINKX200ABV093012", true, "V0930", "12");
    row("only plain spaces removed", "ORVINKX200A\tV0930\u00a01234", true, "V0930", "\u00a01234");
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
