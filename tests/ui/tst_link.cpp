#include "link/ReceiveBuffer.h"
#include "link/SerialLink.h"
#include "tests/support/InstrumentRig.h"
#include "tests/support/SimInstrument.h"
#include "ui/MainWindow.h"
#include "ui/PortsDialog.h"

#include <QFileInfo>

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// The controls that go grey while the receive buffer holds anything or an
// operation runs, in the order the window switches them.
const QStringList kOperationControls { "cmdGetFlight", "cmdExport", "btnVersie", "cmbExportSettings",
    "txtFromFlight", "txtUntilFlight", "cmbCommPort", "txtVluchtNummer", "txtFileName", "cmdSaveFileName",
    "savepilot", "txtPilot", "cmdGetPilotName" };

QString line(const QString &message)
{
    return QStringLiteral(" * ") + message + QLatin1Char('\n');
}

} // namespace

// The serial link as the main window shows it, against the simulated
// instrument on a real pseudo-terminal: port selection, the receive buffer
// and the controls that follow it, and what happens when the cable is pulled.
// The connection check's answers and their status lines are rows of the
// session test and the fault matrix.
class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void portSelection_data();
    void portSelection();
    void unaskedDataUntilCleared_data();
    void unaskedDataUntilCleared();
    void editMenuClearsShownValuesOnly();
    void excelTypeAndFileNameControls();
    void operationGuard();
    void unplugWhileIdle();
    void unplugDuringOperation();
    void portsWindowPutsInstrumentOnCom2();
    void floodWhileIdle();

private:
    // As the user's choice does: activated() comes even for the entry that is
    // already chosen.
    void choose(const char *list, int index)
    {
        auto *box = m_rig.child<QComboBox>(list);
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    void selectPort(int index) { choose("cmbCommPort", index); }
    void selectExportType(int index) { choose("cmbExportSettings", index); }
    bool putUnasked(const QByteArray &bytes);

    InstrumentRig m_rig;
    std::unique_ptr<SimInstrument> &m_sim = m_rig.sim;
    std::unique_ptr<MainWindow> &m_window = m_rig.window;
};

void TestLink::init()
{
    QVERIFY(m_rig.start());
    QCOMPARE(statusLogText(*m_window), line(QStringLiteral("COM1 selected")));
}

void TestLink::cleanup()
{
    m_rig.reset();
}

bool TestLink::putUnasked(const QByteArray &bytes)
{
    const QString before = m_window->receiveBufferText();
    return m_sim->sendUnasked(bytes)
        && waitFor(
            [&] { return m_window->receiveBufferText() == before + QString::fromLatin1(bytes); }, 2000);
}

// ---------------------------------------------------------------------------

void TestLink::portSelection_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("message");

    QTest::newRow("COM1 again") << "" << 0 << "COM1 selected";
    // Only works if COM1 is released before COM4 opens the same terminal.
    QTest::newRow("COM4 to the same terminal") << "com4 to terminal" << 3 << "COM4 selected";
    QTest::newRow("COM2 without link") << "" << 1 << "Error selecting COM port";
    QTest::newRow("COM3 link to missing device") << "com3 to missing" << 2 << "Error selecting COM port";
    QTest::newRow("COM1 held by another program") << "hold terminal" << 0 << "Error selecting COM port";
}

void TestLink::portSelection()
{
    QFETCH(QString, setup);
    QFETCH(int, index);
    QFETCH(QString, message);
    MainWindow &w = *m_window;

    if (index == 1 && QFile::exists(QStringLiteral("/dev/ttyS1")))
        QSKIP("this machine has a /dev/ttyS1 that COM2 might open");

    QVERIFY(putUnasked("xyz"));
    QSerialPort holder(m_sim->ptyPath());
    if (setup == QLatin1String("com4 to terminal")) {
        QVERIFY(QFile::link(m_sim->ptyPath(), m_sim->deviceMapDir() + QStringLiteral("/com4")));
    } else if (setup == QLatin1String("com3 to missing")) {
        QVERIFY(QFile::link(
            QStringLiteral("/nonexistent/ttyUSB7"), m_sim->deviceMapDir() + QStringLiteral("/com3")));
    } else if (setup == QLatin1String("hold terminal")) {
        w.serialPort().close();
        QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));
    }

    const QString logBefore = statusLogText(w);
    selectPort(index);
    QCOMPARE(statusLogText(w), logBefore + line(message));

    if (message.endsWith(QLatin1String("selected"))) {
        QVERIFY(w.serialPort().isOpen());
        QCOMPARE(w.serialPort().commPort(), index + 1);
        QCOMPARE(w.receiveBufferText(), QString());
        QCOMPARE(m_rig.enabledOperationControls(), kOperationControls);
        // The newly opened port really reaches the instrument.
        m_sim->clearTranscript();
        QVERIFY(w.checkConnection());
        QCOMPARE(m_sim->receivedCommands(), QStringList { "T" });
    } else {
        QVERIFY(!w.serialPort().isOpen());
        QCOMPARE(w.receiveBufferText(), QStringLiteral("xyz"));
        QCOMPARE(m_rig.enabledOperationControls(), QStringList());
    }
}

void TestLink::unaskedDataUntilCleared_data()
{
    QTest::addColumn<QString>("clearBy");
    QTest::newRow("Reset") << "Command3";
    QTest::newRow("Edit > Clear Status") << "ClearS";
}

void TestLink::unaskedDataUntilCleared()
{
    QFETCH(QString, clearBy);
    MainWindow &w = *m_window;
    auto *activity = m_rig.child<QLineEdit>("txtStatusBlind");
    auto *counter = m_rig.child<QLabel>("lblCounter");
    QSignalSpy portEvents(&w.serialPort(), &SerialLink::commEvent);

    QVERIFY(putUnasked("AB"));
    QCOMPARE(m_rig.enabledOperationControls(), QStringList());
    // Reset, the status window and the menus stay usable.
    QVERIFY(m_rig.child<QPushButton>("Command3")->isEnabled());
    QVERIFY(m_rig.child<QPlainTextEdit>("txtErrorWindow")->isEnabled());
    QVERIFY(w.menuBar()->isEnabled());
    for (const char *action : { "Exit", "ClearFD", "ClearFI", "ClearS", "info", "About" })
        QVERIFY2(m_rig.child<QAction>(action)->isEnabled(), action);
    // One bar per port event.
    QVERIFY(portEvents.count() >= 1);
    QCOMPARE(activity->text(), QString(portEvents.count() + 1, QLatin1Char('|')));

    // Later arrivals are appended as they come, nothing in between.
    QVERIFY(putUnasked("C\tD"));
    QCOMPARE(w.receiveBufferText(), QStringLiteral("ABC\tD"));
    QCOMPARE(activity->text(), QString(portEvents.count() + 1, QLatin1Char('|')));

    counter->setText(QStringLiteral("Pilot Name"));
    if (clearBy == QLatin1String("Command3"))
        m_rig.child<QPushButton>(qPrintable(clearBy))->click();
    else
        m_rig.child<QAction>(qPrintable(clearBy))->trigger();

    QCOMPARE(statusLogText(w), QString());
    QCOMPARE(m_rig.child<QPlainTextEdit>("txtErrorWindow")->toPlainText(), QString());
    QCOMPARE(w.receiveBufferText(), QString());
    QCOMPARE(activity->text(), QStringLiteral("|"));
    QCOMPARE(counter->text(), QStringLiteral("_"));
    QCOMPARE(m_rig.enabledOperationControls(), kOperationControls);
}

void TestLink::editMenuClearsShownValuesOnly()
{
    MainWindow &w = *m_window;
    m_rig.child<QPushButton>("btnVersie")->click();
    m_rig.box("txtVluchtNummer")->setText(QStringLiteral("1"));
    m_rig.child<QPushButton>("cmdGetFlight")->click();
    const QString name = QString::fromLatin1(MemoryImage::sample().pilotName());
    const QString heightDiff = m_rig.box("txtHeightdiffmax")->text();
    const QString log = statusLogText(w);
    const QList<const char *> info { "txtVersion", "txtSerial", "txtPilotName" };
    const QList<const char *> flight { "txtFlight", "txtDate", "txtStime", "txtDtime", "txtAltMax",
        "txtAltMin", "txtGain", "txtVarioMax", "txtVarioMin", "txtSpeedMax", "txtSpeedMin" };
    for (const char *box : info + flight)
        QVERIFY2(!m_rig.box(box)->text().isEmpty(), box);
    QVERIFY(!heightDiff.isEmpty());

    // Each menu entry empties its own boxes only.
    m_rig.child<QAction>("ClearFI")->trigger();
    for (const char *box : info)
        QVERIFY2(m_rig.box(box)->text().isEmpty(), box);
    for (const char *box : flight)
        QVERIFY2(!m_rig.box(box)->text().isEmpty(), box);
    // Only the shown texts go; the name last read is still what an export uses.
    QCOMPARE(w.pilotName(), name);

    // The height difference box takes typing and keeps it.
    m_rig.child<QAction>("ClearFD")->trigger();
    for (const char *box : flight)
        QVERIFY2(m_rig.box(box)->text().isEmpty(), box);
    QCOMPARE(m_rig.box("txtHeightdiffmax")->text(), heightDiff);
    QCOMPARE(statusLogText(w), log);
}

void TestLink::excelTypeAndFileNameControls()
{
    const QStringList fileNameControls { "txtFileName", "cmdSaveFileName" };
    QStringList others = kOperationControls;
    for (const QString &name : fileNameControls)
        others.removeAll(name);
    auto *caption = m_rig.child<QLabel>("Label1");

    selectExportType(1);
    QCOMPARE(m_rig.enabledOperationControls(), others);
    QVERIFY(!caption->isEnabled());

    QVERIFY(putUnasked("?"));
    QCOMPARE(m_rig.enabledOperationControls(), QStringList());

    // Emptying the buffer wakes every operation control, the file name ones
    // included; the caption waits for the next choice of export type.
    m_rig.child<QPushButton>("Command3")->click();
    QCOMPARE(m_rig.enabledOperationControls(), kOperationControls);
    QVERIFY(!caption->isEnabled());

    selectExportType(0);
    QCOMPARE(m_rig.enabledOperationControls(), kOperationControls);
    QVERIFY(caption->isEnabled());
}

void TestLink::operationGuard()
{
    MainWindow &w = *m_window;
    const QString logBefore = statusLogText(w);
    m_sim->clearTranscript();

    struct Sample
    {
        bool running;
        QStringList enabled;
        bool resetEnabled;
        bool menusEnabled;
    };
    QList<Sample> samples;
    QTimer sampler;
    sampler.setInterval(2);
    connect(&sampler, &QTimer::timeout, this, [&] {
        bool menus = w.menuBar()->isEnabled();
        for (const char *action : { "Exit", "ClearFD", "ClearFI", "ClearS", "info", "About" })
            menus = menus && m_rig.child<QAction>(action)->isEnabled();
        samples.append(Sample { w.isOperationRunning(), m_rig.enabledOperationControls(),
            m_rig.child<QPushButton>("Command3")->isEnabled(), menus });
    });

    // Halfway through, try every way in to a second operation, including
    // those a disabled control would not stop.
    bool triedSecond = false;
    QTimer::singleShot(300, this, [&] {
        triedSecond = w.isOperationRunning();
        m_rig.child<QPushButton>("cmdGetPilotName")->click();
        m_rig.child<QPushButton>("btnVersie")->click();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(m_rig.child<QLineEdit>("txtVluchtNummer"), &enter);
        QCoreApplication::sendEvent(m_rig.child<QLineEdit>("txtPilot"), &enter);
        selectPort(0);
    });

    sampler.start();
    m_rig.child<QPushButton>("cmdGetPilotName")->click();
    sampler.stop();

    QVERIFY(triedSecond);
    QVERIFY2(samples.size() >= 50, qPrintable(QString::number(samples.size())));
    for (const Sample &s : samples) {
        QVERIFY(s.running);
        QCOMPARE(s.enabled, QStringList());
        QVERIFY(s.resetEnabled);
        QVERIFY(s.menusEnabled);
    }
    // One run on the wire, nothing logged (no port reselection either), and
    // everything usable again afterwards.
    QCOMPARE(m_sim->receivedCommands(), QStringList { "T" } + Wire::pilotRefresh());
    QCOMPARE(statusLogText(w), logBefore);
    QCOMPARE(w.pilotName(), QString::fromLatin1(MemoryImage::sample().pilotName()));
    QVERIFY(!w.isOperationRunning());
    QCOMPARE(m_rig.enabledOperationControls(), kOperationControls);
}

void TestLink::unplugWhileIdle()
{
    MainWindow &w = *m_window;
    const QString logBefore = statusLogText(w);
    QVERIFY(m_sim->hangUp());
    QVERIFY(waitFor([&] { return !w.serialPort().isOpen(); }, 2000));
    QTest::qWait(200); // a port that keeps failing must not keep logging
    QCOMPARE(statusLogText(w), logBefore + line(QStringLiteral("COM port not open")));
    // The port event that brought no characters still shows as a bar.
    QCOMPARE(w.receiveBufferText(), QString());
    QVERIFY(m_rig.child<QLineEdit>("txtStatusBlind")->text().size() > 1);
    QCOMPARE(m_rig.enabledOperationControls(), kOperationControls);

    m_rig.child<QPushButton>("cmdGetPilotName")->click();
    QCOMPARE(statusLogText(w), logBefore + line(QStringLiteral("COM port not open")).repeated(2));
}

void TestLink::unplugDuringOperation()
{
    MainWindow &w = *m_window;
    const QString logBefore = statusLogText(w);

    // Pull the cable as soon as the name reads begin.
    bool pulled = false;
    QTimer watcher;
    watcher.setInterval(1);
    connect(&watcher, &QTimer::timeout, this, [&] {
        if (!pulled && m_rig.child<QLabel>("lblCounter")->text() == QLatin1String("Pilot Name")) {
            pulled = true;
            QVERIFY(m_sim->hangUp());
        }
    });
    watcher.start();
    QElapsedTimer clock;
    clock.start();
    m_rig.child<QPushButton>("cmdGetPilotName")->click();
    const qint64 elapsed = clock.elapsed();
    watcher.stop();

    QVERIFY(pulled);
    QVERIFY2(elapsed < 3000, qPrintable(QString::number(elapsed)));
    QVERIFY(!w.isOperationRunning());
    QVERIFY(!w.serialPort().isOpen());
    const QString added = statusLogText(w).mid(logBefore.size());
    QVERIFY2(added.contains(line(QStringLiteral("COM port not open"))), qPrintable(added));
    QVERIFY2(added.endsWith(line(QStringLiteral("Error processing pilot name"))), qPrintable(added));

    // The next operation finds the port closed.
    m_rig.child<QPushButton>("Command3")->click();
    m_rig.child<QPushButton>("cmdGetPilotName")->click();
    QCOMPARE(statusLogText(w), line(QStringLiteral("COM port not open")));
}

void TestLink::portsWindowPutsInstrumentOnCom2()
{
    // File > Ports and Folder...: COM2 gets the instrument's terminal typed
    // in as another device, then COM2 is chosen in the Port list.
    const QString logBefore = statusLogText(*m_window);
    bool accepted = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<PortsDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        QTimer::singleShot(0, this, [&] {
            QWidget *ask = QApplication::activeModalWidget();
            auto *path = ask ? ask->findChild<QLineEdit *>(QStringLiteral("txtOtherDevice")) : nullptr;
            if (!path)
                return;
            path->setText(m_sim->ptyPath());
            QTest::keyClick(path, Qt::Key_Return);
        });
        auto *com2 = namedChild<QComboBox>(dialog, QStringLiteral("cmbCom2"));
        com2->setCurrentIndex(com2->findText(QStringLiteral("Other device...")));
        dialog->accept();
        accepted = dialog->result() == QDialog::Accepted;
    });
    m_rig.child<QAction>("PortsFolder")->trigger();
    QVERIFY(accepted);
    QCOMPARE(QFileInfo(m_sim->deviceMapDir() + QStringLiteral("/com2")).symLinkTarget(), m_sim->ptyPath());
    // COM1, the port in use, did not change: it is not opened again.
    QCOMPARE(statusLogText(*m_window), logBefore);

    selectPort(1);
    QCOMPARE(statusLogText(*m_window), logBefore + line(QStringLiteral("COM2 selected")));
    m_rig.child<QPushButton>("btnVersie")->click();
    QCOMPARE(m_rig.child<QLineEdit>("txtVersion")->text(), QStringLiteral("V2.10"));
    QCOMPARE(m_rig.child<QLineEdit>("txtSerial")->text(), QStringLiteral("04711"));
    QCOMPARE(statusLogText(*m_window), logBefore + line(QStringLiteral("COM2 selected")));
}

void TestLink::floodWhileIdle()
{
    // A line that never goes quiet: the controls stay disabled until Reset,
    // as for any unasked data, and the activity strip stops growing where
    // its box can show no more.
    QVERIFY(m_sim->control(QStringLiteral("flood 1")));
    QTest::qWait(1300);
    QVERIFY(m_window->session().receiveBuffer().size() > ReceiveBuffer::kKeptCharacters);
    QCOMPARE(m_rig.enabledOperationControls(), QStringList());
    const int bars = int(m_rig.child<QLineEdit>("txtStatusBlind")->text().size());
    QVERIFY2(bars > 1 && bars <= 512, qPrintable(QString::number(bars)));
    m_rig.child<QPushButton>("Command3")->click();
    QCOMPARE(m_window->receiveBufferText(), QString());
    QCOMPARE(m_rig.enabledOperationControls(), kOperationControls);
}

QTEST_MAIN(TestLink)
#include "tst_link.moc"
