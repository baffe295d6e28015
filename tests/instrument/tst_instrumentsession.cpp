// The conversation with the instrument, without a window, against the
// simulated instrument on a real pseudo-terminal: the connection check, the
// pacing of characters and commands as the session sends them, the waits, and
// how every operation judges every kind of faulty answer.

#include "instrument/PilotName.h"
#include "link/ReceiveBuffer.h"
#include "tests/support/SessionRig.h"
#include "tests/support/Wire.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using Failure = InstrumentSession::Failure;
Q_DECLARE_METATYPE(InstrumentSession::Failure)

namespace {

constexpr qint64 kNsPerMs = 1000000;

// The transmissions as commands: a command starts with its letter.
struct SentCommand
{
    QByteArray text;
    qint64 firstNs = 0;
    qint64 lastNs = 0;
};

QList<SentCommand> commandsOf(const QList<InstrumentSession::Sent> &sent)
{
    QList<SentCommand> commands;
    for (const InstrumentSession::Sent &s : sent) {
        if (commands.isEmpty() || QByteArray("RTVW").contains(s.bytes.front()))
            commands.append(SentCommand { {}, s.ns, s.ns });
        commands.last().text += s.bytes;
        commands.last().lastNs = s.ns;
    }
    return commands;
}

} // namespace

class TestInstrumentSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void checkConnection_data();
    void checkConnection();
    void sendStringPacing_data();
    void sendStringPacing();
    void readRunPacing();
    void pauseZeroReturnsAtOnce();
    void pause_data();
    void pause();
    void faultyAnswers_data();
    void faultyAnswers();
    void hangUpEndsEveryExchange();
    void floodIsRefusedWithBoundedMemory();

private:
    SessionRig m_rig;
};

void TestInstrumentSession::init()
{
    QVERIFY(m_rig.start());
}

void TestInstrumentSession::cleanup()
{
    m_rig.session.reset();
    m_rig.sim.reset();
}

void TestInstrumentSession::checkConnection_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("closePort");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QStringList>("sent");

    const QStringList test { "T" };
    QTest::newRow("answered") << "" << false << Failure::None << test;
    QTest::newRow("silent") << "silent T 1" << false << Failure::NoConnection << test;
    QTest::newRow("! and one more") << "extra T 1" << false << Failure::NoConnection << test;
    QTest::newRow("!!") << "extra:! T 1" << false << Failure::NoConnection << test;
    QTest::newRow("? instead of !") << "garble T 1" << false << Failure::NoConnection << test;
    QTest::newRow("too late") << "late:120 T 1" << false << Failure::NoConnection << test;
    QTest::newRow("port closed") << "" << true << Failure::PortNotOpen << QStringList();
}

void TestInstrumentSession::checkConnection()
{
    QFETCH(QString, fault);
    QFETCH(bool, closePort);
    QFETCH(Failure, failure);
    QFETCH(QStringList, sent);
    InstrumentSession &s = *m_rig.session;

    if (closePort)
        s.closePort();
    if (!fault.isEmpty())
        QVERIFY(m_rig.sim->setFault(fault));
    QCOMPARE(s.checkConnection(), failure);
    // Judged or not, the exchange leaves the buffer empty.
    QCOMPARE(s.receiveBuffer().text(), QString());
    QTest::qWait(30);
    QCOMPARE(m_rig.sim->receivedCommands(), sent);
}

void TestInstrumentSession::sendStringPacing_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("onWire");
    QTest::addColumn<int>("address");

    QTest::newRow("flight count") << "R000047" << QByteArray("R000047") << 47;
    QTest::newRow("pilot name byte") << "R000213" << QByteArray("R000213") << 213;
    QTest::newRow("longer than seven") << "R0002089999" << QByteArray("R000208") << 208;
}

void TestInstrumentSession::sendStringPacing()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, onWire);
    QFETCH(int, address);
    InstrumentSession &s = *m_rig.session;
    const QString unchanged = command;
    const int value = quint8(MemoryImage::sample().byte(address));

    s.startRecording();
    QCOMPARE(s.sendString(command), Failure::None);
    QVERIFY(s.pause(50));
    QCOMPARE(command, unchanged);
    QCOMPARE(s.receiveBuffer().text(),
        QString::fromLatin1(onWire) + QStringLiteral("%1").arg(value, 3, 10, QLatin1Char('0')));
    QCOMPARE(m_rig.sim->receivedBytes(), onWire);

    // Seven separate characters, each at least a millisecond after the one
    // before, as the session put them on the line.
    const QList<InstrumentSession::Sent> sent = s.sent();
    QCOMPARE(sent.size(), onWire.size());
    for (qsizetype i = 0; i < sent.size(); ++i) {
        QCOMPARE(sent[i].bytes, onWire.mid(i, 1));
        if (i > 0)
            QVERIFY2(sent[i].ns - sent[i - 1].ns >= kNsPerMs,
                qPrintable(
                    QStringLiteral("character %1 after %2 ns").arg(i).arg(sent[i].ns - sent[i - 1].ns)));
    }
}

void TestInstrumentSession::readRunPacing()
{
    InstrumentSession &s = *m_rig.session;
    QElapsedTimer clock;
    s.startRecording();
    clock.start();
    QCOMPARE(s.checkConnection(), Failure::None);
    const auto name = s.readPilotName();
    const qint64 tookMs = clock.elapsed();
    QVERIFY(name);
    QCOMPARE(*name, QString::fromLatin1(MemoryImage::sample().pilotName()));

    const QList<SentCommand> commands = commandsOf(s.sent());
    QStringList texts;
    for (const SentCommand &c : commands)
        texts << QString::fromLatin1(c.text);
    QCOMPARE(texts, Wire::pilotRefresh());
    QCOMPARE(m_rig.sim->receivedCommands(), texts);

    // Every answer gets its full wait before the next command starts.
    for (qsizetype i = 1; i < commands.size(); ++i) {
        const qint64 gapNs = commands[i].firstNs - commands[i - 1].lastNs;
        QVERIFY2(gapNs >= 50 * kNsPerMs,
            qPrintable(QStringLiteral("%1 began %2 ns after %3").arg(texts[i]).arg(gapNs).arg(texts[i - 1])));
    }
    // The run spends the waits it asks for and little else: the floor is
    // what the protocol needs, the margin is for a busy machine.
    const qint64 floorMs = s.askedWaitMs();
    QCOMPARE(floorMs, 50 + 8 * (7 + 50) + 50);
    QVERIFY2(tookMs >= floorMs && tookMs < 2 * floorMs,
        qPrintable(QStringLiteral("%1 ms for a floor of %2 ms").arg(tookMs).arg(floorMs)));
}

void TestInstrumentSession::pauseZeroReturnsAtOnce()
{
    // Characters already waiting on the line are not taken in by a wait of 0.
    InstrumentSession &s = *m_rig.session;
    QVERIFY(m_rig.sim->sendUnasked("xyz"));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(s.pause(0));
    QVERIFY2(clock.elapsed() < 20, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(s.receiveBuffer().text(), QString());
    QVERIFY(s.pause(30));
    QCOMPARE(s.receiveBuffer().text(), QStringLiteral("xyz"));
}

void TestInstrumentSession::pause_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<int>("sendAfterMs"); // -1: nothing arrives

    QTest::newRow("1") << 1 << -1;
    QTest::newRow("50") << 50 << -1;
    QTest::newRow("50 with data") << 50 << 10;
    QTest::newRow("120 with data") << 120 << 30;
}

void TestInstrumentSession::pause()
{
    QFETCH(int, ms);
    QFETCH(int, sendAfterMs);
    InstrumentSession &s = *m_rig.session;

    bool sent = false;
    if (sendAfterMs >= 0)
        QTimer::singleShot(sendAfterMs, this, [&] { sent = m_rig.sim->sendUnasked("xyz"); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(s.pause(ms));
    const qint64 elapsed = clock.elapsed();

    QVERIFY2(elapsed >= ms, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < ms + 500, qPrintable(QString::number(elapsed)));
    if (sendAfterMs >= 0) {
        QVERIFY(sent);
        // Whatever arrived during the wait is in the buffer when it returns.
        QCOMPARE(s.receiveBuffer().text(), QStringLiteral("xyz"));
    } else {
        QCOMPARE(s.receiveBuffer().text(), QString());
    }
}

// Every exchange against every kind of faulty answer, aimed inside it: the
// failure it reports and whether the answer is left in the buffer for the
// user to see. A late answer is aimed at the last command, where it misses
// the wait.
void TestInstrumentSession::faultyAnswers_data()
{
    QTest::addColumn<QString>("exchange");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<bool>("leftInBuffer");

    struct Exchange
    {
        const char *name;
        const char *inside;
        const char *last;
    };
    const Exchange exchanges[] = { { "information", "V", "V" }, { "pilot name", "R000210", "R000215" },
        { "write name", "W000212", "W000215" }, { "flight count", "R000047", "R000047" },
        { "flight 3", "R000448", "R000464" } };
    const char *const kinds[] = { "silent", "extra", "short", "long", "garble", "highbit", "late:80" };

    for (const Exchange &e : exchanges) {
        const QByteArray name(e.name);
        for (const char *kind : kinds) {
            const bool late = QByteArray(kind).startsWith("late");
            const QString fault
                = QStringLiteral("%1 %2 1").arg(QLatin1String(kind), QLatin1String(late ? e.last : e.inside));
            const QByteArray k(kind);
            Failure failure = Failure::BadAnswer;
            bool left = true; // a read run leaves its answers for the caller to judge
            if (name == "information") {
                // Any answer of ten characters or more is cut up as it is; a
                // good answer is taken out of the buffer, a missing one never came.
                if (!late && k != "silent")
                    failure = Failure::None;
                left = false;
            } else if (name == "write name") {
                // Write answers are judged by their total length alone, and
                // the buffer is emptied either way.
                if (k == "garble" || k == "highbit")
                    failure = Failure::None;
                left = false;
            } else if (name == "flight count") {
                left = !late && k != "silent"; // its only answer did not come in time
            }
            QTest::addRow("%s / %s", e.name, kind) << QString::fromLatin1(name) << fault << failure << left;
        }
    }
    // A late answer inside a run arrives before the run is judged, in order.
    QTest::newRow("pilot name / late inside the run") << "pilot name"
                                                      << "late:80 R000210 1" << Failure::None << false;
    QTest::newRow("flight 3 / late inside the run") << "flight 3"
                                                    << "late:80 R000448 1" << Failure::None << true;
}

void TestInstrumentSession::faultyAnswers()
{
    QFETCH(QString, exchange);
    QFETCH(QString, fault);
    QFETCH(Failure, failure);
    QFETCH(bool, leftInBuffer);
    InstrumentSession &s = *m_rig.session;

    QVERIFY(m_rig.sim->setFault(fault));
    Failure got = Failure::None;
    if (exchange == QLatin1String("information")) {
        got = s.readInformation().failure;
    } else if (exchange == QLatin1String("pilot name")) {
        got = s.readPilotName().failure;
    } else if (exchange == QLatin1String("write name")) {
        got = s.writePilotName(PilotName::codesFor(QStringLiteral("session")));
    } else if (exchange == QLatin1String("flight count")) {
        got = s.readFlightCount().failure;
    } else {
        const auto flight = s.readDecodedFlight(3);
        got = flight.failure;
        QVERIFY(flight);
        // A failed read is reported like a garbled record.
        QCOMPARE(flight->status == FlightRecord::Status::Ok, failure == Failure::None);
    }
    QCOMPARE(got, failure);
    QCOMPARE(!s.receiveBuffer().isEmpty(), leftInBuffer);
}

void TestInstrumentSession::hangUpEndsEveryExchange()
{
    // The cable goes in the middle of a name read: the read fails, the port
    // closes itself, and every later exchange finds it closed and sends nothing.
    InstrumentSession &s = *m_rig.session;
    bool lost = false;
    connect(&s, &InstrumentSession::connectionLost, this, [&] { lost = true; });
    QVERIFY(m_rig.sim->setFault(QStringLiteral("hangup R000210 1")));
    QCOMPARE(s.readPilotName().failure, Failure::BadAnswer);
    QVERIFY(waitFor([&] { return lost; }, 2000));
    QVERIFY(!s.isOpen());
    QCOMPARE(s.checkConnection(), Failure::PortNotOpen);
    QCOMPARE(s.readFlightCount().failure, Failure::BadAnswer);
    QCOMPARE(s.readInformation().failure, Failure::BadAnswer);
}

void TestInstrumentSession::floodIsRefusedWithBoundedMemory()
{
    // An instrument that never stops sending: every answer has a surplus, so
    // the read fails, and the buffer counts all of it but keeps a bounded part.
    InstrumentSession &s = *m_rig.session;
    QVERIFY(m_rig.sim->control(QStringLiteral("flood 2")));
    QCOMPARE(s.readPilotName().failure, Failure::BadAnswer);
    QVERIFY2(s.receiveBuffer().size() > ReceiveBuffer::kKeptCharacters,
        qPrintable(QString::number(s.receiveBuffer().size())));
    QCOMPARE(s.receiveBuffer().text().size(), ReceiveBuffer::kKeptCharacters);
    QCOMPARE(s.checkConnection(), Failure::NoConnection);
}

QTEST_MAIN(TestInstrumentSession)
#include "tst_instrumentsession.moc"
