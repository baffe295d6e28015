#include "link/PortProbe.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace PortProbe {

namespace {

// The file a path leads to, links resolved; empty with errno set when there
// is none.
QByteArray resolved(const QString &path)
{
    char real[PATH_MAX];
    if (!::realpath(QFile::encodeName(path).constData(), real))
        return QByteArray();
    return QByteArray(real);
}

QByteArray readSmallFile(const QByteArray &path, int limit = 65536)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return QByteArray();
    QByteArray text(limit, '\0');
    qsizetype total = 0;
    ssize_t n = 0;
    while (total < limit && (n = ::read(fd, text.data() + total, size_t(limit - total))) > 0)
        total += n;
    ::close(fd);
    text.truncate(total);
    return text;
}

// Whether the kernel lists the device among its terminals (/proc/tty/drivers:
// name, node, major, minor range, type). The console, /dev/tty and the
// pseudo-terminal multiplexer are terminals but no serial lines. Without that
// list the device is given the benefit of the doubt.
bool isSerialLine(dev_t device)
{
    const QByteArray drivers = readSmallFile("/proc/tty/drivers");
    if (drivers.isEmpty())
        return true;
    const unsigned major = ::major(device);
    const unsigned minor = ::minor(device);
    for (const QByteArray &line : drivers.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 5 || fields.at(4).startsWith("system") || fields.at(4) == "pty:master")
            continue;
        if (fields.at(2).toUInt() != major)
            continue;
        const QList<QByteArray> range = fields.at(3).split('-');
        const unsigned first = range.at(0).toUInt();
        const unsigned last = range.size() > 1 ? range.at(1).toUInt() : first;
        if (minor >= first && minor <= last)
            return true;
    }
    return false;
}

// A built-in port without a chip behind it: the kernel has the node but its
// UART type is "unknown" (0).
bool isEmptyBuiltInPort(const QByteArray &real)
{
    if (!real.startsWith("/dev/ttyS"))
        return false;
    const QByteArray type = readSmallFile("/sys/class/tty/" + real.mid(5) + "/type", 16).trimmed();
    return type == "0";
}

// The process a lock file names. The pid is written as ten ASCII digits
// and a line feed by most programs (QLockFile writes it as the first of
// three lines), as four bytes of a native int by some older ones. 0 for a
// form we do not know.
struct LockOwner
{
    qint64 pid = 0;
    bool binary = false;
};

LockOwner ownerOf(const QByteArray &text)
{
    LockOwner owner;
    bool printable = true;
    for (char c : text)
        printable = printable && (c == ' ' || c == '\n' || (c >= '0' && c <= '9'));
    if (text.size() == 4 && !printable) {
        int binary = 0;
        std::memcpy(&binary, text.constData(), sizeof binary);
        owner = { binary, true };
    } else {
        owner.pid = text.split('\n').value(0).trimmed().toLongLong();
    }
    if (owner.pid <= 0 || owner.pid > INT_MAX)
        owner.pid = 0;
    return owner;
}

bool processLives(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// Reads a lock file through a descriptor that is not led elsewhere by a
// link; false when it cannot be opened.
bool readLock(const QByteArray &lockPath, QByteArray *text, struct stat *st)
{
    const int fd = ::open(lockPath.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    char bytes[64];
    const ssize_t n = ::read(fd, bytes, sizeof bytes);
    const bool seen = ::fstat(fd, st) == 0;
    ::close(fd);
    *text = n > 0 ? QByteArray(bytes, int(n)) : QByteArray();
    return seen;
}

// A lock file whose owner still runs. A lock of a program that has ended
// does not make the port busy.
bool heldByLiveProcess(const QByteArray &lockPath)
{
    struct stat st = {};
    if (::lstat(lockPath.constData(), &st) != 0)
        return errno != ENOENT;
    QByteArray text;
    if (!readLock(lockPath, &text, &st))
        return true; // there, but not readable: someone made it on purpose
    const LockOwner owner = ownerOf(text);
    if (owner.pid == 0)
        return true; // a form we do not know (or empty): better taken than broken
    return processLives(owner.pid);
}

QByteArray lockName(const QByteArray &real)
{
    QByteArray name = real.startsWith("/dev/") ? real.mid(5) : real;
    name.replace('/', '_');
    return "LCK.." + name;
}

// The pseudo-terminal number when the device is the slave side of one, else -1.
int ptyIndex(const QByteArray &real)
{
    if (!real.startsWith("/dev/pts/"))
        return -1;
    bool ok = false;
    const int index = real.mid(9).toInt(&ok);
    return ok ? index : -1;
}

// Whether a process of this user (the others' fd folders are not readable)
// has the device open. On a pseudo-terminal, the process that holds its
// master side is the far end of the line, not a user of the port.
bool openInSomeProcess(const QByteArray &real)
{
    const int pty = ptyIndex(real);
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return false;
    bool found = false;
    while (!found) {
        const dirent *entry = ::readdir(proc);
        if (!entry)
            break;
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        const QByteArray base = QByteArray("/proc/") + entry->d_name;
        DIR *fds = ::opendir((base + "/fd").constData());
        if (!fds)
            continue;
        bool holds = false;
        bool farEnd = false;
        while (const dirent *fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.')
                continue;
            char target[PATH_MAX];
            const ssize_t n = ::readlink((base + "/fd/" + fd->d_name).constData(), target, sizeof target);
            if (n <= 0)
                continue;
            const QByteArray link(target, int(n));
            if (link == real) {
                holds = true;
            } else if (pty >= 0 && (link == "/dev/ptmx" || link == "/dev/pts/ptmx")) {
                const QByteArray info = readSmallFile(base + "/fdinfo/" + fd->d_name, 4096);
                const qsizetype at = info.indexOf("tty-index:");
                if (at >= 0 && info.mid(at + 10).split('\n').value(0).trimmed().toInt() == pty)
                    farEnd = true;
            }
        }
        ::closedir(fds);
        found = holds && !farEnd;
    }
    ::closedir(proc);
    return found;
}

} // namespace

QStringList defaultLockFolders()
{
    QStringList folders = { QStringLiteral("/run/lock"), QStringLiteral("/var/lock") };
    const QString qtFolder = QFileInfo(serialLockFilePath(QStringLiteral("/dev/x"))).path();
    if (!qtFolder.isEmpty() && qtFolder != QLatin1String(".") && !folders.contains(qtFolder))
        folders << qtFolder;
    return folders;
}

QString serialLockFilePath(const QString &device)
{
    // QSerialPort names the lock after the device without its "/dev/" and
    // with further slashes as underscores (/dev/pts/3 -> LCK..pts_3), in the
    // first of these folders that is readable and either holds that lock or
    // is writable.
    const QString name = QLatin1Char('/') + QFile::decodeName(lockName(QFile::encodeName(device)));
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

bool removeStaleBinaryLock(const QString &lockPath)
{
    const QByteArray path = QFile::encodeName(lockPath);
    // Programs that remove stale locks with QLockFile agree on this guard.
    QLockFile guard(lockPath + QStringLiteral(".rmlock"));
    QByteArray text;
    struct stat read = {};
    if (path.isEmpty() || !guard.tryLock() || !readLock(path, &text, &read))
        return false;
    const LockOwner owner = ownerOf(text);
    if (!owner.binary || owner.pid == 0 || processLives(owner.pid))
        return false;
    // Only the lock just read goes; one put there since then stays.
    struct stat now = {};
    return ::lstat(path.constData(), &now) == 0 && now.st_dev == read.st_dev && now.st_ino == read.st_ino
        && ::unlink(path.constData()) == 0;
}

PortState probe(const QString &device, const QString &openHere, const QStringList &lockFolders)
{
    const QByteArray real = resolved(device);
    if (real.isEmpty())
        return errno == EACCES ? PortState::NoPermission : PortState::Missing;
    if (!openHere.isEmpty() && real == resolved(openHere))
        return PortState::BusyHere;

    struct stat st = {};
    if (::stat(real.constData(), &st) != 0)
        return PortState::Missing;
    if (!S_ISCHR(st.st_mode) || !isSerialLine(st.st_rdev))
        return PortState::NotSerial;
    if (isEmptyBuiltInPort(real))
        return PortState::Missing;
    if (::access(real.constData(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
        return PortState::NoPermission;
    for (const QString &folder : lockFolders) {
        if (heldByLiveProcess(QFile::encodeName(folder) + '/' + lockName(real)))
            return PortState::BusyElsewhere;
    }
    if (openInSomeProcess(real))
        return PortState::BusyElsewhere;
    return PortState::Ready;
}

QString stateText(PortState state)
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
    case PortState::NotResponding:
        return QStringLiteral("Not responding");
    }
    return QString();
}

Runner::Runner(QObject *parent)
    : QObject(parent)
    , m_mailbox(std::make_shared<Mailbox>())
{
    m_mailbox->receiver = this;
}

Runner::~Runner()
{
    const std::lock_guard<std::mutex> lock(m_mailbox->mutex);
    m_mailbox->receiver = nullptr;
}

void Runner::start(int key, std::function<PortState()> work)
{
    std::thread([mailbox = m_mailbox, key, work = std::move(work)] {
        const PortState state = work();
        const std::lock_guard<std::mutex> lock(mailbox->mutex);
        // Posted, not called: the answer is handled on the receiver's thread.
        // A receiver being destroyed has cleared the mailbox first, and drops
        // what was posted to it.
        if (Runner *receiver = mailbox->receiver)
            QMetaObject::invokeMethod(
                receiver, [receiver, key, state] { emit receiver->answered(key, state); },
                Qt::QueuedConnection);
    }).detach();
}

} // namespace PortProbe
