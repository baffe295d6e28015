// The conversation with the instrument, without a window, against the
// simulated instrument on a real pseudo-terminal: the connection check, the
// pacing of characters and commands as the session sends them, how every
// exchange judges every kind of faulty answer, and cancelling.

#include "instrument/PilotName.h"
#include "link/ReceiveBuffer.h"
#include "link/Waiter.h"
#include "tests/support/FaultGrid.h"
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
    void readRunPacing();
    void faultyAnswers_data();
    void faultyAnswers();
    void cutShortWaitEndsTheExchange();
    void hangUpEndsEveryExchange();
    void floodIsRefusedWithBoundedMemory();

private:
    SessionRig m_rig;
    std::unique_ptr<WaiterEnvironment> m_env;
};

void TestInstrumentSession::init()
{
    m_env = std::make_unique<WaiterEnvironment>();
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
    QCOMPARE(s.checkConnection(*m_env), failure);
    // Judged or not, the exchange leaves the buffer empty.
    QCOMPARE(s.receiveBuffer().text(), QString());
    QTest::qWait(30);
    QCOMPARE(m_rig.sim->receivedCommands(), sent);
}

void TestInstrumentSession::readRunPacing()
{
    InstrumentSession &s = *m_rig.session;
    QElapsedTimer clock;
    s.startRecording();
    clock.start();
    QCOMPARE(s.checkConnection(*m_env), Failure::None);
    const auto name = s.readPilotName(*m_env);
    const qint64 tookMs = clock.elapsed();
    QVERIFY(name);
    QCOMPARE(*name, QString::fromLatin1(MemoryImage::sample().pilotName()));

    const QList<SentCommand> commands = commandsOf(s.sent());
    QStringList texts;
    for (const SentCommand &c : commands)
        texts << QString::fromLatin1(c.text);
    QCOMPARE(texts, Wire::pilotRefresh());
    QCOMPARE(m_rig.sim->receivedCommands(), texts);

    // Each character of a read goes alone, a millisecond after the one before,
    // and every answer gets its full wait before the next command starts.
    for (qsizetype i = 1; i < commands.size(); ++i) {
        const qint64 gapNs = commands[i].firstNs - commands[i - 1].lastNs;
        QVERIFY2(gapNs >= 50 * kNsPerMs,
            qPrintable(QStringLiteral("%1 began %2 ns after %3").arg(texts[i]).arg(gapNs).arg(texts[i - 1])));
    }
    const QList<InstrumentSession::Sent> sent = s.sent();
    QCOMPARE(sent.size(), 1 + 8 * 7);
    for (qsizetype i = 2; i < 8; ++i) {
        QCOMPARE(sent[i].bytes.size(), 1);
        QVERIFY2(sent[i].ns - sent[i - 1].ns >= kNsPerMs,
            qPrintable(QString::number(sent[i].ns - sent[i - 1].ns)));
    }
    // The run spends the waits it asks for and little else: the floor is
    // what the protocol needs, the margin is for a busy machine.
    const qint64 floorMs = s.askedWaitMs();
    QCOMPARE(floorMs, 50 + 8 * (7 + 50) + 50);
    QVERIFY2(tookMs >= floorMs && tookMs < 2 * floorMs,
        qPrintable(QStringLiteral("%1 ms for a floor of %2 ms").arg(tookMs).arg(floorMs)));
}

// Every exchange against every kind of faulty answer, aimed inside it: the
// failure it reports and whether the answer is left in the buffer for the
// user to see.
void TestInstrumentSession::faultyAnswers_data()
{
    QTest::addColumn<QString>("exchange");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<bool>("leftInBuffer");

    using namespace FaultGrid;
    for (const Aim &aim : { kInformation, kReadName, kWriteName, kFlightCount, kShowFlight3 }) {
        const QByteArray name(aim.name);
        for (const QString &k : kAnswerFaults + QStringList { kLate }) {
            const bool late = k == kLate;
            Failure failure = Failure::BadAnswer;
            bool left = true; // an answer that fails its check stays
            if (name == "information") {
                // Any answer of ten characters or more is cut up as it is.
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
            QTest::addRow("%s / %s", aim.name, qPrintable(k))
                << QString::fromLatin1(name) << fault(aim, k) << failure << left;
        }
    }
    // A late answer inside a run arrives before the run is judged, in order.
    QTest::newRow("read name / late inside the run") << "read name"
                                                     << "late:80 R000210 1" << Failure::None << false;
    QTest::newRow("show flight 3 / late inside the run") << "show flight 3"
                                                         << "late:80 R000448 1" << Failure::None << false;
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
        got = s.readInformation(*m_env).failure();
    } else if (exchange == QLatin1String("read name")) {
        got = s.readPilotName(*m_env).failure();
    } else if (exchange == QLatin1String("write name")) {
        got = s.writePilotName(*m_env, PilotName::codesFor(QStringLiteral("session")));
    } else if (exchange == QLatin1String("flight count")) {
        got = s.readFlightCount(*m_env).failure();
    } else {
        // A record that fails its check is a value: the garbled record.
        const auto flight = s.readDecodedFlight(*m_env, 3);
        QVERIFY(flight);
        got = flight->status == FlightRecord::Status::Ok ? Failure::None : Failure::BadAnswer;
    }
    QCOMPARE(got, failure);
    QCOMPARE(!s.receiveBuffer().isEmpty(), leftInBuffer);
}

void TestInstrumentSession::cutShortWaitEndsTheExchange()
{
    // The event loop is told to end during a name read, without a cancel:
    // the read answers Cancelled, without a value, and no later exchange
    // sends anything.
    InstrumentSession &s = *m_rig.session;
    s.startRecording();
    std::optional<InstrumentSession::Result<QString>> name;
    qsizetype sentThen = -1;
    QTimer::singleShot(120, this, [] { QCoreApplication::exit(0); });
    QTimer::singleShot(0, this, [&] {
        name.emplace(s.readPilotName(*m_env));
        sentThen = s.sent().size();
        QCOMPARE(s.readFlightCount(*m_env).failure(), Failure::Cancelled);
        QCOMPARE(s.checkConnection(*m_env), Failure::Cancelled);
    });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(name && !*name);
    QCOMPARE(name->failure(), Failure::Cancelled);
    QVERIFY(m_env->isCancelled());
    QCOMPARE(s.sent().size(), sentThen);
}

void TestInstrumentSession::hangUpEndsEveryExchange()
{
    // The cable goes in the middle of a name read: the read fails, the port
    // closes itself, and every later exchange finds it closed and sends nothing.
    InstrumentSession &s = *m_rig.session;
    bool lost = false;
    connect(&s, &InstrumentSession::connectionLost, this, [&] { lost = true; });
    QVERIFY(m_rig.sim->setFault(QStringLiteral("hangup R000210 1")));
    QCOMPARE(s.readPilotName(*m_env).failure(), Failure::BadAnswer);
    QVERIFY(waitFor([&] { return lost; }, 2000));
    QVERIFY(!s.isOpen());
    QCOMPARE(s.checkConnection(*m_env), Failure::PortNotOpen);
    QCOMPARE(s.readFlightCount(*m_env).failure(), Failure::BadAnswer);
    QCOMPARE(s.readInformation(*m_env).failure(), Failure::BadAnswer);
}

void TestInstrumentSession::floodIsRefusedWithBoundedMemory()
{
    // An instrument that never stops sending: every answer has a surplus, so
    // the read fails, and the buffer counts all of it but keeps a bounded part.
    InstrumentSession &s = *m_rig.session;
    QVERIFY(m_rig.sim->control(QStringLiteral("flood 2")));
    QCOMPARE(s.readPilotName(*m_env).failure(), Failure::BadAnswer);
    QVERIFY2(s.receiveBuffer().size() > ReceiveBuffer::kKeptCharacters,
        qPrintable(QString::number(s.receiveBuffer().size())));
    QCOMPARE(s.receiveBuffer().text().size(), ReceiveBuffer::kKeptCharacters);
    QCOMPARE(s.checkConnection(*m_env), Failure::NoConnection);
}

QTEST_MAIN(TestInstrumentSession)
#include "tst_instrumentsession.moc"
