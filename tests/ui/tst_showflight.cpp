// "Show flight log" against the simulated instrument: what goes over the
// wire, what the twelve boxes show, and the ways the operation can fail that
// the fault matrix does not sweep. The number check itself is a unit table of
// tst_exportrange.

#include "tests/support/InstrumentRig.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

Q_DECLARE_METATYPE(FlightSummary)

namespace {

const char *const kBoxes[] = { "txtFlight", "txtDate", "txtStime", "txtDtime", "txtAltMin", "txtAltMax",
    "txtHeightdiffmax", "txtGain", "txtVarioMax", "txtVarioMin", "txtSpeedMin", "txtSpeedMax" };
const QString kKeep = QStringLiteral("keep");
const QByteArray kPilot = "VAN DAM ";

// Twelve flights: A, B and C at 1 to 3, plain ones after.
MemoryImage twelveFlights()
{
    QList<RawFlight> flights { Logbook::kFlightA, Logbook::kFlightB, Logbook::kFlightC };
    for (int n = 4; n <= 12; ++n)
        flights << Logbook::filler(n);
    return Logbook::image(flights, kPilot);
}

} // namespace

class TestShowFlight : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showsFlight_data();
    void showsFlight();
    void enterInNumberBoxShowsFlight();
    void acceptedEntries_data();
    void acceptedEntries();
    void invalidEntries_data();
    void invalidEntries();
    void portClosedSendsNothing();
    void flightAboveCount();
    void faults_data();
    void faults();

private:
    void press() { m_rig.button("cmdGetFlight")->click(); }
    void fillBoxes(const QString &text)
    {
        for (const char *name : kBoxes)
            m_rig.box(name)->setText(text);
        m_rig.box("txtPilotName")->setText(text);
    }
    bool boxesHold(const QString &text) const
    {
        for (const char *name : kBoxes) {
            if (m_rig.box(name)->text() != text)
                return false;
        }
        return true;
    }

    InstrumentRig m_rig;
};

void TestShowFlight::init()
{
    SimInstrument::Options options;
    options.memory = twelveFlights();
    QVERIFY(m_rig.start(options));
}

void TestShowFlight::cleanup()
{
    m_rig.reset();
}

void TestShowFlight::showsFlight_data()
{
    QTest::addColumn<int>("flight");
    QTest::addColumn<FlightSummary>("expected");
    QTest::newRow("negative qne, one decimal") << 1 << Logbook::textsA(1);
    QTest::newRow("zeros, largest gain") << 2 << Logbook::textsB(2);
    QTest::newRow("widest fields") << 3 << Logbook::textsC(3);
}

void TestShowFlight::showsFlight()
{
    QFETCH(int, flight);
    QFETCH(FlightSummary, expected);
    fillBoxes(kKeep);
    m_rig.box("txtVluchtNummer")->setText(QString::number(flight));

    press();

    QStringList sent { QStringLiteral("T"), QStringLiteral("R000047") };
    sent << Wire::recordReads(flight) << Wire::pilotRefresh();
    QTRY_COMPARE(m_rig.commands(), sent);
    QCOMPARE(m_rig.newLog(), QStringList());

    QCOMPARE(m_rig.box("txtFlight")->text(), QString::number(expected.flightNumber));
    QCOMPARE(m_rig.box("txtDate")->text(), expected.date);
    QCOMPARE(m_rig.box("txtStime")->text(), expected.startTime);
    QCOMPARE(m_rig.box("txtDtime")->text(), expected.duration);
    QCOMPARE(m_rig.box("txtAltMin")->text(), expected.qneMin);
    QCOMPARE(m_rig.box("txtAltMax")->text(), expected.qneMax);
    QCOMPARE(m_rig.box("txtHeightdiffmax")->text(), expected.heightDiffMax);
    QCOMPARE(m_rig.box("txtGain")->text(), expected.totalGain);
    QCOMPARE(m_rig.box("txtVarioMax")->text(), expected.liftMax);
    QCOMPARE(m_rig.box("txtVarioMin")->text(), expected.sinkMax);
    QCOMPARE(m_rig.box("txtSpeedMin")->text(), expected.speedMin);
    QCOMPARE(m_rig.box("txtSpeedMax")->text(), expected.speedMax);
    QCOMPARE(m_rig.box("txtPilotName")->text(), QString::fromLatin1(kPilot));

    // Back to idle: buffer empty, controls usable.
    QCOMPARE(m_rig.window->receiveBufferText(), QString());
    QVERIFY(m_rig.button("cmdGetFlight")->isEnabled());
    QCOMPARE(m_rig.child<QLabel>("lblCounter")->text(), QStringLiteral("_"));
}

void TestShowFlight::enterInNumberBoxShowsFlight()
{
    QLineEdit *number = m_rig.box("txtVluchtNummer");
    number->setText(QStringLiteral("2"));
    QTest::keyClick(number, Qt::Key_Return);

    QStringList sent { QStringLiteral("T"), QStringLiteral("R000047") };
    sent << Wire::recordReads(2) << Wire::pilotRefresh();
    QTRY_COMPARE(m_rig.commands(), sent);
    QCOMPARE(m_rig.box("txtFlight")->text(), QStringLiteral("2"));
    QCOMPARE(m_rig.box("txtGain")->text(), QStringLiteral("16777215"));
    // Enter is taken by the operation, not typed into the box.
    QCOMPARE(number->text(), QStringLiteral("2"));
}

void TestShowFlight::acceptedEntries_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("flight");
    QTest::addColumn<QString>("date");
    QTest::newRow("leading zeros") << "007" << 7 << "2010-05-07";
    QTest::newRow("half rounds to even, up") << "7.5" << 8 << "2010-05-08";
    QTest::newRow("last stored flight") << "12" << 12 << "2010-05-12";
}

void TestShowFlight::acceptedEntries()
{
    QFETCH(QString, entry);
    QFETCH(int, flight);
    QFETCH(QString, date);
    m_rig.box("txtVluchtNummer")->setText(entry);

    press();

    QTRY_VERIFY(m_rig.commands().contains(QStringLiteral("R000215")));
    const QStringList sent = m_rig.commands();
    QCOMPARE(sent.mid(2, 19), Wire::recordReads(flight));
    QCOMPARE(m_rig.newLog(), QStringList());
    QCOMPARE(m_rig.box("txtFlight")->text(), QString::number(flight));
    QCOMPARE(m_rig.box("txtDate")->text(), date);
}

void TestShowFlight::invalidEntries_data()
{
    QTest::addColumn<QString>("entry");
    QTest::newRow("letters") << "abc";
    QTest::newRow("above 100") << "101";
}

void TestShowFlight::invalidEntries()
{
    QFETCH(QString, entry);
    fillBoxes(kKeep);
    m_rig.box("txtVluchtNummer")->setText(entry);

    press();

    QStringList sent { QStringLiteral("T") };
    sent << Wire::pilotRefresh();
    QTRY_COMPARE(m_rig.commands(), sent);
    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Invalid flight number") });
    QVERIFY(boxesHold(kKeep));
    QCOMPARE(m_rig.box("txtPilotName")->text(), QString::fromLatin1(kPilot));
    QCOMPARE(m_rig.window->receiveBufferText(), QString());
}

void TestShowFlight::portClosedSendsNothing()
{
    fillBoxes(kKeep);
    m_rig.window->serialPort().close();

    press();

    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("COM port not open") });
    QVERIFY(boxesHold(kKeep));
    QCOMPARE(m_rig.box("txtPilotName")->text(), kKeep);
    QTest::qWait(100); // anything sent by mistake would reach the transcript by now
    QCOMPARE(m_rig.commands(), QStringList());
}

void TestShowFlight::flightAboveCount()
{
    fillBoxes(kKeep);
    m_rig.box("txtVluchtNummer")->setText(QStringLiteral("13"));

    press();

    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Only 12 flights in memory") });
    QTest::qWait(100);
    QCOMPARE(m_rig.commands(), (QStringList { QStringLiteral("T"), QStringLiteral("R000047") }));
    QVERIFY(boxesHold(kKeep));
    QCOMPARE(m_rig.box("txtPilotName")->text(), kKeep);
    QCOMPARE(m_rig.window->receiveBufferText(), QString());
    QVERIFY(m_rig.button("cmdGetFlight")->isEnabled());
}

void TestShowFlight::faults_data()
{
    // Control lines for the simulator, the status lines, whether flight 4 is
    // shown, whether the pilot name is read again.
    QTest::addColumn<QStringList>("control");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("pilotRefresh");

    const QString countError = QStringLiteral("Error while receiving the number of flights in memory");
    const QString dataError
        = QStringLiteral("Error processing data, please check Orvin settings and try again");

    QTest::newRow("count answer short")
        << QStringList { "fault short R000047" } << QStringList { countError } << true << true;
    QTest::newRow("count answer garbled")
        << QStringList { "fault garble R000047" } << QStringList { countError } << true << true;
    QTest::newRow("record answer long")
        << QStringList { "fault long R000481" } << QStringList { dataError } << false << true;
    QTest::newRow("record empty") << QStringList { "poke 466 255", "poke 467 255" }
                                  << QStringList { QStringLiteral("This flightnumber contains no data") }
                                  << false << false;
}

void TestShowFlight::faults()
{
    QFETCH(QStringList, control);
    QFETCH(QStringList, log);
    QFETCH(bool, shown);
    QFETCH(bool, pilotRefresh);

    for (const QString &line : control)
        QVERIFY(m_rig.sim->control(line));
    fillBoxes(kKeep);
    m_rig.box("txtVluchtNummer")->setText(QStringLiteral("4"));

    press();

    QCOMPARE(m_rig.newLog(), log);
    // The record is always read in full, whatever the count query said.
    QTRY_VERIFY(m_rig.commands().contains(QStringLiteral("R000482")));
    QTest::qWait(100);
    const QStringList sent = m_rig.commands();
    QCOMPARE(sent.mid(2, 19), Wire::recordReads(4));
    QCOMPARE(sent.contains(QStringLiteral("R000208")), pilotRefresh);
    QCOMPARE(m_rig.box("txtPilotName")->text(), pilotRefresh ? QString::fromLatin1(kPilot) : kKeep);
    if (shown) {
        QCOMPARE(m_rig.box("txtFlight")->text(), QStringLiteral("4"));
        QCOMPARE(m_rig.box("txtDate")->text(), QStringLiteral("2010-05-04"));
        QCOMPARE(m_rig.box("txtAltMax")->text(), QStringLiteral("1400"));
    } else {
        QVERIFY(boxesHold(kKeep));
    }
    // Every path ends idle, so the next press can start.
    QCOMPARE(m_rig.window->receiveBufferText(), QString());
    QVERIFY(m_rig.button("cmdGetFlight")->isEnabled());
}

QTEST_MAIN(TestShowFlight)
#include "tst_showflight.moc"
