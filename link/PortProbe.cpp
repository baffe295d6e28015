#include "link/PortProbe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QString canonicalOrSelf(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

// A lock file whose owner still runs. A lock left behind by a program that
// has ended does not make the port busy: the next open removes it.
bool heldByLiveProcess(const QString &lockPath)
{
    if (!QFile::exists(lockPath))
        return false;
    qint64 pid = 0;
    QString host;
    QString app;
    if (!QLockFile(lockPath).getLockInfo(&pid, &host, &app) || pid <= 0)
        return true; // unreadable or foreign format: someone made it on purpose
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

PortState stateFromErrno(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return PortState::NoPermission;
    case EBUSY:
        return PortState::BusyElsewhere;
    case EISDIR:
    case ENOTTY:
        return PortState::NotSerial;
    default:
        // ENOENT, ENXIO, ENODEV, ENOTDIR, and EIO from a built-in port without
        // a chip behind it: nothing there that could be opened.
        return PortState::Missing;
    }
}

} // namespace

QString serialLockFilePath(const QString &device)
{
    // QSerialPort names the lock after the device without its "/dev/" and
    // with further slashes as underscores (/dev/pts/3 -> LCK..pts_3), in the
    // first of these folders that is readable and either holds that lock or
    // is writable.
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.prepend(QLatin1String("/LCK.."));

    const QStringList folders = { QStringLiteral("/var/lock"), QStringLiteral("/etc/locks"),
        QStringLiteral("/var/spool/locks"), QStringLiteral("/var/spool/uucp"), QStringLiteral("/tmp"),
        QStringLiteral("/var/tmp"), QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock"),
        QStandardPaths::writableLocation(QStandardPaths::TempLocation) };
    for (const QString &folder : folders) {
        const QFileInfo info(folder);
        const QString path = folder + name;
        if (info.isReadable() && (QFile::exists(path) || info.isWritable()))
            return path;
    }
    return QString();
}

PortState probePort(const QString &device, const QString &openHere)
{
    const QString real = canonicalOrSelf(device);
    if (!openHere.isEmpty() && real == canonicalOrSelf(openHere))
        return PortState::BusyHere;

    const QByteArray path = QFile::encodeName(real);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return stateFromErrno(errno);

    PortState state = PortState::Ready;
    if (!::isatty(fd)) {
        state = PortState::NotSerial;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        state = errno == EWOULDBLOCK ? PortState::BusyElsewhere : PortState::Ready;
    } else {
        ::flock(fd, LOCK_UN);
        const QString lock = serialLockFilePath(real);
        if (!lock.isEmpty() && heldByLiveProcess(lock))
            state = PortState::BusyElsewhere;
    }
    ::close(fd);
    return state;
}

QString portStateText(PortState state)
{
    switch (state) {
    case PortState::Ready:
        return QStringLiteral("Ready");
    case PortState::Missing:
        return QStringLiteral("Not plugged in");
    case PortState::NoPermission:
        return QStringLiteral("No permission. Fix: run \"sudo adduser $USER dialout\" in a terminal, "
                              "then log out and in again");
    case PortState::BusyElsewhere:
        return QStringLiteral("In use by another program");
    case PortState::BusyHere:
        return QStringLiteral("In use by this program");
    case PortState::NotSerial:
        return QStringLiteral("Not a serial device");
    }
    return QString();
}
