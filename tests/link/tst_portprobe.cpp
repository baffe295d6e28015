#include "link/DeviceMap.h"
#include "link/PortCatalog.h"
#include "link/PortProbe.h"
#include "link/SerialLink.h"
#include "tests/support/Pty.h"

#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(PortState)

namespace {

} // namespace

class tst_PortProbe : public QObject
{
    Q_OBJECT

private slots:
    void classifiesByTrying_data();
    void classifiesByTrying();
    void forbiddenDeviceAsAnotherUser();
    void stableNameIsTheByIdLinkOfTheDevice();
    void failedOpenExplainsItselfOnStandardError();
};

void tst_PortProbe::classifiesByTrying_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<PortState>("expected");
    QTest::newRow("missing") << "missing" << PortState::Missing;
    QTest::newRow("link to nothing") << "dangling" << PortState::Missing;
    QTest::newRow("free terminal") << "pty" << PortState::Ready;
    QTest::newRow("terminal held by a serial port") << "qserialport" << PortState::BusyElsewhere;
    QTest::newRow("terminal under flock") << "flock" << PortState::BusyElsewhere;
    QTest::newRow("terminal this program has open") << "here" << PortState::BusyHere;
    QTest::newRow("regular file") << "file" << PortState::NotSerial;
    QTest::newRow("/dev/null") << "null" << PortState::NotSerial;
}

void tst_PortProbe::classifiesByTrying()
{
    QFETCH(QString, setup);
    QFETCH(PortState, expected);

    QTemporaryDir dir;
    Pty pty;
    QVERIFY(!pty.slave.isEmpty());
    QSerialPort holder;
    int flocked = -1;
    QString device;
    QString openHere;

    if (setup == QLatin1String("missing")) {
        device = dir.filePath(QStringLiteral("ttyUSB7"));
    } else if (setup == QLatin1String("dangling")) {
        device = dir.filePath(QStringLiteral("com1"));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), device));
    } else if (setup == QLatin1String("file") || setup == QLatin1String("null")) {
        device = setup == QLatin1String("null") ? QStringLiteral("/dev/null")
                                                : dir.filePath(QStringLiteral("f"));
        QFile file(device);
        QVERIFY(file.open(QIODevice::ReadWrite));
    } else {
        device = pty.slave;
        if (setup == QLatin1String("qserialport")) {
            holder.setPortName(pty.slave);
            QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));
        } else if (setup == QLatin1String("flock")) {
            flocked = ::open(QFile::encodeName(pty.slave).constData(), O_RDWR | O_NOCTTY);
            QVERIFY(flocked >= 0);
            QCOMPARE(::flock(flocked, LOCK_EX), 0);
        } else if (setup == QLatin1String("here")) {
            // Named through a link, as the device map names it.
            openHere = pty.slave;
            device = dir.filePath(QStringLiteral("com2"));
            QVERIFY(QFile::link(pty.slave, device));
        }
    }

    const PortState state = probePort(device, openHere);
    if (flocked >= 0)
        ::close(flocked);
    QCOMPARE(state, expected);
    // Trying a port must leave it as it was: a free port stays free.
    if (expected == PortState::Ready)
        QCOMPARE(probePort(device), PortState::Ready);
}

void tst_PortProbe::forbiddenDeviceAsAnotherUser()
{
    // Permission checks do not apply to root, so ask as an ordinary user in a
    // child process.
    Pty pty;
    QVERIFY(!pty.slave.isEmpty());
    QCOMPARE(::chmod(QFile::encodeName(pty.slave).constData(), 0600), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0)
            ::_exit(100);
        ::_exit(int(probePort(pty.slave)));
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), int(PortState::NoPermission));
}

void tst_PortProbe::stableNameIsTheByIdLinkOfTheDevice()
{
    QTemporaryDir byId;
    Pty first;
    Pty second;
    QVERIFY(QFile::link(second.slave, byId.filePath(QStringLiteral("usb-Maker_Other_9-if00"))));
    QVERIFY(QFile::link(first.slave, byId.filePath(QStringLiteral("usb-Maker_Adapter_A1-if00-port0"))));
    QVERIFY(QFile::link(QStringLiteral("/nonexistent"), byId.filePath(QStringLiteral("usb-broken"))));

    const QList<SerialDeviceInfo> listed = { { first.slave, QStringLiteral("USB Serial"),
                                                 QStringLiteral("Maker"), QStringLiteral("A1"), QString() },
        { QStringLiteral("/dev/ttyS3"), QString(), QString(), QString(), QString() } };
    const PortCatalog catalog([listed] { return listed; }, byId.path());
    const QList<SerialDeviceInfo> found = catalog.devices();
    QCOMPARE(found.size(), 2);
    QCOMPARE(found[0].storedName(), byId.filePath(QStringLiteral("usb-Maker_Adapter_A1-if00-port0")));
    QCOMPARE(found[0].displayText(), QStringLiteral("USB Serial, Maker, serial A1 (%1)").arg(first.slave));
    QCOMPARE(found[1].storedName(), QStringLiteral("/dev/ttyS3"));
    QCOMPARE(found[1].displayText(), QStringLiteral("/dev/ttyS3"));
}

void tst_PortProbe::failedOpenExplainsItselfOnStandardError()
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const QString missing = config.filePath(QStringLiteral("ttyUSB4"));
    QVERIFY(DeviceMap::writeLinks({ { DeviceMap::comLinkName(2), missing } }));

    QTemporaryDir capture;
    const QByteArray errPath = QFile::encodeName(capture.filePath(QStringLiteral("stderr")));
    std::fflush(stderr);
    const int saved = ::dup(2);
    const int file = ::open(errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(file, 2);
    SerialLink link;
    link.setCommPort(2);
    const bool opened = link.open();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    ::close(file);
    qunsetenv("XDG_CONFIG_HOME");

    QVERIFY(!opened);
    QFile written(QFile::decodeName(errPath));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(),
        QStringLiteral("tolmera-reader: COM2 (%1): cannot open: Not plugged in\n")
            .arg(missing)
            .toLocal8Bit());
}

QTEST_GUILESS_MAIN(tst_PortProbe)
#include "tst_portprobe.moc"
