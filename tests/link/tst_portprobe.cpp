#include "link/DeviceMap.h"
#include "link/PortCatalog.h"
#include "link/PortProbe.h"
#include "link/SerialLink.h"
#include "tests/support/Pty.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

Q_DECLARE_METATYPE(PortState)

namespace {

// A process that holds the device open until it is killed; it does not keep
// the pseudo-terminal's master side, which would make it the far end.
pid_t holdOpen(const QString &device, int master)
{
    const QByteArray path = QFile::encodeName(device);
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(master);
        (void)!::write(ready[1], ::open(path.constData(), O_RDWR | O_NOCTTY) >= 0 ? "y" : "n", 1);
        ::pause();
        ::_exit(0);
    }
    char answer = 'n';
    (void)!::read(ready[0], &answer, 1);
    ::close(ready[0]);
    ::close(ready[1]);
    return answer == 'y' ? pid : -1;
}

QByteArray asciiPid(qint64 pid)
{
    return QByteArray::number(pid).rightJustified(10, ' ') + '\n';
}

QByteArray binaryPid(int pid)
{
    return QByteArray(reinterpret_cast<const char *>(&pid), sizeof pid);
}

// A pid no process has: above the kernel's largest.
constexpr int kEndedPid = 0x3ffffff0;

} // namespace

class tst_PortProbe : public QObject
{
    Q_OBJECT

private slots:
    void classifiesWithoutOpening_data();
    void classifiesWithoutOpening();
    void forbiddenDeviceAsAnotherUser();
    void stableNameIsTheByIdLinkOfTheDevice();
    void failedOpenExplainsItselfOnStandardError_data();
    void failedOpenExplainsItselfOnStandardError();
};

void tst_PortProbe::classifiesWithoutOpening_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QByteArray>("lock"); // written as the terminal's lock file
    QTest::addColumn<PortState>("expected");
    const QByteArray none;
    QTest::newRow("missing") << "missing" << none << PortState::Missing;
    QTest::newRow("link to nothing") << "dangling" << none << PortState::Missing;
    QTest::newRow("free terminal") << "pty" << none << PortState::Ready;
    QTest::newRow("terminal open in another process") << "holder" << none << PortState::BusyElsewhere;
    QTest::newRow("terminal this program has open") << "here" << none << PortState::BusyHere;
    QTest::newRow("regular file") << "file" << none << PortState::NotSerial;
    QTest::newRow("named pipe") << "fifo" << none << PortState::NotSerial;
    QTest::newRow("/dev/null") << "null" << none << PortState::NotSerial;
    const qint64 live = ::getppid();
    QTest::newRow("ASCII lock of a live process") << "pty" << asciiPid(live) << PortState::BusyElsewhere;
    QTest::newRow("binary lock of a live process")
        << "pty" << binaryPid(int(live)) << PortState::BusyElsewhere;
    QTest::newRow("lock of a process that ended") << "pty" << asciiPid(kEndedPid) << PortState::Ready;
    QTest::newRow("lock in a form not known") << "pty" << QByteArray("taken\n") << PortState::BusyElsewhere;
}

void tst_PortProbe::classifiesWithoutOpening()
{
    QFETCH(QString, setup);
    QFETCH(QByteArray, lock);
    QFETCH(PortState, expected);

    QTemporaryDir dir;
    QTemporaryDir locks;
    Pty pty;
    QVERIFY(!pty.slave.isEmpty());
    pid_t holder = -1;
    QString device = pty.slave;
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
    } else if (setup == QLatin1String("fifo")) {
        device = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(device).constData(), 0600), 0);
    } else if (setup == QLatin1String("holder")) {
        holder = holdOpen(pty.slave, pty.master);
        QVERIFY(holder > 0);
    } else if (setup == QLatin1String("here")) {
        // Named through a link, as the device map names it.
        openHere = pty.slave;
        device = dir.filePath(QStringLiteral("com2"));
        QVERIFY(QFile::link(pty.slave, device));
    }
    const QString lockPath = locks.filePath(QStringLiteral("LCK..") + pty.slave.mid(5).replace('/', '_'));
    if (!lock.isEmpty()) {
        QFile file(lockPath);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(lock) == lock.size());
    }
    // Opening a serial device raises DTR and RTS, which resets many boards:
    // the probe must find out without opening it.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0);
    if (setup != QLatin1String("null"))
        ::inotify_add_watch(watch, QFile::encodeName(device).constData(), IN_OPEN);

    const PortState state = PortProbe::probe(device, openHere, { locks.path() });
    if (holder > 0) {
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
    }
    QCOMPARE(state, expected);
    char event[4096];
    QCOMPARE(::read(watch, event, sizeof event), ssize_t(-1));
    ::close(watch);
    // A lock is only read, never removed or rewritten.
    if (!lock.isEmpty()) {
        QFile file(lockPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), lock);
    }
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
        ::_exit(int(PortProbe::probe(pty.slave)));
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

void tst_PortProbe::failedOpenExplainsItselfOnStandardError_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("lock"); // QSerialPort's lock file of the device
    QTest::addColumn<QString>("reason"); // empty: the port opens
    const QByteArray none;
    QTest::newRow("missing device") << "missing" << none << "Not plugged in";
    // QSerialPort would take this lock for a stale one and remove it.
    QTest::newRow("ASCII lock of a live process")
        << "lock" << asciiPid(::getppid()) << "In use by another program";
    // Taken over, as QSerialPort takes over one in the ASCII form.
    QTest::newRow("binary lock of a process that ended") << "lock" << binaryPid(kEndedPid) << "";
    QTest::newRow("device that does not answer") << "stuck" << none << "Not responding";
    // Another copy of the program opens the port between the look and the
    // open: its lock makes the open fail, and the line says why.
    QTest::newRow("taken between the look and the open") << "race" << none << "In use by another program";
}

void tst_PortProbe::failedOpenExplainsItselfOnStandardError()
{
    QFETCH(QString, fault);
    QFETCH(QByteArray, lock);
    QFETCH(QString, reason);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    Pty pty;
    QString device = pty.slave;
    QString lockPath;
    if (fault == QLatin1String("missing")) {
        device = config.filePath(QStringLiteral("ttyUSB4"));
    } else if (fault == QLatin1String("lock")) {
        // Where QSerialPort itself looks; in this test's own name.
        lockPath = PortProbe::serialLockFilePath(pty.slave);
        QFile file(lockPath);
        if (lockPath.isEmpty() || !file.open(QIODevice::NewOnly))
            QSKIP("no lock folder that this user may write");
        file.write(lock);
    }
    QVERIFY(DeviceMap::writeLinks({ { DeviceMap::comLinkName(2), device } }).ok);

    QTemporaryDir capture;
    const QByteArray errPath = QFile::encodeName(capture.filePath(QStringLiteral("stderr")));
    std::fflush(stderr);
    const int saved = ::dup(2);
    const int file = ::open(errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(file, 2);
    SerialLink link;
    link.setCommPort(2);
    SerialLink other;
    other.setCommPort(2);
    if (fault == QLatin1String("stuck")) {
        link.setProbe([](const QString &) {
            std::this_thread::sleep_for(std::chrono::seconds(5));
            return PortState::Ready;
        });
    } else if (fault == QLatin1String("race")) {
        // The first look still found the port free.
        auto looks = std::make_shared<int>(0);
        link.setProbe([looks](const QString &device) {
            return ++*looks == 1 ? PortState::Ready : PortProbe::probe(device);
        });
        QVERIFY(other.open());
    }
    QElapsedTimer clock;
    clock.start();
    const bool opened = link.open();
    const qint64 took = clock.elapsed();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    ::close(file);
    qunsetenv("XDG_CONFIG_HOME");
    QByteArray lockAfter;
    if (!lockPath.isEmpty()) {
        QFile kept(lockPath);
        if (kept.open(QIODevice::ReadOnly))
            lockAfter = kept.readAll();
        QFile::remove(lockPath);
    }

    QCOMPARE(opened, reason.isEmpty());
    QVERIFY2(took < PortProbe::kTimeLimitMs + 1500, qPrintable(QString::number(took)));
    QFile written(QFile::decodeName(errPath));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(),
        reason.isEmpty() ? QByteArray()
                         : QStringLiteral("tolmera-reader: COM2 (%1): cannot open: %2\n")
                               .arg(device, reason)
                               .toLocal8Bit());
    if (!reason.isEmpty() && !lockPath.isEmpty())
        QCOMPARE(lockAfter, lock);
}

QTEST_GUILESS_MAIN(tst_PortProbe)
#include "tst_portprobe.moc"
