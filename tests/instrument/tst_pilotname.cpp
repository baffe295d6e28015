#include "instrument/CodePage.h"
#include "instrument/PilotName.h"

#include <QTest>

using Codes = QList<int>;

class TestPilotName : public QObject
{
    Q_OBJECT

private slots:
    void fromCodes_data();
    void fromCodes();
    void everyCodeIsOneCharacterAndRoundTrips();
    void codesFor_data();
    void codesFor();
    void savedNameReadsBackInUpperCase();
};

void TestPilotName::fromCodes_data()
{
    QTest::addColumn<Codes>("codes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing trimmed") << Codes { 84, 69, 83, 84, 32, 32, 32, 32 } << "TEST    ";
    QTest::newRow("comma") << Codes { 83, 77, 73, 84, 72, 44, 74, 32 } << "SMITH,J ";
    QTest::newRow("euro and caron") << Codes { 0x80, 0x8A, 0x9E, 0x9F } << "\u20ac\u0160\u017e\u0178";
    QTest::newRow("latin-1 half") << Codes { 0xC9, 0xDF, 0xE9, 0xFF } << "\u00c9\u00df\u00e9\u00ff";
    QTest::newRow("codes windows-1252 leaves undefined")
        << Codes { 0x81, 0x8D, 0x8F, 0x90, 0x9D } << "\u0081\u008d\u008f\u0090\u009d";
    QTest::newRow("zero byte") << Codes { 0, 65 } << QString(QChar(0)) + "A";
}

void TestPilotName::fromCodes()
{
    QFETCH(Codes, codes);
    QFETCH(QString, expected);
    QCOMPARE(PilotName::fromCodes(codes), expected);
}

void TestPilotName::everyCodeIsOneCharacterAndRoundTrips()
{
    Codes all;
    for (int code = 0; code < 256; ++code)
        all.append(code);
    const QString text = PilotName::fromCodes(all);
    QCOMPARE(text.size(), 256);
    for (int code = 0; code < 256; ++code) {
        QCOMPARE(CodePage::codeFor(text.at(code).unicode()), code);
        QCOMPARE(CodePage::encode(QString(text.at(code))), QByteArray(1, char(code)));
    }
}

void TestPilotName::codesFor_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Codes>("expected");

    QTest::newRow("abc") << "abc" << Codes { 65, 66, 67, 32, 32, 32, 32, 32 };
    QTest::newRow("comma") << "SMITH,J" << Codes { 83, 77, 73, 84, 72, 44, 74, 32 };
    QTest::newRow("empty") << "" << Codes { 32, 32, 32, 32, 32, 32, 32, 32 };
    QTest::newRow("one space") << " " << Codes { 32, 32, 32, 32, 32, 32, 32, 32 };
    QTest::newRow("eight exactly") << "abcdefgh" << Codes { 65, 66, 67, 68, 69, 70, 71, 72 };
    QTest::newRow("longer than eight") << "abcdefghij" << Codes { 65, 66, 67, 68, 69, 70, 71, 72 };
    QTest::newRow("e acute") << "Jos\u00e9" << Codes { 74, 79, 83, 0xC9, 32, 32, 32, 32 };
    QTest::newRow("sharp s keeps one character")
        << "Stra\u00dfe" << Codes { 83, 84, 82, 65, 0xDF, 69, 32, 32 };
    QTest::newRow("euro") << "\u20ac5" << Codes { 0x80, 53, 32, 32, 32, 32, 32, 32 };
    QTest::newRow("y diaeresis upper case in 0x9F") << "\u00ff" << Codes { 0x9F, 32, 32, 32, 32, 32, 32, 32 };
    QTest::newRow("s caron") << "\u0161" << Codes { 0x8A, 32, 32, 32, 32, 32, 32, 32 };
    QTest::newRow("micro sign keeps its code") << "\u00b5" << Codes { 0xB5, 32, 32, 32, 32, 32, 32, 32 };
    QTest::newRow("L stroke has no code") << "\u0141ukasz" << Codes { 63, 85, 75, 65, 83, 90, 32, 32 };
    QTest::newRow("question mark") << "?" << Codes { 63, 32, 32, 32, 32, 32, 32, 32 };
    QTest::newRow("emoji is one character")
        << QStringLiteral("A\U0001F600B") << Codes { 65, 63, 66, 32, 32, 32, 32, 32 };
    QTest::newRow("emoji at the end of eight")
        << QStringLiteral("ABCDEFG\U0001F600XY") << Codes { 65, 66, 67, 68, 69, 70, 71, 63 };
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + "A"
                                    << Codes { 63, 65, 32, 32, 32, 32, 32, 32 };
}

void TestPilotName::codesFor()
{
    QFETCH(QString, typed);
    QFETCH(Codes, expected);
    QCOMPARE(PilotName::codesFor(typed), expected);
}

void TestPilotName::savedNameReadsBackInUpperCase()
{
    QCOMPARE(PilotName::fromCodes(PilotName::codesFor("abc")), QStringLiteral("ABC     "));
    QCOMPARE(
        PilotName::fromCodes(PilotName::codesFor("\u00e9l\u00e8ve")), QStringLiteral("\u00c9L\u00c8VE   "));
}

QTEST_APPLESS_MAIN(TestPilotName)
#include "tst_pilotname.moc"
