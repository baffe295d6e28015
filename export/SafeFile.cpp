#include "export/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace SafeFile {

namespace {

// The kernel gives up after 40 links in a row; so does the program.
constexpr int kMaxLinkHops = 40;

} // namespace

bool hasControlCharacter(const QString &path)
{
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    }
    return false;
}

QString followOwnLinks(const QString &path)
{
#ifdef Q_OS_UNIX
    QString current = path;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        const QByteArray native = QFile::encodeName(current);
        struct stat st;
        // Nothing there, or a folder that cannot be looked into: the write
        // itself creates the file or fails with its own reason.
        if (::lstat(native.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        if (st.st_uid != ::geteuid())
            return QString();
        QByteArray target(qMax<qint64>(st.st_size, 0) + 1, '\0');
        const ssize_t length = ::readlink(native.constData(), target.data(), size_t(target.size()));
        // A link that changed while it was read is not followed either.
        if (length <= 0 || length >= target.size())
            return QString();
        target.truncate(length);
        const QString next = QFile::decodeName(target);
        // A relative target counts from the link's own folder. The path is
        // joined, not cleaned: ".." after a linked folder means what the
        // kernel makes of it.
        current = QFileInfo(next).isAbsolute() ? next : QFileInfo(current).path() + QLatin1Char('/') + next;
    }
    return QString();
#else
    return path;
#endif
}

bool write(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty() || hasControlCharacter(path))
        return false;
    const QString target = followOwnLinks(path);
    if (target.isEmpty())
        return false;

    QSaveFile file(target);
    // Unbuffered, so that every write reaches the disk before it is counted:
    // a buffered QSaveFile takes all the bytes into memory and its commit()
    // still succeeds when flushing them fails on a full disk or at a
    // file-size limit, putting a cut file in place of the earlier one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(bytes) != bytes.size() || file.size() != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

Placed placeWithoutReplacing(const QString &from, const QString &to)
{
#ifdef Q_OS_UNIX
    const QByteArray source = QFile::encodeName(from);
    const QByteArray dest = QFile::encodeName(to);
#ifdef Q_OS_LINUX
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, dest.constData(), RENAME_NOREPLACE) == 0)
        return Placed::Done;
    if (errno == EEXIST)
        return Placed::NameTaken;
    // Some file systems refuse the flag; a hard link gives the same promise.
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return Placed::Failed;
#endif
    if (::link(source.constData(), dest.constData()) != 0)
        return errno == EEXIST ? Placed::NameTaken : Placed::Failed;
    // The file now carries both names; dropping the temporary one leaves
    // the placed one as it is.
    ::unlink(source.constData());
    return Placed::Done;
#else
    if (QFileInfo::exists(to) || QFileInfo(to).isSymLink())
        return Placed::NameTaken;
    return QFile::rename(from, to) ? Placed::Done : Placed::Failed;
#endif
}

} // namespace SafeFile
