#include "link/DeviceMap.h"
#include "link/PortCatalog.h"
#include "tests/support/Pty.h"
#include "ui/PortsDialog.h"

#include "tests/support/NamedChild.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <memory>
#include <stdlib.h>
#include <unistd.h>

namespace {

using Adapter = Pty; // a USB serial adapter just plugged in

} // namespace

// The ports window over a device list of the test's choosing, real terminals
// and a real device map folder.
class tst_PortsDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void choosingADetectedDeviceWritesItsStableName();
    void cancelAndEscWriteNothing_data();
    void cancelAndEscWriteNothing();
    void handMadeLinkIsShownAndKept();
    void followsAdaptersPluggedInAndOut();
    void otherDeviceTakesATypedPath();
    void linkThatCannotBeWrittenIsReportedInTheWindow();
    void tabVisitsEveryControlInReadingOrder();

private:
    std::unique_ptr<PortsDialog> open(const QString &openDevice = QString());
    QComboBox *row(PortsDialog *dialog, int port)
    {
        return namedChild<QComboBox>(dialog, QStringLiteral("cmbCom%1").arg(port));
    }
    QString state(PortsDialog *dialog, int port)
    {
        return namedChild<QLabel>(dialog, QStringLiteral("lblState%1").arg(port))->text();
    }
    static void choose(QComboBox *list, const QString &stored)
    {
        const int index = list->findData(stored);
        QVERIFY2(index >= 0, qPrintable(stored));
        list->setCurrentIndex(index);
    }
    QString link(const QString &name) const
    {
        return QFileInfo(DeviceMap::directory() + QLatin1Char('/') + name).symLinkTarget();
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

std::unique_ptr<PortsDialog> tst_PortsDialog::open(const QString &openDevice)
{
    auto dialog = std::make_unique<PortsDialog>(
        nullptr, openDevice, PortCatalog([this] { return m_present; }, m_byId->path()));
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog.get()))
        qWarning("ports window not shown");
    return dialog;
}

void tst_PortsDialog::choosingADetectedDeviceWritesItsStableName()
{
    QVERIFY(!QFileInfo::exists(DeviceMap::directory()));
    auto dialog = open();
    QComboBox *com2 = row(dialog.get(), 2);
    QCOMPARE(com2->currentText(), QStringLiteral("Built-in port (/dev/ttyS1)"));
    QVERIFY(com2->findText(QStringLiteral("USB Serial, Maker, serial A1 (%1)").arg(m_adapter->slave)) > 0);
    choose(com2, m_stable);
    QCOMPARE(state(dialog.get(), 2), QStringLiteral("Ready"));

    const QString reports = m_config->filePath(QStringLiteral("Flightlogs"));
    QVERIFY(QDir().mkpath(reports));
    dialog->setChosenFolder(reports);
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();

    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(link(QStringLiteral("com2")), m_stable);
    QCOMPARE(DeviceMap::comPortDevice(2), m_adapter->slave);
    QCOMPARE(DeviceMap::driveCFolder(), reports);
    QCOMPARE(dialog->changedPorts(), QList<int>({ 2 }));
    QVERIFY(dialog->driveCChanged());
    QVERIFY(!QFileInfo(DeviceMap::directory() + QStringLiteral("/com1")).isSymLink());
}

void tst_PortsDialog::cancelAndEscWriteNothing_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("Cancel") << false;
    QTest::newRow("Esc") << true;
}

void tst_PortsDialog::cancelAndEscWriteNothing()
{
    QFETCH(bool, escape);
    auto dialog = open();
    choose(row(dialog.get(), 1), m_stable);
    dialog->setChosenFolder(m_config->path());
    if (escape)
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
    else
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QVERIFY(!dialog->isVisible());
    QVERIFY(!QFileInfo::exists(DeviceMap::directory()));
}

void tst_PortsDialog::handMadeLinkIsShownAndKept()
{
    const QString own = m_config->filePath(QStringLiteral("my-adapter"));
    QVERIFY(DeviceMap::writeLinks({ { QStringLiteral("com3"), own } }));
    auto dialog = open();
    QCOMPARE(row(dialog.get(), 3)->currentText(), own + QStringLiteral(" (as set now)"));
    QCOMPARE(state(dialog.get(), 3), QStringLiteral("Not plugged in"));
    choose(row(dialog.get(), 1), m_stable);
    dialog->accept();
    QCOMPARE(dialog->changedPorts(), QList<int>({ 1 }));
    QVERIFY(!dialog->driveCChanged());
    QCOMPARE(link(QStringLiteral("com3")), own);
    QCOMPARE(link(QStringLiteral("com1")), m_stable);
}

void tst_PortsDialog::followsAdaptersPluggedInAndOut()
{
    const QList<SerialDeviceInfo> plugged = m_present;
    m_present.clear();
    auto dialog = open();
    QComboBox *com1 = row(dialog.get(), 1);
    QCOMPARE(com1->findData(m_stable), -1);

    m_present = plugged;
    dialog->refresh();
    choose(com1, m_stable);
    QCOMPARE(state(dialog.get(), 1), QStringLiteral("Ready"));

    // Held by another program, then by this one.
    QSerialPort other;
    other.setPortName(m_adapter->slave);
    QVERIFY(other.open(QIODevice::ReadWrite));
    dialog->refresh();
    QCOMPARE(state(dialog.get(), 1), QStringLiteral("In use by another program"));
    QCOMPARE(com1->accessibleDescription(), state(dialog.get(), 1));
    other.close();
    dialog->setOpenDevice(m_adapter->slave);
    QCOMPARE(state(dialog.get(), 1), QStringLiteral("In use by this program"));
    dialog->setOpenDevice(QString());

    // Unplugged: the choice stays, and says so.
    m_present.clear();
    delete m_adapter;
    m_adapter = nullptr;
    dialog->refresh();
    QCOMPARE(com1->currentData().toString(), m_stable);
    QCOMPARE(dialog->chosenDevice(1), m_stable);
    QCOMPARE(state(dialog.get(), 1), QStringLiteral("Not plugged in"));
}

void tst_PortsDialog::otherDeviceTakesATypedPath()
{
    auto dialog = open();
    QComboBox *com4 = row(dialog.get(), 4);
    const QString typed = m_adapter->slave;
    bool answered = false;
    QTimer::singleShot(0, this, [&] {
        QWidget *ask = QApplication::activeModalWidget();
        auto *path = ask ? ask->findChild<QLineEdit *>(QStringLiteral("txtOtherDevice")) : nullptr;
        if (!path)
            return;
        QCOMPARE(path->text(), QStringLiteral("/dev/ttyS3"));
        path->setText(typed);
        QTest::keyClick(path, Qt::Key_Return);
        answered = true;
    });
    com4->setCurrentIndex(com4->findText(QStringLiteral("Other device...")));
    QVERIFY(answered);
    QCOMPARE(dialog->chosenDevice(4), typed);
    QCOMPARE(com4->currentText(), typed);
    QCOMPARE(state(dialog.get(), 4), QStringLiteral("Ready"));
}

void tst_PortsDialog::linkThatCannotBeWrittenIsReportedInTheWindow()
{
    // The map folder would have to be made under a file.
    QFile blocker(m_config->filePath(QStringLiteral("tolmera-reader")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    auto dialog = open();
    choose(row(dialog.get(), 1), m_stable);
    dialog->setChosenFolder(m_config->path());
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();

    QVERIFY(dialog->isVisible());
    auto *problem = namedChild<QLabel>(dialog.get(), QStringLiteral("lblError"));
    QVERIFY(problem->isVisible());
    QVERIFY2(problem->text().contains(QLatin1String("Nothing was changed")), qPrintable(problem->text()));
    QVERIFY(dialog->changedPorts().isEmpty());
    QVERIFY(QFileInfo(blocker.fileName()).isFile());
}

void tst_PortsDialog::tabVisitsEveryControlInReadingOrder()
{
    auto dialog = open();
    QStringList expected;
    for (int port = 1; port <= 4; ++port)
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
