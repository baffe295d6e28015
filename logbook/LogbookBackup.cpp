#include "logbook/LogbookBackup.h"

#include "export/SafeFile.h"
#include "logbook/LogbookSchema.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LogbookBackup {

namespace {

// A writer holds the file only for the moment of its commit.
constexpr int kBusyTimeoutMs = 2000;
// How often the daily copies look whether the date changed.
constexpr int kDayCheckMs = 10 * 60 * 1000;

QString nextConnectionName()
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("tolmera-logbook-backup-%1").arg(counter.fetchAndAddRelaxed(1));
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A folder of our own (mkdtemp: 0700, a name nobody held) for the files
// SQLite writes, removed with them when done.
class PrivateFolder
{
public:
    explicit PrivateFolder(const QString &inside)
    {
        QByteArray name = QFile::encodeName(QDir(inside).filePath(QStringLiteral(".tolmera-backup-XXXXXX")));
        if (::mkdtemp(name.data()))
            m_path = QFile::decodeName(name);
        else
            m_error = errno;
    }
    ~PrivateFolder()
    {
        if (!m_path.isEmpty())
            QDir(m_path).removeRecursively();
    }
    PrivateFolder(const PrivateFolder &) = delete;
    PrivateFolder &operator=(const PrivateFolder &) = delete;

    bool made() const { return !m_path.isEmpty(); }
    QString failure(const QString &inside) const
    {
        return QStringLiteral("no private folder can be made in %1 (%2)")
            .arg(QDir::toNativeSeparators(inside), errorText(m_error));
    }
    QString filePath(const QString &name) const { return QDir(m_path).filePath(name); }

private:
    QString m_path;
    int m_error = 0;
};

// Runs body on a connection of its own to path, removed afterwards (a
// connection belongs to the thread that made it).
template <typename Body> bool withConnection(const QString &path, bool readOnly, QString *why, Body body)
{
    const QString name = nextConnectionName();
    bool ok = false;
    {
        QSqlDatabase db;
        if (readOnly) {
            ok = LogbookSchema::openReadOnly(name, path, kBusyTimeoutMs);
            db = QSqlDatabase::database(name, false);
        } else {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            ok = db.open();
        }
        if (!ok)
            *why = db.lastError().text();
        else
            ok = body(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

bool failed(const QSqlQuery &q, QString *why)
{
    *why = q.lastError().text();
    return false;
}

// Brings a private copy of an older logbook up to date, as the normal open
// will, so that its flights are summed up with today's columns.
bool upgrade(QSqlDatabase &db, int from, QString *why)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failed(q, why);
    if (!LogbookSchema::migrate(db, from, why)) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    return q.exec(QStringLiteral("COMMIT")) || failed(q, why);
}

bool sumUp(QSqlDatabase &db, BackupSummary *s, QString *why)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA table_info(flights)")))
        return failed(q, why);
    QStringList columns;
    while (q.next())
        columns.append(q.value(1).toString());
    // A corrected date or duration is the one the pilot's logbook shows.
    const auto shown = [&](const QString &corrected, const QString &recorded) {
        return columns.contains(corrected) ? QStringLiteral("COALESCE(%1, %2)").arg(corrected, recorded)
                                           : recorded;
    };
    const QString sql
        = QStringLiteral("SELECT count(*), total(m), min(d), max(d) FROM (SELECT %1 AS d, %2 AS m "
                         "FROM flights WHERE deleted = 0)")
              .arg(shown(QStringLiteral("corrected_date"), QStringLiteral("date")),
                  shown(QStringLiteral("corrected_duration_minutes"), QStringLiteral("duration_minutes")));
    if (!q.exec(sql) || !q.next())
        return failed(q, why);
    s->flights = q.value(0).toInt();
    s->minutes = qint64(q.value(1).toDouble());
    s->first = QDate::fromString(q.value(2).toString(), Qt::ISODate);
    s->last = QDate::fromString(q.value(3).toString(), Qt::ISODate);
    return true;
}

// A folder of our own beside the logbook for its copies.
bool makePrivateFolder(const QString &folder, QString *why)
{
    const QByteArray name = QFile::encodeName(folder);
    struct stat st
    {
    };
    if (::lstat(name.constData(), &st) != 0) {
        if (::mkdir(name.constData(), 0700) != 0 || ::lstat(name.constData(), &st) != 0) {
            *why = QStringLiteral("cannot make the folder %1 (%2)")
                       .arg(QDir::toNativeSeparators(folder), errorText(errno));
            return false;
        }
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        *why = QStringLiteral("%1 is not a folder of this user").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    if ((st.st_mode & 077) != 0)
        ::chmod(name.constData(), st.st_mode & 0700);
    return true;
}

const QRegularExpression &dailyPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^logbook-(\\d{4}-\\d{2}-\\d{2})\\.sqlite$"));
    return pattern;
}

} // namespace

std::optional<QByteArray> snapshot(
    const QString &logbookPath, const QString &workFolder, QString *why, const std::atomic<bool> *cancel)
{
    PrivateFolder work(workFolder);
    if (!work.made()) {
        *why = work.failure(workFolder);
        return std::nullopt;
    }
    const QString copy = work.filePath(QStringLiteral("logbook.sqlite"));
    const bool ok = withConnection(logbookPath, true, why, [&](QSqlDatabase &db) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("VACUUM INTO ?"));
        q.addBindValue(copy);
        return q.exec() || failed(q, why);
    });
    if (!ok)
        return std::nullopt;
    if (cancel && cancel->load()) {
        *why = QStringLiteral("stopped");
        return std::nullopt;
    }
    QFile file(copy);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = file.errorString();
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (bytes.size() != file.size()) {
        *why = file.errorString();
        return std::nullopt;
    }
    return bytes;
}

std::optional<QByteArray> readFile(const QString &path, QString *why)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.isFile()) {
        *why = QStringLiteral("%1 is not a file that can be read as a backup.").arg(shown);
        return std::nullopt;
    }
    if (info.size() > kMaxBytes) {
        *why = QStringLiteral("%1 is far too large to be a logbook of this program. It has not been changed.")
                   .arg(shown);
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("%1 cannot be read: %2").arg(shown, file.errorString());
        return std::nullopt;
    }
    QByteArray bytes = file.read(kMaxBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > kMaxBytes) {
        *why = QStringLiteral("%1 cannot be read: %2").arg(shown, file.errorString());
        return std::nullopt;
    }
    return bytes;
}

BackupSummary summarize(const QByteArray &bytes, const QString &workFolder, const QString &shownPath)
{
    BackupSummary s;
    const auto refuse = [&](LogbookProblem problem, const QString &detail) {
        s.refusal = SqliteMessages::message(problem, shownPath, detail);
        return s;
    };
    // SQLite's header first: what is no database at all, or a database cut
    // short (a copy that never finished), is told as such.
    static const QByteArray magic("SQLite format 3\0", 16);
    if (!bytes.startsWith(magic) || bytes.size() < 100)
        return refuse(LogbookProblem::NotALogbook, QString());
    const auto byteAt = [&](int i) { return quint32(quint8(bytes.at(i))); };
    const quint32 pageSize = byteAt(16) << 8 | byteAt(17);
    const qint64 pageBytes = pageSize == 1 ? 65536 : pageSize;
    const qint64 pages = qint64(byteAt(28) << 24 | byteAt(29) << 16 | byteAt(30) << 8 | byteAt(31));
    if (pageBytes < 512 || bytes.size() % pageBytes != 0 || bytes.size() < pages * pageBytes)
        return refuse(LogbookProblem::Damaged, QStringLiteral("the file is shorter than its pages say"));
    PrivateFolder work(workFolder);
    if (!work.made())
        return refuse(LogbookProblem::Failed, work.failure(workFolder));
    const QString copy = work.filePath(QStringLiteral("backup.sqlite"));
    QFile file(copy);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(bytes) != bytes.size()
        || !file.flush())
        return refuse(LogbookProblem::Failed, file.errorString());
    file.close();

    const LogbookSchema::Verdict verdict = LogbookSchema::judge(copy);
    if (verdict.problem != LogbookProblem::None)
        return refuse(verdict.problem, verdict.detail);
    // An empty SQLite file would pass as a new logbook; as a backup it
    // holds nothing of the pilot's.
    if (verdict.version == 0)
        return refuse(LogbookProblem::NotALogbook, QString());
    s.version = verdict.version;
    QString why;
    QStringList found;
    const bool ok = withConnection(copy, false, &why, [&](QSqlDatabase &db) {
        // The judge's quick check passes a page whose rows were overwritten;
        // the full check compares every row with its indexes. A restore
        // replaces the logbook, so it is worth the few milliseconds.
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA integrity_check")))
            return failed(q, &why);
        while (q.next())
            found.append(q.value(0).toString());
        if (found != QStringList { QStringLiteral("ok") })
            return false;
        return (verdict.version == LogbookSchema::version() || upgrade(db, verdict.version, &why))
            && sumUp(db, &s, &why);
    });
    if (!ok)
        return refuse(LogbookProblem::Damaged,
            found.isEmpty() || found == QStringList { QStringLiteral("ok") }
                ? why
                : SqliteMessages::findings(found));
    return s;
}

BackupSummary inspect(const QString &path)
{
    QString why;
    const auto bytes = readFile(path, &why);
    if (!bytes) {
        BackupSummary s;
        s.refusal = why;
        return s;
    }
    return summarize(*bytes, QDir::tempPath(), path);
}

QString describe(const BackupSummary &summary)
{
    QString text = summary.flights == 1 ? QStringLiteral("1 flight")
                                        : QStringLiteral("%1 flights").arg(summary.flights);
    text += QStringLiteral(", %1:%2 hours")
                .arg(summary.minutes / 60)
                .arg(summary.minutes % 60, 2, 10, QLatin1Char('0'));
    if (summary.first.isValid())
        text += QStringLiteral(", from %1 to %2")
                    .arg(summary.first.toString(Qt::ISODate), summary.last.toString(Qt::ISODate));
    return text;
}

bool isLogbookFile(const QString &path, const QString &logbookPath)
{
    // The folder's real path: the file itself may not exist yet.
    const auto real = [](const QString &file) {
        const QFileInfo info(file);
        const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
        return folder.isEmpty() ? info.absoluteFilePath() : QDir(folder).filePath(info.fileName());
    };
    const QFileInfo info(path);
    const QString target = info.isSymLink() || info.exists() ? info.canonicalFilePath() : real(path);
    const QString logbook = real(logbookPath);
    for (const char *suffix : { "", "-wal", "-shm", "-journal" }) {
        if (target == logbook + QLatin1String(suffix))
            return true;
    }
    return false;
}

void putBack(const QString &aside, const QString &logbookPath)
{
    if (aside.isEmpty())
        return;
    for (const QString &suffix : { QString(), QStringLiteral("-wal"), QStringLiteral("-journal") }) {
        if (QFileInfo::exists(aside + suffix))
            SafeFile::placeNoReplace(
                AT_FDCWD, QFile::encodeName(aside + suffix), QFile::encodeName(logbookPath + suffix));
    }
}

QString dailyFolder(const QString &logbookPath)
{
    return QDir(QFileInfo(logbookPath).absolutePath()).filePath(QStringLiteral("backups"));
}

QString dailyName(QDate day)
{
    return QStringLiteral("logbook-%1.sqlite").arg(day.toString(Qt::ISODate));
}

DailyResult makeDaily(const QString &logbookPath, QDate day, const std::atomic<bool> *cancel)
{
    DailyResult r;
    const QString folder = dailyFolder(logbookPath);
    if (!makePrivateFolder(folder, &r.error))
        return r;
    // A private folder of a copy that a killed program left behind: no copy
    // under way takes an hour.
    const QDir dir(folder);
    for (const QFileInfo &left : dir.entryInfoList({ QStringLiteral(".tolmera-backup-*") },
             QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot)) {
        if (left.lastModified().secsTo(QDateTime::currentDateTime()) > 3600)
            QDir(left.filePath()).removeRecursively();
    }
    const QString target = dir.filePath(dailyName(day));
    if (!QFileInfo(target).exists() && !QFileInfo(target).isSymLink()) {
        const auto bytes = snapshot(logbookPath, folder, &r.error, cancel);
        if (!bytes || (cancel && cancel->load()))
            return r;
        // Never over a copy another run of the program made meanwhile.
        r.made = SafeFile::writeNew(
            target, *bytes, [](const QString &) { return QString(); }, SafeFile::Placing::Rename, true);
        if (r.made.isEmpty() && !QFileInfo::exists(target)) {
            r.error = QStringLiteral("%1 could not be written").arg(QDir::toNativeSeparators(target));
            return r;
        }
    }
    r.removed = rotate(folder, kDailyKept);
    return r;
}

QStringList rotate(const QString &folder, int keep)
{
    QStringList copies;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::NoSymLinks | QDir::Hidden, QDir::Name)) {
        const QRegularExpressionMatch m = dailyPattern().match(name);
        if (m.hasMatch() && QDate::fromString(m.captured(1), Qt::ISODate).isValid())
            copies.append(name);
    }
    QStringList removed;
    for (qsizetype i = 0; i + keep < copies.size(); ++i) {
        if (QFile::remove(dir.filePath(copies.at(i))))
            removed.append(copies.at(i));
    }
    return removed;
}

} // namespace LogbookBackup

DailyBackup::DailyBackup(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(LogbookBackup::kDayCheckMs);
    connect(&m_timer, &QTimer::timeout, this, &DailyBackup::checkDay);
}

DailyBackup::~DailyBackup()
{
    if (!m_thread)
        return;
    m_cancel->store(true);
    m_thread->wait();
    delete m_thread;
}

void DailyBackup::setEnabled(bool on)
{
    m_enabled = on;
    if (!on)
        m_timer.stop();
}

void DailyBackup::opened(const QString &logbookPath)
{
    if (!m_enabled)
        return;
    if (logbookPath != m_path)
        m_day = QDate();
    m_path = logbookPath;
    m_timer.start();
    checkDay();
}

void DailyBackup::checkDay()
{
    const QDate today = QDate::currentDate();
    if (!m_enabled || m_path.isEmpty() || m_thread || today == m_day)
        return;
    m_day = today;
    if (QFileInfo::exists(QDir(LogbookBackup::dailyFolder(m_path)).filePath(LogbookBackup::dailyName(today))))
        return;
    // The thread shares nothing with this one but what it is handed here.
    const QString path = m_path;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    auto result = std::make_shared<LogbookBackup::DailyResult>();
    m_cancel = cancel;
    m_result = result;
    m_thread = QThread::create(
        [path, today, cancel, result] { *result = LogbookBackup::makeDaily(path, today, cancel.get()); });
    m_thread->setObjectName(QStringLiteral("logbook daily copy"));
    // A copy waited for is done before its queued signal arrives.
    const int copy = ++m_copies;
    connect(m_thread, &QThread::finished, this, [this, copy] {
        if (copy == m_copies)
            copyDone();
    });
    m_thread->start(QThread::LowPriority);
}

void DailyBackup::copyDone()
{
    if (!m_thread)
        return;
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    const LogbookBackup::DailyResult result = *m_result;
    // A pilot is not interrupted for a copy that could not be made (a
    // read-only folder, a full disk): the logbook itself is unharmed.
    if (!result.error.isEmpty())
        std::fprintf(
            stderr, "tolmera-reader: daily copy of the logbook not made: %s\n", qUtf8Printable(result.error));
    emit finished(result);
}

void DailyBackup::waitForCopy()
{
    if (m_thread)
        copyDone();
}
