// "Show flight log" against the simulated instrument: what goes over the
// wire, what the twelve boxes show, and the ways the operation can fail that
// the fault matrix does not sweep. The number check itself is a unit table of
// tst_exportrange; one row here shows that the window goes through it.

#include "tests/support/InstrumentRig.h"

#include <QLabel>
#include <QTest>

namespace {

const char *const kBoxes[] = { "txtFlight", "txtDate", "txtStime", "txtDtime", "txtAltMin", "txtAltMax",
    "txtHeightdiffmax", "txtGain", "txtVarioMax", "txtVarioMin", "txtSpeedMin", "txtSpeedMax" };
const QString kKeep = QStringLiteral("keep");
const QByteArray kPilot = "VAN DAM ";

// The twelve box texts of a flight, in the order of kBoxes.
QStringList boxTexts(const FlightSummary &f)
{
    return { QString::number(f.flightNumber), f.date, f.startTime, f.duration, f.qneMin, f.qneMax,
        f.heightDiffMax, f.totalGain, f.liftMax, f.sinkMax, f.speedMin, f.speedMax };
}

} // namespace

class TestShowFlight : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { m_rig.reset(); }
    void press_data();
    void press();

private:
    InstrumentRig m_rig;
};

void TestShowFlight::press_data()
{
    // The number typed, simulator control lines ("close" closes the port
    // first), the status lines, the commands sent (the record of flight
    // `reads`, the pilot name read again) and the box texts afterwards: ""
    // is not looked at, no texts: every box keeps what it held.
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("byEnter");
    QTest::addColumn<QStringList>("control");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("boxes");
    const auto row = [](const char *tag, const QString &entry, bool byEnter, const QStringList &control,
                         const QStringList &log, const QStringList &commands, const QStringList &boxes) {
        QTest::newRow(tag) << entry << byEnter << control << log << commands << boxes;
    };

    const QString countError = QStringLiteral("Error while receiving the number of flights in memory");
    const QString dataError
        = QStringLiteral("Error processing data, please check Orvin settings and try again");
    const QStringList count { QStringLiteral("T"), QStringLiteral("R000047") };
    const auto reads = [&](int n, bool refresh) {
        return count + Wire::recordReads(n) + (refresh ? Wire::pilotRefresh() : QStringList());
    };
    const QStringList flight4 { "4", "2010-05-04", "", "", "", "1400" };

    row("negative qne, one decimal", "1", false, {}, {}, reads(1, true), boxTexts(MemoryFlights::textsA(1)));
    // Enter is taken by the operation, not typed into the box.
    row("zeros, largest gain, by Enter", "2", true, {}, {}, reads(2, true),
        boxTexts(MemoryFlights::textsB(2)));
    row("widest fields", "3", false, {}, {}, reads(3, true), boxTexts(MemoryFlights::textsC(3)));
    row("half rounds to even, up", "7.5", false, {}, {}, reads(8, true), { "8", "2010-05-08" });
    row("last stored flight", "12", false, {}, {}, reads(12, true), { "12", "2010-05-12" });

    // A refused number still reads the pilot name; nothing else is sent.
    for (const char *entry : { "abc", "101" })
        row(qPrintable(QStringLiteral("invalid %1").arg(QLatin1String(entry))), entry, false, {},
            { QStringLiteral("Invalid flight number") },
            QStringList { QStringLiteral("T") } + Wire::pilotRefresh(), {});
    row("flight above count", "13", false, {}, { QStringLiteral("Only 12 flights in memory") }, count, {});
    row("port closed sends nothing", "1", false, { "close" }, { QStringLiteral("COM port not open") }, {},
        {});

    // The record is always read in full, whatever the count query said.
    row("count answer short", "4", false, { "fault short R000047" }, { countError }, reads(4, true), flight4);
    row("count answer garbled", "4", false, { "fault garble R000047" }, { countError }, reads(4, true),
        flight4);
    row("record answer long", "4", false, { "fault long R000481" }, { dataError }, reads(4, true), {});
    row("record empty", "4", false, { "poke 466 255", "poke 467 255" },
        { QStringLiteral("This flightnumber contains no data") }, reads(4, false), {});
}

void TestShowFlight::press()
{
    QFETCH(QString, entry);
    QFETCH(bool, byEnter);
    QFETCH(QStringList, control);
    QFETCH(QStringList, log);
    QFETCH(QStringList, commands);
    QFETCH(QStringList, boxes);

    // Twelve flights: A, B and C at 1 to 3, plain ones after.
    QList<RawFlight> flights { MemoryFlights::kFlightA, MemoryFlights::kFlightB, MemoryFlights::kFlightC };
    for (int n = 4; n <= 12; ++n)
        flights << MemoryFlights::filler(n);
    SimInstrument::Options options;
    options.memory = MemoryFlights::image(flights, kPilot);
    QVERIFY(m_rig.start(options));

    for (const QString &line : control) {
        if (line == QLatin1String("close"))
            m_rig.window->serialPort().close();
        else
            QVERIFY(m_rig.sim->control(line));
    }
    for (const char *name : kBoxes)
        m_rig.box(name)->setText(kKeep);
    m_rig.box("txtPilotName")->setText(kKeep);
    QLineEdit *number = m_rig.box("txtVluchtNummer");
    number->setText(entry);

    if (byEnter)
        QTest::keyClick(number, Qt::Key_Return);
    else
        m_rig.button("cmdGetFlight")->click();

    QCOMPARE(m_rig.newLog(), log);
    QTest::qWait(100); // anything sent by mistake reaches the transcript by now
    QTRY_COMPARE(m_rig.commands(), commands);
    for (int i = 0; i < 12; ++i) {
        const QString want = boxes.isEmpty() ? kKeep : boxes.value(i);
        if (!want.isEmpty())
            QCOMPARE(m_rig.box(kBoxes[i])->text(), want);
    }
    const bool refreshed = commands.contains(QStringLiteral("R000208"));
    QCOMPARE(m_rig.box("txtPilotName")->text(), refreshed ? QString::fromLatin1(kPilot) : kKeep);
    QCOMPARE(number->text(), entry);

    // Every path ends idle, so the next press can start.
    QCOMPARE(m_rig.window->receiveBufferText(), QString());
    QVERIFY(m_rig.button("cmdGetFlight")->isEnabled());
    QCOMPARE(m_rig.child<QLabel>("lblCounter")->text(), QStringLiteral("_"));
}

QTEST_MAIN(TestShowFlight)
#include "tst_showflight.moc"
