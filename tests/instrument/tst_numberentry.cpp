#include "instrument/NumberEntry.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestNumberEntry : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void roundHalfEven_data();
    void roundHalfEven();
    void toInt16_data();
    void toInt16();
};

void TestNumberEntry::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("localeName");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");
    const auto row = [](const char *tag, const QString &text, const char *locale, bool valid, double value) {
        QTest::newRow(tag) << text << QString::fromLatin1(locale) << valid << value;
    };

    const double inf = std::numeric_limits<double>::infinity();
    row("plain", "5", "C", true, 5.0);
    row("leading zeros", "007", "C", true, 7.0);
    row("surrounding blanks", "  42\t ", "C", true, 42.0);
    row("plus", "+3", "C", true, 3.0);
    row("minus", "-3", "C", true, -3.0);
    row("point", "2.5", "C", true, 2.5);
    row("locale comma", "2,5", "de_DE", true, 2.5);
    row("point in a comma locale", "2.5", "de_DE", true, 2.5);
    row("comma in a point locale", "2,5", "C", false, 0.0);
    row("leading point", ".5", "C", true, 0.5);
    row("trailing point", "5.", "C", true, 5.0);
    row("huge", "1" + QString(400, '0'), "C", true, inf);
    row("huge negative", "-9" + QString(400, '9'), "C", true, -inf);
    row("tiny", "0." + QString(400, '0') + "1", "C", true, 0.0);

    row("empty", "", "C", false, 0.0);
    row("blanks", "   ", "C", false, 0.0);
    row("letters", "abc", "C", false, 0.0);
    row("trailing letter", "12a", "C", false, 0.0);
    row("exponent", "1e3", "C", false, 0.0);
    row("upper exponent", "1E3", "C", false, 0.0);
    row("hex", "0x10", "C", false, 0.0);
    row("inner blank", "1 0", "C", false, 0.0);
    row("blank after sign", "- 5", "C", false, 0.0);
    row("thousands separator", "1,000", "en_US", false, 0.0);
    row("grouped with points", "1.000.000", "de_DE", false, 0.0);
    row("two points", "1.5.0", "C", false, 0.0);
    row("point and comma", "1.5,0", "de_DE", false, 0.0);
    row("two signs", "+-1", "C", false, 0.0);
    row("trailing sign", "1-", "C", false, 0.0);
    row("only a point", ".", "C", false, 0.0);
    row("only a sign", "-", "C", false, 0.0);
    row("infinity", "inf", "C", false, 0.0);
    row("nan", "nan", "C", false, 0.0);
    row("arabic-indic digit", "\u0661", "C", false, 0.0);
    row("fullwidth digit", "\uff11", "C", false, 0.0);
}

void TestNumberEntry::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, localeName);
    QFETCH(bool, valid);
    QFETCH(double, value);

    const auto result = NumberEntry::parse(text, QLocale(localeName));
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(*result, value);
}

void TestNumberEntry::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");

    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("3.5") << 3.5 << 4.0;
    QTest::newRow("-2.5") << -2.5 << -2.0;
    QTest::newRow("-3.5") << -3.5 << -4.0;
    QTest::newRow("0.5") << 0.5 << 0.0;
    QTest::newRow("1.5") << 1.5 << 2.0;
    QTest::newRow("2.4") << 2.4 << 2.0;
    QTest::newRow("2.6") << 2.6 << 3.0;
    QTest::newRow("-2.6") << -2.6 << -3.0;
    QTest::newRow("whole") << 7.0 << 7.0;
    QTest::newRow("just above a half") << 2.5000001 << 3.0;
    QTest::newRow("very large") << 1e20 << 1e20;
}

void TestNumberEntry::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(double, expected);
    QCOMPARE(NumberEntry::roundHalfEven(value), expected);
}

void TestNumberEntry::toInt16_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("expected");

    QTest::newRow("100.5") << 100.5 << true << 100;
    QTest::newRow("largest") << 32767.0 << true << 32767;
    QTest::newRow("rounds down to largest") << 32767.4 << true << 32767;
    QTest::newRow("rounds up past largest") << 32767.5 << false << 0;
    QTest::newRow("smallest") << -32768.0 << true << -32768;
    QTest::newRow("halves to the even smallest") << -32768.5 << true << -32768;
    QTest::newRow("below smallest") << -32769.0 << false << 0;
    QTest::newRow("huge") << 1e300 << false << 0;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << false << 0;
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << false << 0;
}

void TestNumberEntry::toInt16()
{
    QFETCH(double, value);
    QFETCH(bool, fits);
    QFETCH(int, expected);

    const auto result = NumberEntry::toInt16(value);
    QCOMPARE(result.has_value(), fits);
    if (fits)
        QCOMPARE(int(*result), expected);
}

QTEST_APPLESS_MAIN(TestNumberEntry)
#include "tst_numberentry.moc"
