#include "logbook/LogbookFile.h"

#include "export/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

LogbookProblem problemOfErrno(int error)
{
    return error == EACCES || error == EPERM || error == EROFS ? LogbookProblem::ReadOnly
        : error == ENOSPC || error == EDQUOT                   ? LogbookProblem::DiskFull
                                                               : LogbookProblem::Failed;
}

} // namespace

LogbookFile::LogbookFile(const QString &path)
    : m_path(path)
{
}

LogbookFile::~LogbookFile()
{
    release();
}

void LogbookFile::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

LogbookProblem LogbookFile::prepare(bool create, QString *detail)
{
    release();
    const QString folder = QFileInfo(m_path).absolutePath();
    const QByteArray folderName = QFile::encodeName(folder);
    const QString shownFolder = QDir::toNativeSeparators(folder);
    struct stat st
    {
    };
    if (::lstat(folderName.constData(), &st) != 0) {
        QDir().mkpath(QFileInfo(folder).absolutePath());
        if (::mkdir(folderName.constData(), kFolderMode) != 0 && errno != EEXIST) {
            *detail = QStringLiteral("cannot make the folder %1 (%2)").arg(shownFolder, errorText(errno));
            return problemOfErrno(errno);
        }
        if (::lstat(folderName.constData(), &st) != 0) {
            *detail = errorText(errno);
            return LogbookProblem::Failed;
        }
    }
    // Someone else's folder, or one others can write, lets them read the
    // flights or put a file of theirs in the logbook's place.
    if (S_ISLNK(st.st_mode) || !S_ISDIR(st.st_mode)) {
        *detail = QStringLiteral("%1 is not a folder but a link or a file").arg(shownFolder);
        return LogbookProblem::UnsafeFolder;
    }
    if (st.st_uid != ::geteuid()) {
        *detail = QStringLiteral("the folder %1 belongs to another user").arg(shownFolder);
        return LogbookProblem::UnsafeFolder;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        *detail = QStringLiteral("others can write to the folder %1").arg(shownFolder);
        return LogbookProblem::UnsafeFolder;
    }
    // Closed to others; a folder the user made read-only stays so.
    if ((st.st_mode & 07777) & ~kFolderMode)
        ::chmod(folderName.constData(), st.st_mode & kFolderMode);

    const QByteArray name = QFile::encodeName(m_path);
    if (::lstat(name.constData(), &st) != 0) {
        if (errno != ENOENT || !create) {
            *detail = errorText(errno);
            return errno == ENOENT ? LogbookProblem::Failed : problemOfErrno(errno);
        }
        // Made here, for the user alone, before SQLite ever sees the name.
        const int made
            = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
        if (made < 0) {
            *detail = errorText(errno);
            return errno == EEXIST ? LogbookProblem::InUse : problemOfErrno(errno);
        }
        ::close(made);
    }
    m_fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0) {
        *detail = errno == ELOOP ? QStringLiteral("it is a link") : errorText(errno);
        return errno == ELOOP ? LogbookProblem::NotALogbook : problemOfErrno(errno);
    }
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        release();
        *detail = QStringLiteral("not a plain file");
        return LogbookProblem::NotALogbook;
    }
    if (st.st_uid != ::geteuid()) {
        release();
        *detail = QStringLiteral("the file belongs to another user");
        return LogbookProblem::UnsafeFolder;
    }
    m_device = st.st_dev;
    m_inode = st.st_ino;

    m_content = Content::Empty;
    if (st.st_size > 0) {
        static const QByteArray magic("SQLite format 3\0", 16);
        char head[16];
        m_content = ::pread(m_fd, head, sizeof head, 0) == sizeof head && QByteArray(head, 16) == magic
            ? Content::Sqlite
            : Content::Other;
    }
    detail->clear();
    return LogbookProblem::None;
}

void LogbookFile::closeToOthers()
{
    struct stat st
    {
    };
    if (m_fd >= 0 && ::fstat(m_fd, &st) == 0 && (st.st_mode & 0777 & ~kFileMode))
        ::fchmod(m_fd, st.st_mode & kFileMode);
}

bool LogbookFile::writable() const
{
    return ::access(QFile::encodeName(QFileInfo(m_path).absolutePath()).constData(), W_OK) == 0
        && ::access(QFile::encodeName(m_path).constData(), W_OK) == 0;
}

bool LogbookFile::stillTheSame() const
{
    struct stat st
    {
    };
    return m_fd >= 0 && ::lstat(QFile::encodeName(m_path).constData(), &st) == 0 && S_ISREG(st.st_mode)
        && st.st_dev == m_device && st.st_ino == m_inode;
}

QString LogbookFile::putAside(const QString &isoDate, const QString &why)
{
    release();
    const QString base = m_path + QLatin1Char('.') + why + QLatin1Char('-') + isoDate;
    for (int n = 1; n < 1000; ++n) {
        const QString aside = n == 1 ? base : base + QStringLiteral("-%1").arg(n);
        const int placed
            = SafeFile::placeNoReplace(AT_FDCWD, QFile::encodeName(m_path), QFile::encodeName(aside));
        if (placed == EEXIST)
            continue;
        if (placed != 0)
            return QString();
        // Its log goes with it: a new logbook must not take up the pages of
        // the old one. The shared-memory index is rebuilt from the log.
        for (const QString &suffix : { QStringLiteral("-wal"), QStringLiteral("-journal") }) {
            if (QFileInfo::exists(m_path + suffix))
                SafeFile::placeNoReplace(
                    AT_FDCWD, QFile::encodeName(m_path + suffix), QFile::encodeName(aside + suffix));
        }
        QFile::remove(m_path + QStringLiteral("-shm"));
        return aside;
    }
    return QString();
}
