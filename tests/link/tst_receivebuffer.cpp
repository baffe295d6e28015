#include "link/ReceiveBuffer.h"

#include <QSignalSpy>
#include <QTest>

#include <numeric>

// The receive buffer keeps a bounded prefix of what arrived and counts the
// rest, so that a line that never goes quiet cannot eat the memory while every
// judgement by length still sees each character.
class TestReceiveBuffer : public QObject
{
    Q_OBJECT

private slots:
    void keepsAPrefixAndCountsEverything_data();
    void keepsAPrefixAndCountsEverything();
    void changesOnlyWhenSomethingChanges();
};

void TestReceiveBuffer::keepsAPrefixAndCountsEverything_data()
{
    QTest::addColumn<QList<qsizetype>>("arrivals"); // sizes of the pieces that arrive
    constexpr qsizetype kept = ReceiveBuffer::kKeptCharacters;
    QTest::newRow("one answer") << QList<qsizetype> { 10 };
    QTest::newRow("exactly the kept length") << QList<qsizetype> { kept - 1, 1 };
    QTest::newRow("one past it") << QList<qsizetype> { kept, 1 };
    QTest::newRow("a piece across the bound") << QList<qsizetype> { 100, kept };
    QTest::newRow("a flood") << QList<qsizetype>(200, 4000);
}

void TestReceiveBuffer::keepsAPrefixAndCountsEverything()
{
    QFETCH(QList<qsizetype>, arrivals);
    ReceiveBuffer buffer;
    QString all;
    for (qsizetype i = 0; i < arrivals.size(); ++i) {
        // Each piece has its own letter, so a piece kept in the wrong place shows.
        const QString piece(arrivals[i], QChar(char16_t(u'a' + i % 26)));
        buffer.append(piece);
        if (all.size() < ReceiveBuffer::kKeptCharacters)
            all += piece;
    }
    const qsizetype total = std::accumulate(arrivals.begin(), arrivals.end(), qsizetype(0));
    QCOMPARE(buffer.size(), total);
    QCOMPARE(buffer.text(), all.left(ReceiveBuffer::kKeptCharacters));
    QCOMPARE(buffer.isTruncated(), total > ReceiveBuffer::kKeptCharacters);
    buffer.clear();
    QCOMPARE(buffer.size(), 0);
    QVERIFY(buffer.text().isEmpty());
    QVERIFY(!buffer.isTruncated());
}

void TestReceiveBuffer::changesOnlyWhenSomethingChanges()
{
    ReceiveBuffer buffer;
    QSignalSpy changed(&buffer, &ReceiveBuffer::changed);
    buffer.clear();
    buffer.append(QString());
    QCOMPARE(changed.size(), 0);
    buffer.append(QStringLiteral("!"));
    buffer.append(QString(ReceiveBuffer::kKeptCharacters, u'x'));
    QCOMPARE(changed.size(), 2); // past the kept length the count still changes
    buffer.clear();
    buffer.clear();
    QCOMPARE(changed.size(), 3);
}

QTEST_MAIN(TestReceiveBuffer)
#include "tst_receivebuffer.moc"
