#include "link/DeviceMap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using DeviceMap::LinkChange;

// Writing the device map against a real folder: what changes, what stays, and
// that a failure leaves the map as it was.
class tst_LinkWriting : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writesOnlyTheGivenLinks();
    void failureChangesNothing_data();
    void failureChangesNothing();
    void readOnlyFolderAsAnotherUser();

private:
    QString map() const { return DeviceMap::directory(); }
    QString target(const QString &name) const
    {
        return QFileInfo(map() + QLatin1Char('/') + name).symLinkTarget();
    }
    QStringList entries() const
    {
        return QDir(map()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir *m_config = nullptr;
};

void tst_LinkWriting::init()
{
    m_config = new QTemporaryDir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
}

void tst_LinkWriting::cleanup()
{
    qunsetenv("XDG_CONFIG_HOME");
    delete m_config;
}

void tst_LinkWriting::writesOnlyTheGivenLinks()
{
    QVERIFY(!QFileInfo::exists(map()));
    DeviceMap::Choice choice;
    choice.ports.insert(1, QStringLiteral("/dev/serial/by-id/usb-A"));
    choice.folder = m_config->path();
    const DeviceMap::Applied applied = DeviceMap::apply(choice);
    QVERIFY2(applied.ok, qPrintable(applied.problem));
    QCOMPARE(applied.changedPorts, QList<int>({ 1 }));
    QVERIFY(applied.driveCChanged);
    QCOMPARE(target(QStringLiteral("com1")), QStringLiteral("/dev/serial/by-id/usb-A"));
    QCOMPARE(DeviceMap::driveCFolder(), m_config->path());

    // A link the user made by hand, to a path of their own, is not touched
    // by writing another one; an existing link is replaced in place.
    const QString handMade = map() + QStringLiteral("/com3");
    QVERIFY(QFile::link(QStringLiteral("/home/pilot/my-adapter"), handMade));
    struct stat before = {};
    QCOMPARE(::lstat(QFile::encodeName(handMade).constData(), &before), 0);
    QVERIFY(DeviceMap::writeLinks({ { QStringLiteral("com1"), QStringLiteral("/dev/ttyACM0") } }).ok);
    QCOMPARE(target(QStringLiteral("com1")), QStringLiteral("/dev/ttyACM0"));
    struct stat after = {};
    QCOMPARE(::lstat(QFile::encodeName(handMade).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(DeviceMap::linkTarget(QStringLiteral("com3")), QStringLiteral("/home/pilot/my-adapter"));

    // An empty target removes the link: COM1 is the built-in port again.
    QVERIFY(DeviceMap::writeLinks({ { QStringLiteral("com1"), QString() } }).ok);
    QCOMPARE(DeviceMap::comPortDevice(1), QStringLiteral("/dev/ttyS0"));
    // No temporary names are left behind.
    QCOMPARE(entries(), QStringList({ QStringLiteral("c:"), QStringLiteral("com3") }));
}

void tst_LinkWriting::failureChangesNothing_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("map folder under a file") << "notdir";
    QTest::newRow("second link cannot be made") << "toolong";
    // Only links are the program's own: a file of that name is left alone.
    QTest::newRow("file where a link would go") << "file";
    QTest::newRow("file where a link would be removed") << "file removed";
    // The first link is already swapped when the second meets the file: it is
    // put back, so that "Nothing was changed" holds.
    QTest::newRow("file at the second link") << "file second";
}

void tst_LinkWriting::failureChangesNothing()
{
    QFETCH(QString, fault);
    QList<LinkChange> changes = { { QStringLiteral("com1"), QStringLiteral("/dev/ttyUSB1") } };
    const QByteArray notes = "the pilot's own notes";
    const QString file = map() + QStringLiteral("/com2");
    if (fault == QLatin1String("notdir")) {
        QFile blocker(m_config->filePath(QStringLiteral("tolmera-reader")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    } else {
        QVERIFY(DeviceMap::writeLinks({ { QStringLiteral("com1"), QStringLiteral("/dev/ttyUSB0") } }).ok);
        if (fault == QLatin1String("toolong")) // longer than any path may be: symlink() refuses it
            changes.append({ QStringLiteral("com2"), QString(5000, QLatin1Char('x')) });
        else if (fault == QLatin1String("file"))
            changes = { { QStringLiteral("com2"), QStringLiteral("/dev/ttyUSB1") } };
        else if (fault == QLatin1String("file removed"))
            changes = { { QStringLiteral("com2"), QString() } };
        else
            changes.append({ QStringLiteral("com2"), QStringLiteral("/dev/ttyUSB2") });
        QFile own(file);
        QVERIFY(
            fault == QLatin1String("toolong") || (own.open(QIODevice::WriteOnly) && own.write(notes) > 0));
    }
    const QStringList before = entries();

    const DeviceMap::WriteResult written = DeviceMap::writeLinks(changes);
    QVERIFY(!written.ok);
    QVERIFY2(written.problem.endsWith(QLatin1String("Nothing was changed.")), qPrintable(written.problem));
    QVERIFY(written.changed.isEmpty());
    QCOMPARE(entries(), before);
    if (fault != QLatin1String("notdir"))
        QCOMPARE(target(QStringLiteral("com1")), QStringLiteral("/dev/ttyUSB0"));
    if (fault.startsWith(QLatin1String("file"))) {
        QFile own(file);
        QVERIFY(own.open(QIODevice::ReadOnly));
        QCOMPARE(own.readAll(), notes);
    }
}

void tst_LinkWriting::readOnlyFolderAsAnotherUser()
{
    // Root may write anywhere; the folder's permissions are checked as an
    // ordinary user in a child process.
    QVERIFY(DeviceMap::writeLinks({ { QStringLiteral("com1"), QStringLiteral("/dev/ttyUSB0") } }).ok);
    QVERIFY(::chmod(QFile::encodeName(m_config->path()).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(map()).constData(), 0555) == 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0)
            ::_exit(100);
        const DeviceMap::WriteResult written
            = DeviceMap::writeLinks({ { QStringLiteral("com2"), QStringLiteral("/dev/ttyUSB1") },
                { QStringLiteral("com1"), QString() } });
        ::_exit(written.ok ? 1 : written.problem.contains(QLatin1String("com2")) ? 0 : 2);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    ::chmod(QFile::encodeName(map()).constData(), 0755);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(entries(), QStringList({ QStringLiteral("com1") }));
    QCOMPARE(target(QStringLiteral("com1")), QStringLiteral("/dev/ttyUSB0"));
}

QTEST_GUILESS_MAIN(tst_LinkWriting)
#include "tst_linkwriting.moc"
