#include "link/DeviceMap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace DeviceMap {

QString directory()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config + QStringLiteral("/tolmera-reader/dosdevices");
}

QString builtInDevice(int portNumber)
{
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
}

QString comPortDevice(int portNumber)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    const QFileInfo link(directory() + QStringLiteral("/com%1").arg(portNumber));
    if (!link.isSymLink() && !link.exists())
        return builtInDevice(portNumber);
    // Open the real device, so that its lock file carries the device's own
    // name and other programs see the port as taken.
    const QString target = link.canonicalFilePath();
    return target.isEmpty() ? link.absoluteFilePath() : target;
#endif
}

QString driveCFolder()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\");
#else
    const QFileInfo link(directory() + QStringLiteral("/c:"));
    if (link.isSymLink() || link.exists()) {
        const QString target = link.canonicalFilePath();
        return target.isEmpty() ? link.symLinkTarget() : target;
    }
    return QDir::homePath();
#endif
}

QString resolveDosPath(const QString &dosPath)
{
#ifdef Q_OS_WIN
    return dosPath;
#else
    static const QString prefix = QStringLiteral("c:\\");
    if (!dosPath.startsWith(prefix, Qt::CaseInsensitive))
        return dosPath;
    QString rest = dosPath.mid(prefix.size());
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // The name stays below the c: folder and names a file that the pilot
    // sees: no ".." part, and a last part that is more than dots before its
    // extension ("x\" would make "x/.txt", "." would make "..txt").
    const QStringList parts = rest.split(QLatin1Char('/'));
    if (parts.contains(QStringLiteral("..")))
        return QString();
    const QString last = parts.constLast();
    const qsizetype extension = last.lastIndexOf(QLatin1Char('.'));
    const QString stem = extension < 0 ? last : last.left(extension);
    if (stem.count(QLatin1Char('.')) == stem.size())
        return QString();
    return driveCFolder() + QLatin1Char('/') + rest;
#endif
}

QString comLinkName(int portNumber)
{
    return QStringLiteral("com%1").arg(portNumber);
}

QString driveCLinkName()
{
    return QStringLiteral("c:");
}

QString linkTarget(const QString &name)
{
    const QFileInfo link(directory() + QLatin1Char('/') + name);
    if (link.isSymLink())
        return link.symLinkTarget();
    return link.exists() ? link.absoluteFilePath() : QString();
}

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

bool writeLinks(const QList<LinkChange> &changes, QString *errorMessage)
{
    auto fail = [errorMessage](const QString &message) {
        if (errorMessage)
            *errorMessage = message;
        return false;
    };
    if (changes.isEmpty())
        return true;

    const QString folder = directory();
    if (!QDir().mkpath(folder)) {
        const int error = errno;
        return fail(QStringLiteral("Cannot create the folder %1: %2").arg(folder, systemError(error)));
    }

    struct Prepared
    {
        QByteArray temporary;
        QByteArray final;
    };
    QList<Prepared> prepared;
    // Removes the temporary links from the first one not yet renamed on.
    auto discard = [&prepared](qsizetype from = 0) {
        for (qsizetype j = from; j < prepared.size(); ++j) {
            if (!prepared.at(j).temporary.isEmpty())
                ::unlink(prepared.at(j).temporary.constData());
        }
    };

    for (const LinkChange &change : changes) {
        const QByteArray final = QFile::encodeName(folder + QLatin1Char('/') + change.name);
        if (change.target.isEmpty()) {
            // A removal needs no preparation, but it needs a folder that can
            // be changed; find that out before anything is renamed.
            if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0) {
                const int error = errno;
                discard();
                return fail(
                    QStringLiteral("Cannot remove the link %1: %2").arg(change.name, systemError(error)));
            }
            prepared.append({ QByteArray(), final });
            continue;
        }
        const QByteArray temporary
            = QFile::encodeName(folder + QStringLiteral("/.%1.new-%2").arg(change.name).arg(::getpid()));
        ::unlink(temporary.constData()); // left over from an earlier run that was cut short
        if (::symlink(QFile::encodeName(change.target).constData(), temporary.constData()) != 0) {
            const int error = errno;
            discard();
            return fail(QStringLiteral("Cannot write the link %1 in %2: %3")
                            .arg(change.name, folder, systemError(error)));
        }
        prepared.append({ temporary, final });
    }

    for (qsizetype i = 0; i < prepared.size(); ++i) {
        const Prepared &link = prepared.at(i);
        const bool done = link.temporary.isEmpty()
            ? (::unlink(link.final.constData()) == 0 || errno == ENOENT)
            : ::rename(link.temporary.constData(), link.final.constData()) == 0;
        if (!done) {
            const int error = errno;
            discard(i);
            return fail(QStringLiteral("Cannot put the link %1 in place: %2")
                            .arg(QFile::decodeName(link.final), systemError(error)));
        }
    }
    return true;
}

} // namespace DeviceMap
