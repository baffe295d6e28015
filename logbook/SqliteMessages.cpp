#include "logbook/SqliteMessages.h"

#include <QDir>
#include <QSqlError>

namespace SqliteMessages {

namespace {

// SQLite's primary result codes, as the driver reports them.
constexpr int kSqlitePerm = 3;
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteFull = 13;
constexpr int kSqliteCantOpen = 14;
constexpr int kSqliteNotADb = 26;

constexpr int kShownFindings = 3;

} // namespace

LogbookProblem problemOf(const QSqlError &error)
{
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case kSqliteBusy:
    case kSqliteLocked:
        return LogbookProblem::InUse;
    case kSqliteReadOnly:
    case kSqlitePerm:
    case kSqliteCantOpen:
        return LogbookProblem::ReadOnly;
    case kSqliteFull:
        return LogbookProblem::DiskFull;
    case kSqliteCorrupt:
        return LogbookProblem::Damaged;
    case kSqliteNotADb:
        return LogbookProblem::NotALogbook;
    default:
        return LogbookProblem::Failed;
    }
}

QString message(LogbookProblem problem, const QString &path, const QString &detail)
{
    const QString file = QDir::toNativeSeparators(path);
    QString text;
    switch (problem) {
    case LogbookProblem::None:
        return QString();
    case LogbookProblem::NotALogbook:
        text = QStringLiteral("%1 is not a logbook of this program. It has not been changed.").arg(file);
        break;
    case LogbookProblem::Damaged:
        text = QStringLiteral("The logbook %1 is damaged. It has not been changed.").arg(file);
        break;
    case LogbookProblem::NewerVersion:
        return QStringLiteral("The logbook %1 was written by a newer version of this program; this version "
                              "leaves it as it is.")
            .arg(file);
    case LogbookProblem::InUse:
        return QStringLiteral("The logbook is in use by another program. Try again when it has finished.");
    case LogbookProblem::ReadOnly:
        text = QStringLiteral("The logbook %1 cannot be written: the file or its folder is read-only.")
                   .arg(file);
        break;
    case LogbookProblem::DiskFull:
        return QStringLiteral("The disk that holds the logbook is full. Make room and try again.");
    case LogbookProblem::UnsafeFolder:
        return QStringLiteral("The logbook %1 is not used: %2. Only you may own and write the logbook's "
                              "folder and file.")
            .arg(file, detail);
    case LogbookProblem::Failed:
        return QStringLiteral("The logbook %1 could not be used: %2").arg(file, detail);
    }
    if (!detail.isEmpty())
        text += QStringLiteral(" (%1)").arg(detail);
    return text;
}

QString findings(const QStringList &lines)
{
    QStringList shown = lines.mid(0, kShownFindings);
    if (lines.size() > kShownFindings)
        shown.append(QStringLiteral("and %1 more").arg(lines.size() - kShownFindings));
    return shown.join(QLatin1Char('\n'));
}

} // namespace SqliteMessages
