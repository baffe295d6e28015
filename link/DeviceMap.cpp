#include "link/DeviceMap.h"

#include "export/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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
    const QFileInfo link(directory() + QStringLiteral("/com%1").arg(portNumber));
    if (!link.isSymLink() && !link.exists())
        return builtInDevice(portNumber);
    // Open the real device, so that its lock file carries the device's own
    // name and other programs see the port as taken.
    const QString target = link.canonicalFilePath();
    return target.isEmpty() ? link.absoluteFilePath() : target;
}

QString driveCFolder()
{
    // The folder as the link names it, not resolved: a file is written there
    // by looking at each part of the path again, so that a link someone
    // else planted on the way (in a folder others may write to) fails the
    // export instead of being followed here.
    const QString path = directory() + QStringLiteral("/c:");
    const QByteArray native = QFile::encodeName(path);
    struct stat st = {};
    if (::lstat(native.constData(), &st) != 0)
        return QDir::homePath();
    if (!S_ISLNK(st.st_mode) || (st.st_uid != ::geteuid() && st.st_uid != 0))
        return path; // a link of someone else's is then refused as well
    char target[PATH_MAX];
    const ssize_t n = ::readlink(native.constData(), target, sizeof target);
    if (n <= 0 || size_t(n) >= sizeof target)
        return path;
    const QString written = QFile::decodeName(QByteArray(target, int(n)));
    return written.startsWith(QLatin1Char('/')) ? written : directory() + QLatin1Char('/') + written;
}

QString resolveDosPath(const QString &dosPath)
{
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

bool isLink(const QByteArray &path)
{
    struct stat st = {};
    return ::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool entryExists(const QByteArray &path)
{
    struct stat st = {};
    return ::lstat(path.constData(), &st) == 0 || errno != ENOENT;
}

// renameat2() with flags; 0 or the error. Some network and FUSE file
// systems know no RENAME_EXCHANGE: the caller then falls back to a plain
// rename.
int renameWith(const QByteArray &from, const QByteArray &to, unsigned flags)
{
    return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), flags) == 0 ? 0 : errno;
}

bool flagUnsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// One link being changed, and what it takes to undo it.
struct Step
{
    enum Kind { Pending, Created, Swapped, Replaced, MovedAside, Absent };
    QString name;
    QByteArray final;
    QByteArray spare; // the new link before it is placed; the old one after a swap or a removal
    QByteArray oldTarget; // for Replaced: what the old link said
    Kind kind = Pending;
    bool removal = false;
};

// Puts one prepared change in place; empty on success, else the problem.
QString place(Step &step)
{
    const bool present = entryExists(step.final);
    if (present && !isLink(step.final))
        return QStringLiteral("%1 is not a symbolic link; it was left alone").arg(step.name);

    if (step.removal) {
        if (!present) {
            step.kind = Step::Absent;
            return QString();
        }
        // Moved aside, not deleted, so that it can be put back.
        const int error = SafeFile::placeNoReplace(AT_FDCWD, step.final, step.spare);
        if (error != 0)
            return QStringLiteral("Cannot remove the link %1: %2").arg(step.name, systemError(error));
        step.kind = Step::MovedAside;
        if (!isLink(step.spare)) {
            // Replaced by something else between the look and the move.
            SafeFile::placeNoReplace(AT_FDCWD, step.spare, step.final);
            step.kind = Step::Pending;
            return QStringLiteral("%1 is not a symbolic link; it was left alone").arg(step.name);
        }
        return QString();
    }

    int error = 0;
    if (!present) {
        error = SafeFile::placeNoReplace(AT_FDCWD, step.spare, step.final);
        if (error == 0)
            step.kind = Step::Created;
    } else {
        // A swap leaves the old link under the spare name, where it can be
        // checked once more (it may have been replaced after the look) and
        // from where it can be put back.
        error = renameWith(step.spare, step.final, RENAME_EXCHANGE);
        if (error == 0) {
            step.kind = Step::Swapped;
            if (!isLink(step.spare)) {
                renameWith(step.spare, step.final, RENAME_EXCHANGE);
                step.kind = Step::Pending;
                return QStringLiteral("%1 is not a symbolic link; it was left alone").arg(step.name);
            }
        } else if (flagUnsupported(error)) {
            char old[4096];
            const ssize_t n = ::readlink(step.final.constData(), old, sizeof old);
            step.oldTarget = n > 0 ? QByteArray(old, int(n)) : QByteArray();
            error = ::rename(step.spare.constData(), step.final.constData()) == 0 ? 0 : errno;
            if (error == 0)
                step.kind = Step::Replaced;
        }
    }
    if (error != 0)
        return QStringLiteral("Cannot put the link %1 in place: %2").arg(step.name, systemError(error));
    return QString();
}

// Takes a placed change back; false when the old link could not be restored
// (it then stays under its spare name).
bool undo(Step &step)
{
    bool undone = true;
    switch (step.kind) {
    case Step::Created:
        undone = !isLink(step.final) || ::unlink(step.final.constData()) == 0;
        break;
    case Step::Swapped:
        undone = renameWith(step.spare, step.final, RENAME_EXCHANGE) == 0;
        if (undone)
            ::unlink(step.spare.constData()); // the new link, back under the spare name
        break;
    case Step::Replaced:
        ::unlink(step.spare.constData());
        undone = !step.oldTarget.isEmpty()
            && ::symlink(step.oldTarget.constData(), step.spare.constData()) == 0
            && ::rename(step.spare.constData(), step.final.constData()) == 0;
        break;
    case Step::MovedAside:
        undone = SafeFile::placeNoReplace(AT_FDCWD, step.spare, step.final) == 0;
        break;
    case Step::Pending:
    case Step::Absent:
        return true;
    }
    if (undone)
        step.kind = Step::Absent;
    return undone;
}

} // namespace

WriteResult writeLinks(const QList<LinkChange> &changes)
{
    WriteResult result;
    if (changes.isEmpty())
        return result;
    auto fail = [&result](const QString &problem) {
        result.ok = false;
        result.problem = problem
            + (result.changed.isEmpty() ? QStringLiteral(". Nothing was changed.")
                                        : QStringLiteral(". These links were changed all the same: %1.")
                                              .arg(result.changed.join(QLatin1String(", "))));
        return result;
    };

    const QString folder = directory();
    if (!QDir().mkpath(folder)) {
        const int error = errno;
        return fail(QStringLiteral("Cannot create the folder %1: %2").arg(folder, systemError(error)));
    }

    QList<Step> steps;
    // Spare names: ours alone (they carry the process id), and never
    // anything but a link of ours left over from a run that was cut short.
    auto spareName = [&folder](const QString &name, const char *kind) {
        const QByteArray path = QFile::encodeName(
            folder + QStringLiteral("/.%1.%2-%3").arg(name, QLatin1String(kind)).arg(::getpid()));
        if (isLink(path))
            ::unlink(path.constData());
        return path;
    };
    // Removes the new links not placed and, once all is done, the old ones
    // kept for undoing.
    auto discard = [&steps](bool done) {
        for (const Step &step : std::as_const(steps)) {
            const bool unplaced = step.kind == Step::Pending && !step.removal;
            const bool old = step.kind == Step::Swapped || step.kind == Step::MovedAside;
            if (unplaced || (done && old && isLink(step.spare)))
                ::unlink(step.spare.constData());
        }
    };

    // Every new link is made before the first one is placed: when one cannot
    // be made, nothing has changed.
    for (const LinkChange &change : changes) {
        Step step;
        step.name = change.name;
        step.final = QFile::encodeName(folder + QLatin1Char('/') + change.name);
        step.removal = change.target.isEmpty();
        step.spare = spareName(change.name, step.removal ? "old" : "new");
        if (!step.removal
            && ::symlink(QFile::encodeName(change.target).constData(), step.spare.constData()) != 0) {
            const int error = errno;
            discard(false);
            return fail(QStringLiteral("Cannot write the link %1 in %2: %3")
                            .arg(change.name, folder, systemError(error)));
        }
        steps.append(step);
    }

    for (qsizetype i = 0; i < steps.size(); ++i) {
        const QString problem = place(steps[i]);
        if (problem.isEmpty())
            continue;
        for (qsizetype j = i - 1; j >= 0; --j) {
            if (!undo(steps[j]))
                result.changed.prepend(steps[j].name);
        }
        discard(false);
        return fail(problem);
    }
    discard(true);
    return result;
}

Applied apply(const Choice &choice)
{
    QList<LinkChange> changes;
    for (auto it = choice.ports.cbegin(); it != choice.ports.cend(); ++it)
        changes.append({ comLinkName(it.key()), it.value() });
    if (choice.folder)
        changes.append({ driveCLinkName(), *choice.folder });

    const WriteResult written = writeLinks(changes);
    Applied applied;
    applied.ok = written.ok;
    applied.problem = written.problem;
    for (auto it = choice.ports.cbegin(); it != choice.ports.cend(); ++it) {
        if (written.ok || written.changed.contains(comLinkName(it.key())))
            applied.changedPorts.append(it.key());
    }
    applied.driveCChanged = choice.folder && (written.ok || written.changed.contains(driveCLinkName()));
    return applied;
}

} // namespace DeviceMap
