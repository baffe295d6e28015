#include "export/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>

#ifndef Q_OS_UNIX
#include <QSaveFile>
#endif

#ifdef Q_OS_UNIX
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#endif

namespace SafeFile {

bool hasControlCharacter(const QString &path)
{
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    }
    return false;
}

#ifdef Q_OS_UNIX

namespace {

// The kernel gives up after 40 links in a row; so does the program.
constexpr int kMaxLinkHops = 40;
// How many random temporary names, and how many final names, are tried.
constexpr int kMaxAttempts = 100;
// Room left in a file name for the temporary name's dot, number and ".part".
constexpr qsizetype kMaxNameInTemporary = 200;

#ifdef O_PATH
// A folder on the way only needs to be searched, not read: O_PATH opens one
// that the user may pass through without listing it.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

class Fd
{
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    {
    }
    Fd(Fd &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    Fd &operator=(Fd &&other) noexcept
    {
        reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    ~Fd() { reset(); }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

bool trustedOwner(uid_t owner)
{
    return owner == ::geteuid() || owner == 0;
}

// The parts of a path; empty ones and "." lead nowhere and are dropped.
QList<QByteArray> partsOf(const QByteArray &path)
{
    QList<QByteArray> parts;
    for (const QByteArray &part : path.split('/')) {
        if (!part.isEmpty() && part != ".")
            parts.append(part);
    }
    return parts;
}

struct Entry
{
    int error = 0; // of looking at it; ENOENT when nothing is there
    bool isLink = false;
    uid_t owner = 0;
    QByteArray target; // what a link holds
};

// What stands at name in folder, not followed.
Entry look(int folder, const QByteArray &name)
{
    Entry entry;
    struct stat st;
#ifdef O_PATH
    // The owner and the target are read from the one entry opened here, so
    // a link swapped in between the two cannot slip through.
    const Fd opened(::openat(folder, name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    const int at = opened.get();
    const char *const relative = "";
    const bool seen = opened.valid() && ::fstat(at, &st) == 0;
#else
    const int at = folder;
    const char *const relative = name.constData();
    const bool seen = ::fstatat(folder, relative, &st, AT_SYMLINK_NOFOLLOW) == 0;
#endif
    if (!seen) {
        entry.error = errno;
        return entry;
    }
    entry.isLink = S_ISLNK(st.st_mode);
    entry.owner = st.st_uid;
    if (entry.isLink) {
        QByteArray target(PATH_MAX, '\0');
        const ssize_t length = ::readlinkat(at, relative, target.data(), size_t(target.size()));
        if (length <= 0 || length >= target.size()) {
            entry.error = ELOOP;
            return entry;
        }
        target.truncate(length);
        entry.target = target;
    }
    return entry;
}

// An open folder and a name in it: where a path leads.
struct Place
{
    Fd folder;
    QByteArray name;
};

// Resolves path one folder at a time, through folders opened without
// following links: a link on the way is read and followed only when the
// user or root owns it. With followLast, a link at the last part is
// followed too; else the last part is taken as it stands.
std::optional<Place> resolve(const QString &path, bool followLast)
{
    const QByteArray native = QFile::encodeName(path);
    QList<QByteArray> parts = partsOf(native);
    Fd folder(::open(native.startsWith('/') ? "/" : ".", kFolderFlags));
    int hops = 0;
    while (folder.valid() && !parts.isEmpty()) {
        const QByteArray part = parts.takeFirst();
        const bool last = parts.isEmpty();
        if (!last) {
            Fd inner(::openat(folder.get(), part.constData(), kFolderFlags | O_NOFOLLOW));
            if (inner.valid()) {
                folder = std::move(inner);
                continue;
            }
            if (errno != ELOOP && errno != ENOTDIR)
                return std::nullopt;
        } else if (part == "..") {
            return std::nullopt; // a folder, never a file's name
        }
        const Entry entry = look(folder.get(), part);
        if (last && entry.error == ENOENT)
            return Place { std::move(folder), part };
        if (entry.error != 0)
            return std::nullopt;
        if (!entry.isLink || (last && !followLast)) {
            if (!last)
                return std::nullopt; // a file where a folder should be
            return Place { std::move(folder), part };
        }
        if (!trustedOwner(entry.owner) || ++hops > kMaxLinkHops)
            return std::nullopt;
        // A relative target counts from the link's own folder, an absolute
        // one from the root; ".." in it means the folder's real parent, as
        // it does for the kernel.
        if (entry.target.startsWith('/'))
            folder.reset(::open("/", kFolderFlags));
        parts = partsOf(entry.target) + parts;
    }
    return std::nullopt;
}

// True while name in folder is still the file open as fd. Anyone who may
// write in the folder could have put something else, a link say, under
// the temporary name; that is never given the final name.
bool stillThere(int folder, const QByteArray &name, int fd)
{
    struct stat atName;
    struct stat open;
    return ::fstatat(folder, name.constData(), &atName, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &open) == 0
        && atName.st_dev == open.st_dev && atName.st_ino == open.st_ino;
}

void removeIfStillThere(int folder, const QByteArray &name, int fd)
{
    if (stillThere(folder, name, fd))
        ::unlinkat(folder, name.constData(), 0);
}

// Writes all of bytes and syncs them; false on any failure, with errno set.
bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += n;
    }
    return ::fsync(fd) == 0;
}

// The rename that put a file in place lasts a crash only once the folder
// is synced; a file system that cannot sync folders keeps it anyway.
void syncFolder(int folder)
{
    const Fd readable(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (readable.valid())
        ::fsync(readable.get());
}

// A new, empty file beside name under a random hidden name, created here:
// whatever someone planted at a name makes that attempt fail, never leads
// the file elsewhere.
Fd createTemporary(int folder, const QByteArray &name, QByteArray *temporary)
{
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        *temporary = '.' + name.left(kMaxNameInTemporary) + '.'
            + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".part";
        Fd file(::openat(
            folder, temporary->constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file.valid() || errno != EEXIST)
            return file;
    }
    return Fd();
}

// Errors that say the file system lacks a way of placing, not that
// placing failed: the next way is tried.
bool unsupported(Placing how, int error)
{
    if (error == ENOSYS || error == EOPNOTSUPP || error == EINVAL)
        return true;
    // link() answers EPERM on a file system without hard links, and some
    // FUSE mounts EXDEV even within one folder.
    return how == Placing::HardLink && (error == EPERM || error == EXDEV);
}

// placeNoReplace, starting at how (Rename or HardLink).
int placeFrom(Placing how, int folder, const QByteArray &from, const QByteArray &to)
{
    if (how == Placing::Rename) {
#ifdef RENAME_NOREPLACE
        const int error = ::renameat2(folder, from.constData(), folder, to.constData(), RENAME_NOREPLACE) == 0
            ? 0
            : errno;
#else
        const int error = ENOSYS;
#endif
        if (!unsupported(how, error))
            return error;
    }
    // Without AT_SYMLINK_FOLLOW a link is given a second name itself, not
    // its target.
    if (::linkat(folder, from.constData(), folder, to.constData(), 0) != 0)
        return errno;
    // The entry now carries both names; the placed one stays as it is.
    ::unlinkat(folder, from.constData(), 0);
    return 0;
}

// Gives the written temporary file the name, never replacing: 0 when done,
// EEXIST when something holds the name, else the error that stopped it.
int placeOnce(Placing how, int folder, const QByteArray &temporary, int fd, const QByteArray &name,
    const QByteArray &bytes, mode_t mode)
{
    if (how == Placing::Copy) {
        Fd copy(
            ::openat(folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (!copy.valid())
            return errno;
        if (writeAll(copy.get(), bytes))
            return 0;
        const int error = errno;
        removeIfStillThere(folder, name, copy.get());
        return error;
    }
    if (!stillThere(folder, temporary, fd))
        return ESTALE;
    return placeFrom(how, folder, temporary, name);
}

// Whether the user may replace the earlier file at name: the system lets
// them write it, and its mode has a write bit for the class the user falls
// in. Root passes every access check, but a report the pilot made
// read-only is kept for root too.
bool replaceable(int folder, const QByteArray &name, const struct stat &earlier)
{
    if (::faccessat(folder, name.constData(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    mode_t bit = S_IWOTH;
    if (earlier.st_uid == ::geteuid()) {
        bit = S_IWUSR;
    } else if (earlier.st_gid == ::getegid()) {
        bit = S_IWGRP;
    } else {
        const int count = ::getgroups(0, nullptr);
        QList<gid_t> groups(qMax(count, 0));
        if (count > 0 && ::getgroups(count, groups.data()) >= 0 && groups.contains(earlier.st_gid))
            bit = S_IWGRP;
    }
    return (earlier.st_mode & bit) != 0;
}

void onFileSizeLimit(int) { }

} // namespace

void prepareProcess()
{
    // A handler that does nothing rather than SIG_IGN: the write past the
    // limit fails with EFBIG either way, but an ignored signal would stay
    // ignored in xdg-open and the spreadsheet application it starts.
    struct sigaction action = {};
    action.sa_handler = onFileSizeLimit;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGXFSZ, &action, nullptr);
}

bool write(const QString &path, const QByteArray &bytes, bool ownerOnly)
{
    if (path.isEmpty() || hasControlCharacter(path))
        return false;
    const std::optional<Place> place = resolve(path, true);
    if (!place)
        return false;
    const int folder = place->folder.get();
    // A replaced report keeps the permissions the pilot gave the earlier
    // one; one they may not write is not replaced at all.
    struct stat earlier;
    const bool keepMode = ::fstatat(folder, place->name.constData(), &earlier, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(earlier.st_mode);
    if (keepMode && !replaceable(folder, place->name, earlier))
        return false;
    QByteArray temporary;
    const Fd file = createTemporary(folder, place->name, &temporary);
    if (!file.valid())
        return false;
    const mode_t mode = keepMode ? earlier.st_mode & 0777 : ownerOnly ? mode_t(0600) : mode_t(0);
    const bool written = (mode == 0 || ::fchmod(file.get(), mode) == 0) && writeAll(file.get(), bytes)
        && stillThere(folder, temporary, file.get())
        && ::renameat(folder, temporary.constData(), folder, place->name.constData()) == 0;
    if (!written) {
        removeIfStillThere(folder, temporary, file.get());
        return false;
    }
    syncFolder(folder);
    return true;
}

int placeNoReplace(int folder, const QByteArray &from, const QByteArray &to)
{
    return placeFrom(Placing::Rename, folder, from, to);
}

QString writeNew(const QString &path, const QByteArray &bytes,
    const std::function<QString(const QString &)> &next, Placing first, bool ownerOnly)
{
    if (path.isEmpty() || hasControlCharacter(path))
        return QString();
    const std::optional<Place> place = resolve(path, false);
    if (!place)
        return QString();
    const int folder = place->folder.get();
    QByteArray temporary;
    const Fd file = createTemporary(folder, place->name, &temporary);
    if (!file.valid())
        return QString();
    const mode_t mode = ownerOnly ? 0600 : 0666;
    if ((ownerOnly && ::fchmod(file.get(), mode) != 0) || !writeAll(file.get(), bytes)) {
        removeIfStillThere(folder, temporary, file.get());
        return QString();
    }

    const QDir dir = QFileInfo(path).dir();
    QString name = QFile::decodeName(place->name);
    Placing how = first;
    for (int attempt = 0; attempt < kMaxAttempts;) {
        const QByteArray nativeName = QFile::encodeName(name);
        const int error = placeOnce(how, folder, temporary, file.get(), nativeName, bytes, mode);
        if (error == 0) {
            if (how == Placing::Copy)
                removeIfStillThere(folder, temporary, file.get());
            syncFolder(folder);
            return dir.filePath(name);
        }
        if (error == EEXIST) {
            // A name taken meanwhile (by another export, or a link someone
            // planted) is left alone: the next one is tried.
            name = QFileInfo(next(dir.filePath(name))).fileName();
            ++attempt;
        } else if (how != Placing::Copy && unsupported(Placing::HardLink, error)) {
            // Neither rename nor link() works here.
            how = Placing::Copy;
        } else {
            break;
        }
    }
    removeIfStillThere(folder, temporary, file.get());
    return QString();
}

#else // not Q_OS_UNIX

void prepareProcess() { }

bool write(const QString &path, const QByteArray &bytes, bool)
{
    if (path.isEmpty() || hasControlCharacter(path))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString writeNew(const QString &path, const QByteArray &bytes,
    const std::function<QString(const QString &)> &next, Placing, bool)
{
    if (path.isEmpty() || hasControlCharacter(path))
        return QString();
    QString name = path;
    for (int attempt = 0; attempt < 100; ++attempt, name = next(name)) {
        QFile file(name);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(name))
                continue;
            return QString();
        }
        if (file.write(bytes) == bytes.size() && file.flush())
            return name;
        file.remove();
        return QString();
    }
    return QString();
}

#endif

} // namespace SafeFile
