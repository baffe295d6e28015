#include "link/DeviceMap.h"
#include "link/PortCatalog.h"
#include "tests/support/Pty.h"
#include "ui/MainWindow.h"
#include "ui/PortsDialog.h"

#include "tests/support/NamedChild.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <memory>
#include <thread>

using Adapter = Pty; // a USB serial adapter just plugged in

// The ports window over a device list of the test's choosing, real terminals
// and a real device map folder. Writing the map is DeviceMap's, tested there.
class tst_PortsDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void choiceFollowsAdaptersAndHoldsOnlyChangedRows();
    void stuckDeviceShowsNotRespondingWithoutFreezing();
    void okThatCannotBeKeptShowsTheProblemAndStays();
    void tabVisitsEveryControlInReadingOrder();

private:
    std::unique_ptr<PortsDialog> open(PortsDialog::Probe probe = PortsDialog::defaultProbe);
    QComboBox *row(QWidget *dialog, int port)
    {
        return namedChild<QComboBox>(dialog, QStringLiteral("cmbCom%1").arg(port));
    }
    QString state(QWidget *dialog, int port)
    {
        return namedChild<QLabel>(dialog, QStringLiteral("lblState%1").arg(port))->text();
    }
    static void choose(QComboBox *list, const QString &stored)
    {
        const int index = list->findData(stored);
        QVERIFY2(index >= 0, qPrintable(stored));
        list->setCurrentIndex(index);
    }

    QTemporaryDir *m_config = nullptr;
    QTemporaryDir *m_byId = nullptr;
    Adapter *m_adapter = nullptr;
    QString m_stable;
    QList<SerialDeviceInfo> m_present;
};

void tst_PortsDialog::init()
{
    m_config = new QTemporaryDir;
    m_byId = new QTemporaryDir;
    m_adapter = new Adapter;
    QVERIFY(!m_adapter->slave.isEmpty());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
    m_stable = m_byId->filePath(QStringLiteral("usb-Maker_USB_Serial_A1-if00-port0"));
    QVERIFY(QFile::link(m_adapter->slave, m_stable));
    m_present = { { m_adapter->slave, QStringLiteral("USB Serial"), QStringLiteral("Maker"),
        QStringLiteral("A1"), QString() } };
}

void tst_PortsDialog::cleanup()
{
    qunsetenv("XDG_CONFIG_HOME");
    delete m_adapter;
    delete m_byId;
    delete m_config;
}

std::unique_ptr<PortsDialog> tst_PortsDialog::open(PortsDialog::Probe probe)
{
    auto dialog = std::make_unique<PortsDialog>(
        nullptr, QString(), PortCatalog([this] { return m_present; }, m_byId->path()), std::move(probe));
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog.get()))
        qWarning("ports window not shown");
    return dialog;
}

void tst_PortsDialog::choiceFollowsAdaptersAndHoldsOnlyChangedRows()
{
    // A link made by hand to a path of the user's own is shown as it is and
    // stays out of the choice while its row is not touched.
    const QString own = m_config->filePath(QStringLiteral("my-adapter"));
    QVERIFY(DeviceMap::writeLinks({ { QStringLiteral("com3"), own } }).ok);
    const QList<SerialDeviceInfo> plugged = m_present;
    m_present.clear();
    auto dialog = open();
    QCOMPARE(row(dialog.get(), 3)->currentText(), own + QStringLiteral(" (as set now)"));
    QTRY_COMPARE(state(dialog.get(), 3), QStringLiteral("Not plugged in"));
    QComboBox *com2 = row(dialog.get(), 2);
    QCOMPARE(com2->currentText(), QStringLiteral("Built-in port (/dev/ttyS1)"));
    QCOMPARE(com2->findData(m_stable), -1);

    m_present = plugged;
    dialog->refresh();
    QVERIFY(com2->findText(QStringLiteral("USB Serial, Maker, serial A1 (%1)").arg(m_adapter->slave)) > 0);
    choose(com2, m_stable);
    QTRY_COMPARE(state(dialog.get(), 2), QStringLiteral("Ready"));
    dialog->setOpenDevice(m_adapter->slave);
    QTRY_COMPARE(state(dialog.get(), 2), QStringLiteral("In use by this program"));
    QCOMPARE(com2->accessibleDescription(), state(dialog.get(), 2));
    dialog->setOpenDevice(QString());
    dialog->setChosenFolder(m_config->path() + QStringLiteral("/Flightlogs/"));
    const DeviceMap::Choice chosen = dialog->choice();
    QCOMPARE(chosen.ports, (QMap<int, QString>({ { 2, m_stable } })));
    QCOMPARE(chosen.folder.value_or(QString()), m_config->filePath(QStringLiteral("Flightlogs")));

    // Unplugged: the choice stays, and says so.
    m_present.clear();
    delete m_adapter;
    m_adapter = nullptr;
    dialog->refresh();
    QCOMPARE(com2->currentData().toString(), m_stable);
    QTRY_COMPARE(state(dialog.get(), 2), QStringLiteral("Not plugged in"));
}

void tst_PortsDialog::stuckDeviceShowsNotRespondingWithoutFreezing()
{
    // A device on a stuck mount: looking at it does not come back.
    const QString stuck = m_config->filePath(QStringLiteral("stuck-mount/ttyUSB0"));
    QVERIFY(DeviceMap::writeLinks({ { QStringLiteral("com2"), stuck } }).ok);
    QElapsedTimer clock;
    clock.start();
    auto dialog = open([stuck](const QString &device, const QString &openHere) {
        if (device == stuck)
            std::this_thread::sleep_for(std::chrono::seconds(6));
        return PortProbe::probe(device, openHere);
    });
    QVERIFY2(clock.elapsed() < PortProbe::kTimeLimitMs, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE(state(dialog.get(), 2), QStringLiteral("Not responding"));
    QVERIFY(clock.elapsed() < PortProbe::kTimeLimitMs + 2000);
    QCOMPARE(state(dialog.get(), 4), QStringLiteral("Not plugged in"));
    // The other rows go on following their devices.
    choose(row(dialog.get(), 1), m_stable);
    QTRY_COMPARE(state(dialog.get(), 1), QStringLiteral("Ready"));
}

void tst_PortsDialog::okThatCannotBeKeptShowsTheProblemAndStays()
{
    // File > Ports and Folder... in the main window: c: is a file of the
    // user's, so OK cannot keep the new folder; the window comes back saying
    // why, and COM1's link, already removed, is put back.
    const QString none = m_config->filePath(QStringLiteral("none"));
    QVERIFY(DeviceMap::writeLinks({ { QStringLiteral("com1"), none } }).ok);
    QFile notes(DeviceMap::directory() + QStringLiteral("/c:"));
    QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("notes") == 5);
    notes.close();
    MainWindow window;
    window.show();

    int phase = 0;
    QString problem;
    QTimer driver;
    connect(&driver, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<PortsDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        auto *shown = namedChild<QLabel>(dialog, QStringLiteral("lblError"));
        if (phase == 0) {
            phase = 1;
            row(dialog, 1)->setCurrentIndex(0); // the built-in port
            dialog->setChosenFolder(m_config->path());
            dialog->accept();
        } else if (shown->isVisible()) {
            problem = shown->text();
            dialog->reject();
        }
    });
    driver.start(10);
    namedChild<QAction>(&window, QStringLiteral("PortsFolder"))->trigger();
    driver.stop();

    QVERIFY2(problem.startsWith(QLatin1String("c: is not a symbolic link")), qPrintable(problem));
    QVERIFY2(problem.endsWith(QLatin1String("Nothing was changed.")), qPrintable(problem));
    QCOMPARE(DeviceMap::linkTarget(QStringLiteral("com1")), none);
    QVERIFY(notes.open(QIODevice::ReadOnly));
    QCOMPARE(notes.readAll(), QByteArray("notes"));
}

void tst_PortsDialog::tabVisitsEveryControlInReadingOrder()
{
    auto dialog = open();
    QStringList expected;
    for (int port = 1; port <= DeviceMap::kPortCount; ++port)
        QTRY_VERIFY(!state(dialog.get(), port).isEmpty());
    for (int port = 1; port <= DeviceMap::kPortCount; ++port)
        expected << QStringLiteral("cmbCom%1").arg(port) << QStringLiteral("lblState%1").arg(port);
    expected << QStringLiteral("txtFolder") << QStringLiteral("cmdChooseFolder") << QStringLiteral("OK")
             << QStringLiteral("Cancel");

    QStringList visited;
    QWidget *start = row(dialog.get(), 1);
    start->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), start);
    for (int i = 0; i < expected.size(); ++i) {
        QWidget *focus = QApplication::focusWidget();
        auto *button = qobject_cast<QPushButton *>(focus);
        visited << (button && focus->objectName().isEmpty() ? button->text().remove(QLatin1Char('&'))
                                                            : focus->objectName());
        // Every stop has a name a screen reader can say.
        QVERIFY2(!focus->accessibleName().isEmpty() || button, qPrintable(visited.last()));
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    QCOMPARE(visited, expected);
}

QTEST_MAIN(tst_PortsDialog)
#include "tst_portsdialog.moc"
