// The export through the window with the text report against the simulated
// instrument: the report compared byte for byte, the counter and the controls
// during the run, a refused range, a report that cannot be written, the file
// name settings and the Enter keys. What the run reads and stores, and where
// it stops (a cable pulled included), is tested on the run itself
// (tst_exportrun); that a cut-off run leaves every file alone is a column of
// the fault matrix.

#include "tests/support/Files.h"
#include "tests/support/InstrumentRig.h"
#include "tests/support/ReportBytes.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTest>
#include <QTimer>

namespace {

// R E N É € and three spaces: É has the same code as in Latin-1, € does not.
const QByteArray kPilotBytes = "REN\xC9\x80   ";

QByteArray header(const QByteArray &pilotBytes = kPilotBytes)
{
    return ReportBytes::header(pilotBytes);
}

using ReportBytes::line;

// Flights 1 to 3: the worked example, a negative QNE, zeros.
MemoryImage threeFlights()
{
    return MemoryFlights::image(
        { MemoryFlights::kFlightD, MemoryFlights::kFlightA, MemoryFlights::kFlightB }, kPilotBytes);
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
    void reportCannotBeWritten_data();
    void reportCannotBeWritten();
    void fileNameSettings();
    void enterKeysInRangeBoxes();

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
    m_rig.reset();
}

void TestExport::fullRunWritesReport()
{
    startWith(threeFlights());
    setRange(QStringLiteral("1"), QStringLiteral("3"));

    // Watch the progress label and the controls while the run waits.
    QStringList counter;
    bool enabledDuringRun = false;
    bool enteredDuringRun = false;
    QTimer probe;
    probe.setInterval(5);
    connect(&probe, &QTimer::timeout, this, [&] {
        if (!m_rig.window->isOperationRunning())
            return;
        const QString text = m_rig.child<QLabel>("lblCounter")->text();
        if (counter.isEmpty() || counter.last() != text)
            counter << text;
        enabledDuringRun = enabledDuringRun || anyOperationControlEnabled();
        // Enter in a box that the run disabled runs nothing: the report name
        // stays the one the run writes.
        if (counter.last() == QStringLiteral("2") && !enteredDuringRun) {
            enteredDuringRun = true;
            m_rig.box("txtFileName")->setText(QStringLiteral("renamed"));
            QTest::keyClick(m_rig.box("txtFileName"), Qt::Key_Return);
        }
    });
    probe.start();
    exportNow();
    probe.stop();

    QCOMPARE(Files::read(report()),
        header() + line(MemoryFlights::textsD(1)) + line(MemoryFlights::textsA(2))
            + line(MemoryFlights::textsB(3)));
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
    QVERIFY(enteredDuringRun);
    QCOMPARE(m_rig.window->exportFileName(), QStringLiteral("flightlog"));
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
    // The checks themselves are unit rows of tst_exportrange.
    QTest::newRow("from letters") << "abc"
                                  << "3" << notNumeric;
    QTest::newRow("until 101") << "1"
                               << "101" << outside;
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
    startWith(MemoryFlights::image({ MemoryFlights::kFlightD, MemoryFlights::kFlightA }, kPilotBytes));
    const QByteArray earlier = "an earlier report\r\n";
    QVERIFY(Files::write(report(), earlier));
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
    QCOMPARE(Files::read(report()), earlier);
    QVERIFY(m_rig.button("cmdExport")->isEnabled());
    QCOMPARE(m_rig.child<QLabel>("lblCounter")->text(), QStringLiteral("_"));
}

void TestExport::fileNameSettings()
{
    startWith(MemoryFlights::image({ MemoryFlights::kFlightD }, kPilotBytes));
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
    QCOMPARE(Files::read(report(QStringLiteral("trip 2"))), header());
}

void TestExport::enterKeysInRangeBoxes()
{
    startWith(MemoryFlights::image({ MemoryFlights::kFlightD }, kPilotBytes));
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
    QCOMPARE(Files::read(report()), header());
    QCOMPARE(until->text(), QStringLiteral("2"));
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
