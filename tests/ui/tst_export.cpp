// The export run with the text report against the simulated instrument: the
// report compared byte for byte, the range checks, every way a run can end
// early, the file name settings and the run's own guard.

#include "InstrumentRig.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QTimer>

namespace {

// R E N É € and three spaces: É has the same code as in Latin-1, € does not.
const QByteArray kPilotBytes = "REN\xC9\x80   ";

QByteArray record(const QByteArray &text)
{
    return '"' + text + "\"\r\n";
}

QByteArray header(const QByteArray &pilotBytes = kPilotBytes)
{
    const QByteArray rule(111, '_');
    return record(" Pilot: " + pilotBytes) + record(rule)
        + record(" Fl.\tDate\t\tStart\tDura-\tQNE\tQNE\tHeight\t\tTotal\tLift\tSink\tSpeed\tSpeed\t")
        + record(" No.\tyyyy-mm-dd\ttime\ttion\tmin\tmax\tdiff max\tgain\tmax\tmax\tmin\tmax\t")
        + record(" \t\t\thh:mm\thh:mm\tmeter\tmeter\tmeter\t\tmeter\tm/s\tm/s\tkm/h\tkm/h\t") + record(rule);
}

QByteArray line(const FlightTexts &f)
{
    const QStringList fields { f.date, f.startTime, f.duration, f.qneMin, f.qneMax, f.heightDiffMax + '\t',
        f.totalGain, f.liftMax, f.sinkMax, f.speedMin, f.speedMax };
    return record(' ' + QByteArray::number(f.number) + '\t' + fields.join('\t').toLatin1() + '\t');
}

QByteArray failedLine(int n)
{
    return record(' ' + QByteArray::number(n) + "\t*\t\t*\t*\t*\t*\t*\t\t*\t*\t*\t*\t*\t");
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Flights 1 to 3: the worked example, a negative QNE, zeros.
MemoryImage threeFlights()
{
    return Logbook::image({ Logbook::kFlightD, Logbook::kFlightA, Logbook::kFlightB }, kPilotBytes);
}

QStringList readsOf(const QList<int> &flights)
{
    QStringList out;
    for (int n : flights)
        out << Wire::recordReads(n);
    return out;
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void fullRunWritesReport();
    void rangeRefused_data();
    void rangeRefused();
    void fewerFlightsThanUntil();
    void rangeAboveCountReplacesReport();
    void failedRecordMidRange_data();
    void failedRecordMidRange();
    void emptyRecordStopsRun();
    void stopDoesNotReuseEarlierRows();
    void reportCannotBeWritten_data();
    void reportCannotBeWritten();
    void fileNameSettings();
    void enterKeysInRangeBoxes();
    void hangUpDuringRun_data();
    void hangUpDuringRun();

private:
    void startWith(const MemoryImage &memory)
    {
        SimInstrument::Options options;
        options.memory = memory;
        QVERIFY(m_rig.start(options));
    }
    void setRange(const QString &from, const QString &until)
    {
        m_rig.box("txtFromFlight")->setText(from);
        m_rig.box("txtUntilFlight")->setText(until);
    }
    void exportNow() { m_rig.button("cmdExport")->click(); }
    QString report(const QString &name = QStringLiteral("flightlog")) const
    {
        return m_rig.sim->driveC() + QLatin1Char('/') + name + QStringLiteral(".txt");
    }
    QStringList driveCEntries() const
    {
        return QDir(m_rig.sim->driveC()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    bool anyOperationControlEnabled() const { return !m_rig.enabledOperationControls().isEmpty(); }

    InstrumentRig m_rig;
};

void TestExport::cleanup()
{
    m_rig.window.reset();
    m_rig.sim.reset();
}

void TestExport::fullRunWritesReport()
{
    startWith(threeFlights());
    setRange(QStringLiteral("1"), QStringLiteral("3"));

    // Watch the progress label and the controls while the run waits.
    QStringList counter;
    bool enabledDuringRun = false;
    QTimer probe;
    probe.setInterval(5);
    connect(&probe, &QTimer::timeout, this, [&] {
        if (!m_rig.window->isOperationRunning())
            return;
        const QString text = m_rig.child<QLabel>("lblCounter")->text();
        if (counter.isEmpty() || counter.last() != text)
            counter << text;
        enabledDuringRun = enabledDuringRun || anyOperationControlEnabled();
    });
    probe.start();
    exportNow();
    probe.stop();

    QCOMPARE(readFile(report()),
        header() + line(Logbook::textsD(1)) + line(Logbook::textsA(2)) + line(Logbook::textsB(3)));
    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("Txt file ready") });
    QStringList sent { QStringLiteral("T"), QStringLiteral("R000047") };
    sent << readsOf({ 1, 2, 3 }) << Wire::pilotRefresh();
    QTRY_COMPARE(m_rig.commands(), sent);
    QCOMPARE(m_rig.window->exportFirstFlight(), qint16(1));
    QCOMPARE(m_rig.window->exportLastFlight(), qint16(3));
    QCOMPARE(m_rig.window->pilotName(), QString::fromUtf8("RENÉ€   "));

    // The label counts the flights; the controls stay off between flights too.
    QStringList numbers;
    for (const QString &text : counter) {
        bool isNumber = false;
        text.toInt(&isNumber);
        if (isNumber)
            numbers << text;
    }
    QCOMPARE(numbers, (QStringList { "1", "2", "3" }));
    QVERIFY(!enabledDuringRun);
    QCOMPARE(m_rig.child<QLabel>("lblCounter")->text(), QStringLiteral("_"));
    QVERIFY(m_rig.button("cmdExport")->isEnabled());
    QCOMPARE(driveCEntries(), QStringList { QStringLiteral("flightlog.txt") });
}

void TestExport::rangeRefused_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("until");
    QTest::addColumn<QString>("message");

    const QString notNumeric = QStringLiteral("Flightnumber is not numeric");
    const QString outside = QStringLiteral("Flightnumbers have to be between 1 and 100");
    const QString reversed = QStringLiteral("The from number must be smaller then the until flight");
    QTest::newRow("from letters") << "abc"
                                  << "3" << notNumeric;
    QTest::newRow("until empty") << "1"
                                 << "" << notNumeric;
    QTest::newRow("from 0") << "0"
                            << "5" << outside;
    QTest::newRow("until 101") << "1"
                               << "101" << outside;
    QTest::newRow("from 150, until 100") << "150"
                                         << "100" << reversed;
    QTest::newRow("from 5, until 0") << "5"
                                     << "0" << reversed;
    QTest::newRow("from 3, until 2") << "3"
                                     << "2" << reversed;
}

void TestExport::rangeRefused()
{
    QFETCH(QString, from);
    QFETCH(QString, until);
    QFETCH(QString, message);
    startWith(threeFlights());
    setRange(from, until);

    exportNow();

    QCOMPARE(m_rig.newLog(), QStringList { message });
    QTest::qWait(100); // anything sent would reach the transcript by now
    QCOMPARE(m_rig.commands(), QStringList());
    QCOMPARE(driveCEntries(), QStringList());
    QVERIFY(m_rig.button("cmdExport")->isEnabled());
}

void TestExport::fewerFlightsThanUntil()
{
    startWith(Logbook::image({ Logbook::kFlightD, Logbook::kFlightA }, kPilotBytes));
    setRange(QStringLiteral("1"), QStringLiteral("4"));

    exportNow();

    QCOMPARE(m_rig.newLog(),
        (QStringList { QStringLiteral("Only 2 flights in memory"), QStringLiteral("Txt file ready") }));
    QCOMPARE(m_rig.window->exportLastFlight(), qint16(2));
    QStringList sent { QStringLiteral("T"), QStringLiteral("R000047") };
    sent << readsOf({ 1, 2 }) << Wire::pilotRefresh();
    QTRY_COMPARE(m_rig.commands(), sent);
    QCOMPARE(readFile(report()), header() + line(Logbook::textsD(1)) + line(Logbook::textsA(2)));
}

void TestExport::rangeAboveCountReplacesReport()
{
    startWith(Logbook::image({ Logbook::kFlightD, Logbook::kFlightA }, kPilotBytes));
    // A longer report from before must be replaced, not kept in part.
    QVERIFY(writeFile(report(), QByteArray(4000, 'x')));
    setRange(QStringLiteral("3"), QStringLiteral("5"));

    exportNow();

    QCOMPARE(m_rig.newLog(),
        (QStringList { QStringLiteral("Only 2 flights in memory"), QStringLiteral("Txt file ready") }));
    QCOMPARE(m_rig.window->exportFirstFlight(), qint16(3));
    QCOMPARE(m_rig.window->exportLastFlight(), qint16(2));
    QStringList sent { QStringLiteral("T"), QStringLiteral("R000047") };
    sent << Wire::pilotRefresh();
    QTRY_COMPARE(m_rig.commands(), sent);
    QCOMPARE(readFile(report()), header());
}

void TestExport::failedRecordMidRange_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("answer short") << "short R000430";
    QTest::newRow("value garbled") << "garble R000431";
}

void TestExport::failedRecordMidRange()
{
    QFETCH(QString, fault);
    startWith(threeFlights());
    QVERIFY(m_rig.sim->setFault(fault));
    setRange(QStringLiteral("1"), QStringLiteral("3"));

    exportNow();

    QCOMPARE(m_rig.newLog(),
        (QStringList { QStringLiteral("Error processing: Flight 2"), QStringLiteral("Txt file ready") }));
    QCOMPARE(
        readFile(report()), header() + line(Logbook::textsD(1)) + failedLine(2) + line(Logbook::textsB(3)));
    QCOMPARE(m_rig.window->flightTable().entry(2).totalGain, QStringLiteral("*"));
}

void TestExport::emptyRecordStopsRun()
{
    MemoryImage memory = Logbook::image(
        { Logbook::kFlightD, Logbook::kFlightA, Logbook::kFlightB, Logbook::kFlightC }, kPilotBytes);
    memory.eraseFlight(2);
    startWith(memory);
    setRange(QStringLiteral("1"), QStringLiteral("4"));

    exportNow();

    QCOMPARE(m_rig.newLog(),
        (QStringList { QStringLiteral("Stopped at flight 2"), QStringLiteral("Txt file ready") }));
    QStringList sent { QStringLiteral("T"), QStringLiteral("R000047") };
    sent << readsOf({ 1, 2 }) << Wire::pilotRefresh();
    QTRY_COMPARE(m_rig.commands(), sent);
    QCOMPARE(m_rig.window->exportLastFlight(), qint16(4));
    QCOMPARE(readFile(report()), header() + line(Logbook::textsD(1)));
    QCOMPARE(m_rig.child<QLabel>("lblCounter")->text(), QStringLiteral("_"));
}

void TestExport::stopDoesNotReuseEarlierRows()
{
    startWith(threeFlights());
    setRange(QStringLiteral("2"), QStringLiteral("3"));
    exportNow();
    QCOMPARE(readFile(report()), header() + line(Logbook::textsA(2)) + line(Logbook::textsB(3)));

    // Flight 2 is erased on the instrument; flight 3 is still there but is
    // not read once the run stops at 2, so neither may come from the first run.
    QVERIFY(m_rig.sim->control(QStringLiteral("poke 430 255")));
    QVERIFY(m_rig.sim->control(QStringLiteral("poke 431 255")));
    m_rig.mark();
    exportNow();

    QCOMPARE(m_rig.newLog(),
        (QStringList { QStringLiteral("Stopped at flight 2"), QStringLiteral("Txt file ready") }));
    QCOMPARE(readFile(report()), header());
}

void TestExport::reportCannotBeWritten_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("directory"); // made in drive C: before the run
    QTest::newRow("folder missing") << "nodir\\x"
                                    << "";
    QTest::newRow("name taken by a folder") << "blocked"
                                            << "blocked.txt";
}

void TestExport::reportCannotBeWritten()
{
    QFETCH(QString, name);
    QFETCH(QString, directory);
    startWith(Logbook::image({ Logbook::kFlightD, Logbook::kFlightA }, kPilotBytes));
    const QByteArray earlier = "an earlier report\r\n";
    QVERIFY(writeFile(report(), earlier));
    if (!directory.isEmpty())
        QVERIFY(QDir(m_rig.sim->driveC()).mkdir(directory));
    const QStringList before = driveCEntries();
    m_rig.box("txtFileName")->setText(name);
    m_rig.button("cmdSaveFileName")->click();
    m_rig.mark();
    setRange(QStringLiteral("3"), QStringLiteral("3"));

    exportNow();

    // The failure is the run's last word: no ready line after it.
    QCOMPARE(m_rig.newLog(),
        (QStringList {
            QStringLiteral("Only 2 flights in memory"), QStringLiteral("Error exporting file to txt!") }));
    QCOMPARE(driveCEntries(), before);
    QCOMPARE(readFile(report()), earlier);
    QVERIFY(m_rig.button("cmdExport")->isEnabled());
    QCOMPARE(m_rig.child<QLabel>("lblCounter")->text(), QStringLiteral("_"));
}

void TestExport::fileNameSettings()
{
    startWith(Logbook::image({ Logbook::kFlightD }, kPilotBytes));
    QLineEdit *name = m_rig.box("txtFileName");
    QPushButton *set = m_rig.button("cmdSaveFileName");
    QCOMPARE(m_rig.window->exportFileName(), QStringLiteral("flightlog"));

    name->setText(QStringLiteral("trip"));
    set->click();
    QCOMPARE(m_rig.window->exportFileName(), QStringLiteral("trip"));

    name->clear();
    set->click();
    QCOMPARE(m_rig.window->exportFileName(), QStringLiteral("trip"));

    name->setText(QStringLiteral("   "));
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(m_rig.window->exportFileName(), QStringLiteral("   "));

    name->setText(QStringLiteral("trip 2"));
    QTest::keyClick(name, Qt::Key_Enter, Qt::ShiftModifier);
    QCOMPARE(m_rig.window->exportFileName(), QStringLiteral("trip 2"));
    QCOMPARE(m_rig.newLog(),
        (QStringList { QStringLiteral("Filename changed"), QStringLiteral("Filename can not be empty"),
            QStringLiteral("Filename changed"), QStringLiteral("Filename changed") }));

    // A name typed but not confirmed is not used.
    name->setText(QStringLiteral("other"));
    setRange(QStringLiteral("2"), QStringLiteral("2"));
    exportNow();
    QCOMPARE(m_rig.window->exportFileName(), QStringLiteral("trip 2"));
    QCOMPARE(driveCEntries(), QStringList { QStringLiteral("trip 2.txt") });
    QCOMPARE(readFile(report(QStringLiteral("trip 2"))), header());
}

void TestExport::enterKeysInRangeBoxes()
{
    startWith(Logbook::image({ Logbook::kFlightD }, kPilotBytes));
    m_rig.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_rig.window.get()));
    QLineEdit *from = m_rig.box("txtFromFlight");
    QLineEdit *until = m_rig.box("txtUntilFlight");
    setRange(QStringLiteral("2"), QStringLiteral("2"));
    from->setFocus();

    QTest::keyClick(from, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), until);
    QCOMPARE(m_rig.newLog(), QStringList());
    QTest::qWait(100);
    QCOMPARE(m_rig.commands(), QStringList());

    QTest::keyClick(until, Qt::Key_Return);
    QCOMPARE(m_rig.newLog(),
        (QStringList { QStringLiteral("Only 1 flights in memory"), QStringLiteral("Txt file ready") }));
    QCOMPARE(readFile(report()), header());
    QCOMPARE(until->text(), QStringLiteral("2"));
}

void TestExport::hangUpDuringRun_data()
{
    QTest::addColumn<QString>("until");
    QTest::newRow("during a middle flight") << "3";
    QTest::newRow("during the last flight") << "2";
}

void TestExport::hangUpDuringRun()
{
    QFETCH(QString, until);
    startWith(threeFlights());
    const QByteArray earlier = "an earlier report\r\n";
    QVERIFY(writeFile(report(), earlier));
    setRange(QStringLiteral("1"), until);

    // The cable goes once flight 2 is being read.
    bool hungUp = false;
    QTimer probe;
    probe.setInterval(5);
    connect(&probe, &QTimer::timeout, this, [&] {
        if (m_rig.child<QLabel>("lblCounter")->text() == QStringLiteral("2")) {
            probe.stop();
            hungUp = m_rig.sim->hangUp();
        }
    });
    probe.start();
    exportNow();
    probe.stop();

    QVERIFY(hungUp);
    const QStringList log = m_rig.newLog();
    QVERIFY2(log.contains(QStringLiteral("COM port not open")), qPrintable(log.join(" | ")));
    QVERIFY2(!log.contains(QStringLiteral("Txt file ready")), qPrintable(log.join(" | ")));
    QCOMPARE(readFile(report()), earlier);
    QCOMPARE(driveCEntries(), QStringList { QStringLiteral("flightlog.txt") });

    // The window is usable again after Reset; a new run finds the port closed.
    QVERIFY(!m_rig.window->isOperationRunning());
    m_rig.button("Command3")->click();
    QVERIFY(m_rig.button("cmdExport")->isEnabled());
    QCOMPARE(m_rig.child<QLabel>("lblCounter")->text(), QStringLiteral("_"));
    m_rig.mark();
    exportNow();
    QCOMPARE(m_rig.newLog(), QStringList { QStringLiteral("COM port not open") });
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
