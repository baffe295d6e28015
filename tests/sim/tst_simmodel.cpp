#include "sim/CommandParser.h"
#include "sim/SimFault.h"
#include "sim/SimModel.h"
#include "sim/Transcript.h"

#include <QTest>

namespace {

// The sample logbook holds 25 flights and a blank pilot name.
constexpr const char *countAnswer = "R000047025";

QList<QByteArray> replyBytes(const QList<Reply> &replies)
{
    QList<QByteArray> out;
    for (const Reply &r : replies)
        out.append(r.bytes);
    return out;
}

} // namespace

class TestSimModel : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void answerComesWithLastCharacter();
    void writes_data();
    void writes();
    void faults_data();
    void faults();
    void faultCountsOnlyMatchingCommands();
    void lateAndDelay();
    void hangUp();
    void globalSilence();
    void faultSpec_data();
    void faultSpec();
    void transcriptEscaping();
    void transcriptLines_data();
    void transcriptLines();
};

void TestSimModel::answers_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QList<QByteArray>>("expected");

    QTest::newRow("connection test") << QByteArray("T") << QList<QByteArray> { "!" };
    QTest::newRow("information") << QByteArray("V") << QList<QByteArray> { "TOLMERA ORVIN V2.10 04711" };
    QTest::newRow("flight count") << QByteArray("R000047") << QList<QByteArray> { countAnswer };
    QTest::newRow("pilot name byte") << QByteArray("R000208") << QList<QByteArray> { "R000208032" };
    QTest::newRow("first record byte") << QByteArray("R000410") << QList<QByteArray> { "R000410032" };
    QTest::newRow("erased byte") << QByteArray("R002210") << QList<QByteArray> { "R002210255" };
    QTest::newRow("beyond memory") << QByteArray("R999999") << QList<QByteArray> { "R999999255" };
    QTest::newRow("several at once") << QByteArray(
        "TVR000047T") << QList<QByteArray> { "!", "TOLMERA ORVIN V2.10 04711", countAnswer, "!" };
    QTest::newRow("incomplete read") << QByteArray("R00004") << QList<QByteArray> {};
    QTest::newRow("junk before") << QByteArray("x\r\n\xFF t!T") << QList<QByteArray> { "!" };
    QTest::newRow("read cut by T") << QByteArray("R00T") << QList<QByteArray> { "!" };
    QTest::newRow("read restarted") << QByteArray("R0000R000047") << QList<QByteArray> { countAnswer };
    QTest::newRow("read cut by junk") << QByteArray("R000x047") << QList<QByteArray> {};
    QTest::newRow("write cut by read") << QByteArray("W000208R000208") << QList<QByteArray> { "R000208032" };
    QTest::newRow("digits alone") << QByteArray("000047") << QList<QByteArray> {};
}

void TestSimModel::answers()
{
    QFETCH(QByteArray, input);
    QFETCH(QList<QByteArray>, expected);

    SimModel model;
    QCOMPARE(replyBytes(model.receive(input)), expected);
}

void TestSimModel::answerComesWithLastCharacter()
{
    // The reader sends reads and writes one character at a time.
    for (const QByteArray &command : { QByteArray("R000047"), QByteArray("W000208065") }) {
        SimModel model;
        for (int i = 0; i < command.size() - 1; ++i)
            QVERIFY(model.receive(command.mid(i, 1)).isEmpty());
        const QList<Reply> last = model.receive(command.right(1));
        QCOMPARE(last.size(), 1);
        QCOMPARE(last.front().bytes.left(command.size()), command);
    }
}

void TestSimModel::writes_data()
{
    QTest::addColumn<QByteArray>("write");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("stored");

    QTest::newRow("pilot name letter") << QByteArray("W000208065") << 208 << 65;
    QTest::newRow("zero") << QByteArray("W000047000") << 47 << 0;
    QTest::newRow("last address") << QByteArray("W004095255") << 4095 << 255;
    QTest::newRow("value above 255 ignored") << QByteArray("W000208256") << 208 << 32;
    QTest::newRow("value 999 ignored") << QByteArray("W000047999") << 47 << 25;
    QTest::newRow("address beyond memory") << QByteArray("W004096001") << -1 << -1;
}

void TestSimModel::writes()
{
    QFETCH(QByteArray, write);
    QFETCH(int, address);
    QFETCH(int, stored);

    SimModel model;
    const MemoryImage before = model.memory();
    QCOMPARE(replyBytes(model.receive(write)), QList<QByteArray> { write });
    if (address < 0) {
        QVERIFY(model.memory() == before);
        return;
    }
    QCOMPARE(int(model.memory().byte(address)), stored);
    const QByteArray read = "R" + write.mid(1, 6);
    QCOMPARE(replyBytes(model.receive(read)),
        QList<QByteArray> { read + QByteArray::number(stored).rightJustified(3, '0') });
}

void TestSimModel::faults_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QList<QByteArray>>("expected");
    const auto row
        = [](const char *tag, const QStringList &faults, const QByteArray &input,
              const QList<QByteArray> &expected) { QTest::newRow(tag) << faults << input << expected; };

    row("silent T", { "silent T" }, "TR000047", { countAnswer });
    row("extra default", { "extra T" }, "T", { "!#" });
    row("extra text", { "extra:\\x0d\\x0aOK R" }, "R000047", { "R000047025\r\nOK" });
    row("short default", { "short R" }, "R000047", { "R00004702" });
    row("short 3", { "short:3 R" }, "R000047", { "R000047" });
    row("short all", { "short:20 T" }, "TT", {});
    row("long 2", { "long:2 R" }, "R000047", { "R00004702500" });
    row("garble read", { "garble R" }, "R000047", { "R0000472x5" });
    row("garble write", { "garble W" }, "W000208065", { "W0002082x5" });
    row("garble T", { "garble T" }, "T", { "?" });
    row("highbit read", { "highbit R000047" }, "R000047", { "R000047\xB2\xB5\xB5" });
    row("highbit T", { "highbit T" }, "T", { "\xA1" });
    row("prefix hits a range", { "silent R0002" }, "R000047R000208R000215R000300",
        { countAnswer, "R000300255" });
    row("exact address", { "short R000464" }, "R000463R000464R000465",
        { "R000463232", "R00046401", "R000465009" });
    row("first two only", { "silent T 2" }, "TTT", { "!" });
    row("every command", { "extra *" }, "TV", { "!#", "TOLMERA ORVIN V2.10 04711#" });
    row("content before length", { "short R", "garble R" }, "R000047", { "R0000472x" });
    row("other command untouched", { "silent W" }, "T", { "!" });
}

void TestSimModel::faults()
{
    QFETCH(QStringList, faults);
    QFETCH(QByteArray, input);
    QFETCH(QList<QByteArray>, expected);

    SimModel model;
    for (const QString &faultText : faults) {
        const auto fault = SimFault::parse(faultText);
        QVERIFY2(fault, qPrintable(faultText));
        model.addFault(*fault);
    }
    QCOMPARE(replyBytes(model.receive(input)), expected);
    model.clearFaults();
    QCOMPARE(replyBytes(model.receive("T")), QList<QByteArray> { "!" });
}

void TestSimModel::faultCountsOnlyMatchingCommands()
{
    SimModel model;
    model.addFault(*SimFault::parse("garble R000047 1"));
    QCOMPARE(replyBytes(model.receive("TR000208R000047R000047")),
        (QList<QByteArray> { "!", "R000208032", "R0000472x5", countAnswer }));
    QCOMPARE(model.faults().front().remaining, 0);

    // A silenced write is still carried out.
    model.addFault(*SimFault::parse("silent W"));
    QVERIFY(model.receive("W000208066").isEmpty());
    QCOMPARE(model.memory().byte(208), quint8(66));
}

void TestSimModel::lateAndDelay()
{
    SimModel model;
    model.setAnswerDelay(1);
    model.addFault(*SimFault::parse("late:80 V"));
    const QList<Reply> replies = model.receive("TV");
    QCOMPARE(replies.size(), 2);
    QCOMPARE(replies[0], (Reply { "!", 1, false }));
    QCOMPARE(replies[1], (Reply { "TOLMERA ORVIN V2.10 04711", 80, false }));
}

void TestSimModel::hangUp()
{
    SimModel model;
    model.addFault(*SimFault::parse("hangup W000209"));
    const QList<Reply> replies = model.receive("W000208065W000209066W000210067T");
    QCOMPARE(replies.size(), 2);
    QCOMPARE(replies[0].bytes, QByteArray("W000208065"));
    QVERIFY(replies[1].hangUp);
    QVERIFY(replies[1].bytes.isEmpty());
    QVERIFY(model.hasHungUp());
    QCOMPARE(model.memory().bytes(208, 3), QByteArray("A  "));
    QVERIFY(model.receive("T").isEmpty());
}

void TestSimModel::globalSilence()
{
    SimModel model;
    model.setSilent(true);
    QVERIFY(model.receive("TVR000047W000208065").isEmpty());
    QCOMPARE(model.memory().byte(208), quint8(65));
    model.setSilent(false);
    QCOMPARE(replyBytes(model.receive("T")), QList<QByteArray> { "!" });
}

void TestSimModel::faultSpec_data()
{
    QTest::addColumn<QString>("faultText");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("amount");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("remaining");

    const auto k = [](SimFault::Kind kind) { return int(kind); };
    QTest::newRow("silent") << "silent T" << true << k(SimFault::Kind::Silent) << 0 << QByteArray("T") << -1;
    QTest::newRow("short default") << "short R0002 3" << true << k(SimFault::Kind::Short) << 1
                                   << QByteArray("R0002") << 3;
    QTest::newRow("long 4") << " long:4   * " << true << k(SimFault::Kind::Long) << 4 << QByteArray("*")
                            << -1;
    QTest::newRow("late") << "late:0 W000208" << true << k(SimFault::Kind::Late) << 0 << QByteArray("W000208")
                          << -1;
    QTest::newRow("hangup") << "HANGUP V 1" << true << k(SimFault::Kind::HangUp) << 0 << QByteArray("V") << 1;
    QTest::newRow("late without time") << "late T" << false << 0 << 0 << QByteArray() << 0;
    QTest::newRow("unknown kind") << "noisy T" << false << 0 << 0 << QByteArray() << 0;
    QTest::newRow("no target") << "silent" << false << 0 << 0 << QByteArray() << 0;
    QTest::newRow("bad target") << "silent X1" << false << 0 << 0 << QByteArray() << 0;
    QTest::newRow("target with letters") << "silent R00A" << false << 0 << 0 << QByteArray() << 0;
    QTest::newRow("short zero") << "short:0 T" << false << 0 << 0 << QByteArray() << 0;
    QTest::newRow("count zero") << "silent T 0" << false << 0 << 0 << QByteArray() << 0;
    QTest::newRow("argument on garble") << "garble:1 T" << false << 0 << 0 << QByteArray() << 0;
    QTest::newRow("too many words") << "silent T 1 2" << false << 0 << 0 << QByteArray() << 0;
    QTest::newRow("bad escape") << "extra:\\q T" << false << 0 << 0 << QByteArray() << 0;
}

void TestSimModel::faultSpec()
{
    QFETCH(QString, faultText);
    QFETCH(bool, valid);

    QString error;
    const auto fault = SimFault::parse(faultText, &error);
    QCOMPARE(bool(fault), valid);
    if (!valid) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QFETCH(int, kind);
    QFETCH(int, amount);
    QFETCH(QByteArray, target);
    QFETCH(int, remaining);
    QCOMPARE(int(fault->kind), kind);
    QCOMPARE(fault->amount, amount);
    QCOMPARE(fault->target, target);
    QCOMPARE(fault->remaining, remaining);
}

void TestSimModel::transcriptEscaping()
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    const QByteArray escaped = Transcript::escape(all);
    QVERIFY(!escaped.contains(' '));
    QCOMPARE(Transcript::unescape(escaped).value_or("failed"), all);
    QCOMPARE(Transcript::escape("R000047 \\!\xA1"), QByteArray("R000047\\x20\\x5c!\\xa1"));
    QCOMPARE(Transcript::unescape("a b\\x0D").value_or("failed"), QByteArray("a b\r"));
    QVERIFY(!Transcript::unescape("\\x4"));
    QVERIFY(!Transcript::unescape("\\y41"));
    QVERIFY(!Transcript::unescape("\\x-1"));
    QVERIFY(!Transcript::unescape("end\\"));
}

void TestSimModel::transcriptLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("received");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("received") << QByteArray("0.012345 RX R000047\n") << true << true << QByteArray("R000047");
    QTest::newRow("sent") << QByteArray("12.000001 TX !\\x20") << true << false << QByteArray("! ");
    QTest::newRow("comment") << QByteArray("# 1.000000 hang-up") << false << false << QByteArray();
    QTest::newRow("other direction") << QByteArray("1.0 XX T") << false << false << QByteArray();
    QTest::newRow("bad time") << QByteArray("soon RX T") << false << false << QByteArray();
    QTest::newRow("raw space") << QByteArray("1.0 RX T T") << false << false << QByteArray();
}

void TestSimModel::transcriptLines()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, valid);

    const auto parsed = Transcript::parseLine(line);
    QCOMPARE(bool(parsed), valid);
    if (!valid)
        return;
    QFETCH(bool, received);
    QFETCH(QByteArray, bytes);
    QCOMPARE(parsed->received, received);
    QCOMPARE(parsed->bytes, bytes);

    const auto again = Transcript::parseLine(Transcript::formatLine(parsed->seconds, received, bytes));
    QVERIFY(again);
    QCOMPARE(again->seconds, parsed->seconds);
    QCOMPARE(again->bytes, bytes);
}

QTEST_APPLESS_MAIN(TestSimModel)
#include "tst_simmodel.moc"
